// The page's handling on a page held as a string, without the engine: saving
// and its questions, the writer's failures, edits kept outside the page, and
// what a killed program or a killed save left behind. And what the page's
// handling decides without the page: charsets, the page writer under
// injected faults, and the recovery store.
#include "document/documentsession.h"
#include "document/pagefile.h"
#include "document/recovery.h"
#include "document/saverules.h"
#include "surface/editsurface.h"
#include "testsupport/fakeeditsurface.h"
#include "testsupport/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using document::DocumentSession;
using document::Prompts;
using testsupport::FakeEditSurface;

namespace {
const QByteArray kPage = "<html><head><title>t</title></head><body><p>hello</p></body></html>";

QString said(const char *kind, const QString &text)
{
    return QString::fromLatin1(kind) + u' ' + text;
}

QString saveError(const char *why)
{
    return said("error",
                QStringLiteral("Error occurred while saving document: ") + QString::fromUtf8(why) + u'.');
}

const QString kSaveChanges =
    QStringLiteral("The current document has changed.\r\n\r\nDo you want to save changes?");

// The user: answers taken in order, and everything shown, with its kind.
class ScriptedPrompts final : public Prompts
{
public:
    QList<Answer> answers;      // none left: Cancel, or No
    QList<Recovery> recoveries; // none left: Later
    QStringList shown;

    Answer saveChanges(const QString &text) override { return take("ask", text); }
    bool replaceFile(const QString &text) override { return take("replace", text) == Answer::Yes; }
    bool overwriteChangedFile(const QString &text) override { return take("overwrite", text) == Answer::Yes; }
    void error(const QString &text) override { shown << said("error", text); }
    Recovery recover(const QString &text, RecoveryOf) override
    {
        shown << said("recover", text);
        return recoveries.isEmpty() ? Recovery::Later : recoveries.takeFirst();
    }
    bool engineStopped(const QString &text, bool) override { return take("stopped", text) == Answer::Yes; }
    void notice(const QString &text) override { shown << said("notice", text); }

private:
    Answer take(const char *kind, const QString &text)
    {
        shown << said(kind, text);
        return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
    }
};

// This program run with args, killed once it said word: what a crash leaves.
bool killedChild(const QStringList &args, const QByteArray &word)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    QByteArray out;
    const auto said = [&] {
        return (out += child.readAllStandardOutput()).contains(word) || child.state() != QProcess::Running;
    };
    return child.waitForStarted() && QTest::qWaitFor(said, 60000) && child.state() == QProcess::Running &&
           ::kill(pid_t(child.processId()), SIGKILL) == 0 && child.waitForFinished();
}

// Edits kept outside the page: they go in as asked, or are refused.
struct Pane final : document::PendingEdits
{
    FakeEditSurface *surface = nullptr;
    QString edit;
    bool refuse = false;
    bool flush() override
    {
        if (refuse)
            return false;
        if (!edit.isEmpty())
            surface->pasteAtRange(std::exchange(edit, QString()));
        return true;
    }
};
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

class TestDocumentSession final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void failedWritesKeepPageAndFile_data();
    void failedWritesKeepPageAndFile();
    void saving_data();
    void saving();
    void changePrompt_data();
    void changePrompt();
    void pendingEditsGoInFirst_data();
    void pendingEditsGoInFirst();
    void engineStopped_data();
    void engineStopped();
    void recoveryOfAnEndedProgram_data();
    void recoveryOfAnEndedProgram();
    void leftoversOfAKilledSave_data();
    void leftoversOfAKilledSave();
    void utf8Declaration_data();
    void utf8Declaration();
    void encoding_data();
    void encoding();
    void failedWritesLeaveTheOldFile_data();
    void failedWritesLeaveTheOldFile();
    void writesKeepTheFilesNature();
    void recoveryCopies();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString write(const QString &name, const QByteArray &bytes) { return writeTestFile(path(name), bytes); }
    void edit(const QString &html = QStringLiteral("<b>edit</b>")) { QVERIFY(m_surface->pasteAtRange(html)); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeEditSurface> m_surface;
    std::unique_ptr<DocumentSession> m_session;
    ScriptedPrompts *m_prompts = nullptr;
};

