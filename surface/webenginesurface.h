#pragma once

#include "surface/editsurface.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QVariantMap>

class QEventLoop;
class QWebEngineView;
class QWebEngineProfile;

namespace surface {

class EditorPage;
struct Snapshot;

// Chooses how the engine's pages are drawn. Call once, before the
// QApplication is created.
void prepareBeforeApplication();

// Whether the machine has a graphics processor to draw with: a render node of
// the kernel's graphics drivers, or NVIDIA's own device. `devices` is the
// device folder, for tests.
bool hasGraphicsDevice(const QString &devices = QStringLiteral("/dev"));

// Writes into the process environment all the surface and its engine will
// write there, now. Call it before starting threads that may read the
// environment (fontconfig does): a variable added while another thread reads
// the environment can crash that thread. Later writes only replace values.
void prepareEnvironment();

// The editing surface on Qt WebEngine: the page is edited in design mode,
// page scripts never run, and the surface's own script runs in an isolated
// world and keeps a snapshot of the editing state current through its reports
// on the console.
class WebEngineSurface final : public EditSurface
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebEngineSurface)

public:
    explicit WebEngineSurface(QWidget *parentWidget = nullptr, QObject *parent = nullptr);
    ~WebEngineSurface() override;

    QWidget *widget() override;
    void setFilePicker(std::shared_ptr<FilePicker> picker) override;

    qint64 LoadDocument(const QString &path, bool prompt) override;
    QString chooseSaveAsPath() override;
    void NewDocument() override;
    qint64 PrintDocument(bool prompt) override;

    DocumentRead readDocument() override;
    void documentSaved(const SavedDocument &saved) override;
    QString originFolder() const override;
    bool setDocumentHTML(const QString &html) override;
    qint64 applySource(const QString &html, int caretElement) override;
    int caretElement() override;
    bool caretToElement(int index) override;
    void beginDocumentHTML(const QString &html) override;
    bool loadRecovered(const QString &pagePath, const QString &html) override;
    bool newDocumentAt(const QString &path, const QString &html) override;
    QString DocumentTitle() const override;
    bool setDocumentTitle(const QString &title) override;
    QString pageLanguage() override;
    int changeCount() const override;
    QString CurrentDocumentPath() const override { return m_path; }
    bool IsDirty() const override;
    bool pageShown() const override { return m_ready && !m_frameset && !m_engineGone; }
    bool Busy() const override { return m_busy; }

    bool ShowBorders() const override { return m_showBorders; }
    void setShowBorders(bool on) override;
    bool ShowDetails() const override { return m_showDetails; }
    void setShowDetails(bool on) override;
    bool SnapToGrid() const override { return m_snapToGrid; }
    void setSnapToGrid(bool on) override;

    QVariant ExecCommand(int command, int option = OLECMDEXECOPT_DODEFAULT,
                         const QVariant &value = {}) override;
    int QueryStatus(int command) const override;
    void SetContextMenu(const QStringList &captions, const QList<int> &states) override;
    void setSpellCheckDictionary(const QString &name) override;
    QString misspelledWord() const override { return m_misspelled; }
    QStringList spellingSuggestions() const override { return m_suggestions; }
    void replaceMisspelledWord(const QString &replacement) override;

    QString selectionType() const override;
    std::optional<QString> rangeText() override;
    bool pasteAtRange(const QString &html) override;
    std::optional<QString> controlHTML() override;
    bool pasteOverControl(const QString &html) override;
    bool collapseSelection(bool toStart) override;
    QString documentProperty(const QString &name) override;
    bool setDocumentProperty(const QString &name, const QString &value) override;
    bool setBodyAttribute(const QString &name, const QString &value) override;
    bool removeBodyAttribute(const QString &name) override;
    QString bodyAttribute(const QString &name) override;

    // Writes the page as it stands to a PDF file (no dialog); for printing to
    // a file and for tests.
    bool printToPdf(const QString &filePath);
    // Selects the next match of the text; false when there is none.
    bool findText(const QString &text, bool matchCase, bool wholeWord, bool backward);
    // Applies a font to the selection in one undo step.
    bool applyFont(const FontChoice &font);
    // The surface's find dialog, once it was opened.
    QDialog *findDialog() const { return m_findDialog; }

    // Evaluates script in the surface's own world; for tests and diagnostics.
    std::optional<QVariant> evaluate(const QString &code);
    // The process that renders the page, for tests that end it.
    qint64 rendererProcessId() const;
    // Subtrees of the page that every save writes afresh because the engine
    // and the source disagree on them; and reads that had to write the whole
    // page afresh. For tests and benchmarks.
    int sourceFallbacks() const { return m_sourceFallbacks; }
    int wholePageFallbacks() const { return m_wholePageFallbacks; }
    // For tests: when a wait shows the busy cursor and when the user is
    // offered to stop it.
    void setWaitTimes(int busyCursorAfterMs, int offerStopAfterMs)
    {
        m_busyCursorAfterMs = busyCursorAfterMs;
        m_offerStopAfterMs = offerStopAfterMs;
    }
    bool waiting() const override { return m_waitDepth > 0; }

    // How a call into the page's script ended.
    struct Call
    {
        enum Status
        {
            Ok,
            NotReady,
            Timeout,
            ScriptError,
            EngineGone,
            GaveUp // the user stopped waiting for the answer
        } status = NotReady;
        QVariant value;
        bool ok() const { return status == Ok; }
    };

