#include "image/imagefragment.h"

#include <QTest>

using namespace image;

Q_DECLARE_METATYPE(image::ImageFields)

class TestImageFragment final : public QObject
{
    Q_OBJECT

private slots:
    void compose_data();
    void compose();
    void missingImage();
    void alignPieces_data();
    void alignPieces();
    void diagram_data();
    void diagram();
};

namespace {
ImageFields pic(const char *src)
{
    ImageFields f;
    f.imageFile = QString::fromUtf8(src);
    return f;
}
} // namespace

void TestImageFragment::compose_data()
{
    QTest::addColumn<ImageFields>("fields");
    QTest::addColumn<QString>("align");
    QTest::addColumn<QString>("fragment");

    ImageFields logo = pic("C:\\web\\pics\\logo.gif");
    logo.altText = QStringLiteral("Our logo");
    logo.width = QStringLiteral("120");
    logo.height = QStringLiteral("60");
    logo.border = QStringLiteral("0");
    QTest::newRow("logo")
        << logo << alignPiece(QStringLiteral("Right"))
        << "<img src=\"C:\\web\\pics\\logo.gif\" alt=\"Our logo\" align=\"right\" width=\"120\" "
           "height=\"60\" border=\"0\">";

    ImageFields map = pic("map.gif");
    map.linkAddress = QStringLiteral("index.html");
    map.lowResImage = QStringLiteral("map_lo.gif");
    map.verticalSpace = QStringLiteral("5");
    map.serverSideMap = true;
    map.clientSideMap = true;
    map.mapName = QStringLiteral("nav");
    QTest::newRow("linked map")
        << map << QString()
        << "<a href=\"index.html\"><img src=\"map.gif\" lowsrc=\"map_lo.gif\" vspace=\"5\" ismap "
           "usemap=\"#nav\"></a>";

    ImageFields video = pic("still.gif");
    video.videoFile = QStringLiteral("clip.avi");
    video.videoLoop = QStringLiteral("3");
    video.videoStart = QStringLiteral("FileOpen");
    video.videoControls = true;
    QTest::newRow("video")
        << video << alignPiece(QStringLiteral("Bottom(Default)"))
        << "<img src=\"still.gif\" dynsrc=\"clip.avi\" loop=3 start=FileOpen controls align=\"bottom\">";

    ImageFields bare = pic("pic.jpg");
    bare.videoFile = QStringLiteral("clip.avi");
    QTest::newRow("video lists empty")
        << bare << QString() << "<img src=\"pic.jpg\" dynsrc=\"clip.avi\" loop= start=>";
    QTest::newRow("only the image") << pic("pic.jpg") << alignPiece(QStringLiteral("None"))
                                    << "<img src=\"pic.jpg\">";

    ImageFields space = pic("a.gif");
    space.linkAddress = QStringLiteral(" ");
    QTest::newRow("space is a link") << space << QString() << "<a href=\" \"><img src=\"a.gif\"></a>";
    ImageFields scheme = pic("a.gif");
    scheme.linkAddress = QStringLiteral("http://");
    QTest::newRow("bare scheme link") << scheme << QString() << "<a href=\"http://\"><img src=\"a.gif\"></a>";
    ImageFields emptyMap = pic("a.gif");
    emptyMap.clientSideMap = true;
    QTest::newRow("map checked, no name") << emptyMap << QString() << "<img src=\"a.gif\" usemap=\"#\">";
    ImageFields nameOnly = pic("a.gif");
    nameOnly.mapName = QStringLiteral("nav");
    QTest::newRow("map name, unchecked") << nameOnly << QString() << "<img src=\"a.gif\">";
    ImageFields controlsOnly = pic("a.gif");
    controlsOnly.videoControls = true;
    QTest::newRow("controls without video") << controlsOnly << QString() << "<img src=\"a.gif\">";
    ImageFields quote = pic("a\"b.gif");
    quote.altText = QStringLiteral("<b>");
    QTest::newRow("nothing escaped") << quote << QString() << "<img src=\"a\"b.gif\" alt=\"<b>\">";
    ImageFields spaced = pic("a.gif");
    spaced.videoFile = QStringLiteral("v.avi");
    spaced.videoLoop = QStringLiteral("Infinite Loop");
    spaced.videoStart = QStringLiteral("FileOpen and MouseOver");
    QTest::newRow("values with spaces")
        << spaced << QString()
        << "<img src=\"a.gif\" dynsrc=\"v.avi\" loop=Infinite Loop start=FileOpen and "
           "MouseOver>";
    ImageFields all = pic("a.gif");
    all.horizontalSpace = QStringLiteral("2");
    all.border = QStringLiteral("1");
    all.verticalSpace = QStringLiteral("3");
    all.width = QStringLiteral("9");
    all.clientSideMap = true;
    all.mapName = QStringLiteral("m");
    all.serverSideMap = true;
    all.altText = QStringLiteral("x");
    all.lowResImage = QStringLiteral("l.gif");
    QTest::newRow("fixed order")
        << all << alignPiece(QStringLiteral("Absmiddle"))
        << "<img src=\"a.gif\" lowsrc=\"l.gif\" alt=\"x\" align=\"absmiddle\" width=\"9\" "
           "border=\"1\" vspace=\"3\" hspace=\"2\" ismap usemap=\"#m\">";
}

