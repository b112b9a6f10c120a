#include "image/imagefragment.h"

namespace image {
namespace {
const QChar dq = u'"';

QString attr(const char *name, const QString &value)
{
    return value.isEmpty() ? QString() : u' ' + QString::fromLatin1(name) + u'=' + dq + value + dq;
}

const char *const kNeighbour = "This is neighboring text.";
const char *const kNeighbourMore = "This is neighboring text and more text.";
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
    if (f.GraphText.isEmpty())
        return std::nullopt;
    QString video;
    if (!f.Text6.isEmpty()) {
        video = QStringLiteral(" dynsrc=") + dq + f.Text6 + dq + QStringLiteral(" loop=") + f.Combo2 +
                QStringLiteral(" start=") + f.Combo3;
        if (f.Check1 != 0)
            video += QStringLiteral(" CONTROLS").toLower();
    }
    QString tag = QStringLiteral("<img src=") + dq + f.GraphText + dq + attr("lowsrc", f.Text8) + video +
                  attr("alt", f.Alt) + align.toLower() + attr("width", f.Text1) + attr("height", f.Text2) +
                  attr("border", f.Text3) + attr("vspace", f.Text4) + attr("hspace", f.Text5);
    if (f.Check3 != 0)
        tag += QStringLiteral(" ismap");
    if (f.Check2 == 1)
        tag += QStringLiteral(" usemap=") + dq + u'#' + f.Text7 + dq;
    tag += u'>';
    if (f.XimageLink.isEmpty())
        return tag;
    return QStringLiteral("<a href=") + dq + f.XimageLink + dq + u'>' + tag + QStringLiteral("</a>");
}

TwipsRect initialGeometry(const QString &element)
{
    if (element == QLatin1String("Redtext"))
        return {720, 360, 255, 855};
    if (element == QLatin1String("Toplabel"))
        return {1080, 675, 1665, 195};
    if (element == QLatin1String("Leftimage"))
        return {2880, 360, 495, 375};
    if (element == QLatin1String("Leftimage2"))
        return {480, 575, 495, 375};
    if (element == QLatin1String("Rightimage"))
        return {2880, 575, 495, 375};
    return {0, 0, 0, 0};
}

AlignDiagram alignDiagram(const QString &e, std::optional<double> toplabelHeight)
{
    AlignDiagram d;
    const TwipsRect red = initialGeometry(QStringLiteral("Redtext"));
    TwipsRect label = initialGeometry(QStringLiteral("Toplabel"));
    label.height = toplabelHeight.value_or(label.height);
    const TwipsRect blue = initialGeometry(QStringLiteral("Leftimage"));
    d.Redtext.top = red.top;
    d.Toplabel.top = label.top;
    d.Leftimage.top = blue.top;
    d.Leftimage2.top = initialGeometry(QStringLiteral("Leftimage2")).top;
    d.Rightimage.top = initialGeometry(QStringLiteral("Rightimage")).top;
    d.toplabelCaption = QString::fromLatin1(kNeighbour);
    if (e.isEmpty() || e == QLatin1String("None"))
        return d;
    d.Redtext.visible = true;
    d.blueLegend = true;
    if (e == QLatin1String("Top")) {
        d.Leftimage.visible = d.Toplabel.visible = true;
        d.Toplabel.top = 675;
        d.Leftimage.top = d.Redtext.top;
        d.description = QStringLiteral(
            "Aligns the top of the image with the top of the tallest item (image, text, etc.) in the line.");
    } else if (e == QLatin1String("Bottom(Default)") || e == QLatin1String("Baseline")) {
        d.Leftimage.visible = d.Toplabel.visible = true;
        d.Toplabel.top = d.Redtext.top;
        d.Leftimage.top = d.Toplabel.top - blue.height + label.height;
        d.description = QStringLiteral("Aligns the bottom of the image with the baseline of the text.");
    } else if (e == QLatin1String("Middle")) {
        d.Leftimage.visible = d.Toplabel.visible = true;
        d.Toplabel.top = d.Redtext.top;
        d.Leftimage.top = label.height / 2 + d.Toplabel.top - blue.height / 2;
        d.description = QStringLiteral("Aligns the baseline of the text with the middle of the image.");
    } else if (e == QLatin1String("Texttop")) {
        d.Toplabel.visible = true;
        d.Toplabel.top = 675;
        d.Leftimage.visible = true;
        d.Leftimage.top = d.Toplabel.top;
        d.description =
            QStringLiteral("Aligns the top of the image with the top of the tallest text in the line.");
    } else if (e == QLatin1String("Absbottom")) {
        d.Leftimage.visible = d.Toplabel.visible = true;
        d.Toplabel.top = d.Redtext.top;
        d.Leftimage.top = red.height + d.Redtext.top - blue.height;
        d.description =
            QStringLiteral("Aligns the bottom of the image with the bottom of the lowest item in the line.");
    } else if (e == QLatin1String("Absmiddle")) {
        d.Leftimage.visible = true;
        d.Leftimage.top = red.height / 2 + d.Redtext.top - blue.height / 2;
        d.Toplabel.visible = true;
        d.Toplabel.top = d.Redtext.top;
        d.description =
            QStringLiteral("Aligns the middle of the image with the middle of the largest item in the line.");
    } else if (e == QLatin1String("Left") || e == QLatin1String("Right")) {
        d.Toplabel.top = 575;
        d.Redtext.visible = false;
        (e == QLatin1String("Left") ? d.Leftimage2 : d.Rightimage).visible = true;
        d.Toplabel.visible = true;
        d.toplabelCaption = QString::fromLatin1(kNeighbourMore);
        d.description =
            e == QLatin1String("Left")
                ? QStringLiteral("Aligns image to the left margin and wraps multiple lines of text next to "
                                 "(to the right of) the image.")
                : QStringLiteral("Aligns image to the right margin and wraps multiple lines of text next to "
                                 "(to the left of) the image.");
    }
    d.redLegend = d.Redtext.visible;
    return d;
}

} // namespace image
