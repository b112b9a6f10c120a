// A page is never lost or damaged: the whole program with the real engine,
// under failing and slow reads, a stopped engine, odd names and contents.
// What the session decides without the engine is tested on its own.
#include "document/documentsession.h"
#include "shell/mainform.h"
#include "surface/webenginesurface.h"
#include "testsupport/testwindow.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <unistd.h>

using namespace shell;
using namespace surface;

namespace {
const QByteArray kPage = "<!DOCTYPE html>\r\n<html><head><title>t</title></head>\r\n<body>\r\n"
                         "<p id=\"t\">hello world</p>\r\n</body>\r\n</html>\r\n";

QString saveMessage(const char *why)
{
    return QStringLiteral("Error occurred while saving document: ") + QString::fromUtf8(why) + u'.';
}
} // namespace

class TestSaveSafety final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void failedReadsWriteNothing_data();
    void failedReadsWriteNothing();
    void referencesFollowThePage();
    void namesAndContents_data();
    void namesAndContents();
    void unchangedMeansUnchanged();
    void caretAndUndoSurviveSave();
    void slowReads_data();
    void slowReads();
    void stoppedOpen();

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        return writeTestFile(m_dir->filePath(name), bytes);
    }
    void open(const QString &path) { m_window.openPage(path); }
    void edit(const QString &html = QStringLiteral("<b>edit</b>")) { QVERIFY(m_window.edit(html)); }
    MainForm *form() { return m_window.form.get(); }
    WebEngineSurface *web() { return static_cast<WebEngineSurface *>(form()->surface()); }

    TestWindow m_window;
    ui::Script &m_script = m_window.script;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSaveSafety::initTestCase()
{
    QVERIFY(m_window.open());
}

void TestSaveSafety::init()
{
    m_script = ui::Script();
    m_dir = std::make_unique<QTemporaryDir>();
    form()->session()->setRecoveryFolder(m_dir->filePath(QStringLiteral("recovery")));
    form()->surface()->NewDocument();
}

void TestSaveSafety::failedReadsWriteNothing_data()
{
    QTest::addColumn<bool>("killRenderer");
    QTest::newRow("the renderer is killed") << true;
    QTest::newRow("the page's reader throws") << false;
}

void TestSaveSafety::failedReadsWriteNothing()
{
    QFETCH(bool, killRenderer);
    const QString page = write(QStringLiteral("p.html"), kPage);
    open(page);
    edit();
    if (killRenderer) {
        // A recovery copy is kept while the page is changed; the engine's
        // death is told at once and offers it.
        form()->session()->setRecoveryInterval(50);
        QTRY_VERIFY(QDir(m_dir->filePath(QStringLiteral("recovery")))
                        .entryList({QStringLiteral("*.html")}, QDir::Files)
                        .size() == 1);
        QVERIFY(::kill(pid_t(web()->rendererProcessId()), SIGKILL) == 0);
        m_script.messageAnswers << QMessageBox::Yes;
        QTRY_COMPARE(m_script.messagesShown.size(), 1);
        QVERIFY2(m_script.messagesShown.constFirst().contains(QStringLiteral("recovery copy")),
                 qPrintable(m_script.messagesShown.constFirst()));
        QTRY_VERIFY(form()->surface()->DocumentHTML().contains(QStringLiteral("<b>edit</b>")));
        QVERIFY(form()->surface()->IsDirty());
        QCOMPARE(form()->surface()->CurrentDocumentPath(), page);
    } else {
        QVERIFY(web()->evaluate(
            QStringLiteral("qk.recipe = qk.wholePage = () => { throw new Error('broken'); }; 1")));
        QVERIFY(!form()->savePage(false));
        QCOMPARE(m_script.messagesShown,
                 QStringList{saveMessage("The page could not be read from the display engine")});
        QVERIFY(form()->surface()->IsDirty());
    }
    QCOMPARE(readTestFile(page), kPage);
}

