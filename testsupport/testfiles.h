#pragma once

// Files the tests make and read back.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>

#include <unistd.h>

// Writes bytes to path, making its folders; gives the path back.
inline QString writeTestFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

// The file's bytes; empty when it cannot be read.
inline QByteArray readTestFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A tiny file system of its own, for save failures a root user cannot get
// from file permissions.
class SmallMount
{
public:
    explicit SmallMount(const QString &where, const QString &options) : m_where(where)
    {
        QDir().mkpath(where);
        m_ok = ::geteuid() == 0 &&
               QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                  options, QStringLiteral("tmpfs"), where}) == 0;
    }
    ~SmallMount()
    {
        if (m_ok)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_where});
    }
    SmallMount(const SmallMount &) = delete;
    SmallMount &operator=(const SmallMount &) = delete;
    bool ok() const { return m_ok; }
    bool remountReadOnly()
    {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_where}) == 0;
    }

private:
    QString m_where;
    bool m_ok = false;
};
