#include "publish/listing.h"

#include <QTest>

using namespace publish;

namespace {
QStringList L(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *i : items)
        out << QString::fromUtf8(i);
    return out;
}
} // namespace

class TestListing final : public QObject
{
    Q_OBJECT

private slots:
    void split_data();
    void split();
    void listLines_data();
    void listLines();
    void requests_data();
    void requests();
    void typedFields_data();
    void typedFields();
    void localNames_data();
    void localNames();
};

void TestListing::split_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("empty line skipped") << "index.html\r\nimages/\r\n\r\n"
                                        << L({"..", "index.html", "images/"});
    QTest::newRow("last line without break") << "a\r\nb" << L({"..", "a", "b"});
    QTest::newRow("lone CR and LF stay") << "a\rb\nc\r\nd" << L({"..", "a\rb\nc", "d"});
    QTest::newRow("spaces trimmed") << "  spaced name  \r\n   \r\nx" << L({"..", "spaced name", "x"});
    QTest::newRow("tabs are not spaces") << "\tx\t" << L({"..", "\tx\t"});
    QTest::newRow("empty reply") << "" << L({".."});
    QTest::newRow("duplicates kept") << "a\r\na\r\n" << L({"..", "a", "a"});
}

void TestListing::split()
{
    QFETCH(QString, reply);
    QFETCH(QStringList, entries);
    QStringList shown;
    for (const ListedName &e : splitListing(reply))
        shown << e.shown;
    QCOMPARE(shown, entries);
}

void TestListing::listLines_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("links");
    const QString folder = QStringLiteral("drwxr-xr-x 2 u g 4096 Jan 01 00:00 public_html\n");
    QTest::newRow("pyftpdlib file and folder")
        << "-rw-r--r--   1 root     root           25 Dec 06 22:44 index.html\r\n"
           "drwxr-xr-x   2 root     root         4096 Dec 06 22:44 images\r\n"
        << "index.html\r\nimages/\r\n"
        << L({});
    QTest::newRow("vsftpd numeric owners, spaces kept")
        << "-rw-r--r--    1 0        0               1 Dec 06  2025  spaced.txt \n"
        << " spaced.txt \r\n"
        << L({});
    QTest::newRow("owner only, ISO date") << "-rw-r--r-- 1 ftp 5 2024-01-31 09:15 a b.txt"
                                          << "a b.txt\r\n"
                                          << L({});
    QTest::newRow("link") << "lrwxrwxrwx 1 u g 4 Jan  1 00:00 www -> public_html\n"
                          << "www\r\n"
                          << L({"www"});
    QTest::newRow("dot entries and summary skipped")
        << "total 8\ndrwxr-xr-x 2 u g 4096 Jan 01 00:00 .\ndrwxr-xr-x 2 u g 4096 Jan 01 00:00 ..\n"
        << "" << L({});
    QTest::newRow("DOS listing") << "01-31-24  09:15PM       <DIR>          my site\r\n"
                                    "01-31-24  09:16AM                  512 index.html\r\n"
                                 << "my site/\r\nindex.html\r\n"
                                 << L({});
    QTest::newRow("line break inside a name")
        << "-rw-r--r-- 1 u g 3 Jan 01 00:00 new\nline.txt\n-rw-r--r-- 1 u g 6 Jan 01 00:00 normal.txt\n"
        << "new\nline.txt\r\nnormal.txt\r\n"
        << L({});
    QTest::newRow("unreadable first line") << "garbage\n-rw-r--r-- 1 u g 6 Jan 01 00:00 normal.txt\n"
                                           << "normal.txt\r\n"
                                           << L({});
    // Lines of a listing that are no entry of ours do not stick to the one before.
    QTest::newRow("device after an entry")
        << folder + QStringLiteral("crw-rw-rw- 1 root root 1, 3 Jan 01 00:00 null\n") << "public_html/\r\n"
        << L({});
    QTest::newRow("socket after an entry")
        << folder + QStringLiteral("srwxrwxrwx 1 u g 0 Jan 01 00:00 sock\n") << "public_html/\r\n"
        << L({});
    QTest::newRow("month in another language")
        << folder + QString::fromUtf8("-rw-r--r-- 1 u g 5 M\u00e4r 01 00:00 notiz.txt\n")
        << "public_html/\r\nnotiz.txt\r\n"
        << L({});
    QTest::newRow("date not read after an entry")
        << folder + QString::fromUtf8("-rw-r--r-- 1 u g 5 3\u6708 01 00:00 x\ntotal 3\n")
        << "public_html/\r\n"
        << L({});
}

