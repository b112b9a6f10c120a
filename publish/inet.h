#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

namespace publish {

class InetWorker;

// The transfer component of the publish dialog: FTP commands run one at a
// time on a worker thread, over libcurl; their progress arrives as state
// numbers on the thread that made the component.
//   1 resolving, 3 connecting, 4 connected, 5 sending request, 7 receiving,
//   8 response received, 10 disconnected, 11 error, 12 response completed.
class Inet final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Inet)

public:
    enum ProtocolType
    {
        icFTP = 2
    };

    explicit Inet(QObject *parent = nullptr);
    ~Inet() override;

    int Protocol = icFTP;
    QString URL;
    QString UserName;
    QString Password;

    // Limits, in milliseconds: connecting, and a transfer that moves no data.
    int connectTimeoutMs = 30000;
    int stallTimeoutMs = 60000;

    // "CD dir", "CDUP", "DIR", "SIZE name", "GET remote local", "PUT local remote", "QUIT".
    // Returns false when a command is still running or the text is not one of these.
    bool Execute(const QString &operation);
    // Stops whatever runs, at once.
    void Cancel();
    bool StillExecuting() const { return m_executing; }
    // The next piece of the completed command's reply, at most size characters;
    // empty when all was read.
    QString GetChunk(int size);
    // The remote folder the session is in, relative to where the login put it.
    QString currentFolder() const { return m_folder; }

signals:
    void StateChanged(int state);

private:
    friend class InetWorker;
    void finished(bool ok, const QString &reply, const QString &folder, qint64 generation);

    QThread *m_thread = nullptr;
    InetWorker *m_worker = nullptr;
    std::shared_ptr<std::atomic_bool> m_cancel;
    bool m_executing = false;
    qint64 m_generation = 0;
    QString m_reply;
    qsizetype m_replyPos = 0;
    QString m_folder;
};

} // namespace publish