void TestSaveSafety::referencesFollowThePage()
{
    QImage picture(6, 4, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QDir().mkpath(m_dir->filePath(QStringLiteral("site/images")));
    QVERIFY(picture.save(m_dir->filePath(QStringLiteral("site/images/a.png")), "PNG"));
    QVERIFY(picture.save(m_dir->filePath(QStringLiteral("site/bg.gif")), "PNG"));
    const QString page =
        write(QStringLiteral("site/index.html"),
              "<HTML><BODY BACKGROUND=" +
                  QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("site/bg.gif"))).toEncoded() +
                  ">\r\n<P>http://example.com/../x.html</P>\r\n"
                  "<img id=a src=\"images/a.png\"> <a href=\"sub/page2.html\">two</a>\r\n"
                  "<style>#s{background:url(images/a.png)}</style><div id=s>s</div></BODY></HTML>");
    open(page);
    // Saved as it stands: the background becomes relative, the text after the
    // tag stays as it was.
    QVERIFY(form()->savePage(false));
    QVERIFY(!form()->surface()->IsDirty());
    QVERIFY2(readTestFile(page).startsWith(
                 "<HTML><BODY BACKGROUND=bg.gif>\r\n<P>http://example.com/../x.html</P>"),
             readTestFile(page).constData());

    // Saved into another folder: every reference still names its file.
    const QString copy = m_dir->filePath(QStringLiteral("site/sub/copy.html"));
    QDir().mkpath(QFileInfo(copy).absolutePath());
    m_script.fileAnswers << copy;
    QVERIFY(form()->savePage(true));
    const QByteArray saved = readTestFile(copy);
    for (const char *expected : {"BACKGROUND=../bg.gif>", "src=\"../images/a.png\"", "href=\"page2.html\""})
        QVERIFY2(saved.contains(expected), saved.constData());
    // The page reads, and shows, the references as written.
    QVERIFY(form()->surface()->DocumentHTML().contains(QStringLiteral("src=\"../images/a.png\"")));
    QTRY_COMPARE(m_window.js(QStringLiteral("document.getElementById('a').naturalWidth")).toInt(), 6);
    const QString background =
        m_window.js(QStringLiteral("getComputedStyle(document.getElementById('s')).backgroundImage"))
            .toString();
    QVERIFY2(background.endsWith(QStringLiteral("/site/images/a.png\")")), qPrintable(background));
    QCOMPARE(readTestFile(page).contains("images/a.png"), true); // the original stays as it was
}

void TestSaveSafety::namesAndContents_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("loadMessage");
    QTest::newRow("a page named index") << "index" << kPage << QString();
    QTest::newRow("a page named page.php") << "page.php" << kPage << QString();
    QByteArray binary(20000, '\0');
    for (char &c : binary)
        c = char(QRandomGenerator::global()->bounded(256));
    binary[100] = '\0';
    QTest::newRow("a binary file")
        << "picture.html" << binary
        << "Error occurred while loading document: File holds binary data, not text.";
}

void TestSaveSafety::namesAndContents()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, loadMessage);
    const QString page = write(name, bytes);
    if (!loadMessage.isEmpty()) {
        // A refused file leaves the page in the editor, even one whose
        // changes the user chose not to save.
        edit(QStringLiteral("<b>kept</b>"));
        m_script.messageAnswers << QMessageBox::No;
        open(page);
        QCOMPARE(m_script.messagesShown.constLast(), loadMessage);
        QVERIFY(form()->surface()->DocumentHTML().contains(QStringLiteral("<b>kept</b>")));
        QCOMPARE(readTestFile(page), bytes);
        return;
    }
    open(page);
    QCOMPARE(form()->surface()->CurrentDocumentPath(), page);
    // Read as a page, not as text, and saved as one after an edit.
    QVERIFY(m_window.js(QStringLiteral("!!document.getElementById('t')")).toBool());
    edit();
    QVERIFY(form()->savePage(false));
    const QByteArray saved = readTestFile(page);
    QVERIFY2(saved.contains("<p id=\"t\">") && saved.contains("<b>edit</b>") && !saved.contains("&lt;"),
             saved.constData());
    QVERIFY(m_script.messagesShown.isEmpty());
}

void TestSaveSafety::unchangedMeansUnchanged()
{
    // Pages written by others: saved without an edit, twice, byte for byte.
    const QDir corpus(QStringLiteral(QK_SOURCE_DIR "/surface/tests/corpus"));
    const QStringList pages = corpus.entryList({QStringLiteral("*.htm*")}, QDir::Files);
    QVERIFY(pages.size() >= 3);
    for (const QString &name : pages.mid(0, 3)) {
        const QByteArray original = readTestFile(corpus.filePath(name));
        const QString page = write(name, original);
        open(page);
        for (int round = 0; round < 2; ++round) {
            QVERIFY(form()->savePage(false));
            QVERIFY2(readTestFile(page) == original, qPrintable(name));
        }
    }
    QVERIFY(m_script.messagesShown.isEmpty());

    // A page made here does not grow from save to save.
    form()->newPage();
    edit(QStringLiteral("abc"));
    const QString made = m_dir->filePath(QStringLiteral("made.html"));
    m_script.fileAnswers << made;
    QVERIFY(form()->savePage(true));
    const QByteArray first = readTestFile(made);
    QVERIFY2(first.startsWith("<!DOCTYPE html>") && !first.contains("charset") && first.endsWith("</HTML>"),
             first.constData());
    edit(QStringLiteral("d"));
    QVERIFY(form()->savePage(false));
    QVERIFY(form()->savePage(false));
    QCOMPARE(readTestFile(made).size(), first.size() + 1);
}

