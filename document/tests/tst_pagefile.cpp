// What the page's handling decides without the page: charsets, the page
// writer under injected faults, and the recovery store.
#include "document/pagefile.h"
#include "document/recovery.h"
#include "document/saverules.h"
#include "surface/editsurface.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

class TestPageFile final : public QObject
{
    Q_OBJECT

private slots:
    void utf8Declaration_data();
    void utf8Declaration();
    void encoding_data();
    void encoding();
    void failedWritesLeaveTheOldFile_data();
    void failedWritesLeaveTheOldFile();
    void writesKeepTheFilesNature();
    void recoveryCopies();
};

void TestPageFile::utf8Declaration_data()
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

void TestPageFile::utf8Declaration()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(document::declareUtf8(html), expected);
}

void TestPageFile::encoding_data()
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

void TestPageFile::encoding()
{
    QFETCH(QString, html);
    QFETCH(QString, charset);
    QFETCH(QByteArray, expected);
    QFETCH(QString, writtenAs);
    const document::EncodedPage page = document::encodePage(html, {charset, false});
    QCOMPARE(page.bytes, expected);
    QCOMPARE(page.encoding.charset, writtenAs);
}

void TestPageFile::failedWritesLeaveTheOldFile_data()
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

void TestPageFile::failedWritesLeaveTheOldFile()
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
    document::WriteFaults faults;
    faults.failAfterBytes = failAfter;
    faults.error = error;
    faults.failSync = failSync;
    faults.failRename = failRename;
    const document::WriteResult r = document::writePageFile(page, QByteArray(9000, 'n'), &faults);
    QVERIFY(!r.ok);
    QCOMPARE(r.code, code);
    QCOMPARE(readAll(page), old);
    // Nothing is left beside the page.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), hardLink ? 2 : 1);
}

void TestPageFile::writesKeepTheFilesNature()
{
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };

    // Mode, and owner and group where this process may give them.
    QVERIFY(writeRaw(path("mode.html"), "old"));
    QVERIFY(::chmod(QFile::encodeName(path("mode.html")).constData(), 0640) == 0);
    const bool root = ::geteuid() == 0;
    if (root)
        QVERIFY(::chown(QFile::encodeName(path("mode.html")).constData(), 1234, 4321) == 0);
    QVERIFY(document::writePageFile(path("mode.html"), "new").ok);
    QCOMPARE(readAll(path("mode.html")), QByteArray("new"));
    QCOMPARE(statOf(path("mode.html")).st_mode & 07777, mode_t(0640));
    if (root) {
        QCOMPARE(statOf(path("mode.html")).st_uid, uid_t(1234));
        QCOMPARE(statOf(path("mode.html")).st_gid, gid_t(4321));
    }

    // A read-only file is refused, whoever runs the program, and keeps its mode.
    QVERIFY(writeRaw(path("ro.html"), "keep"));
    QVERIFY(::chmod(QFile::encodeName(path("ro.html")).constData(), 0444) == 0);
    const document::WriteResult ro = document::writePageFile(path("ro.html"), "lost");
    QVERIFY(!ro.ok);
    QCOMPARE(ro.code, surface::codes::AccessDenied);
    QCOMPARE(readAll(path("ro.html")), QByteArray("keep"));
    QCOMPARE(statOf(path("ro.html")).st_mode & 07777, mode_t(0444));

    // A link stays a link; a second hard link sees the new page.
    QVERIFY(writeRaw(path("real.html"), "old"));
    QVERIFY(QFile::link(path("real.html"), path("link.html")));
    QVERIFY(document::writePageFile(path("link.html"), "through").ok);
    QVERIFY(QFileInfo(path("link.html")).isSymLink());
    QCOMPARE(readAll(path("real.html")), QByteArray("through"));
    QCOMPARE(::link(QFile::encodeName(path("real.html")).constData(),
                    QFile::encodeName(path("hard.html")).constData()),
             0);
    QVERIFY(document::writePageFile(path("real.html"), "both").ok);
    QCOMPARE(readAll(path("hard.html")), QByteArray("both"));

    // A new file gets the default mode, not the temporary file's.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QVERIFY(document::writePageFile(path("new.html"), "n").ok);
    QCOMPARE(statOf(path("new.html")).st_mode & 0777, mode_t(0666 & ~mask));
}

void TestPageFile::recoveryCopies()
{
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("page.html"));
    QVERIFY(writeRaw(page, "on disk"));
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    document::RecoveryStore mine(folder);
    QVERIFY(mine.write(page, "changed"));
    QVERIFY(mine.hasCopy());
    // This program's own copy is no orphan.
    QVERIFY(document::RecoveryStore::orphans(folder).isEmpty());
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
    const QList<document::RecoveryStore::Orphan> found = document::RecoveryStore::orphans(folder);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.constFirst().pagePath, page);
    QCOMPARE(document::RecoveryStore::read(found.constFirst()), QByteArray("left behind"));
    QVERIFY(info(QDateTime::currentDateTimeUtc().addSecs(-3600)));
    QVERIFY(document::RecoveryStore::orphans(folder).isEmpty());
    QVERIFY(!QFile::exists(folder + QStringLiteral("/x.html")));
}

QTEST_GUILESS_MAIN(TestPageFile)
#include "tst_pagefile.moc"
