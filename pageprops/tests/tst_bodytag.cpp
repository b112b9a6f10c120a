#include "pageprops/bodytag.h"

#include <QTest>

using namespace pageprops;

class TestBodyTag final : public QObject
{
    Q_OBJECT

private slots:
    void parseTag_data();
    void parseTag();
    void pageWithoutBodyKeepsLastTag();
    void convertRGB_data();
    void convertRGB();
    void selectColor_data();
    void selectColor();
    void title_data();
    void title();
    void background_data();
    void background();
};

void TestBodyTag::parseTag_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("value");
    QTest::newRow("quoted with space") << "<BODY background=\"file://C:\\a b\\x.gif\" bgColor=#ffffff"
                                       << "file://C:\\a b\\x.gif";
    QTest::newRow("at the end") << "<BODY bgColor=#ffffff background=x.gif"
                                << "x.gif";
    QTest::newRow("before another") << "<BODY background=x.gif bgColor=#ffffff"
                                    << "x.gif";
    QTest::newRow("no attributes") << "<body"
                                   << "";
    QTest::newRow("not there") << "<BODY text=red"
                               << "";
    QTest::newRow("single quotes kept") << "<BODY background='y.gif' text=red"
                                        << "'y.gif'";
    QTest::newRow("quote not closed") << "<BODY background=\"z.gif"
                                      << "z.gif";
    QTest::newRow("space after =") << "<BODY background= x.gif"
                                   << "";
    QTest::newRow("any case") << "<body BackGround=q.gif>"
                              << "q.gif";
    QTest::newRow("space before =") << "<BODY background =x.gif"
                                    << "";
}

void TestBodyTag::parseTag()
{
    QFETCH(QString, tag);
    QFETCH(QString, value);
    State s;
    pageprops::parseTag(s,
                        QStringLiteral("<html><head><title>t</title></head>") + tag +
                            QStringLiteral(">text</body></html>"),
                        QStringLiteral("BACKGROUND="));
    QCOMPARE(s.bodyTagText, tag.endsWith(u'>') ? tag.chopped(1) : tag);
    QCOMPARE(s.attributeValue, value);
}

void TestBodyTag::pageWithoutBodyKeepsLastTag()
{
    State s;
    pageprops::parseTag(s, QStringLiteral("<body background=a.gif>"), QStringLiteral("BACKGROUND="));
    QCOMPARE(s.attributeValue, QStringLiteral("a.gif"));
    pageprops::parseTag(s, QStringLiteral("<html>no body tag</html>"), QStringLiteral("BACKGROUND="));
    QCOMPARE(s.bodyTagText, QStringLiteral("<body background=a.gif"));
    QCOMPARE(s.attributeValue, QStringLiteral("a.gif"));
    pageprops::parseTag(s, QStringLiteral("<body unclosed"), QStringLiteral("BACKGROUND="));
    QCOMPARE(s.bodyTagText, QStringLiteral("<body background=a.gif"));
}

void TestBodyTag::convertRGB_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("r");
    QTest::addColumn<QString>("g");
    QTest::addColumn<QString>("b");
    QTest::newRow("upper") << "FF8000"
                           << "255"
                           << "128"
                           << "0";
    QTest::newRow("lower") << "ff8000"
                           << "255"
                           << "128"
                           << "0";
    QTest::newRow("mixed") << "1A2b3C"
                           << "26"
                           << "43"
                           << "60";
    QTest::newRow("silver") << "C0C0C0"
                            << "192"
                            << "192"
                            << "192";
    QTest::newRow("empty is grey") << ""
                                   << "192"
                                   << "192"
                                   << "192";
    QTest::newRow("short") << "12"
                           << "18"
                           << "0"
                           << "0";
    QTest::newRow("not hex") << "GG0000"
                             << "0"
                             << "0"
                             << "0";
    QTest::newRow("longer than six") << "0102030405"
                                     << "1"
                                     << "2"
                                     << "3";
    QTest::newRow("non-ASCII") << "éé00ff"
                               << "0"
                               << "0"
                               << "255";
}

