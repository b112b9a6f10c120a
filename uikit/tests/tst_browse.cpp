// Favourites shortcut files.
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestBrowse final : public QObject
{
    Q_OBJECT

private slots:
    void shortcutFiles_data();
    void shortcutFiles();
    void unreadable();
    void filters();
};

void TestBrowse::shortcutFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("address");
    QTest::newRow("CR LF") << QByteArray("[InternetShortcut]\r\nURL=http://a.example/x\r\n")
                           << "http://a.example/x";
    QTest::newRow("LF") << QByteArray("[InternetShortcut]\nURL=http://b.example/\n") << "http://b.example/";
    QTest::newRow("CR") << QByteArray("[InternetShortcut]\rURL=http://c.example/\r") << "http://c.example/";
    QTest::newRow("DEFAULT first")
        << QByteArray("[DEFAULT]\r\nBASEURL=http://no/\r\n[InternetShortcut]\r\nIDList=\r\n"
                      "URL=http://d.example/\r\n")
        << "http://d.example/";
    QTest::newRow("URL in another section only")
        << QByteArray("[Other]\nURL=http://no/\n[InternetShortcut]\nX=1\n") << "";
    QTest::newRow("no URL") << QByteArray("[InternetShortcut]\r\nIconIndex=0\r\n") << "";
    QTest::newRow("last line without break")
        << QByteArray("[InternetShortcut]\r\nURL=http://e.example/p?q=1") << "http://e.example/p?q=1";
    QTest::newRow("section name in other case")
        << QByteArray("[internetshortcut]\nurl=http://f.example/\n") << "http://f.example/";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe[InternetShortcut", 20) << "";
}

void TestBrowse::shortcutFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, address);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.url"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    QCOMPARE(browse::readInternetShortcut(path), address);
}

void TestBrowse::unreadable()
{
    QCOMPARE(browse::readInternetShortcut(QString()), QString());
    QCOMPARE(browse::readInternetShortcut(QStringLiteral("/no/such/file.url")), QString());
    QTemporaryDir dir;
    QCOMPARE(browse::readInternetShortcut(dir.path()), QString()); // a folder
}

void TestBrowse::filters()
{
    QCOMPARE(
        ui::translateFilter(QStringLiteral("All Files (*.*)|*.*|Graphics Files (*.jpeg, *.jpg, *.gif, *.png)|"
                                           "*.jpeg;*.jpg;*.gif;*.png|URL files (*.url)|*.url")),
        (QStringList{QStringLiteral("All Files (*.*)"),
                     QStringLiteral("Graphics Files (*.jpeg *.jpg *.gif *.png)"),
                     QStringLiteral("URL files (*.url)")}));
    QCOMPARE(ui::translateFilter(QStringLiteral("Pages|*.htm;*.html")),
             QStringList{QStringLiteral("Pages (*.htm *.html)")});
    QCOMPARE(ui::translateFilter(QStringLiteral("odd|")), QStringList{QStringLiteral("odd ()")});
    QCOMPARE(ui::translateFilter(QString()), QStringList());
}

QTEST_GUILESS_MAIN(TestBrowse)
#include "tst_browse.moc"
