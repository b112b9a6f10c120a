#include "document/recovery.h"

#include "document/pagefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUuid>

#include <csignal>
#include <unistd.h>

namespace document {
namespace {

QString infoPath(const QString &folder, const QString &id)
{
    return folder + u'/' + id + QStringLiteral(".json");
}

QString copyPath(const QString &folder, const QString &id)
{
    return folder + u'/' + id + QStringLiteral(".html");
}

// Whether the program that wrote a copy still runs (and so still owns it).
bool stillRunning(qint64 pid)
{
    if (pid == QCoreApplication::applicationPid())
        return true;
    if (pid <= 0)
        return false;
    if (::kill(pid_t(pid), 0) != 0)
        return false;
    // The number may have gone to another program since.
    QFile comm(QStringLiteral("/proc/%1/exe").arg(pid));
    const QString exe = QFileInfo(comm.fileName()).symLinkTarget();
    return exe.isEmpty() || exe == QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
}

} // namespace

RecoveryStore::RecoveryStore(const QString &folder)
    : m_folder(folder), m_id(QUuid::createUuid().toString(QUuid::WithoutBraces))
{}

QString RecoveryStore::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/recovery");
}

bool RecoveryStore::write(const QString &pagePath, const QByteArray &pageText)
{
    if (!QDir().mkpath(m_folder))
        return false;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!writePageFile(copyPath(m_folder, m_id), pageText).ok)
        return false;
    const QJsonObject info{{QStringLiteral("page"), pagePath},
                           {QStringLiteral("pid"), QCoreApplication::applicationPid()},
                           {QStringLiteral("saved"), now.toString(Qt::ISODateWithMs)}};
    if (!writePageFile(infoPath(m_folder, m_id), QJsonDocument(info).toJson()).ok)
        return false;
    m_written = now;
    return true;
}

void RecoveryStore::discard()
{
    QFile::remove(infoPath(m_folder, m_id));
    QFile::remove(copyPath(m_folder, m_id));
    m_written = {};
}

bool RecoveryStore::hasCopy() const
{
    return m_written.isValid();
}

QDateTime RecoveryStore::copyTime() const
{
    return m_written;
}

QByteArray RecoveryStore::read() const
{
    QFile f(copyPath(m_folder, m_id));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<RecoveryStore::Orphan> RecoveryStore::orphans(const QString &folder)
{
    QList<Orphan> out;
    const QDir dir(folder);
    // Filtered by hand: a name filter is compiled into a regular expression,
    // which would bring the pattern engine into every start-up.
    for (const QString &name : dir.entryList(QDir::Files, QDir::Time)) {
        if (!name.endsWith(QLatin1String(".json")))
            continue;
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject info = QJsonDocument::fromJson(f.readAll()).object();
        Orphan o;
        o.infoFile = f.fileName();
        o.copyFile = dir.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".html"));
        o.pagePath = info.value(QStringLiteral("page")).toString();
        o.saved = QDateTime::fromString(info.value(QStringLiteral("saved")).toString(), Qt::ISODateWithMs);
        if (stillRunning(info.value(QStringLiteral("pid")).toInteger()))
            continue;
        if (!QFileInfo::exists(o.copyFile) || !o.saved.isValid()) {
            remove(o);
            continue;
        }
        // The page was saved after the copy was made: nothing to recover.
        const QFileInfo page(o.pagePath);
        if (!o.pagePath.isEmpty() && page.exists() && page.lastModified() > o.saved) {
            remove(o);
            continue;
        }
        out.append(o);
    }
    return out;
}

QByteArray RecoveryStore::read(const Orphan &orphan)
{
    QFile f(orphan.copyFile);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void RecoveryStore::remove(const Orphan &orphan)
{
    QFile::remove(orphan.infoFile);
    QFile::remove(orphan.copyFile);
}

} // namespace document
