#include "sitepanel/entries.h"

#include "sitepanel/checksitedialog.h"
#include "sitepanel/siteactions.h"
#include "sitepanel/sitepanel.h"
#include "uikit/menuentry.h"
#include "uikit/pagehost.h"
#include "uikit/uiseam.h"

#include <QAction>
#include <QDir>
#include <QMainWindow>

namespace sitepanel {

using namespace ui::menus;

namespace {

void openSiteFolder(ui::PageHost &host)
{
    const QString start = siteFolderFor(host);
    const QString folder = ui::pickFolder(host.mainWindow(), SitePanel::tr("Open Site Folder"),
                                          start.isEmpty() ? QDir::homePath() : start);
    if (folder.isEmpty())
        return;
    rememberSiteFolder(QDir::cleanPath(folder));
    SitePanel *panel = SitePanel::of(host);
    panel->setSiteFolder(folder);
    panel->show();
    panel->raise();
}

void checkSite(ui::PageHost &host)
{
    QMainWindow *window = host.mainWindow();
    // A page not saved yet is checked with the site the panel shows.
    QString folder = siteFolderFor(host);
    if (const SitePanel *panel = SitePanel::find(window); folder.isEmpty() && panel)
        folder = panel->siteFolder();
    if (folder.isEmpty()) {
        ui::messageBox(window,
                       CheckSiteDialog::tr("There is no site to check yet: save the page, or open a site "
                                           "folder (File > Open Site Folder...)."),
                       QMessageBox::Ok, QMessageBox::Information);
        return;
    }
    // One check per window: a new one replaces the last, whose worker stops.
    delete window->findChild<CheckSiteDialog *>(QStringLiteral("CheckSiteDialog"),
                                                Qt::FindDirectChildrenOnly);
    auto *dialog = new CheckSiteDialog(host, folder, window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

} // namespace

void registerEntries(Registry &registry)
{
    // A window that cannot host the panel is offered none of it.
    registry.offer(Place::SiteFiles, [](const Window &w) {
        if (!w.host)
            return QList<Entry>{};
        ui::PageHost *host = w.host;
        return QList<Entry>{
            {"mnuFileOpenSite",
             SitePanel::tr("Open Site &Folder..."),
             {},
             [host](QAction *) { openSiteFolder(*host); }},
            {"mnuFileCheckSite", CheckSiteDialog::tr("&Check Site..."), {}, [host](QAction *) {
                 checkSite(*host);
             }}};
    });
    registry.offer(Place::Panels, [](const Window &w) {
        if (!w.host)
            return QList<Entry>{};
        ui::PageHost *host = w.host;
        return QList<Entry>{
            {.name = "mnuViewSite",
             .caption = SitePanel::tr("S&ite"),
             .handler = [host](QAction *a) { SitePanel::of(*host)->setVisible(a->isChecked()); },
             .checkable = true}};
    });
}

} // namespace sitepanel
