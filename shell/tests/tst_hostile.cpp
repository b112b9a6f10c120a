// Pages that try to run, navigate, exhaust or confuse the editor: each opens
// (or fails with the load error box), runs nothing, goes nowhere, and an
// unchanged page saved back keeps what it had.
#include "shell/mainform.h"
#include "surface/webenginesurface.h"
#include "testsupport/testwindow.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace shell;
using namespace surface;

class TestHostile final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void activePage();
    void pages_data();
    void pages();

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        return writeTestFile(m_dir.filePath(name), bytes);
    }
    QVariant js(const QString &code) { return m_window.js(code); }

    TestWindow m_window;
    ui::Script &m_script = m_window.script;
    std::unique_ptr<MainForm> &m_form = m_window.form;
    QTemporaryDir m_dir;
};

void TestHostile::initTestCase()
{
    QVERIFY(m_window.open());
}

void TestHostile::init()
{
    m_script = ui::Script();
    m_form->surface()->NewDocument();
}

void TestHostile::activePage()
{
    write(QStringLiteral("elsewhere.html"), "<html><body>ELSEWHERE</body></html>");
    const QByteArray page = "<html><head><title>Quiet</title>\r\n"
                            "<meta http-equiv=\"refresh\" content=\"0; url=elsewhere.html\">\r\n"
                            "<script>document.title = 'ran'; location.href = 'elsewhere.html';</script>\r\n"
                            "<!-- keep this comment -->\r\n"
                            "</head><body onload=\"document.body.innerHTML = 'replaced'\">\r\n"
                            "<img src=\"missing.gif\" onerror=\"document.title = 'onerror ran'\">\r\n"
                            "<form action=\"elsewhere.html\"><input type=submit autofocus></form>\r\n"
                            "<a href=\"elsewhere.html\" target=\"_blank\">new window</a>\r\n"
                            "<a href=\"javascript:document.title='js'\">js</a>\r\n"
                            "<p>Body text stays</p>\r\n"
                            "</body></html>";
    const QString path = write(QStringLiteral("active.html"), page);
    m_window.openPage(path);
    QCOMPARE(m_form->surface()->CurrentDocumentPath(), path);
    // Once the page and its broken picture are done loading, a refresh, a
    // script or an error handler would have acted.
    QTRY_VERIFY(
        js(QStringLiteral("document.readyState === 'complete' && document.images[0].complete")).toBool());
    QVERIFY(js(QStringLiteral("true")).toBool());
    QCOMPARE(m_form->surface()->CurrentDocumentPath(), path);
    QCOMPARE(m_form->surface()->DocumentTitle(), QStringLiteral("Quiet"));
    QCOMPARE(js(QStringLiteral("document.title")).toString(), QStringLiteral("Quiet"));
    QVERIFY(
        js(QStringLiteral("document.body.innerText")).toString().contains(QStringLiteral("Body text stays")));
    QVERIFY(!m_form->surface()->IsDirty());

    // Saved back unchanged: scripts, comments and event attributes are still there.
    QVERIFY(m_form->savePage(false));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray saved = f.readAll();
    for (const char *kept :
         {"<script>document.title = 'ran'; location.href = 'elsewhere.html';</script>",
          "<!-- keep this comment -->", "onload=\"document.body.innerHTML = 'replaced'\"",
          "onerror=\"document.title = 'onerror ran'\"", "href=\"javascript:document.title='js'\""})
        QVERIFY2(saved.contains(kept), kept);
    QVERIFY(m_script.messagesShown.isEmpty());
}

void TestHostile::pages_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message"); // the load error box, or none

    QByteArray binary(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator rng(7);
    for (char &c : binary)
        c = char(rng.bounded(256));
    QTest::newRow("binary file")
        << binary
        << QStringLiteral("Error occurred while loading document: File holds binary data, not text.");

    QByteArray nested = "<html><body>";
    for (int i = 0; i < 10000; ++i)
        nested += "<div>";
    nested += "deep";
    for (int i = 0; i < 10000; ++i)
        nested += "</div>";
    nested += "</body></html>";
    QTest::newRow("10000 nested elements") << nested << QString();

    QTest::newRow("invalid UTF-8") << QByteArray(
                                          "<html><head><meta charset=utf-8></head><body>ok \xff\xfe\xc3 bad "
                                          "\xed\xa0\x80 end</body></html>")
                                   << QString();
    QTest::newRow("frameset") << QByteArray(
                                     "<html><frameset cols=\"50%,50%\"><frame src=a.html><frame src=b.html>"
                                     "</frameset></html>")
                              << QStringLiteral(
                                     "Error occurred while loading document: Document contains a frameset.");

    QByteArray big = "<html><head><title>Big</title></head><body>\n";
    const QByteArray para =
        "<p>A paragraph of a very large page, repeated until the page is fifty megabytes.</p>\n";
    big.reserve(50 * 1024 * 1024 + para.size());
    while (big.size() < 50 * 1024 * 1024)
        big += para;
    big += "</body></html>";
    QTest::newRow("50 MB page") << big << QString();
}

void TestHostile::pages()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString path = write(QStringLiteral("hostile.html"), bytes);
    m_script.fileAnswers << path;
    QElapsedTimer t;
    t.start();
    m_form->open();
    if (message.isEmpty()) {
        QVERIFY2(m_script.messagesShown.isEmpty(), qPrintable(m_script.messagesShown.join(u'\n')));
        QCOMPARE(m_form->surface()->CurrentDocumentPath(), path);
        QVERIFY(!m_form->surface()->DocumentHTML().isEmpty());
    } else {
        QCOMPARE(m_script.messagesShown, QStringList{message});
        QCOMPARE(m_form->surface()->CurrentDocumentPath(), QString());
    }
    // The window still answers.
    QVERIFY(js(QStringLiteral("1 + 1")).toInt() == 2);
    qInfo("opened in %lld ms", t.elapsed());
}

QK_WINDOW_TEST_MAIN(TestHostile)

#include "tst_hostile.moc"
