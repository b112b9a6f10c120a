#pragma once

#include "site/siterename.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace ui {
class PageHost;
}

// What the site panel does to the files of a site: renames and moves that
// take every reference along, deletions that say what they leave broken.
namespace sitepanel {

// Where a rename keeps its journal until every file is written: the user's
// state folder, so that the next start finds a rename a crash cut short.
QString journalFolder();

// At program start: finishes or undoes a rename cut short, and tells the user
// what was done when there was one.
void finishInterruptedRename(QWidget *parent);

// The folder picked with Open Site Folder, remembered for the user.
QString rememberedSiteFolder();
void rememberSiteFolder(const QString &folder);

// The site of the window: the folder the user opened, else the one the page
// shown belongs to; empty for a page never saved and no folder opened.
QString siteFolderFor(const ui::PageHost &host);

// Reads the site, showing a progress dialog the user can cancel once it takes
// long; nothing when cancelled.
std::optional<site::Model> scanWithProgress(QWidget *parent, const QString &folder);

// One line per file a rename changes, "index.html: 2 references", the paths
// relative to the site's folder.
QStringList changeSummary(const site::RenamePlan &plan, const QString &siteFolder);

// Renames or moves from to to inside the site at siteFolder after asking the
// user, rewriting every reference to it; true when done.
bool renameInSite(ui::PageHost &host, const QString &siteFolder, const QString &from, const QString &to);

// Moves path to the trash after telling which pages still refer to it; true
// when done.
bool deleteFromSite(ui::PageHost &host, const QString &siteFolder, const QString &path);

} // namespace sitepanel
