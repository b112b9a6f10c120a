#include "sitepanel/siteactions.h"

#include "uikit/pagehost.h"
#include "uikit/uiseam.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <limits>

namespace sitepanel {
namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SitePanel", text);
}

QString shown(const QString &path, const QString &siteFolder)
{
    const QString relative = QDir(siteFolder).relativeFilePath(path);
    return QDir::toNativeSeparators(relative.startsWith(QLatin1StringView("..")) ? path : relative);
}

QString clean(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// The user's trash, with the two folders a file moved there needs; false
// when it cannot be made.
bool trashReady()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return false;
    const QDir trash(data + QLatin1StringView("/Trash"));
    return trash.mkpath(QStringLiteral("files")) && trash.mkpath(QStringLiteral("info"));
}

// How long a scan may take before its progress shows: a small site reads in
// less, and a dialog that flashes up and away is only noise.
constexpr int kProgressDelayMs = 300;

} // namespace

QString journalFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // The base directory rules take only absolute paths; anything else is as
    // if it were unset.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QLatin1StringView("/.local/state");
    return QDir::cleanPath(state + QLatin1StringView("/QNKV/site-rename"));
}

void finishInterruptedRename(QWidget *parent)
{
    const site::RecoveryResult result = site::recoverJournal(journalFolder());
    if (!result.found)
        return;
    if (result.unreadable) {
        ui::messageBox(
            parent,
            tr("A rename of files of your site was cut short the last time the program ran, and "
               "what it had noted could not be read. No file was changed; the pages it touched may "
               "still refer to old and new names. The note is kept as:") +
                u'\n' + QDir::toNativeSeparators(result.conflicts.value(0)),
            QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    QString text = result.completed
                       ? tr("A rename of files of your site was cut short the last time the program ran. "
                            "It has now been completed: every page refers to the new names.")
                       : tr("A rename of files of your site was cut short the last time the program ran. "
                            "It has been undone: every page refers to the old names again.");
    if (!result.conflicts.isEmpty()) {
        QStringList files;
        for (const QString &file : result.conflicts)
            files << QDir::toNativeSeparators(file);
        text += QStringLiteral("\n\n") + tr("These files had been changed since and were left as they are:") +
                u'\n' + files.join(u'\n');
    }
    ui::messageBox(parent, text, QMessageBox::Ok,
                   result.conflicts.isEmpty() ? QMessageBox::Information : QMessageBox::Warning);
}

QString rememberedSiteFolder()
{
    QSettings settings(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
    settings.beginGroup(QStringLiteral("Site"));
    return settings.value(QStringLiteral("Folder")).toString();
}

void rememberSiteFolder(const QString &folder)
{
    QSettings settings(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
    settings.beginGroup(QStringLiteral("Site"));
    settings.setValue(QStringLiteral("Folder"), folder);
}

QString siteFolderFor(const ui::PageHost &host)
{
    const QString remembered = rememberedSiteFolder();
    // A folder since removed or renamed by hand is no site to show.
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return clean(remembered);
    const QString page = host.pagePath();
    return page.isEmpty() ? QString() : clean(site::findSiteFolder(page));
}

std::optional<site::Model> scanWithProgress(QWidget *parent, const QString &folder)
{
    std::atomic_bool cancel = false;
    std::atomic_int done = 0;
    std::atomic_int total = 0;
    const site::Progress progress{&cancel, [&done, &total](int d, int t) {
                                      done = d;
                                      total = t;
                                  }};
    QFuture<site::Model> future = QtConcurrent::run(
        [folder, progress] { return site::scanSite(folder, site::pageReferenceLister(), progress); });

    // The dialog lives with its parent: should the window go while the scan
    // runs, it takes the dialog with it, and the guard sees that.
    QPointer<QProgressDialog> dialog =
        new QProgressDialog(tr("Reading the site..."), tr("Cancel"), 0, 0, parent);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(std::numeric_limits<int>::max()); // shown by the timer below
    QObject::connect(dialog, &QProgressDialog::canceled, dialog, [&cancel] { cancel = true; });

    QEventLoop loop;
    QFutureWatcher<site::Model> watcher;
    QObject::connect(&watcher, &QFutureWatcher<site::Model>::finished, &loop, &QEventLoop::quit);
    QTimer show;
    show.setSingleShot(true);
    QObject::connect(&show, &QTimer::timeout, &loop, [&dialog] {
        if (dialog)
            dialog->show();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (dialog && dialog->isVisible()) {
            dialog->setMaximum(total);
            dialog->setValue(done);
        }
    });
    watcher.setFuture(future);
    show.start(kProgressDelayMs);
    poll.start(50);
    loop.exec();
    future.waitForFinished();
    delete dialog.data();

    site::Model model = future.result();
    if (cancel || model.cancelled)
        return std::nullopt;
    return model;
}

QStringList changeSummary(const site::RenamePlan &plan, const QString &siteFolder)
{
    QStringList lines;
    for (const site::FileChange &change : plan.changes)
        lines << (change.references == 1
                      ? tr("%1: 1 reference").arg(shown(change.file, siteFolder))
                      : tr("%1: %2 references").arg(shown(change.file, siteFolder)).arg(change.references));
    return lines;
}

bool renameInSite(ui::PageHost &host, const QString &siteFolder, const QString &from, const QString &to)
{
    QWidget *parent = host.mainWindow();
    const std::optional<site::Model> model = scanWithProgress(parent, siteFolder);
    if (!model)
        return false;
    const site::RenamePlan plan = site::planRename(*model, clean(from), clean(to));
    if (!plan.isValid()) {
        ui::messageBox(parent, plan.error, QMessageBox::Ok, QMessageBox::Warning);
        return false;
    }
    const bool move = QFileInfo(plan.from).absolutePath() != QFileInfo(plan.to).absolutePath();
    QString question = (move ? tr("Move %1 to %2?") : tr("Rename %1 to %2?"))
                           .arg(shown(plan.from, siteFolder), shown(plan.to, siteFolder));
    const QStringList lines = changeSummary(plan, siteFolder);
    question += QStringLiteral("\n\n") +
                (lines.isEmpty() ? tr("No file of the site refers to it.")
                                 : tr("These files will change to follow it:") + u'\n' + lines.join(u'\n'));
    if (ui::messageBox(parent, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) !=
        QMessageBox::Yes)
        return false;

    // What the open page's own addresses become, taken before the plan's
    // files move: the page shown follows them in the window.
    const QString page = host.pagePath().isEmpty() ? QString() : clean(host.pagePath());
    QList<ui::AddressChange> pageChanges;
    for (const site::FileChange &change : plan.changes)
        if (change.file == page)
            for (const site::Edit &edit : change.edits)
                pageChanges.append({edit.old, edit.value});

    const site::RenameResult result = site::applyRename(plan, journalFolder());
    if (!result.ok) {
        ui::messageBox(parent, result.error + QStringLiteral("\n\n") + tr("Nothing was changed."),
                       QMessageBox::Ok, QMessageBox::Warning);
        return false;
    }
    host.siteRenamed(plan.from, plan.to, pageChanges);
    return true;
}

bool deleteFromSite(ui::PageHost &host, const QString &siteFolder, const QString &path)
{
    QWidget *parent = host.mainWindow();
    const std::optional<site::Model> model = scanWithProgress(parent, siteFolder);
    if (!model)
        return false;
    const QString target = clean(path);
    QStringList referring;
    for (const QString &file : site::filesReferringTo(*model, target))
        referring << shown(file, siteFolder);
    const QString name = shown(target, siteFolder);
    const QString question =
        referring.isEmpty()
            ? tr("Move %1 to the trash?").arg(name)
            : tr("These files still refer to %1:").arg(name) + u'\n' + referring.join(u'\n') +
                  QStringLiteral("\n\n") +
                  tr("Their references will be broken. Move %1 to the trash anyway?").arg(name);
    if (ui::messageBox(parent, question, QMessageBox::Yes | QMessageBox::No,
                       referring.isEmpty() ? QMessageBox::Question : QMessageBox::Warning) !=
        QMessageBox::Yes)
        return false;
    // Never deleted for good: a file the trash cannot take stays. The trash
    // is made ready first: where it cannot be, Qt's own move would put the
    // file into a "files" folder of the working directory and call that a
    // success.
    QString inTrash;
    if (!trashReady() || !QFile::moveToTrash(target, &inTrash)) {
        ui::messageBox(parent,
                       tr("%1 cannot be moved to the trash (there is no trash for it here, or it cannot be "
                          "moved). Nothing was deleted.")
                           .arg(name),
                       QMessageBox::Ok, QMessageBox::Warning);
        return false;
    }
    return true;
}

} // namespace sitepanel
