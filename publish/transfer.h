#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QThread;

namespace publish {

class TransferWorker;

// The transfer component of the publish dialog: FTP commands run one at a
// time on a worker thread, over libcurl; their progress arrives as states
// on the thread that made the component, in this order: connecting,
// connected, sending request, request sent, receiving response, response
// received, response completed; disconnecting and disconnected for quit();
// remote error for any failure.
class Transfer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Transfer)

public:
    // Numbered as the transfer components of old numbered them, which is
    // also their order within a command.
    enum class State
    {
        Idle = 0,
        ResolvingHost = 1,
        HostResolved = 2,
        Connecting = 3,
        Connected = 4,
        SendingRequest = 5,
        RequestSent = 6,
        ReceivingResponse = 7,
        ResponseReceived = 8,
        Disconnecting = 9,
        Disconnected = 10,
        RemoteError = 11,
        ResponseCompleted = 12,
    };
    Q_ENUM(State)

    explicit Transfer(QObject *parent = nullptr);
    ~Transfer() override;

    // Limits, in milliseconds: connecting, and waiting for an answer or for data.
    int connectTimeoutMs = 30000;
    int stallTimeoutMs = 60000;
    // A PEM file of the certificates to trust instead of the system's.
    QString trustedCertificates;

    // Cancels whatever runs and starts over: the next command logs in with
    // these and starts from the login folder.
    void startSession(const QString &address, const QString &user, const QString &password);

    // Each starts one command and returns its number, which commandEnded
    // reports, or 0 when a command is still running or a name cannot be sent
    // as it is. Names are remote names in the current folder.
    // Relative to the current folder; from the server's root with a leading
    // "/". A quiet one that fails reports only commandEnded: it tries whether
    // a name is a folder.
    quint64 cd(const QString &path, bool quiet = false);
    quint64 cdUp();
    quint64 list();
    quint64 size(const QString &name);
    quint64 get(const QString &remote, const QString &local);
    quint64 put(const QString &local, const QString &remote);
    quint64 quit();

    // Stops the running command at once; nothing more is reported of it.
    void cancel();
    bool isRunning() const { return m_running != 0; }
    // The next piece of the completed command's reply, at most size characters;
    // empty when all was read.
    QString readChunk(int size);
    // The remote folder the session is in, relative to where the login put it.
    QString currentFolder() const { return m_folder; }
    // Why the last command failed: the local cause, or libcurl's and the server's words.
    QString errorText() const { return m_error; }
    // Whether the last completed command went over a TLS-encrypted control
    // connection, which is what keeps the password from being read.
    bool encrypted() const { return m_encrypted; }
    // The names of the last listing that are symbolic links.
    QStringList listedLinks() const { return m_links; }

signals:
    void stateChanged(publish::Transfer::State state);
    // Once for every command: completed, failed, or cancelled (ok false).
    void commandEnded(quint64 command, bool ok);

private:
    friend class TransferWorker;
    struct Job;
    struct Outcome;
    quint64 start(int kind, const QString &remote = {}, const QString &local = {});
    void workerState(quint64 command, State state);
    void finished(quint64 command, const Outcome &outcome);

    QThread *m_thread = nullptr;
    TransferWorker *m_worker = nullptr;
    void *m_multi = nullptr; // the libcurl multi handle, woken by cancel()
    std::shared_ptr<std::atomic_bool> m_cancelled;
    quint64 m_running = 0;
    bool m_quitting = false;
    bool m_quiet = false;
    bool m_listing = false;
    bool m_encrypted = false;
    QStringList m_links;
    quint64 m_lastCommand = 0;
    QString m_address;
    QString m_user;
    QString m_password;
    QString m_folder;
    QString m_nextFolder; // where the running command leaves the session when it completes
    QString m_reply;
    qsizetype m_replyPos = 0;
    QString m_error;
};

} // namespace publish
