// A page is never lost or damaged: the whole program with the real engine,
// under failing reads, failing writes, odd names and contents, and crashes.
#include "shell/documentsession.h"
#include "shell/mainform.h"
#include "shell/pagefile.h"
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
#include <sys/stat.h>
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
    void failedWritesKeepPageAndFile_data();
    void failedWritesKeepPageAndFile();
    void referencesFollowThePage();
    void namesAndContents_data();
    void namesAndContents();
    void unchangedMeansUnchanged();
    void caretAndUndoSurviveSave();
    void otherProgramsChangesAreNotOverwrittenSilently();
    void recoveryAfterAKilledProgram();
    void slowReads_data();
    void slowReads();
    void leftoversOfAKilledSave_data();
    void leftoversOfAKilledSave();

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
    form()->session()->setWriteFaults({});
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

void TestSaveSafety::failedWritesKeepPageAndFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("saveAs");
    QTest::addColumn<QString>("message");
    QTest::newRow("save into a missing folder") << "missing" << false << saveMessage("Path not found");
    QTest::newRow("save with a short write") << "short" << false << saveMessage("Disk is full");
    QTest::newRow("save onto a full disk") << "full" << false << saveMessage("Disk is full");
    QTest::newRow("save as onto a full disk") << "full" << true << saveMessage("Disk is full");
    QTest::newRow("save into a read-only file system") << "readonly" << false << saveMessage("Access denied");
    QTest::newRow("save as into a read-only file system")
        << "readonly" << true << saveMessage("Access denied");
}

void TestSaveSafety::failedWritesKeepPageAndFile()
{
    QFETCH(QString, kind);
    QFETCH(bool, saveAs);
    QFETCH(QString, message);
    std::unique_ptr<SmallMount> mount;
    QString page = write(QStringLiteral("site/p.html"), kPage);
    QString target = saveAs ? m_dir->filePath(QStringLiteral("mnt/copy.html")) : page;
    if (kind == QLatin1String("full") || kind == QLatin1String("readonly")) {
        mount =
            std::make_unique<SmallMount>(m_dir->filePath(QStringLiteral("mnt")), QStringLiteral("size=256k"));
        if (!mount->ok())
            QSKIP("needs root to mount a small file system");
        if (!saveAs)
            target = page = write(QStringLiteral("mnt/p.html"), kPage);
        write(QStringLiteral("mnt/filler"), QByteArray(240 * 1024, 'x'));
    }
    open(page);
    edit(QStringLiteral("<p>") + QString(64 * 1024, u'y') + QStringLiteral("</p>"));
    if (kind == QLatin1String("missing"))
        QVERIFY(QDir(m_dir->filePath(QStringLiteral("site"))).removeRecursively());
    if (kind == QLatin1String("readonly"))
        QVERIFY(mount->remountReadOnly());
    if (kind == QLatin1String("short")) {
        session::WriteFaults faults;
        faults.failAfterBytes = 100;
        form()->session()->setWriteFaults(faults);
    }
    const QString title = form()->windowTitle();
    if (saveAs)
        m_script.fileAnswers << target;
    QVERIFY(!form()->savePage(saveAs));
    QCOMPARE(m_script.messagesShown, QStringList{message});
    QCOMPARE(m_script.iconsShown.constFirst(), QMessageBox::Critical);
    // Nothing was written anywhere, and the page is still the changed page
    // at its old path.
    if (kind != QLatin1String("missing"))
        QCOMPARE(readTestFile(page), kPage);
    if (saveAs)
        QVERIFY(!QFileInfo::exists(target));
    const QStringList left = QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left.filter(QStringLiteral(".qk-")).isEmpty(), qPrintable(left.join(u' ')));
    QCOMPARE(form()->surface()->CurrentDocumentPath(), page);
    QCOMPARE(form()->windowTitle(), title);
    QVERIFY(form()->surface()->IsDirty());
    QVERIFY(form()->surface()->DocumentHTML().contains(QString(64 * 1024, u'y')));
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
                  "<img id=a src=\"images/a.png\"> <a href=\"sub/page2.html\">two</a>\r\n</BODY></HTML>");
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
    QTest::newRow("save as without an extension") << QString() << QByteArray() << QString();
}

void TestSaveSafety::namesAndContents()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, loadMessage);
    QString page;
    if (name.isEmpty()) {
        edit(QStringLiteral("<p id=\"t\">hello world</p>"));
        m_script.fileAnswers << m_dir->filePath(QStringLiteral("site/index"));
        QDir().mkpath(m_dir->filePath(QStringLiteral("site")));
        QVERIFY(form()->savePage(true));
        page = m_dir->filePath(QStringLiteral("site/index.html"));
        QCOMPARE(form()->surface()->CurrentDocumentPath(), page);
        QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("site/index"))));
    } else {
        page = write(name, bytes);
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
    }
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

void TestSaveSafety::otherProgramsChangesAreNotOverwrittenSilently()
{
    const QString page = write(QStringLiteral("shared.html"), kPage);
    open(page);
    edit();
    const QByteArray theirs = "<p>written by another program</p>";
    write(QStringLiteral("shared.html"), theirs);
    QFile(page).setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    m_script.messageAnswers << QMessageBox::No;
    QVERIFY(!form()->savePage(false));
    QCOMPARE(m_script.messagesShown.size(), 1);
    QCOMPARE(readTestFile(page), theirs);
    QVERIFY(form()->surface()->IsDirty());
    m_script.messageAnswers << QMessageBox::Yes;
    QVERIFY(form()->savePage(false));
    QVERIFY(readTestFile(page).contains("<b>edit</b>"));
}