void TestDocumentSession::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_surface = std::make_unique<FakeEditSurface>();
    auto prompts = std::make_unique<ScriptedPrompts>();
    m_prompts = prompts.get();
    m_session = std::make_unique<DocumentSession>(m_surface.get(), std::move(prompts));
    m_session->setRecoveryFolder(path(QStringLiteral("recovery")));
    m_surface->setPage(document::newPageText());
}

void TestDocumentSession::cleanup()
{
    m_session.reset();
    m_surface.reset();
    m_dir.reset();
}

void TestDocumentSession::failedWritesKeepPageAndFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("saveAs");
    QTest::addColumn<QString>("message");
    QTest::newRow("save into a missing folder") << "missing" << false << saveError("Path not found");
    QTest::newRow("save with a short write") << "short" << false << saveError("Disk is full");
    QTest::newRow("save as with a short write") << "short" << true << saveError("Disk is full");
    QTest::newRow("save with a failing flush") << "sync" << false << saveError("Unknown error");
    QTest::newRow("save whose file cannot take its place") << "rename" << false << saveError("Unknown error");
    QTest::newRow("save onto a full disk") << "full" << false << saveError("Disk is full");
    QTest::newRow("save as onto a full disk") << "full" << true << saveError("Disk is full");
    QTest::newRow("save into a read-only file system") << "readonly" << false << saveError("Access denied");
    QTest::newRow("save as into a read-only file system") << "readonly" << true << saveError("Access denied");
}

// Nothing is written anywhere, and the page is still the changed page at its
// old path, under its old title.
void TestDocumentSession::failedWritesKeepPageAndFile()
{
    QFETCH(QString, kind);
    QFETCH(bool, saveAs);
    QFETCH(QString, message);
    std::unique_ptr<SmallMount> mount;
    QString page = write(QStringLiteral("site/p.html"), kPage);
    QString target = saveAs ? path(QStringLiteral("mnt/copy.html")) : page;
    QDir().mkpath(path(QStringLiteral("mnt")));
    if (kind == QLatin1String("full") || kind == QLatin1String("readonly")) {
        mount = std::make_unique<SmallMount>(path(QStringLiteral("mnt")), QStringLiteral("size=256k"));
        if (!mount->ok())
            QSKIP("needs root to mount a small file system");
        if (!saveAs)
            target = page = write(QStringLiteral("mnt/p.html"), kPage);
        write(QStringLiteral("mnt/filler"), QByteArray(240 * 1024, 'x'));
    }
    m_session->open(page);
    const QString big = QStringLiteral("<p>") + QString(64 * 1024, u'y') + QStringLiteral("</p>");
    edit(big);
    document::WriteFaults faults;
    if (kind == QLatin1String("missing"))
        QVERIFY(QDir(path(QStringLiteral("site"))).removeRecursively());
    if (kind == QLatin1String("readonly"))
        QVERIFY(mount->remountReadOnly());
    faults.failAfterBytes = kind == QLatin1String("short") ? 100 : -1;
    faults.failSync = kind == QLatin1String("sync");
    faults.failRename = kind == QLatin1String("rename");
    m_session->setWriteFaults(faults);
    const QString title = m_session->title();
    if (saveAs)
        m_surface->saveAsAnswers << target;
    QVERIFY(!(saveAs ? m_session->saveAs() : m_session->save()));
    QCOMPARE(m_prompts->shown, QStringList{message});
    if (kind != QLatin1String("missing"))
        QCOMPARE(readTestFile(page), kPage);
    if (saveAs)
        QVERIFY(!QFileInfo::exists(target));
    const QStringList left = QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left.filter(QStringLiteral(".qk-")).isEmpty(), qPrintable(left.join(u' ')));
    QCOMPARE(m_surface->CurrentDocumentPath(), page);
    QCOMPARE(m_session->title(), title);
    QVERIFY(m_surface->IsDirty());
    QVERIFY(m_surface->page().contains(big));
}