void TestBodyTag::convertRGB()
{
    QFETCH(QString, hex);
    QFETCH(QString, r);
    QFETCH(QString, g);
    QFETCH(QString, b);
    State s;
    pageprops::convertRgb(s, hex);
    QCOMPARE(s.redText, r);
    QCOMPARE(s.greenText, g);
    QCOMPARE(s.blueText, b);
    QVERIFY(convertedColor(s) <= 0xFFFFFFu);
}

void TestBodyTag::selectColor_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("hex");
    QTest::newRow("orange") << quint32(0x0080FF) << "FF8000";
    QTest::newRow("red") << quint32(0x0000FF) << "FF0000";
    QTest::newRow("blue") << quint32(0xFF0000) << "0000FF";
    QTest::newRow("black") << quint32(0) << "000000";
    QTest::newRow("white") << quint32(0xFFFFFF) << "FFFFFF";
    QTest::newRow("swapped") << quint32(0x563412) << "123456";
    QTest::newRow("green 5 alone") << quint32(0x000500) << "000500";
    QTest::newRow("blue 10 alone") << quint32(0x0A0000) << "00000A";
}

void TestBodyTag::selectColor()
{
    QFETCH(quint32, value);
    QFETCH(QString, hex);
    State s;
    pageprops::selectColor(s, value);
    QCOMPARE(s.selectedColorHex, hex);
    QCOMPARE(s.selectedColor, value);
    // It appends: callers empty it first.
    pageprops::selectColor(s, value);
    QCOMPARE(s.selectedColorHex, hex + hex);
}

void TestBodyTag::title_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expected");
    QTest::newRow("upper") << "<HTML><HEAD><TITLE>Old</TITLE></HEAD>"
                           << "New"
                           << "<HTML><HEAD><TITLE>New</TITLE></HEAD>";
    QTest::newRow("lower") << "<html><head><title>old</title></head>"
                           << "New"
                           << "<html><head><title>New</title></head>";
    QTest::newRow("empty title element") << "<TITLE></TITLE>"
                                         << "Mine"
                                         << "<TITLE>Mine</TITLE>";
    QTest::newRow("markup as typed") << "<title>x</title>"
                                     << "A & B"
                                     << "<title>A & B</title>";
    QTest::newRow("no title") << "<html><body></body></html>"
                              << "t"
                              << "";
    QTest::newRow("only closing") << "<html></title>"
                                  << "t"
                                  << "";
    QTest::newRow("closing before opening") << "</TITLE><TITLE>"
                                            << "t"
                                            << "";
}

void TestBodyTag::title()
{
    QFETCH(QString, html);
    QFETCH(QString, title);
    QFETCH(QString, expected);
    const std::optional<QString> out = replaceTitle(html, title);
    QCOMPARE(out.value_or(QString()), expected);
}

void TestBodyTag::background_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("written");
    QTest::newRow("posix file url") << "file:///home/u/bg.gif"
                                    << "/home/u/bg.gif"
                                    << "file:///home/u/bg.gif";
    QTest::newRow("windows path form") << "file://C:\\pics\\bg.gif"
                                       << "C:\\pics\\bg.gif"
                                       << "file://C:\\pics\\bg.gif";
    QTest::newRow("windows url form") << "file:///C:/pics/bg.gif"
                                      << "C:/pics/bg.gif"
                                      << "file://C:/pics/bg.gif";
    QTest::newRow("relative") << "img/bg.gif"
                              << "img/bg.gif"
                              << "img/bg.gif";
    QTest::newRow("web address") << "http://example.org/bg.gif"
                                 << "http://example.org/bg.gif"
                                 << "http://example.org/bg.gif";
    QTest::newRow("none") << ""
                          << ""
                          << "";
}

void TestBodyTag::background()
{
    QFETCH(QString, attribute);
    QFETCH(QString, shown);
    QFETCH(QString, written);
    QCOMPARE(backgroundForDisplay(attribute), shown);
    QCOMPARE(backgroundToWrite(shown), written);
}

QTEST_GUILESS_MAIN(TestBodyTag)
#include "tst_bodytag.moc"
