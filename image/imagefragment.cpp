#include "image/imagefragment.h"

#include <QCoreApplication>

namespace image {
namespace {
const QChar dq = u'"';

QString attr(const char *name, const QString &value)
{
    return value.isEmpty() ? QString() : u' ' + QString::fromLatin1(name) + u'=' + dq + value + dq;
}

const char *const kNeighbour = QT_TRANSLATE_NOOP("image", "This is neighboring text.");
const char *const kNeighbourMore = QT_TRANSLATE_NOOP("image", "This is neighboring text and more text.");
} // namespace

QStringList alignEntries()
{
    return {QStringLiteral("None"),     QStringLiteral("Top"),
            QStringLiteral("Middle"),   QStringLiteral("Bottom(Default)"),
            QStringLiteral("Left"),     QStringLiteral("Right"),
            QStringLiteral("Texttop"),  QStringLiteral("Absmiddle"),
            QStringLiteral("Baseline"), QStringLiteral("Absbottom")};
}

QString alignPiece(const QString &entry)
{
    if (entry == QLatin1String("None") || entry.isEmpty())
        return {};
    const QString value = entry == QLatin1String("Bottom(Default)") ? QStringLiteral("Bottom") : entry;
    return QStringLiteral(" ALIGN=") + dq + value + dq;
}

std::optional<QString> composeImage(const ImageFields &f, const QString &align)
{
    if (f.imageFile.isEmpty())
        return std::nullopt;
    QString video;
    if (!f.videoFile.isEmpty()) {
        video = QStringLiteral(" dynsrc=") + dq + f.videoFile + dq + QStringLiteral(" loop=") + f.videoLoop +
                QStringLiteral(" start=") + f.videoStart;
        if (f.videoControls)
            video += QStringLiteral(" CONTROLS").toLower();
    }
    QString tag = QStringLiteral("<img src=") + dq + f.imageFile + dq + attr("lowsrc", f.lowResImage) +
                  video + attr("alt", f.altText) + align.toLower() + attr("width", f.width) +
                  attr("height", f.height) + attr("border", f.border) + attr("vspace", f.verticalSpace) +
                  attr("hspace", f.horizontalSpace);
    if (f.serverSideMap)
        tag += QStringLiteral(" ismap");
    if (f.clientSideMap)
        tag += QStringLiteral(" usemap=") + dq + u'#' + f.mapName + dq;
    tag += u'>';
    if (f.linkAddress.isEmpty())
        return tag;
    return QStringLiteral("<a href=") + dq + f.linkAddress + dq + u'>' + tag + QStringLiteral("</a>");
}

TwipsRect initialGeometry(DiagramPart part)
{
    switch (part) {
    case DiagramPart::ExistingObject:
        return {720, 360, 255, 855};
    case DiagramPart::NeighbourText:
        return {1080, 675, 1665, 195};
    case DiagramPart::InlineImage:
        return {2880, 360, 495, 375};
    case DiagramPart::LeftImage:
        return {480, 575, 495, 375};
    case DiagramPart::RightImage:
        return {2880, 575, 495, 375};
    }
    return {0, 0, 0, 0};
}

AlignDiagram alignDiagram(const QString &e, std::optional<double> neighbourTextHeight)
{
    AlignDiagram d;
    const TwipsRect red = initialGeometry(DiagramPart::ExistingObject);
    TwipsRect label = initialGeometry(DiagramPart::NeighbourText);
    label.height = neighbourTextHeight.value_or(label.height);
    const TwipsRect blue = initialGeometry(DiagramPart::InlineImage);
    d.existingObject.top = red.top;
    d.neighbourText.top = label.top;
    d.inlineImage.top = blue.top;
    d.leftImage.top = initialGeometry(DiagramPart::LeftImage).top;
    d.rightImage.top = initialGeometry(DiagramPart::RightImage).top;
    d.neighbourCaption = QCoreApplication::translate("image", kNeighbour);
    if (e.isEmpty() || e == QLatin1String("None"))
        return d;
    d.existingObject.visible = true;
    d.blueLegend = true;
    if (e == QLatin1String("Top")) {
        d.inlineImage.visible = d.neighbourText.visible = true;
        d.neighbourText.top = 675;
        d.inlineImage.top = d.existingObject.top;
        d.description = QCoreApplication::translate(
            "image",
            "Aligns the top of the image with the top of the tallest item (image, text, etc.) in the line.");
    } else if (e == QLatin1String("Bottom(Default)") || e == QLatin1String("Baseline")) {
        d.inlineImage.visible = d.neighbourText.visible = true;
        d.neighbourText.top = d.existingObject.top;
        d.inlineImage.top = d.neighbourText.top - blue.height + label.height;
        d.description = QCoreApplication::translate(
            "image", "Aligns the bottom of the image with the baseline of the text.");
    } else if (e == QLatin1String("Middle")) {
        d.inlineImage.visible = d.neighbourText.visible = true;
        d.neighbourText.top = d.existingObject.top;
        d.inlineImage.top = label.height / 2 + d.neighbourText.top - blue.height / 2;
        d.description = QCoreApplication::translate(
            "image", "Aligns the baseline of the text with the middle of the image.");
    } else if (e == QLatin1String("Texttop")) {
        d.neighbourText.visible = true;
        d.neighbourText.top = 675;
        d.inlineImage.visible = true;
        d.inlineImage.top = d.neighbourText.top;
        d.description = QCoreApplication::translate(
            "image", "Aligns the top of the image with the top of the tallest text in the line.");
    } else if (e == QLatin1String("Absbottom")) {
        d.inlineImage.visible = d.neighbourText.visible = true;
        d.neighbourText.top = d.existingObject.top;
        d.inlineImage.top = red.height + d.existingObject.top - blue.height;
        d.description = QCoreApplication::translate(
            "image", "Aligns the bottom of the image with the bottom of the lowest item in the line.");
    } else if (e == QLatin1String("Absmiddle")) {
        d.inlineImage.visible = true;
        d.inlineImage.top = red.height / 2 + d.existingObject.top - blue.height / 2;
        d.neighbourText.visible = true;
        d.neighbourText.top = d.existingObject.top;
        d.description = QCoreApplication::translate(
            "image", "Aligns the middle of the image with the middle of the largest item in the line.");
    } else if (e == QLatin1String("Left") || e == QLatin1String("Right")) {
        d.neighbourText.top = 575;
        d.existingObject.visible = false;
        (e == QLatin1String("Left") ? d.leftImage : d.rightImage).visible = true;
        d.neighbourText.visible = true;
        d.neighbourCaption = QCoreApplication::translate("image", kNeighbourMore);
        d.description =
            e == QLatin1String("Left")
                ? QCoreApplication::translate(
                      "image", "Aligns image to the left margin and wraps multiple lines of text next to "
                               "(to the right of) the image.")
                : QCoreApplication::translate(
                      "image", "Aligns image to the right margin and wraps multiple lines of text next to "
                               "(to the left of) the image.");
    }
    d.redLegend = d.existingObject.visible;
    return d;
}

} // namespace image