void TestDocumentSession::saving_data()
{
    QTest::addColumn<bool>("saved");      // the page has a file
    QTest::addColumn<bool>("saveAs");     // else Save
    QTest::addColumn<QString>("chosen");  // in the save-as dialog; "" dismisses it
    QTest::addColumn<QString>("theirs");  // "notes.html" is there; "changed": another program wrote the page
    QTest::addColumn<int>("answer");      // to the question about it
    QTest::addColumn<QString>("written"); // the file that takes the edit; "" none
    const int yes = int(Prompts::Answer::Yes);
    const int no = int(Prompts::Answer::No);
    QTest::newRow("never saved: Save is Save As") << false << false << "a.html"
                                                  << "" << -1 << "a.html";
    QTest::newRow("never saved: Save As dismissed") << false << true << ""
                                                    << "" << -1 << "";
    QTest::newRow("Save As dismissed writes nothing") << true << true << ""
                                                      << "" << -1 << "";
    QTest::newRow("Save As into another folder") << true << true << "sub/b.html"
                                                 << "" << -1 << "sub/b.html";
    QTest::newRow("completed name not replaced") << true << true << "notes"
                                                 << "notes.html" << no << "";
    QTest::newRow("completed name replaced") << true << true << "notes"
                                             << "notes.html" << yes << "notes.html";
    QTest::newRow("completed name after a dot") << true << true << "notes."
                                                << "" << -1 << "notes.html";
    QTest::newRow("changed on disk, kept") << true << false << ""
                                           << "changed" << no << "";
    QTest::newRow("changed on disk, overwritten") << true << false << ""
                                                  << "changed" << yes << "page.html";
}

void TestDocumentSession::saving()
{
    QFETCH(bool, saved);
    QFETCH(bool, saveAs);
    QFETCH(QString, chosen);
    QFETCH(QString, theirs);
    QFETCH(int, answer);
    QFETCH(QString, written);
    const QString page = saved ? write(QStringLiteral("page.html"), kPage) : QString();
    if (saved)
        m_session->open(page);
    edit();
    QStringList asked;
    if (theirs == QLatin1String("changed")) {
        write(QStringLiteral("page.html"), "<p>theirs</p>");
        QFile(page).setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
        asked << said("overwrite",
                      QStringLiteral("The file %1 was changed by another program since it was "
                                     "opened or saved.\r\n\r\nDo you want to overwrite it with this "
                                     "page?")
                          .arg(page));
    } else if (!theirs.isEmpty()) {
        asked << said("replace", QStringLiteral("%1 already exists.\r\nDo you want to replace it?")
                                     .arg(write(theirs, "<p>theirs</p>")));
    }
    if (answer >= 0)
        m_prompts->answers << Prompts::Answer(answer);
    if (saveAs || !saved)
        m_surface->saveAsAnswers << (chosen.isEmpty() ? QString() : path(chosen));
    QDir().mkpath(path(QStringLiteral("sub")));
    const QString title = m_session->title();

    QCOMPARE(saveAs ? m_session->saveAs() : m_session->save(), !written.isEmpty());
    QCOMPARE(m_surface->saveAsAsked, saveAs || !saved ? 1 : 0);
    QCOMPARE(m_prompts->shown, asked);
    QCOMPARE(m_surface->IsDirty(), written.isEmpty());
    if (written.isEmpty()) {
        QCOMPARE(m_surface->CurrentDocumentPath(), page);
        QCOMPARE(m_session->title(), title);
        if (saved && theirs.isEmpty())
            QCOMPARE(readTestFile(page), kPage);
        if (!theirs.isEmpty())
            QCOMPARE(
                readTestFile(path(theirs == QLatin1String("changed") ? QStringLiteral("page.html") : theirs)),
                QByteArray("<p>theirs</p>"));
        return;
    }
    QCOMPARE(m_surface->CurrentDocumentPath(), path(written));
    QCOMPARE(m_session->title(), QStringLiteral("Quillon Kiv - ") + path(written));
    QVERIFY(readTestFile(path(written)).contains("<b>edit</b>"));
    QVERIFY(chosen.isEmpty() || chosen == written || !QFileInfo::exists(path(chosen)));
}

