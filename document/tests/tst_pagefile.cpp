// Pieces of the session that need no window: stored numbers, charsets, the
// page writer under injected faults, and the recovery store.
#include "shell/pagefile.h"
#include "shell/recentpages.h"
#include "shell/recovery.h"
#include "shell/session.h"
#include "surface/editsurface.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

struct stat statOf(const QString &path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}
} // namespace

class TestSession final : public QObject
{
    Q_OBJECT

private slots:
    void storedNumbers_data();
    void storedNumbers();
    void utf8Declaration_data();
    void utf8Declaration();
    void encoding_data();
    void encoding();
    void failedWritesLeaveTheOldFile_data();
    void failedWritesLeaveTheOldFile();
    void writesKeepTheFilesNature();
    void recoveryCopies();
    void recentPages();
    void desktopRecentList_data();
    void desktopRecentList();
};

void TestSession::storedNumbers_data()
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

void TestSession::storedNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(session::readStoredNumber(text), value);
}

void TestSession::utf8Declaration_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::newRow("meta charset") << "<html><head><meta charset=\"windows-1252\"></head></html>"
                                  << "<html><head><meta charset=\"utf-8\"></head></html>";
    QTest::newRow("http-equiv")
        << "<HEAD><META http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\"></HEAD>"
        << "<HEAD><META http-equiv=Content-Type content=\"text/html; charset=utf-8\"></HEAD>";
    QTest::newRow("no declaration") << "<HTML>\r\n<HEAD>\r\n<TITLE>x</TITLE>"
                                    << "<HTML>\r\n<HEAD><META charset=\"utf-8\">\r\n<TITLE>x</TITLE>";
    QTest::newRow("no head") << "<html><body>x</body></html>"
                             << "<html><HEAD><META charset=\"utf-8\"></HEAD><body>x</body></html>";
    QTest::newRow("fragment") << "<p>x</p>"
                              << "<META charset=\"utf-8\"><p>x</p>";
    QTest::newRow("header element is no head")
        << "<html><header>h</header></html>"
        << "<html><HEAD><META charset=\"utf-8\"></HEAD><header>h</header></html>";
}

void TestSession::utf8Declaration()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(session::declareUtf8(html), expected);
}

void TestSession::encoding_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("writtenAs");
    QTest::newRow("ascii needs no declaration")
        << "<html><body>abc</body></html>"
        << "" << QByteArray("<html><body>abc</body></html>") << "UTF-8";
    QTest::newRow("a declaration is kept as written")
        << "<html><head><meta charset=\"UTF-8\"></head>caf\u00e9</html>"
        << "UTF-8" << QByteArray("<html><head><meta charset=\"UTF-8\"></head>caf\xc3\xa9</html>") << "UTF-8";
    QTest::newRow("non-ascii without declaration gets one")
        << "<html><head></head>caf\u00e9</html>"
        << "" << QByteArray("<html><head><META charset=\"utf-8\"></head>caf\xc3\xa9</html>") << "UTF-8";
    QTest::newRow("a declared legacy charset stays")
        << "<head><meta charset=iso-8859-1></head>caf\u00e9"
        << "windows-1252" << QByteArray("<head><meta charset=iso-8859-1></head>caf\xe9") << "windows-1252";
    QTest::newRow("what the legacy charset cannot hold goes to UTF-8")
        << "<head><meta charset=iso-8859-1></head>caf\u00e9 \u4e00"
        << "windows-1252" << QByteArray("<head><meta charset=utf-8></head>caf\xc3\xa9 \xe4\xb8\x80")
        << "UTF-8";
}

void TestSession::encoding()
{
    QFETCH(QString, html);
    QFETCH(QString, charset);
    QFETCH(QByteArray, expected);
    QFETCH(QString, writtenAs);
    const session::EncodedPage page = session::encodePage(html, {charset, false});
    QCOMPARE(page.bytes, expected);
    QCOMPARE(page.encoding.charset, writtenAs);
}

void TestSession::failedWritesLeaveTheOldFile_data()
{
    QTest::addColumn<qint64>("failAfter");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("failSync");
    QTest::addColumn<bool>("failRename");
    QTest::addColumn<bool>("hardLink");
    QTest::addColumn<qint64>("code");
    using namespace surface::codes;
    QTest::newRow("disk full half way") << qint64(4000) << 0 << false << false << false << DiskFull;
    QTest::newRow("disk full at once") << qint64(0) << int(EDQUOT) << false << false << false << DiskFull;
    QTest::newRow("flush fails") << qint64(-1) << 0 << true << false << false << Unknown;
    QTest::newRow("rename fails") << qint64(-1) << 0 << false << true << false << Unknown;
    QTest::newRow("hard link, disk full half way") << qint64(4000) << 0 << false << false << true << DiskFull;
}