void TestListing::listLines()
{
    QFETCH(QString, list);
    QFETCH(QString, reply);
    QFETCH(QStringList, links);
    QStringList found;
    QCOMPARE(entriesOfList(list, &found), reply);
    QCOMPARE(found, links);
}

void TestListing::requests_data()
{
    QTest::addColumn<QString>("line"); // of the listing reply
    QTest::addColumn<bool>("ok");
    QTest::newRow("plain") << "index.html" << true;
    QTest::newRow("folder") << "images/" << true;
    QTest::newRow("inner spaces") << "my page.html" << true;
    QTest::newRow("URL characters") << "semi;type=a 100%25 #?.txt" << true;
    QTest::newRow("spaces around") << " spaced.txt " << false;
    QTest::newRow("line break") << "new\nline.txt" << false;
    QTest::newRow("NUL") << QStringLiteral("trail.txt") + QChar(u'\0') + QStringLiteral(".exe") << false;
    QTest::newRow("slash inside") << "a/b.txt" << false;
    QTest::newRow("undecodable byte") << QString::fromUtf8("caf\xe9.txt") << false;
}

void TestListing::requests()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    const QList<ListedName> entries = splitListing(line);
    QCOMPARE(entries.size(), 2);
    QVERIFY(requestable(entries.first())); // ".."
    QCOMPARE(requestable(entries.last()), ok);
}

// The address and the start folder as typed, and as the dialog uses them.
void TestListing::typedFields_data()
{
    QTest::addColumn<bool>("folder"); // the start folder's box, else the address's
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("used");
    const struct
    {
        bool folder;
        const char *name, *typed, *used;
    } rows[] = {
        {false, "address: no scheme", "ftp.example.org", "ftp://ftp.example.org"},
        {false, "address: ftp any case", "FtP://Host/x", "FtP://Host/x"},
        {false, "address: http", "HTTP://host", "ftp://host"},
        {false, "address: spaces trimmed", "  host  ", "ftp://host"},
        {true, "folder: slash", "/public_html", "public_html"},
        {true, "folder: backslash", "\\site", "site"},
        {true, "folder: double slash loses one", "//x", "/x"},
        {true, "folder: empty", "", "."},
        {true, "folder: plain", "www", "www"},
        {true, "folder: trimmed", "  /a  ", "a"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.folder << QString::fromUtf8(r.typed) << QString::fromUtf8(r.used);
}

void TestListing::typedFields()
{
    QFETCH(bool, folder);
    QFETCH(QString, typed);
    QFETCH(QString, used);
    QCOMPARE(folder ? normaliseFolder(typed) : normaliseAddress(typed), used);
}

void TestListing::localNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ok");
    QTest::newRow("plain") << "index.html" << true;
    QTest::newRow("space") << "my page.html" << true;
    QTest::newRow("unicode") << "résumé.html" << true;
    QTest::newRow("climbing") << "../../x" << false;
    QTest::newRow("absolute") << "/etc/x" << false;
    QTest::newRow("nested") << "a/b" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("CR LF") << "x\r\nDELE y" << false;
    QTest::newRow("NUL") << QString(QChar(0)) + QStringLiteral("x") << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("drive") << "C:x" << false;
}

void TestListing::localNames()
{
    QFETCH(QString, name);
    QFETCH(bool, ok);
    QCOMPARE(acceptableLocalName(name), ok);
    if (ok)
        QVERIFY(sendable(name));
    else if (name.contains(u'\r') || name.contains(QChar(u'\0')))
        QVERIFY(!sendable(name));
}

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