void TestImageFragment::compose()
{
    QFETCH(ImageFields, fields);
    QFETCH(QString, align);
    QFETCH(QString, fragment);
    QCOMPARE(composeImage(fields, align).value_or(QStringLiteral("<missing>")), fragment);
}

void TestImageFragment::missingImage()
{
    ImageFields f;
    f.altText = QStringLiteral("all else");
    f.linkAddress = QStringLiteral("x.html");
    QVERIFY(!composeImage(f, alignPiece(QStringLiteral("Top"))));
}

void TestImageFragment::alignPieces_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("piece");
    QTest::newRow("None") << "None"
                          << "";
    QTest::newRow("nothing picked") << ""
                                    << "";
    QTest::newRow("Bottom(Default)") << "Bottom(Default)"
                                     << " ALIGN=\"Bottom\"";
    QTest::newRow("Texttop") << "Texttop"
                             << " ALIGN=\"Texttop\"";
    QTest::newRow("Left") << "Left"
                          << " ALIGN=\"Left\"";
}

void TestImageFragment::alignPieces()
{
    QFETCH(QString, entry);
    QFETCH(QString, piece);
    QCOMPARE(alignPiece(entry), piece);
}

void TestImageFragment::diagram_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<double>("blueTop");
    QTest::addColumn<double>("labelTop");
    QTest::addColumn<bool>("red");
    QTest::addColumn<QString>("shownBox");
    QTest::addColumn<QString>("description");
    QTest::newRow("Top")
        << "Top" << 360.0 << 675.0 << true << "inline"
        << "Aligns the top of the image with the top of the tallest item (image, text, etc.) in the line.";
    QTest::newRow("Bottom") << "Bottom(Default)" << 180.0 << 360.0 << true << "inline"
                            << "Aligns the bottom of the image with the baseline of the text.";
    QTest::newRow("Baseline") << "Baseline" << 180.0 << 360.0 << true << "inline"
                              << "Aligns the bottom of the image with the baseline of the text.";
    QTest::newRow("Middle") << "Middle" << 270.0 << 360.0 << true << "inline"
                            << "Aligns the baseline of the text with the middle of the image.";
    QTest::newRow("Texttop") << "Texttop" << 675.0 << 675.0 << true << "inline"
                             << "Aligns the top of the image with the top of the tallest text in the line.";
    QTest::newRow("Absbottom")
        << "Absbottom" << 840.0 << 360.0 << true << "inline"
        << "Aligns the bottom of the image with the bottom of the lowest item in the line.";
    QTest::newRow("Absmiddle")
        << "Absmiddle" << 600.0 << 360.0 << true << "inline"
        << "Aligns the middle of the image with the middle of the largest item in the line.";
    QTest::newRow("Left")
        << "Left" << 575.0 << 575.0 << false << "left"
        << "Aligns image to the left margin and wraps multiple lines of text next to (to the right "
           "of) the image.";
    QTest::newRow("Right")
        << "Right" << 575.0 << 575.0 << false << "right"
        << "Aligns image to the right margin and wraps multiple lines of text next to (to the left "
           "of) the image.";
}

void TestImageFragment::diagram()
{
    QFETCH(QString, entry);
    QFETCH(double, blueTop);
    QFETCH(double, labelTop);
    QFETCH(bool, red);
    QFETCH(QString, shownBox);
    QFETCH(QString, description);
    const AlignDiagram d = alignDiagram(entry);
    const DiagramElement &blue = shownBox == QLatin1String("inline") ? d.inlineImage
                                 : shownBox == QLatin1String("left") ? d.leftImage
                                                                     : d.rightImage;
    QVERIFY(blue.visible);
    QCOMPARE(blue.top, blueTop);
    QVERIFY(d.neighbourText.visible);
    QCOMPARE(d.neighbourText.top, labelTop);
    QCOMPARE(d.existingObject.visible, red);
    QCOMPARE(d.redLegend, red); // no legend for a red box that is not drawn
    QVERIFY(d.blueLegend);
    QCOMPARE(d.description, description);
    const bool wide = entry == QLatin1String("Left") || entry == QLatin1String("Right");
    QCOMPARE(d.neighbourCaption, wide ? QStringLiteral("This is neighboring text and more text.")
                                      : QStringLiteral("This is neighboring text."));
    // Only one blue box at a time.
    QCOMPARE(int(d.inlineImage.visible) + int(d.leftImage.visible) + int(d.rightImage.visible), 1);
    // Picking None afterwards hides everything.
    const AlignDiagram none = alignDiagram(QStringLiteral("None"));
    QVERIFY(!none.existingObject.visible && !none.neighbourText.visible && !none.inlineImage.visible &&
            !none.redLegend && !none.blueLegend);
    QVERIFY(none.description.isEmpty());
}

QTEST_GUILESS_MAIN(TestImageFragment)
#include "tst_imagefragment.moc"