void TestSession::failedWritesLeaveTheOldFile()
{
    QFETCH(qint64, failAfter);
    QFETCH(int, error);
    QFETCH(bool, failSync);
    QFETCH(bool, failRename);
    QFETCH(bool, hardLink);
    QFETCH(qint64, code);
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("p.html"));
    const QByteArray old(5000, 'o');
    QVERIFY(writeRaw(page, old));
    if (hardLink)
        QCOMPARE(::link(QFile::encodeName(page).constData(),
                        QFile::encodeName(dir.filePath(QStringLiteral("q.html"))).constData()),
                 0);
    session::WriteFaults faults;
    faults.failAfterBytes = failAfter;
    faults.error = error;
    faults.failSync = failSync;
    faults.failRename = failRename;
    const session::WriteResult r = session::writePageFile(page, QByteArray(9000, 'n'), &faults);
    QVERIFY(!r.ok);
    QCOMPARE(r.code, code);
    QCOMPARE(readAll(page), old);
    // Nothing is left beside the page.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), hardLink ? 2 : 1);
}

void TestSession::writesKeepTheFilesNature()
{
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };

    // Mode, and owner and group where this process may give them.
    QVERIFY(writeRaw(path("mode.html"), "old"));
    QVERIFY(::chmod(QFile::encodeName(path("mode.html")).constData(), 0640) == 0);
    const bool root = ::geteuid() == 0;
    if (root)
        QVERIFY(::chown(QFile::encodeName(path("mode.html")).constData(), 1234, 4321) == 0);
    QVERIFY(session::writePageFile(path("mode.html"), "new").ok);
    QCOMPARE(readAll(path("mode.html")), QByteArray("new"));
    QCOMPARE(statOf(path("mode.html")).st_mode & 07777, mode_t(0640));
    if (root) {
        QCOMPARE(statOf(path("mode.html")).st_uid, uid_t(1234));
        QCOMPARE(statOf(path("mode.html")).st_gid, gid_t(4321));
    }

    // A read-only file is refused, whoever runs the program, and keeps its mode.
    QVERIFY(writeRaw(path("ro.html"), "keep"));
    QVERIFY(::chmod(QFile::encodeName(path("ro.html")).constData(), 0444) == 0);
    const session::WriteResult ro = session::writePageFile(path("ro.html"), "lost");
    QVERIFY(!ro.ok);
    QCOMPARE(ro.code, surface::codes::AccessDenied);
    QCOMPARE(readAll(path("ro.html")), QByteArray("keep"));
    QCOMPARE(statOf(path("ro.html")).st_mode & 07777, mode_t(0444));

    // A link stays a link; a second hard link sees the new page.
    QVERIFY(writeRaw(path("real.html"), "old"));
    QVERIFY(QFile::link(path("real.html"), path("link.html")));
    QVERIFY(session::writePageFile(path("link.html"), "through").ok);
    QVERIFY(QFileInfo(path("link.html")).isSymLink());
    QCOMPARE(readAll(path("real.html")), QByteArray("through"));
    QCOMPARE(::link(QFile::encodeName(path("real.html")).constData(),
                    QFile::encodeName(path("hard.html")).constData()),
             0);
    QVERIFY(session::writePageFile(path("real.html"), "both").ok);
    QCOMPARE(readAll(path("hard.html")), QByteArray("both"));

    // A new file gets the default mode, not the temporary file's.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QVERIFY(session::writePageFile(path("new.html"), "n").ok);
    QCOMPARE(statOf(path("new.html")).st_mode & 0777, mode_t(0666 & ~mask));
}

void TestSession::recoveryCopies()
{
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("page.html"));
    QVERIFY(writeRaw(page, "on disk"));
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    session::RecoveryStore mine(folder);
    QVERIFY(mine.write(page, "changed"));
    QVERIFY(mine.hasCopy());
    // This program's own copy is no orphan.
    QVERIFY(session::RecoveryStore::orphans(folder).isEmpty());
    mine.discard();
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());

    // A copy left by a program that is gone is offered while it is newer
    // than its page, and removed once the page was saved after it.
    QVERIFY(writeRaw(folder + QStringLiteral("/x.html"), "left behind"));
    const auto info = [&](const QDateTime &when) {
        return writeRaw(folder + QStringLiteral("/x.json"),
                        QStringLiteral(R"({"page": "%1", "pid": 2147483000, "saved": "%2"})")
                            .arg(page, when.toString(Qt::ISODateWithMs))
                            .toUtf8());
    };
    QVERIFY(info(QDateTime::currentDateTimeUtc().addSecs(60)));
    const QList<session::RecoveryStore::Orphan> found = session::RecoveryStore::orphans(folder);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.constFirst().pagePath, page);
    QCOMPARE(session::RecoveryStore::read(found.constFirst()), QByteArray("left behind"));
    QVERIFY(info(QDateTime::currentDateTimeUtc().addSecs(-3600)));
    QVERIFY(session::RecoveryStore::orphans(folder).isEmpty());
    QVERIFY(!QFile::exists(folder + QStringLiteral("/x.html")));
}

void TestSession::recentPages()
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

void TestSession::desktopRecentList_data()
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

void TestSession::desktopRecentList()
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

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
