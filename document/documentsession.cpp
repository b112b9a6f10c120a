#include "document/documentsession.h"

#include "document/saverules.h"
#include "pathrel/references.h"
#include "surface/editsurface.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QStringDecoder>

using namespace surface;

namespace document {

Q_LOGGING_CATEGORY(lcSaveTiming, "quillonkiv.session.timing", QtWarningMsg)

DocumentSession::DocumentSession(EditSurface *surface, std::unique_ptr<Prompts> prompts, QObject *parent)
    : QObject(parent), m_surface(surface), m_prompts(std::move(prompts)),
      m_recoveryFolder(RecoveryStore::defaultFolder())
{
    connect(m_surface, &EditSurface::EngineFailed, this, &DocumentSession::onEngineFailed);
    m_recoveryTimer.setInterval(30000);
    connect(&m_recoveryTimer, &QTimer::timeout, this, &DocumentSession::keepRecoveryCopy);
    m_recoveryTimer.start();
    m_recoveryRetry.setSingleShot(true);
    m_recoveryRetry.setInterval(250);
    connect(&m_recoveryRetry, &QTimer::timeout, this, &DocumentSession::keepRecoveryCopy);
}

DocumentSession::~DocumentSession() = default;

void DocumentSession::setRecoveryFolder(const QString &folder)
{
    m_recovery.discard();
    m_recoveryFolder = folder;
    m_recovery = RecoveryStore(folder);
}

void DocumentSession::setRecoveryInterval(int ms)
{
    m_recoveryTimer.start(ms);
}

void DocumentSession::setWriteFaults(const WriteFaults &faults)
{
    m_faults = faults;
    m_hasFaults = true;
}

QString DocumentSession::title() const
{
    return windowTitle(m_surface->CurrentDocumentPath());
}

void DocumentSession::refreshTitle()
{
    emit titleChanged(title());
}

void DocumentSession::addPendingEdits(PendingEdits *edits)
{
    if (edits && !m_pendingEdits.contains(edits))
        m_pendingEdits.append(edits);
}

void DocumentSession::removePendingEdits(PendingEdits *edits)
{
    m_pendingEdits.removeAll(edits);
}

bool DocumentSession::flushEdits()
{
    for (PendingEdits *edits : std::as_const(m_pendingEdits))
        if (!edits->flush())
            return false;
    return true;
}

DocumentSession::SaveAnswer DocumentSession::checkSaveChanges()
{
    if (!flushEdits())
        return SaveAnswer::Cancelled;
    if (!m_surface->IsDirty())
        return SaveAnswer::NothingChanged;
    const Prompts::Answer answer = m_prompts->saveChanges(tr("The current document has changed.") + crlf() +
                                                          crlf() + tr("Do you want to save changes?"));
    if (answer == Prompts::Answer::No) {
        throwAwayChanges();
        return SaveAnswer::Declined;
    }
    if (answer != Prompts::Answer::Yes)
        return SaveAnswer::Cancelled;
    return save() ? SaveAnswer::Saved : SaveAnswer::Cancelled;
}

void DocumentSession::throwAwayChanges()
{
    m_recovery.discard();
}

void DocumentSession::newPage()
{
    const BusyGuard busy(m_busy);
    if (checkSaveChanges() == SaveAnswer::Cancelled)
        return;
    m_surface->NewDocument();
    m_surface->setDocumentHTML(newPageText());
    m_recovery.discard();
    refreshTitle();
}

void DocumentSession::showLoadError(qint64 code)
{
    m_prompts->error(tr("Error occurred while loading document: ") + loadMessage(code) + u'.');
}

void DocumentSession::open(const QString &path)
{
    const BusyGuard busy(m_busy);
    emit aboutToChangeDocument();
    bool opened = false;
    bool stopped = false;
    if (checkSaveChanges() != SaveAnswer::Cancelled) {
        const qint64 code = m_surface->LoadDocument(path, path.isEmpty());
        stopped = code == codes::Stopped;
        if (stopped) {
            m_surface->NewDocument();
        } else if (code != codes::Ok) {
            showLoadError(code);
            // A file refused before it reached the engine (missing, not
            // readable, binary) leaves the page as it was; only a page the
            // engine could not show gives way to an empty one.
            if (!m_surface->pageShown())
                m_surface->NewDocument();
        }
        if (code == codes::Ok)
            m_onDisk = stampOf(m_surface->CurrentDocumentPath());
        if (!m_surface->IsDirty())
            m_recovery.discard();
        opened = code == codes::Ok;
    }
    if (!m_surface->Busy()) {
        if (std::optional<TextRange> r = m_surface->DOM().selection().createRange())
            r->Collapse(true);
    }
    refreshTitle();
    // The user's own choice needs no error box, only a word.
    if (stopped)
        m_prompts->notice(tr("Opening the page was stopped."));
    if (opened && !m_surface->CurrentDocumentPath().isEmpty()) {
        emit pageOnDisk(m_surface->CurrentDocumentPath());
        tidyLeftovers(m_surface->CurrentDocumentPath(), true);
    }
}

void DocumentSession::openPath(const QString &path)
{
    const BusyGuard busy(m_busy);
    const QFileInfo info(path);
    if (info.exists() || !info.absoluteDir().exists()) {
        open(info.absoluteFilePath()); // a missing folder is reported as Open reports it
        return;
    }
    emit aboutToChangeDocument();
    if (checkSaveChanges() != SaveAnswer::Cancelled) {
        if (m_surface->newDocumentAt(info.absoluteFilePath(), newPageText())) {
            m_recovery.discard();
            refreshTitle();
            m_prompts->notice(tr("%1 does not exist yet: it is written when the page is first saved.")
                                  .arg(QDir::toNativeSeparators(info.absoluteFilePath())));
            return;
        }
        showLoadError(codes::Unknown);
        m_surface->NewDocument();
    }
    refreshTitle();
}

void DocumentSession::followSiteRename(const QString &newPath, const QList<QPair<QString, QString>> &changes)
{
    const QString path = m_surface->CurrentDocumentPath();
    if (path.isEmpty() || newPath.isEmpty())
        return;
    const BusyGuard busy(m_busy);
    flushEdits(); // the source pane's typing is part of what follows
    const QString target = QFileInfo(newPath).absoluteFilePath();
    const bool moved = target != QFileInfo(path).absoluteFilePath();
    const bool modified = m_surface->IsDirty();
    if (!modified && (moved || changes.isEmpty())) {
        // Nothing of the user's to carry: the page as it is on disk now.
        emit aboutToChangeDocument();
        if (m_surface->LoadDocument(target, false) == codes::Ok) {
            m_onDisk = stampOf(target);
            emit pageOnDisk(target);
        }
        refreshTitle();
        return;
    }
    const DocumentRead read = m_surface->readDocument();
    if (!read.ok) {
        m_prompts->error(tr("The page shown could not follow the renamed files (%1). Its file has been "
                            "changed; what it shows is kept and is written at the next save.")
                             .arg(read.error));
        return;
    }
    const QString text = withAddressesChanged(read.text, path, changes);
    emit aboutToChangeDocument();
    if (moved) {
        // The edits go on at the page's new place, not written there yet.
        if (m_surface->loadRecovered(target, text)) {
            m_onDisk = stampOf(target);
            refreshTitle();
        }
        return;
    }
    if (text == read.text || m_surface->applySource(text, m_surface->caretElement()) != codes::Ok)
        return;
    m_onDisk = stampOf(path);
    if (!modified) {
        // The page is as its file is now: nothing for the user to save, and
        // Undo still brings the old addresses back.
        QFile file(path);
        const DocumentRead now = m_surface->readDocument();
        if (now.ok && file.open(QIODevice::ReadOnly)) {
            SavedDocument saved;
            saved.path = path;
            saved.text = text;
            saved.bytes = file.readAll();
            saved.charset = read.charset;
            saved.bom = read.bom;
            saved.changes = now.changes;
            m_surface->documentSaved(saved);
        }
    }
    refreshTitle();
}

bool DocumentSession::save()
{
    // A page never saved has no file to write to: it is saved as.
    return saveTo(m_surface->CurrentDocumentPath().isEmpty());
}

bool DocumentSession::saveAs()
{
    return saveTo(true);
}

bool DocumentSession::saveTo(bool saveAs)
{
    const BusyGuard busy(m_busy);
    emit aboutToChangeDocument();
    QString target = m_surface->CurrentDocumentPath();
    if (saveAs) {
        // Dismissed, Save As writes nothing: the user may only have gone to
        // choose another folder, and the page's own file must not take the
        // edits behind their back.
        const std::optional<QString> chosen = chooseSaveAsTarget();
        if (!chosen)
            return false;
        target = *chosen;
    }
    if (target.isEmpty() || !flushEdits() || !changedOnDiskAllowed(target))
        return false;
    const Outcome outcome = writePage(target);
    if (!outcome.ok) {
        m_prompts->error(tr("Error occurred while saving document: ") + outcome.message + u'.');
        refreshTitle();
        return false;
    }
    m_recovery.discard();
    m_onDisk = stampOf(target);
    // What an interrupted earlier save left beside the page is older than
    // what was just written.
    tidyLeftovers(target, false);
    refreshTitle();
    emit pageOnDisk(m_surface->CurrentDocumentPath());
    return true;
}

namespace {
QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A page's bytes as text, in the charset the page declares.
QString decodeLeftover(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QString charset = declaredCharset(QString::fromLatin1(bytes.left(4096)));
    QStringDecoder decoder(charset.isEmpty() ? "UTF-8" : charset.toLatin1().constData());
    return decoder.isValid() ? decoder.decode(bytes) : QString::fromUtf8(bytes);
}
} // namespace

// An earlier run that was ended while it saved this page left the file it was
// writing beside the page, where it would go to the server with the site. One
// cut short is of no use and goes. A complete one newer than the page is the
// page as that save would have written it, and the old page kept while a page
// was written over in place may be the only whole copy: those are offered as
// recovery first.
void DocumentSession::tidyLeftovers(const QString &pagePath, bool offer)
{
    const QFileInfo page(pagePath);
    for (const Leftover &left : leftoversOf(pagePath)) {
        const bool worthOffering =
            offer && left.complete && (left.backup || left.modified >= page.lastModified());
        if (worthOffering) {
            const QByteArray bytes = fileBytes(left.path);
            if (bytes != fileBytes(pagePath)) {
                const QString where = QDir::toNativeSeparators(pagePath);
                const QString question =
                    left.backup
                        ? tr("A save of %1 was interrupted while the file was written over. Open the page "
                             "as it was before that save?")
                              .arg(where)
                        : tr("A save of %1 was interrupted before it was finished. Open the page as that "
                             "save would have written it?")
                              .arg(where);
                const Prompts::Recovery answer =
                    m_prompts->recover(question, Prompts::RecoveryOf::InterruptedSave);
                if (answer == Prompts::Recovery::Later)
                    continue;
                if (answer == Prompts::Recovery::Recover) {
                    if (!m_surface->loadRecovered(pagePath, decodeLeftover(bytes)))
                        continue; // kept for another try
                    QFile::remove(left.path);
                    refreshTitle();
                    return; // one page per window: any other waits for the next open
                }
            }
        }
        QFile::remove(left.path);
    }
}

std::optional<QString> DocumentSession::chooseSaveAsTarget()
{
    const QString chosen = m_surface->chooseSaveAsPath();
    if (chosen.isEmpty())
        return std::nullopt;
    // The dialog offers HTML files; a name without an extension would not
    // open as a page again.
    if (!QFileInfo(chosen).suffix().isEmpty())
        return QFileInfo(chosen).absoluteFilePath();
    const QString completed =
        QFileInfo(chosen + (chosen.endsWith(u'.') ? QStringLiteral("html") : QStringLiteral(".html")))
            .absoluteFilePath();
    // Whatever the dialog asked was about the name typed, not about the one
    // written: a page already there under the completed name is not replaced
    // without a question about that name.
    if (completed != m_surface->CurrentDocumentPath() && QFileInfo::exists(completed) &&
        !m_prompts->replaceFile(tr("%1 already exists.").arg(QDir::toNativeSeparators(completed)) + crlf() +
                                tr("Do you want to replace it?")))
        return std::nullopt;
    return completed;
}

DocumentSession::DiskStamp DocumentSession::stampOf(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return {path, -1, {}};
    return {info.absoluteFilePath(), info.size(), info.lastModified()};
}

// A page whose file another program changed since it was opened or saved is
// not overwritten without asking: that program's work would be lost.
bool DocumentSession::changedOnDiskAllowed(const QString &target)
{
    const DiskStamp now = stampOf(target);
    if (now.size < 0 || now.path != m_onDisk.path || now == m_onDisk)
        return true;
    return m_prompts->overwriteChangedFile(
        tr("The file %1 was changed by another program since it was opened or saved.").arg(target) + crlf() +
        crlf() + tr("Do you want to overwrite it with this page?"));
}

// The direct save: read, rewrite the references, write; nothing is written
// when anything before the write fails, and the page only takes the new path
// when the write succeeded.
DocumentSession::Outcome DocumentSession::writePage(const QString &target)
{
    QElapsedTimer timer;
    timer.start();
    const auto phase = [&](const char *what) { qCDebug(lcSaveTiming, "%s: %lld ms", what, timer.restart()); };
    const Prepared prepared = prepare(target);
    phase("read and references");
    const DocumentRead &read = prepared.read;
    if (!read.ok)
        return {false, read.error};
    const QString &text = prepared.text;
    const QHash<QString, QString> &rebased = prepared.rebased;
    const QList<pathrel::Rewrite> &rewrites = prepared.rewrites;

    EncodedPage page;
    if (read.unchanged && rebased.isEmpty() && rewrites.isEmpty() && !read.originalBytes.isNull()) {
        // Nothing changed: the file's own bytes, exactly.
        page.bytes = read.originalBytes;
        page.encoding = {read.charset, read.bom};
    } else {
        page = encodePage(text, {read.charset, read.bom});
    }
    phase("encode");
    const WriteResult written = writePageFile(target, page.bytes, m_hasFaults ? &m_faults : nullptr);
    phase("write");
    if (!written.ok)
        return {false, saveMessage(written.code)};

    SavedDocument saved;
    saved.path = target;
    saved.text = text;
    saved.bytes = page.bytes;
    saved.charset = page.encoding.charset;
    saved.bom = page.encoding.bom;
    saved.changes = read.changes;
    saved.relativeReferences = rebased;
    m_surface->documentSaved(saved);
    phase("saved");
    return {true, {}};
}

DocumentSession::Prepared DocumentSession::prepare(const QString &target)
{
    Prepared p;
    p.read = m_surface->readDocument();
    if (!p.read.ok)
        return p;
    p.text = p.read.text;
    if (target.isEmpty())
        return p; // no folder yet to make references relative to
    // References relative to the folder the page came from are made relative
    // to the one it goes to.
    pathrel::RewriteResult rewritten =
        pathrel::rewriteReferences(p.text, {m_surface->originFolder(), target});
    p.text = std::move(rewritten.text);
    for (const pathrel::Rewrite &r : std::as_const(rewritten.rewrites))
        if (r.step == pathrel::Rewrite::Rebased)
            p.rebased.insert(r.from, r.to);
    p.rewrites = std::move(rewritten.rewrites);
    return p;
}

std::optional<QString> DocumentSession::pageText(QString *error)
{
    const Prepared p = prepare(m_surface->CurrentDocumentPath());
    if (!p.read.ok) {
        if (error)
            *error = p.read.error;
        return std::nullopt;
    }
    return p.text;
}

void DocumentSession::keepRecoveryCopy()
{
    // Timers run inside the waits of a save, an open or any other call into
    // the page: a copy taken there would read the page in the middle of that
    // call. It is taken once the call is over.
    if (m_busy > 0 || m_surface->waiting()) {
        m_recoveryRetry.start();
        return;
    }
    if (!m_surface->IsDirty() || m_handlingFailure) {
        if (!m_surface->IsDirty())
            m_recovery.discard();
        return;
    }
    const DocumentRead read = m_surface->readDocument();
    if (!read.ok)
        return; // the last copy stays
    m_recovery.write(m_surface->CurrentDocumentPath(), read.text.toUtf8());
}

void DocumentSession::onEngineFailed(const QString &reason)
{
    const BusyGuard busy(m_busy);
    if (m_handlingFailure)
        return;
    m_handlingFailure = true;
    const QString path = m_surface->CurrentDocumentPath();
    const QString where = path.isEmpty() ? tr("a new page") : path;
    QString text = reason + u'.' + crlf() + crlf();
    if (m_recovery.hasCopy()) {
        text +=
            tr("Reload the page from its recovery copy of %1? Choose No to reload it from disk instead.")
                .arg(QLocale().toString(m_recovery.copyTime().toLocalTime().time(), QLocale::ShortFormat));
        if (m_prompts->engineStopped(text, true)) {
            if (m_surface->loadRecovered(path, QString::fromUtf8(m_recovery.read()))) {
                m_handlingFailure = false;
                refreshTitle();
                return;
            }
        }
    } else {
        text += path.isEmpty()
                    ? tr("The page is started again empty.")
                    : tr("The page is loaded again from %1; changes not saved are lost.").arg(where);
        m_prompts->engineStopped(text, false);
    }
    const qint64 code = path.isEmpty() ? codes::Ok : m_surface->LoadDocument(path, false);
    if (path.isEmpty() || code != codes::Ok) {
        if (code != codes::Ok)
            showLoadError(code);
        m_surface->NewDocument();
        m_surface->setDocumentHTML(newPageText());
    }
    m_handlingFailure = false;
    refreshTitle();
}

void DocumentSession::offerRecovery()
{
    // Asked for at start-up by a timer, which may fire inside the wait for
    // the first page: the question waits until the page is there.
    if (m_busy > 0 || m_surface->waiting()) {
        QTimer::singleShot(250, this, &DocumentSession::offerRecovery);
        return;
    }
    const BusyGuard busy(m_busy);
    for (const RecoveryStore::Orphan &orphan : RecoveryStore::orphans(m_recoveryFolder)) {
        const QString which = orphan.pagePath.isEmpty() ? tr("a page never saved") : orphan.pagePath;
        const Prompts::Recovery answer = m_prompts->recover(
            tr("Recover the unsaved changes of %1?").arg(which), Prompts::RecoveryOf::EndedProgram);
        if (answer == Prompts::Recovery::Discard) {
            RecoveryStore::remove(orphan);
        } else if (answer == Prompts::Recovery::Recover) {
            if (checkSaveChanges() == SaveAnswer::Cancelled)
                return;
            if (m_surface->loadRecovered(orphan.pagePath, QString::fromUtf8(RecoveryStore::read(orphan)))) {
                RecoveryStore::remove(orphan);
                keepRecoveryCopy(); // this window's own copy from now on
                refreshTitle();
                return; // one page per window
            }
        }
    }
}

} // namespace document