void TestSaveSafety::recoveryAfterAKilledProgram()
{
    const QString page = write(QStringLiteral("crash.html"), kPage);
    const QString folder = m_dir->filePath(QStringLiteral("recovery"));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), page, folder});
    QVERIFY(child.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += child.readAllStandardOutput()).contains("changed") ||
                                 child.state() != QProcess::Running,
                             60000);
    QVERIFY(child.state() == QProcess::Running);
    QVERIFY(::kill(pid_t(child.processId()), SIGKILL) == 0);
    QVERIFY(child.waitForFinished());

    m_script.choiceAnswers << 0; // Recover
    form()->session()->offerRecovery();
    QCOMPARE(m_script.messagesShown,
             QStringList{QStringLiteral("Recover the unsaved changes of %1?").arg(page)});
    QVERIFY(form()->surface()->DocumentHTML().contains(QStringLiteral("<b>unsaved</b>")));
    QVERIFY(form()->surface()->IsDirty());
    QCOMPARE(form()->surface()->CurrentDocumentPath(), page);
    QCOMPARE(readTestFile(page), kPage);
    QVERIFY(form()->savePage(false));
    QVERIFY(readTestFile(page).contains("<b>unsaved</b>"));
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
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

void TestSaveSafety::leftoversOfAKilledSave_data()
{
    QTest::addColumn<QString>("killed");
    QTest::addColumn<int>("answer"); // to the recovery question; -1: none is asked
    QTest::newRow("half written") << "midWrite" << -1;
    QTest::newRow("complete, recovered") << "beforeRename" << 0;
    QTest::newRow("complete, discarded") << "beforeRename" << 1;
    QTest::newRow("complete, later") << "beforeRename" << 2;
    QTest::newRow("an earlier version's, cut short") << "old" << -1;
}

// A save killed half way leaves the page whole (old or new), and what it was
// writing beside the page does not stay there to go to the server with the
// site: the next open or save removes it, offering a complete one first.
void TestSaveSafety::leftoversOfAKilledSave()
{
    QFETCH(QString, killed);
    QFETCH(int, answer);
    const QString page = write(QStringLiteral("big.html"), kPage);
    if (killed == QLatin1String("old")) {
        write(QStringLiteral(".big.html.qk-Ab12Cd"), "<html><body><p>cut sh");
    } else {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--write"), page, killed});
        QVERIFY(child.waitForStarted());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += child.readAllStandardOutput()).contains("stopped") ||
                                     child.state() != QProcess::Running,
                                 60000);
        QVERIFY(child.state() == QProcess::Running);
        QVERIFY(::kill(pid_t(child.processId()), SIGKILL) == 0);
        QVERIFY(child.waitForFinished());
    }
    QCOMPARE(readTestFile(page), kPage);
    const QStringList hidden = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(hidden.size(), 2);

    if (answer >= 0)
        m_script.choiceAnswers << answer;
    open(page);
    QCOMPARE(form()->surface()->CurrentDocumentPath(), page);
    if (answer < 0) {
        QVERIFY(m_script.messagesShown.isEmpty());
    } else {
        QCOMPARE(m_script.messagesShown,
                 QStringList{QStringLiteral("A save of %1 was interrupted before it was finished. Open the "
                                            "page as that save would have written it?")
                                 .arg(page)});
    }
    QCOMPARE(form()->surface()->IsDirty(), answer == 0);
    QCOMPARE(form()->surface()->DocumentHTML().contains(QStringLiteral("<p>new</p>")), answer == 0);
    QCOMPARE(readTestFile(page), kPage);
    const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left.size(), answer == 2 ? 2 : 1);
    // A save writes over whatever was left.
    if (answer != 0)
        edit();
    QVERIFY(form()->savePage(false));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("big.html")});
    QCOMPARE(readTestFile(page).contains("<p>new</p>"), answer == 0);
}

// The program that is killed: it opens the page, changes it, and waits for
// the end once its recovery copy is on disk.
static int runChild(const QString &page, const QString &folder)
{
    TestWindow window;
    if (!window.open())
        return 1;
    window.form->session()->setRecoveryFolder(folder);
    window.form->session()->setRecoveryInterval(50);
    window.openPage(page);
    if (!window.edit(QStringLiteral("<b>unsaved</b>")))
        return 2;
    while (QDir(folder).entryList({QStringLiteral("*.html")}, QDir::Files).isEmpty())
        QTest::qWait(20);
    std::fputs("changed\n", stdout);
    std::fflush(stdout);
    for (;;)
        QTest::qWait(1000);
}

// The save that is killed: it writes a large new page and stops where it is
// told, for the test to end it there.
static int runWriter(const QString &page, const QString &where)
{
    QByteArray bytes = "<!DOCTYPE html>\r\n<html><head><title>t</title></head><body>\r\n";
    while (bytes.size() < 4 * 1024 * 1024)
        bytes += "<p>new</p>\r\n";
    bytes += "</body></html>\r\n";
    const auto stop = [] {
        std::fputs("stopped\n", stdout);
        std::fflush(stdout);
        for (;;)
            ::pause();
    };
    session::WriteFaults faults;
    (where == QLatin1String("midWrite") ? faults.midWrite : faults.beforeRename) = stop;
    session::writePageFile(page, bytes, &faults);
    return 3;
}

int main(int argc, char *argv[])
{
    if (argc == 4 && QByteArray(argv[1]) == "--write") {
        QCoreApplication app(argc, argv);
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--child")
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestSaveSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_savesafety.moc"
