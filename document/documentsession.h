#pragma once

#include "document/pagefile.h"
#include "document/prompts.h"
#include "document/recovery.h"
#include "pathrel/pathrel.h"

#include "surface/editsurface.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

namespace document {

// The one page being edited: new, open, save, save as, the question before a
// changed page is replaced, the messages of loading and saving, the window's
// title, and the recovery copy that outlives a crash. Every save of the
// program goes through here; the surface never writes the page itself. What
// it asks and tells the user goes through its prompts.
class DocumentSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentSession)

public:
    DocumentSession(surface::EditSurface *surface, std::unique_ptr<Prompts> prompts,
                    QObject *parent = nullptr);
    ~DocumentSession() override;

    // Answers of the change prompt.
    enum class SaveAnswer
    {
        NothingChanged = 0,
        Saved = 1,
        Cancelled = 2, // or the save failed
        Declined = 7
    };
    SaveAnswer checkSaveChanges();
    // Save writes the page to its file, and is Save As for a page never
    // saved; Save As asks for a path. True when the page is on disk as shown.
    bool save();
    bool saveAs();
    void newPage();
    // With the surface's open dialog, or the file given.
    void open(const QString &path = QString());
    // The page at path, as the desktop names it: one that does not exist yet
    // in a folder that does starts empty, to be written there at the first save.
    void openPath(const QString &path);
    QString title() const;

    // The text a save would write now, references as they would be written;
    // nothing when the page cannot be read (error says why).
    std::optional<QString> pageText(QString *error = nullptr);
    // Edits kept elsewhere (the source pane) go into the page before it is
    // read for a save or for the question about its changes. The session
    // does not own them; they are removed before they go.
    void addPendingEdits(PendingEdits *edits);
    void removePendingEdits(PendingEdits *edits);

    // Files of the page's site were renamed and the page's file rewritten to
    // match: the page shown follows, its unsaved edits kept. changes are the
    // addresses that changed in it (as written before, and now); newPath is
    // where the page lives now, which differs when it was itself moved.
    // Where it stays, the change is one step Undo takes back.
    void followSiteRename(const QString &newPath, const QList<QPair<QString, QString>> &changes);

    // Copies left by a program that crashed, offered one by one.
    void offerRecovery();
    // A copy of a changed page now, as when the user leaves for another
    // program; put off while the page is being read or changed.
    void keepRecoveryCopy();
    // For tests: where recovery copies go and how often they are written.
    void setRecoveryFolder(const QString &folder);
    void setRecoveryInterval(int ms);
    // For tests: failures to inject into every write.
    void setWriteFaults(const WriteFaults &faults);

signals:
    // Before a page is loaded or saved: the window's formatting controls wait
    // for the next display change.
    void aboutToChangeDocument();
    void titleChanged(const QString &title);
    // The page shown is the file at path, just opened or saved.
    void pageOnDisk(const QString &path);

private:
    struct Outcome
    {
        bool ok = false;
        QString message;
    };
    bool saveTo(bool saveAs);
    Outcome writePage(const QString &target);
    // The file Save As writes, as the user confirmed it; nothing when the
    // dialog or the question about replacing a file was dismissed.
    std::optional<QString> chooseSaveAsTarget();
    // Removes what interrupted saves of the page left beside it; with offer,
    // what may hold the user's work is offered as recovery first.
    void tidyLeftovers(const QString &pagePath, bool offer);
    // The page's text as it would be written to target.
    struct Prepared
    {
        surface::DocumentRead read;
        QString text;
        QHash<QString, QString> rebased;
        QList<pathrel::Rewrite> rewrites;
    };
    Prepared prepare(const QString &target);
    bool flushEdits();
    QList<PendingEdits *> m_pendingEdits;
    void showLoadError(qint64 code);
    void refreshTitle();
    void onEngineFailed(const QString &reason);
    void throwAwayChanges();
    // The page's file as it was when the page was opened or last saved, to
    // tell when another program has changed it since.
    struct DiskStamp
    {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const DiskStamp &) const = default;
    };
    static DiskStamp stampOf(const QString &path);
    bool changedOnDiskAllowed(const QString &target);
    DiskStamp m_onDisk;

    surface::EditSurface *m_surface;
    std::unique_ptr<Prompts> m_prompts;
    RecoveryStore m_recovery;
    QString m_recoveryFolder;
    QTimer m_recoveryTimer;
    QTimer m_recoveryRetry; // a copy put off while the page was busy
    // Depth of the session's own work on the page (saving, opening, ...).
    int m_busy = 0;
    struct BusyGuard
    {
        explicit BusyGuard(int &depth) : m_depth(depth) { ++m_depth; }
        ~BusyGuard() { --m_depth; }
        BusyGuard(const BusyGuard &) = delete;
        BusyGuard &operator=(const BusyGuard &) = delete;
        int &m_depth;
    };
    WriteFaults m_faults;
    bool m_hasFaults = false;
    bool m_handlingFailure = false;
};

} // namespace document