void TestDocumentSession::changePrompt_data()
{
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("saved"); // the page has a file
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("code"); // as the callers read the session's answer
    QTest::addColumn<bool>("written");
    const int yes = int(Prompts::Answer::Yes);
    QTest::newRow("unchanged: nothing asked") << false << true << -1 << 0 << false;
    QTest::newRow("yes saves") << true << true << yes << 1 << true;
    QTest::newRow("no throws the changes away") << true << true << int(Prompts::Answer::No) << 7 << false;
    QTest::newRow("cancel keeps the page") << true << true << int(Prompts::Answer::Cancel) << 2 << false;
    QTest::newRow("yes, Save As dismissed") << true << false << yes << 2 << false;
}

// The question before a changed page gives way to another: its answer, and
// whether the other page comes.
void TestDocumentSession::changePrompt()
{
    QFETCH(bool, changed);
    QFETCH(bool, saved);
    QFETCH(int, answer);
    QFETCH(int, code);
    QFETCH(bool, written);
    const QString page = saved ? write(QStringLiteral("page.html"), kPage) : QString();
    if (saved)
        m_session->open(page);
    if (changed)
        edit();
    const QString other = write(QStringLiteral("other.html"), "<p>other</p>");
    for (int round = 0; round < 2; ++round)
        if (answer >= 0)
            m_prompts->answers << Prompts::Answer(answer);
    QCOMPARE(int(m_session->checkSaveChanges()), code);
    QCOMPARE(m_prompts->shown, changed ? QStringList{said("ask", kSaveChanges)} : QStringList());
    QCOMPARE(readTestFile(page).contains("<b>edit</b>"), written);
    if (code == 7)
        edit(); // thrown away: changed again for the open
    m_prompts->shown.clear();
    m_session->open(other);
    const bool replaced = code != int(DocumentSession::SaveAnswer::Cancelled);
    QCOMPARE(m_surface->CurrentDocumentPath(), replaced ? other : page);
    QCOMPARE(m_surface->page().contains(QStringLiteral("<b>edit</b>")), !replaced);
}

void TestDocumentSession::pendingEditsGoInFirst_data()
{
    QTest::addColumn<bool>("refuse");
    QTest::newRow("taken") << false;
    QTest::newRow("refused") << true;
}

// Edits kept outside the page go into it before it is read for a save or for
// the question about its changes; refused, they stop both.
void TestDocumentSession::pendingEditsGoInFirst()
{
    QFETCH(bool, refuse);
    const QString page = write(QStringLiteral("page.html"), kPage);
    m_session->open(page);
    Pane pane;
    pane.surface = m_surface.get();
    pane.edit = QStringLiteral("<i>typed</i>");
    pane.refuse = refuse;
    m_session->addPendingEdits(&pane);
    m_session->addPendingEdits(&pane); // once is enough
    m_prompts->answers << Prompts::Answer::Yes;
    QCOMPARE(m_session->checkSaveChanges(),
             refuse ? DocumentSession::SaveAnswer::Cancelled : DocumentSession::SaveAnswer::Saved);
    QCOMPARE(readTestFile(page).contains("<i>typed</i>"), !refuse);
    QCOMPARE(m_prompts->shown.size(), refuse ? 0 : 1);
    QCOMPARE(m_session->save(), !refuse);
    m_session->removePendingEdits(&pane);
    QVERIFY(m_session->save());
}

void TestDocumentSession::engineStopped_data()
{
    QTest::addColumn<bool>("saved"); // the page has a file
    QTest::addColumn<int>("answer"); // to the offer of the recovery copy; -1: none was kept
    QTest::newRow("from the recovery copy") << true << int(Prompts::Answer::Yes);
    QTest::newRow("copy declined: from the file") << true << int(Prompts::Answer::No);
    QTest::newRow("no copy: from the file") << true << -1;
    QTest::newRow("no copy, never saved: a new page") << false << -1;
}

