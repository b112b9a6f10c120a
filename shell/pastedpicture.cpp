#include "shell/pastedpicture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryFile>

namespace shell {

QString pastedPictureFolder(const QString &pageFolder)
{
    const QDir page(pageFolder);
    const QFileInfo images(page.filePath(QStringLiteral("images")));
    return images.isDir() ? images.absoluteFilePath() : page.absolutePath();
}

QString storePastedPicture(const QImage &picture, const QString &folder, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QString();
    };
    if (picture.isNull())
        return fail(QCoreApplication::translate("shell::pastedPicture", "The clipboard holds no picture."));
    // Written beside its final name first, then given that name: a name
    // taken meanwhile makes the rename fail instead of replacing the file.
    QTemporaryFile file(QDir(folder).filePath(QStringLiteral(".pasted-picture-XXXXXX.png")));
    if (!file.open() || !picture.save(&file, "PNG") || !file.flush())
        return fail(file.errorString());
    file.close();
    // A file of the site, to be read by whoever serves it (a temporary
    // file is the owner's alone).
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    for (int n = 1; n < 100000; ++n) {
        const QString name = QDir(folder).filePath(QStringLiteral("pasted-picture-%1.png").arg(n));
        if (QFileInfo::exists(name))
            continue;
        if (QFile::rename(file.fileName(), name)) {
            file.setAutoRemove(false);
            return QFileInfo(name).absoluteFilePath();
        }
        if (!QFileInfo::exists(name))
            return fail(file.errorString());
    }
    return fail(QCoreApplication::translate("shell::pastedPicture", "Every name for the picture is taken."));
}

} // namespace shell
