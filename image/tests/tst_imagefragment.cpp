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

void TestImageFragment::diagram_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("shownBox");
    for (const char *entry :
         {"Top", "Bottom(Default)", "Baseline", "Middle", "Texttop", "Absbottom", "Absmiddle"})
        QTest::newRow(entry) << entry << "inline";
    QTest::newRow("Left") << "Left"
                          << "left";
    QTest::newRow("Right") << "Right"
                           << "right";
}

// The diagram shows one blue box at a time, a red legend only beside a red
// box that is drawn, and nothing once None is picked.
void TestImageFragment::diagram()
{
    QFETCH(QString, entry);
    QFETCH(QString, shownBox);
    const AlignDiagram d = alignDiagram(entry);
    const DiagramElement &blue = shownBox == QLatin1String("inline") ? d.inlineImage
                                 : shownBox == QLatin1String("left") ? d.leftImage
                                                                     : d.rightImage;
    QVERIFY(blue.visible);
    QCOMPARE(int(d.inlineImage.visible) + int(d.leftImage.visible) + int(d.rightImage.visible), 1);
    QVERIFY(d.neighbourText.visible);
    QCOMPARE(d.redLegend, d.existingObject.visible);
    QVERIFY(d.blueLegend && !d.description.isEmpty());
    const AlignDiagram none = alignDiagram(QStringLiteral("None"));
    QVERIFY(!none.existingObject.visible && !none.neighbourText.visible && !none.inlineImage.visible &&
            !none.redLegend && !none.blueLegend);
    QVERIFY(none.description.isEmpty());
}

QTEST_GUILESS_MAIN(TestImageFragment)
#include "tst_imagefragment.moc"
