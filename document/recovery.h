#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace document {

// Recovery copies of changed pages, kept in the user's state folder (never
// beside the page), so that a crash of the program or of its display engine
// costs at most the last half minute of work. Each window keeps one copy,
// replaced atomically; it goes when the page is saved or its changes are
// thrown away on purpose.
class RecoveryStore final
{
public:
    // The folder the copies live in; by default "recovery" in the user's
    // application data folder.
    explicit RecoveryStore(const QString &folder = defaultFolder());
    static QString defaultFolder();

    // Writes this window's copy of the page at pagePath ("" for a page never
    // saved); false when it could not be written.
    bool write(const QString &pagePath, const QByteArray &pageText);
    void discard();
    bool hasCopy() const;
    QDateTime copyTime() const;
    QByteArray read() const;

    // A copy left behind by a program that is gone.
    struct Orphan
    {
        QString pagePath;
        QString copyFile;
        QString infoFile;
        QDateTime saved;
    };
    // The orphans in folder worth offering: newer than their page. Copies
    // older than their page (it was saved later) are removed.
    static QList<Orphan> orphans(const QString &folder = defaultFolder());
    static QByteArray read(const Orphan &orphan);
    static void remove(const Orphan &orphan);

private:
    QString m_folder;
    QString m_id;
    QDateTime m_written;
};

} // namespace document
