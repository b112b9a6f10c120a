#pragma once

#include <QString>

class QImage;

namespace shell {

// The folder a page's pasted pictures go to: its "images" folder where it
// has one, else the page's own folder.
QString pastedPictureFolder(const QString &pageFolder);

// Writes the picture as a PNG file of its own in folder, under a name that
// no file there has yet ("pasted-picture-1.png", "-2", ...): the file
// appears whole or not at all, and nothing that exists is replaced. The
// file's path, or "" with the reason in error.
QString storePastedPicture(const QImage &picture, const QString &folder, QString *error);

} // namespace shell
