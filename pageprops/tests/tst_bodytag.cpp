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
    const struct
    {
        const char *name, *tag, *value;
    } rows[] = {
        {"quoted with space", "<BODY background=\"file://C:\\a b\\x.gif\" bgColor=#ffffff",
         "file://C:\\a b\\x.gif"},
        {"at the end", "<BODY bgColor=#ffffff background=x.gif", "x.gif"},
        {"before another", "<BODY background=x.gif bgColor=#ffffff", "x.gif"},
        {"no attributes", "<body", ""},
        {"not there", "<BODY text=red", ""},
        {"single quotes kept", "<BODY background='y.gif' text=red", "'y.gif'"},
        {"quote not closed", "<BODY background=\"z.gif", "z.gif"},
        {"space after =", "<BODY background= x.gif", ""},
        {"any case", "<body BackGround=q.gif>", "q.gif"},
        {"space before =", "<BODY background =x.gif", ""},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromUtf8(r.tag) << QString::fromUtf8(r.value);
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
    const struct
    {
        const char *name, *hex, *r, *g, *b;
    } rows[] = {
        {"upper", "FF8000", "255", "128", "0"},     {"lower", "ff8000", "255", "128", "0"},
        {"mixed", "1A2b3C", "26", "43", "60"},      {"silver", "C0C0C0", "192", "192", "192"},
        {"empty is grey", "", "192", "192", "192"}, {"short", "12", "18", "0", "0"},
        {"not hex", "GG0000", "0", "0", "0"},       {"longer than six", "0102030405", "1", "2", "3"},
        {"non-ASCII", "éé00ff", "0", "0", "255"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromUtf8(r.hex) << QString::fromUtf8(r.r) << QString::fromUtf8(r.g)
                              << QString::fromUtf8(r.b);
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
    const struct
    {
        const char *name, *html, *title, *expected;
    } rows[] = {
        {"upper", "<HTML><HEAD><TITLE>Old</TITLE></HEAD>", "New", "<HTML><HEAD><TITLE>New</TITLE></HEAD>"},
        {"lower", "<html><head><title>old</title></head>", "New", "<html><head><title>New</title></head>"},
        {"empty title element", "<TITLE></TITLE>", "Mine", "<TITLE>Mine</TITLE>"},
        {"markup as typed", "<title>x</title>", "A & B", "<title>A & B</title>"},
        {"no title", "<html><body></body></html>", "t", ""},
        {"only closing", "<html></title>", "t", ""},
        {"closing before opening", "</TITLE><TITLE>", "t", ""},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromUtf8(r.html) << QString::fromUtf8(r.title)
                              << QString::fromUtf8(r.expected);
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
    const struct
    {
        const char *name, *attribute, *shown, *written;
    } rows[] = {
        {"posix file url", "file:///home/u/bg.gif", "/home/u/bg.gif", "file:///home/u/bg.gif"},
        {"windows path form", "file://C:\\pics\\bg.gif", "C:\\pics\\bg.gif", "file://C:\\pics\\bg.gif"},
        {"windows url form", "file:///C:/pics/bg.gif", "C:/pics/bg.gif", "file://C:/pics/bg.gif"},
        {"relative", "img/bg.gif", "img/bg.gif", "img/bg.gif"},
        {"web address", "http://example.org/bg.gif", "http://example.org/bg.gif",
         "http://example.org/bg.gif"},
        {"none", "", "", ""},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromUtf8(r.attribute) << QString::fromUtf8(r.shown)
                              << QString::fromUtf8(r.written);
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