// The engine that shows the page stopped: the page comes back from its
// recovery copy when there is one and the user takes it, else from its file,
// else as a new page.
void TestDocumentSession::engineStopped()
{
    QFETCH(bool, saved);
    QFETCH(int, answer);
    const QString page = saved ? write(QStringLiteral("page.html"), kPage) : QString();
    if (saved)
        m_session->open(page);
    edit();
    if (answer >= 0) {
        m_session->keepRecoveryCopy();
        m_prompts->answers << Prompts::Answer(answer);
    }
    emit m_surface->EngineFailed(QStringLiteral("The display engine stopped"));
    QCOMPARE(m_prompts->shown.size(), 1);
    const QString told = answer >= 0 ? QStringLiteral("Reload the page from its recovery copy of ")
                         : saved     ? QStringLiteral("The page is loaded again from ") + page
                                     : QStringLiteral("The page is started again empty.");
    QVERIFY2(m_prompts->shown.constFirst().startsWith(
                 said("stopped", QStringLiteral("The display engine stopped.\r\n\r\n") + told)),
             qPrintable(m_prompts->shown.constFirst()));
    QCOMPARE(m_surface->page().contains(QStringLiteral("<b>edit</b>")), answer == int(Prompts::Answer::Yes));
    QCOMPARE(m_surface->CurrentDocumentPath(), page);
    if (!saved)
        QCOMPARE(m_surface->page(), document::newPageText());
}

void TestDocumentSession::recoveryOfAnEndedProgram_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("recovered") << int(Prompts::Recovery::Recover);
    QTest::newRow("discarded") << int(Prompts::Recovery::Discard);
    QTest::newRow("later") << int(Prompts::Recovery::Later);
}

// A program killed with a changed page leaves its recovery copy, offered to
// the next; the page's file stays as it was until the user saves.
void TestDocumentSession::recoveryOfAnEndedProgram()
{
    QFETCH(int, answer);
    const QString page = write(QStringLiteral("crash.html"), kPage);
    const QString folder = path(QStringLiteral("recovery"));
    QVERIFY(killedChild({QStringLiteral("--child"), page, folder}, "changed"));

    m_prompts->recoveries << Prompts::Recovery(answer);
    m_session->offerRecovery();
    QCOMPARE(m_prompts->shown,
             QStringList{said("recover", QStringLiteral("Recover the unsaved changes of %1?").arg(page))});
    QCOMPARE(readTestFile(page), kPage);
    const bool recovered = answer == int(Prompts::Recovery::Recover);
    QCOMPARE(m_surface->page().contains(QStringLiteral("<b>unsaved</b>")), recovered);
    QCOMPARE(m_surface->IsDirty(), recovered);
    QCOMPARE(m_surface->CurrentDocumentPath(), recovered ? page : QString());
    if (recovered) {
        QVERIFY(m_session->save());
        QVERIFY(readTestFile(page).contains("<b>unsaved</b>"));
    }
    // Only a copy put off till later stays.
    QCOMPARE(QDir(folder).entryList(QDir::Files).isEmpty(), answer != int(Prompts::Recovery::Later));
}

void TestDocumentSession::leftoversOfAKilledSave_data()
{
    QTest::addColumn<QString>("killed");
    QTest::addColumn<int>("answer"); // to the recovery question; -1: none is asked
    QTest::newRow("half written") << "midWrite" << -1;
    QTest::newRow("complete, recovered") << "beforeRename" << int(Prompts::Recovery::Recover);
    QTest::newRow("complete, discarded") << "beforeRename" << int(Prompts::Recovery::Discard);
    QTest::newRow("complete, later") << "beforeRename" << int(Prompts::Recovery::Later);
    QTest::newRow("an earlier version's, cut short") << "old" << -1;
}

