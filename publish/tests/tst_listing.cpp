#include "listing.h"

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
    void addresses_data();
    void addresses();
    void folders_data();
    void folders();
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
    QCOMPARE(splitListing(reply), entries);
}

void TestListing::addresses_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("address");
    QTest::newRow("no scheme") << "ftp.example.org"
                               << "ftp://ftp.example.org";
    QTest::newRow("ftp any case") << "FtP://Host/x"
                                  << "FtP://Host/x";
    QTest::newRow("http") << "HTTP://host"
                          << "ftp://host";
    QTest::newRow("spaces trimmed") << "  host  "
                                    << "ftp://host";
}

void TestListing::addresses()
{
    QFETCH(QString, typed);
    QFETCH(QString, address);
    QCOMPARE(normaliseAddress(typed), address);
}

void TestListing::folders_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("folder");
    QTest::newRow("slash") << "/public_html"
                           << "public_html";
    QTest::newRow("backslash") << "\\site"
                               << "site";
    QTest::newRow("double slash loses one") << "//x"
                                            << "/x";
    QTest::newRow("empty") << ""
                           << ".";
    QTest::newRow("plain") << "www"
                           << "www";
    QTest::newRow("trimmed") << "  /a  "
                             << "a";
}

void TestListing::folders()
{
    QFETCH(QString, typed);
    QFETCH(QString, folder);
    QCOMPARE(normaliseFolder(typed), folder);
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
}

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
