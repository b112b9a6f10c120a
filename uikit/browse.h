#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

#include <optional>

class QToolButton;
class QWidget;

// Services the dialogs share: the file picker with the path it last chose,
// favourites shortcuts, and the program's help.
namespace browse {

// The full path of the file chosen by the last successful browse (or, in the
// image dialog, the last accepted file-list click); shared by every dialog.
QString &ChosenFileName();

// Shows the open-file dialog titled "Browse..." with the filter ("Name|pattern|...")
// and 1-based filter index; on OK the chosen file's full path goes to
// ChosenFileName, on cancel ChosenFileName keeps the caller's value. True when
// a file was chosen: a cancelled browse must leave the caller's box as the
// user had it.
bool BrowseForFile(QWidget *parent, const QString &filter, int filterIndex, const QString &startFolder = {});

// The address in an Internet Shortcut (.url) file: the URL= value of its
// [InternetShortcut] section; empty when there is none or the file cannot be read.
QString readInternetShortcut(const QString &path);

// The favourites browse of the image and link dialogs: empties
// ChosenFileName, lets the user pick a shortcut file and gives its address
// (empty when the file is unreadable); nothing when the browse was cancelled.
std::optional<QString> browseFavorites(QWidget *parent);

// Where a favourites browse starts: the old Windows favourites folder where it
// exists, else a Favorites folder in the home folder, else the home folder.
QString favoritesFolder();

// A picture file decoded for a preview; nothing when it cannot be read or
// when its header claims a picture too large to decode safely.
std::optional<QImage> readPicture(const QString &path);

// The program's help window.
void showHelp(QWidget *parent);
// The picture of the dialogs' help buttons.
QIcon helpIcon(const QWidget *widget);
// A button that shows a picture; its tip is also what a screen reader says.
QToolButton *pictureButton(QWidget *parent, const char *name, const QIcon &icon, const QString &tip);
// Makes F1 anywhere in the window open the help.
void installHelpKey(QWidget *window);

} // namespace browse