private:
    void onReady(const QVariantMap &info);
    void onSnapshot(const QVariantMap &reported);
    // What the script reported: a snapshot, or nothing (an answer without
    // one); a report that is no snapshot is left out.
    void applySnapshot(const QVariant &reported);
    void applySnapshot(const Snapshot &snap);
    void scheduleDisplayChanged();
    void showContextMenu(const QPoint &pos);
    void openContextMenu(const QPoint &pos);
    friend class EditorView;
    void dropFiles(const QStringList &paths, const QPointF &at);

    // Loads a file and waits until the page is editable. Returns a failure code.
    qint64 loadContent(const QString &filePath, const QString &tag);
    void startLoad(const QString &filePath, const QString &tag);
    qint64 finishLoad();
    void loadStartPage();
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Loads the bytes through a hidden copy named .html, so that the engine
    // reads them as a page whatever the file is called.
    qint64 loadThroughCopy(const QByteArray &bytes, const QString &folder, bool bom);
    Call callJs(const QString &code, int timeoutMs = 10000);
    bool callJsOk(const QString &code);
    // A call that answers ok, the page's state and a text in field: the
    // text, or nothing when the call failed or said it could not.
    std::optional<QString> textCall(const QString &code, const QString &field);
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    // Runs loop until it is quit, the time is up, the renderer stops or the
    // user stops waiting (then true); done tells whether what is waited for
    // has come.
    bool wait(QEventLoop &loop, int timeoutMs, const std::function<bool()> &done);
    // Runs print (which starts the engine printing) with the view aids off,
    // and waits for the engine to finish; whether it printed.
    bool printWithoutViewAids(const std::function<void()> &print);
    QString viewAidsCall() const;
    void refreshSnapshot();
    // The page's state follows its ready report; what reads the state waits
    // for it until then.
    void awaitState() const;
    void onEngineGone(int status);
    QString readFailure(const Call &call) const;
    // The page's source: kept as text (or bytes and their charset), parsed
    // off the window's thread, and matched with the script's walk when a save
    // first needs it.
    void startSourceJob(const QString &text, const QByteArray &bytes);
    bool ensureAligned(QString *error);
    void alignWhenIdle();
    // Takes the match of the walk with the source one step on, as far as
    // what has come in allows; it never waits.
    void stepAlignment();
    QString sourceText() const;

    QPointer<QWebEngineView> m_view;
    QWebEngineProfile *m_profile = nullptr;
    EditorPage *m_page = nullptr;
    std::unique_ptr<QTemporaryDir> m_scratch;
    QPointer<QDialog> m_findDialog;
    std::shared_ptr<FilePicker> m_picker;

    QString m_path;
    QString m_baseFolder; // the folder the engine resolves relative references against
    QString m_loadingFolder;
    std::unique_ptr<QTemporaryFile> m_pendingCopy; // the start-up page, until the engine has read it
    std::unique_ptr<QTemporaryFile> m_startPage;   // the start-up page, until its window is shown
    QPointer<QWidget> m_startPageWindow;
    bool m_finishWhenReady = false;
    QString m_expectedUrl; // the document being loaded or shown
    QString m_expectedTag; // its query, as the page reports it back
    bool m_ready = false;
    bool m_stateDue = false; // ready, and its state not yet reported
    bool m_loadFailed = false;
    bool m_frameset = false;
    bool m_busy = false;
    bool m_engineGone = false;
    bool m_nextWriteClean = true;
    bool m_carriedDirty = false;
    int m_generation = 0;
    int m_waitDepth = 0;
    bool m_gaveUp = false; // the user stopped the last wait
    // A wait longer than this shows a busy cursor and says so; one longer
    // than the second is offered to be given up.
    int m_busyCursorAfterMs = 500;
    int m_offerStopAfterMs = 10000;

    // What was loaded, to give an unchanged page back exactly as it came.
    QByteArray m_sourceBytes; // the file's bytes (without a byte order mark)
    QString m_sourceText;     // or the text, for a page written here
    QString m_sourceCharset;
    bool m_sourceBom = false;
    bool m_sourceQuirks = false; // the engine read the page in quirks mode
    struct SourceJob;
    std::shared_ptr<SourceJob> m_sourceJob;
    bool m_aligned = false;
    QTimer m_sourcePoll;
    int m_sourceFallbacks = 0;
    int m_wholePageFallbacks = 0;

    QHash<int, int> m_status;
    QString m_fontName;
    int m_fontSize = 0;
    QString m_blockFormat;
    QStringList m_blockFormatNames;
    // The page's language as the page reported it when it became ready; good
    // until the page reports anything since.
    std::optional<QString> m_readyLanguage;
    QString m_selType = QStringLiteral("None");
    QString m_title;
    bool m_jsDirty = false;
    int m_changes = 0; // the page's count of changes, as last reported
    bool m_displayPending = false;
    bool m_displayDeferred = false;

    // The page before the last text applied as its source, for one Undo.
    std::optional<QString> m_beforeSource;
    int m_changesAtSource = 0;
    QString m_misspelled;
    QStringList m_suggestions;

    QStringList m_menuCaptions;
    QList<int> m_menuStates;
    bool m_showBorders = false;
    bool m_showDetails = false;
    bool m_snapToGrid = false;
};

} // namespace surface