// A save killed half way leaves the page whole (old or new), and what it was
// writing beside the page does not stay there to go to the server with the
// site: the next open or save removes it, offering a complete one first.
void TestDocumentSession::leftoversOfAKilledSave()
{
    QFETCH(QString, killed);
    QFETCH(int, answer);
    const QString page = write(QStringLiteral("big.html"), kPage);
    if (killed == QLatin1String("old")) {
        write(QStringLiteral(".big.html.qk-Ab12Cd"), "<html><body><p>cut sh");
    } else {
        QVERIFY(killedChild({QStringLiteral("--write"), page, killed}, "stopped"));
    }
    QCOMPARE(readTestFile(page), kPage);
    const auto files = [this] { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); };
    QCOMPARE(files().size(), 2);

    if (answer >= 0)
        m_prompts->recoveries << Prompts::Recovery(answer);
    m_session->open(page);
    QCOMPARE(m_surface->CurrentDocumentPath(), page);
    if (answer < 0) {
        QVERIFY(m_prompts->shown.isEmpty());
    } else {
        QCOMPARE(
            m_prompts->shown,
            QStringList{said("recover", QStringLiteral("A save of %1 was interrupted before it was finished. "
                                                       "Open the page as that save would have written it?")
                                            .arg(page))});
    }
    const bool recovered = answer == int(Prompts::Recovery::Recover);
    QCOMPARE(m_surface->IsDirty(), recovered);
    QCOMPARE(m_surface->page().contains(QStringLiteral("<p>new</p>")), recovered);
    QCOMPARE(readTestFile(page), kPage);
    QCOMPARE(files().size(), answer == int(Prompts::Recovery::Later) ? 2 : 1);
    // A save writes over whatever was left.
    if (!recovered)
        edit();
    QVERIFY(m_session->save());
    QCOMPARE(files(), QStringList{QStringLiteral("big.html")});
    QCOMPARE(readTestFile(page).contains("<p>new</p>"), recovered);
}

// The program that is killed: it opens the page, changes it, and waits for
// the end once its recovery copy is on disk.
static int runChild(const QString &page, const QString &folder)
{
    FakeEditSurface surface;
    DocumentSession session(&surface, std::make_unique<ScriptedPrompts>());
    session.setRecoveryFolder(folder);
    session.setRecoveryInterval(50);
    session.open(page);
    if (!surface.pasteAtRange(QStringLiteral("<b>unsaved</b>")))
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
    document::WriteFaults faults;
    (where == QLatin1String("midWrite") ? faults.midWrite : faults.beforeRename) = stop;
    document::writePageFile(page, bytes, &faults);
    return 3;
}

void TestDocumentSession::utf8Declaration_data()
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

void TestDocumentSession::utf8Declaration()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(document::declareUtf8(html), expected);
}

void TestDocumentSession::encoding_data()
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

void TestDocumentSession::encoding()
{
    QFETCH(QString, html);
    QFETCH(QString, charset);
    QFETCH(QByteArray, expected);
    QFETCH(QString, writtenAs);
    const document::EncodedPage page = document::encodePage(html, {charset, false});
    QCOMPARE(page.bytes, expected);
    QCOMPARE(page.encoding.charset, writtenAs);
}

void TestDocumentSession::failedWritesLeaveTheOldFile_data()
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

void TestDocumentSession::failedWritesLeaveTheOldFile()
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
    QCOMPARE(readTestFile(page), old);
    // Nothing is left beside the page.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), hardLink ? 2 : 1);
}

void TestDocumentSession::writesKeepTheFilesNature()
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
    QCOMPARE(readTestFile(path("mode.html")), QByteArray("new"));
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
    QCOMPARE(readTestFile(path("ro.html")), QByteArray("keep"));
    QCOMPARE(statOf(path("ro.html")).st_mode & 07777, mode_t(0444));

    // A link stays a link; a second hard link sees the new page.
    QVERIFY(writeRaw(path("real.html"), "old"));
    QVERIFY(QFile::link(path("real.html"), path("link.html")));
    QVERIFY(document::writePageFile(path("link.html"), "through").ok);
    QVERIFY(QFileInfo(path("link.html")).isSymLink());
    QCOMPARE(readTestFile(path("real.html")), QByteArray("through"));
    QCOMPARE(::link(QFile::encodeName(path("real.html")).constData(),
                    QFile::encodeName(path("hard.html")).constData()),
             0);
    QVERIFY(document::writePageFile(path("real.html"), "both").ok);
    QCOMPARE(readTestFile(path("hard.html")), QByteArray("both"));

    // A new file gets the default mode, not the temporary file's.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QVERIFY(document::writePageFile(path("new.html"), "n").ok);
    QCOMPARE(statOf(path("new.html")).st_mode & 0777, mode_t(0666 & ~mask));
}

void TestDocumentSession::recoveryCopies()
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

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    if (argc == 4 && QByteArray(argv[1]) == "--write")
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 4 && QByteArray(argv[1]) == "--child")
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestDocumentSession test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_documentsession.moc"
