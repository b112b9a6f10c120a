// What the window reads as it starts and keeps between runs: stored numbers
// and the recent pages, with the desktop's list of them.
#include "shell/recentpages.h"
#include "shell/startvalues.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {
bool writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
} // namespace

class TestShellLogic final : public QObject
{
    Q_OBJECT

private slots:
    void storedNumbers_data();
    void storedNumbers();
    void recentPages();
    void desktopRecentList_data();
    void desktopRecentList();
};

void TestShellLogic::storedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "5000" << 5000;
    QTest::newRow("blank before") << "  120" << 120;
    QTest::newRow("leading number") << "77abc" << 77;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("negative") << "-300" << -300;
    QTest::newRow("half to even down") << "2.5" << 2;
    QTest::newRow("half to even up") << "3.5" << 4;
    QTest::newRow("fraction") << "10.4" << 10;
    QTest::newRow("largest") << "32767" << 32767;
    QTest::newRow("too large") << "32768" << 0;
    QTest::newRow("too small") << "-32769" << 0;
    QTest::newRow("exponent") << "1e3" << 1000;
    QTest::newRow("signed exponent, fraction") << "1.5e+1px" << 15;
    QTest::newRow("exponent without digits") << "5e" << 5;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("fraction only") << ".6" << 1;
    QTest::newRow("trailing point") << "9." << 9;
    QTest::newRow("point alone") << "." << 0;
    QTest::newRow("sign alone") << "- 4" << 0;
}

void TestShellLogic::storedNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(shell::readStoredNumber(text), value);
}

void TestShellLogic::recentPages()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).clear();
    QTemporaryDir dir;
    for (int i = 0; i < 12; ++i)
        recent::add(dir.filePath(QString::number(i)));
    recent::add(dir.filePath(QStringLiteral("5")));
    QStringList expected;
    for (const char *name : {"5", "11", "10", "9", "8", "7", "6", "4", "3", "2"})
        expected << dir.filePath(QString::fromLatin1(name));
    QCOMPARE(recent::pages(), expected);
    QVERIFY(writeRaw(dir.filePath(QStringLiteral("9")), "<p>here</p>"));
    recent::forgetMissing();
    QCOMPARE(recent::pages(), QStringList{dir.filePath(QStringLiteral("9"))});
}

void TestShellLogic::desktopRecentList_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("entries"); // -1: not such a list, left alone
    QTest::addColumn<int>("count");   // the times this program used the page
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\" "
                            "xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\" "
                            "xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    const auto entry = [](const char *href, const QByteArray &apps) {
        return "<bookmark href=\"" + QByteArray(href) +
               "\" added=\"2020-01-01T00:00:00Z\" modified=\"2020-01-01T00:00:00Z\" "
               "visited=\"2020-01-01T00:00:00Z\">"
               "<info><metadata owner=\"http://freedesktop.org\"><mime:mime-type type=\"text/html\"/>"
               "<bookmark:applications>" +
               apps + "</bookmark:applications></metadata></info></bookmark>\n";
    };
    const QByteArray gedit = "<bookmark:application name=\"gedit\" exec=\"'gedit %u'\" "
                             "modified=\"2020-01-01T00:00:00Z\" count=\"3\"/>";
    const QByteArray ours = "<bookmark:application name=\"Quillon Kiv\" exec=\"'quillon-kiv %u'\" "
                            "modified=\"2020-01-01T00:00:00Z\" count=\"2\"/>";
    QTest::newRow("no list yet") << QByteArray() << 1 << 1;
    QTest::newRow("other files kept")
        << head + entry("file:///home/u/notes.html", gedit) + "</xbel>" << 2 << 1;
    QTest::newRow("used here before")
        << head + entry("file:///site/my%20page.html", gedit + ours) + "</xbel>" << 1 << 3;
    QTest::newRow("used elsewhere before")
        << head + entry("file:///site/my%20page.html", gedit) + "</xbel>" << 1 << 1;
    QTest::newRow("another kind of file") << QByteArray("<html><body/></html>") << -1 << 0;
    QTest::newRow("broken") << head + "<bookmark href=" << -1 << 0;
}

void TestShellLogic::desktopRecentList()
{
    QFETCH(QByteArray, before);
    QFETCH(int, entries);
    QFETCH(int, count);
    recent::Use use;
    use.path = QStringLiteral("/site/my page.html");
    use.mimeType = QStringLiteral("text/html");
    use.application = QStringLiteral("Quillon Kiv");
    use.command = QStringLiteral("quillon-kiv %u");
    use.when = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    const std::optional<QByteArray> after = recent::withUse(before, use);
    QCOMPARE(after.has_value(), entries >= 0);
    if (!after)
        return;
    // Read back as a desktop reads it.
    QXmlStreamReader r(*after);
    QStringList hrefs;
    QHash<QString, int> counts;
    QString href;
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (r.name() == QLatin1String("bookmark"))
            hrefs << (href = r.attributes().value(QLatin1String("href")).toString());
        if (r.name() == QLatin1String("application"))
            counts[href + r.attributes().value(QLatin1String("name")).toString()] =
                r.attributes().value(QLatin1String("count")).toInt();
    }
    QVERIFY2(!r.hasError(), after->constData());
    QCOMPARE(hrefs.size(), entries);
    QCOMPARE(counts.value(QStringLiteral("file:///site/my%20page.htmlQuillon Kiv")), count);
    // Every other program's record stays as it was.
    QCOMPARE(after->count("name=\"gedit\""), before.count("name=\"gedit\""));
    QVERIFY(after->contains("2024-05-06T07:08:09"));
}

QTEST_GUILESS_MAIN(TestShellLogic)
#include "tst_shelllogic.moc"