void TestSaveSafety::caretAndUndoSurviveSave()
{
    const QString page = write(QStringLiteral("caret.html"), kPage);
    open(page);
    // The caret after "hello", then a save, then typing.
    QVERIFY(m_window
                .js(QStringLiteral(
                    "(() => { const t = document.getElementById('t').firstChild;"
                    " const r = document.createRange(); r.setStart(t, 5); r.collapse(true);"
                    " const s = getSelection(); s.removeAllRanges(); s.addRange(r); return true; })()"))
                .toBool());
    edit(QStringLiteral("X"));
    QVERIFY(form()->savePage(false));
    QVERIFY(!form()->surface()->IsDirty());
    QWidget *input = m_window.input();
    form()->surface()->widget()->setFocus();
    QTest::keyClicks(input, QStringLiteral("Y"));
    QTRY_VERIFY(form()->surface()->DocumentHTML().contains(QStringLiteral("helloXY world")));
    // Undo goes on working across a save, one step at a time: typing after
    // the save undoes alone, and a change undone after a save is a change.
    QVERIFY(form()->savePage(false));
    QTest::keyClicks(input, QStringLiteral("Z"));
    QTRY_VERIFY(form()->surface()->DocumentHTML().contains(QStringLiteral("helloXYZ world")));
    QVERIFY(form()->surface()->ExecCommand(DECMD_UNDO).isValid());
    QTRY_VERIFY(form()->surface()->DocumentHTML().contains(QStringLiteral("helloXY world")));
    QVERIFY(form()->surface()->IsDirty());
}

void TestSaveSafety::slowReads_data()
{
    QTest::addColumn<bool>("giveUp");
    QTest::newRow("waited for") << false;
    QTest::newRow("given up") << true;
}

// A read that takes long shows that the program waits and may be given up,
// after which nothing is written; and nothing else gets at the page
// meanwhile: the recovery copy, due many times over, waits for it.
void TestSaveSafety::slowReads()
{
    QFETCH(bool, giveUp);
    const QString page = write(QStringLiteral("slow.html"), kPage);
    open(page);
    edit();
    web()->setWaitTimes(100, giveUp ? 400 : 60000);
    QVERIFY(web()->evaluate(QStringLiteral(
        "window.qkReads = 0; for (const name of ['recipe', 'wholePage']) { const real = qk[name];"
        "  qk[name] = (...a) => { ++window.qkReads; const end = Date.now() + 1500;"
        "    while (Date.now() < end) {} return real(...a); }; } 1")));
    form()->session()->setRecoveryInterval(20);
    m_script.stopWaitingAnswers << giveUp;
    bool busyCursor = false;
    QString said;
    QTimer sample;
    connect(&sample, &QTimer::timeout, this, [&] {
        if (const QCursor *c = QGuiApplication::overrideCursor(); c && c->shape() == Qt::BusyCursor)
            busyCursor = true;
        if (const QString m = form()->statusBar()->currentMessage(); !m.isEmpty())
            said = m;
    });
    sample.start(20);
    const bool saved = form()->savePage(false);
    sample.stop();
    const int offers = m_script.stopWaitingOffers;
    const int reads = web()->evaluate(QStringLiteral("window.qkReads")).value_or(-1).toInt();
    form()->session()->setRecoveryInterval(30000);
    web()->setWaitTimes(500, 10000);

    QVERIFY(busyCursor);
    QCOMPARE(said, QStringLiteral("Waiting for the page's display engine..."));
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(form()->statusBar()->currentMessage(), QString());
    QCOMPARE(reads, 1);
    QCOMPARE(offers, giveUp ? 1 : 0);
    QCOMPARE(saved, !giveUp);
    if (giveUp) {
        QCOMPARE(m_script.messagesShown,
                 QStringList{saveMessage("Waiting for the page's display engine was stopped")});
        QCOMPARE(readTestFile(page), kPage);
        QVERIFY(form()->surface()->IsDirty());
    } else {
        QVERIFY(m_script.messagesShown.isEmpty());
        QVERIFY(readTestFile(page).contains("<b>edit</b>"));
    }
}

// An open the user stops leaves an empty page, and nothing of the page that
// was still loading comes back in its place.
void TestSaveSafety::stoppedOpen()
{
    QByteArray bytes = "<!DOCTYPE html><html><head><title>big</title></head><body>";
    while (bytes.size() < 6 * 1024 * 1024)
        bytes += "<p class=x>a paragraph of a large page <b>bold</b> <i>italic</i></p>\r\n";
    bytes += "</body></html>";
    const QString page = write(QStringLiteral("large.html"), bytes);
    web()->setWaitTimes(50, 100);
    m_script.stopWaitingAnswers << true;
    open(page);
    web()->setWaitTimes(500, 10000);
    // Stopped at the first offer; the empty page that follows may be offered
    // too while the engine finishes with the large one.
    QVERIFY(m_script.stopWaitingOffers >= 1);
    QVERIFY(m_script.stopWaitingAnswers.isEmpty());
    QVERIFY(m_script.messagesShown.isEmpty());
    QCOMPARE(form()->statusBar()->currentMessage(), QStringLiteral("Opening the page was stopped."));
    QCOMPARE(form()->surface()->CurrentDocumentPath(), QString());
    QTest::qWait(3000);
    QVERIFY(!form()->surface()->DocumentHTML().contains(QStringLiteral("a paragraph")));
    QVERIFY(!m_window.js(QStringLiteral("document.body.textContent"))
                 .toString()
                 .contains(QStringLiteral("a paragraph")));
    QVERIFY(!form()->surface()->IsDirty());
}

QK_WINDOW_TEST_MAIN(TestSaveSafety)

#include "tst_savesafety.moc"
