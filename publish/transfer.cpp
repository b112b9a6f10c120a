#include "publish/transfer.h"

#include "publish/listing.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QThread>
#include <QUrl>

#include <curl/curl.h>

namespace publish {

struct Transfer::Job
{
    enum Kind
    {
        ChangeFolder,
        List,
        Size,
        Get,
        Put,
        Quit
    };
    Kind kind = List;
    quint64 id = 0;
    std::shared_ptr<const std::atomic_bool> cancelled;
    QString address;
    QString user;
    QString password;
    int connectMs = 0;
    int stallMs = 0;
    QString trusted;
    QString folder; // where the command runs: the folder to enter for ChangeFolder
    QString remote; // the remote file
    QString local;  // the local file of a download or an upload
};

struct Transfer::Outcome
{
    bool ok = false;
    QString reply;
    QString error;
    bool encrypted = false;
    QStringList links;
};

namespace {
void initCurlOnce()
{
    struct CurlGlobal
    {
        CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
        ~CurlGlobal() { curl_global_cleanup(); }
    };
    static CurlGlobal global;
}

// Folders are kept as paths relative to the login folder ("" is the login
// folder itself), or from the server's root when they start with "/".
QString joinFolder(const QString &folder, const QString &path)
{
    if (path.isEmpty() || path == QLatin1String("."))
        return folder;
    if (path.startsWith(u'/') || folder.isEmpty())
        return path;
    return folder.endsWith(u'/') ? folder + path : folder + u'/' + path;
}

QString parentFolder(const QString &folder)
{
    if (folder == QLatin1String("/"))
        return folder;
    const qsizetype slash = folder.lastIndexOf(u'/');
    const QString last = folder.mid(slash + 1);
    if (folder.isEmpty() || last == QLatin1String(".."))
        return joinFolder(folder, QStringLiteral(".."));
    return slash < 0 ? QString() : slash == 0 ? QStringLiteral("/") : folder.left(slash);
}

// Every segment and the name are percent-encoded whole, so that nothing in a
// name (";type=", "%", "#", "?") is read by libcurl as part of the address.
QByteArray remoteUrl(const QString &address, const QString &folder, const QString &name = {})
{
    const QUrl typed(address);
    const bool fromRoot = folder.startsWith(u'/');
    QStringList segments;
    if (!fromRoot)
        segments = typed.path(QUrl::FullyDecoded).split(u'/', Qt::SkipEmptyParts);
    segments += folder.split(u'/', Qt::SkipEmptyParts);
    QByteArray path = fromRoot ? "/%2F" : "/";
    for (const QString &s : std::as_const(segments))
        path += QUrl::toPercentEncoding(s) + '/';
    if (fromRoot && segments.isEmpty())
        path += '/';
    path += QUrl::toPercentEncoding(name);
    return typed.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
               .toEncoded() +
           path;
}

// Remote names go into the address encoded, and into RNFR, RNTO and DELE as
// they are: a name is one name without control characters.
bool sendableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'/') && sendable(name);
}

// A hidden name beside the target, unique enough that two uploads never meet.
QString temporaryName(const QString &target)
{
    const QString tag = QString::number(QRandomGenerator::global()->generate(), 16);
    return u'.' + target.left(100) + u'.' + tag + QStringLiteral(".part");
}

struct SList
{
    Q_DISABLE_COPY_MOVE(SList)
    SList() = default;
    curl_slist *list = nullptr;
    ~SList() { curl_slist_free_all(list); }
    void add(const QString &line) { list = curl_slist_append(list, line.toUtf8().constData()); }
};
} // namespace

// Runs on the worker thread. One easy handle for every command, in a multi
// handle that keeps the logged-in connection from command to command and that
// cancel() can wake at once.
class TransferWorker final : public QObject
{
    Q_OBJECT
    using State = Transfer::State;

public:
    TransferWorker(Transfer *owner, CURLM *multi) : m_owner(owner), m_multi(multi) {}
    ~TransferWorker() override
    {
        if (m_easy)
            curl_easy_cleanup(m_easy);
    }

    void run(const Transfer::Job &job)
    {
        m_job = &job;
        m_lastState = State::Idle;
        m_muted = false;
        const Transfer::Outcome outcome = execute(job);
        m_job = nullptr;
        QMetaObject::invokeMethod(
            m_owner, [owner = m_owner, id = job.id, outcome] { owner->finished(id, outcome); },
            Qt::QueuedConnection);
    }

private:
    // States only move forward within a command; the owner drops those of a
    // command that is no longer the running one.
    void state(State s)
    {
        if (m_muted || s <= m_lastState)
            return;
        m_lastState = s;
        QMetaObject::invokeMethod(
            m_owner, [owner = m_owner, id = m_job->id, s] { owner->workerState(id, s); },
            Qt::QueuedConnection);
    }

    bool cancelled() const { return m_job->cancelled->load(); }

    // Also called while libcurl waits inside a call (the answer to QUIT, the
    // end of a transfer), where the multi handle's wake-up does not reach.
    static int progress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return static_cast<TransferWorker *>(self)->cancelled() ? 1 : 0;
    }

    // Outgoing lines are only looked at for the upload's STOR: they hold the password.
    static int debug(CURL *, curl_infotype type, char *data, size_t size, void *self)
    {
        auto *w = static_cast<TransferWorker *>(self);
        const QByteArray text = QByteArray::fromRawData(data, qsizetype(size));
        switch (type) {
        case CURLINFO_TEXT:
            if (text.trimmed().startsWith("Trying "))
                w->state(State::Connecting);
            else if (text.startsWith("Connected to "))
                w->state(State::Connected);
            break;
        case CURLINFO_HEADER_OUT:
            w->m_storSent = w->m_storSent || text.startsWith("STOR ");
            w->state(State::SendingRequest);
            w->state(State::RequestSent);
            break;
        case CURLINFO_HEADER_IN: {
            w->m_lastReply = QString::fromUtf8(text).trimmed();
            // Every answer on the control connection tells whether it is
            // encrypted by now (the login comes after AUTH TLS).
            curl_tlssessioninfo *tls = nullptr;
            w->m_encrypted = curl_easy_getinfo(w->m_easy, CURLINFO_TLS_SSL_PTR, &tls) == CURLE_OK && tls &&
                             tls->backend != CURLSSLBACKEND_NONE && tls->internals;
        }
            [[fallthrough]];
        case CURLINFO_DATA_IN:
            if (w->m_lastState >= State::RequestSent)
                w->state(State::ReceivingResponse);
            break;
        default:
            break;
        }
        return 0;
    }

    static size_t toBuffer(char *data, size_t size, size_t n, void *buffer)
    {
        static_cast<QByteArray *>(buffer)->append(data, qsizetype(size) * qsizetype(n));
        return size * n;
    }

    // What a command does not read (the size "headers" of SIZE) goes nowhere.
    static size_t discard(char *, size_t size, size_t n, void *) { return size * n; }

    static size_t toFile(char *data, size_t size, size_t n, void *file)
    {
        const qint64 written = static_cast<QSaveFile *>(file)->write(data, qint64(size) * qint64(n));
        return written < 0 ? 0 : size_t(written);
    }

    static size_t fromFile(char *data, size_t size, size_t n, void *file)
    {
        const qint64 got = static_cast<QFile *>(file)->read(data, qint64(size) * qint64(n));
        return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
    }

    void prepare(const Transfer::Job &job, const QByteArray &url)
    {
        if (!m_easy)
            m_easy = curl_easy_init();
        else
            curl_easy_reset(m_easy);
        curl_easy_setopt(m_easy, CURLOPT_URL, url.constData());
        curl_easy_setopt(m_easy, CURLOPT_USERNAME, job.user.toUtf8().constData());
        curl_easy_setopt(m_easy, CURLOPT_PASSWORD, job.password.toUtf8().constData());
        curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, long(job.connectMs));
        const long stallSeconds = std::max(1, job.stallMs / 1000);
        curl_easy_setopt(m_easy, CURLOPT_FTP_RESPONSE_TIMEOUT, stallSeconds);
        curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_TIME, stallSeconds);
        curl_easy_setopt(m_easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_easy, CURLOPT_XFERINFOFUNCTION, &TransferWorker::progress);
        curl_easy_setopt(m_easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(m_easy, CURLOPT_DEBUGFUNCTION, &TransferWorker::debug);
        curl_easy_setopt(m_easy, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(m_easy, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
        curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_easy, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
        curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "ftp");
        // TLS wherever the server offers it, checked as a web browser checks
        // it; a server without it still works, and the dialog says so.
        curl_easy_setopt(m_easy, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
        curl_easy_setopt(m_easy, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
        if (!job.trusted.isEmpty())
            curl_easy_setopt(m_easy, CURLOPT_CAINFO, QFile::encodeName(job.trusted).constData());
        curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &TransferWorker::discard);
        curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &TransferWorker::discard);
        m_errorBuffer[0] = '\0';
        m_lastReply.clear();
        m_storSent = false;
    }

    // One transfer through the multi handle, ended at once by a cancel.
    CURLcode perform()
    {
        curl_multi_add_handle(m_multi, m_easy);
        CURLcode rc = CURLE_ABORTED_BY_CALLBACK;
        for (;;) {
            int running = 0;
            if (cancelled() || curl_multi_perform(m_multi, &running) != CURLM_OK)
                break;
            if (running == 0) {
                int left = 0;
                while (const CURLMsg *msg = curl_multi_info_read(m_multi, &left)) {
                    if (msg->msg == CURLMSG_DONE)
                        rc = msg->data.result;
                }
                break;
            }
            curl_multi_poll(m_multi, nullptr, 0, 1000, nullptr);
        }
        // Taken out half-way, the connection is closed and never reused.
        curl_multi_remove_handle(m_multi, m_easy);
        m_connected = rc == CURLE_OK;
        return rc;
    }

    // libcurl's words, and the server's last answer when it was a refusal.
    QString failure(CURLcode rc) const
    {
        QString detail =
            m_errorBuffer[0] ? QString::fromUtf8(m_errorBuffer) : QString::fromUtf8(curl_easy_strerror(rc));
        if (rc == CURLE_PEER_FAILED_VERIFICATION)
            return tr("The server's certificate did not pass the check (%1). The connection was closed "
                      "before the user name and password were sent: someone may be listening in "
                      "between, or the server uses a certificate this computer does not trust.")
                .arg(detail);
        if (rc == CURLE_SSL_CONNECT_ERROR)
            return tr("The encrypted connection to the server could not be set up (%1); the user name "
                      "and password were not sent.")
                .arg(detail);
        const bool refusal = m_lastReply.size() > 3 && (m_lastReply[0] == u'4' || m_lastReply[0] == u'5');
        if (refusal)
            return QString::fromUtf8(curl_easy_strerror(rc)) + QStringLiteral(": ") + m_lastReply;
        return detail;
    }

    static Transfer::Outcome failedWith(const QString &why)
    {
        Transfer::Outcome outcome;
        outcome.error = why;
        return outcome;
    }

    Transfer::Outcome succeeded() const
    {
        Transfer::Outcome outcome;
        outcome.ok = true;
        outcome.encrypted = m_encrypted;
        return outcome;
    }

    Transfer::Outcome fail(CURLcode rc) const { return failedWith(failure(rc)); }

    Transfer::Outcome execute(const Transfer::Job &job)
    {
        switch (job.kind) {
        case Transfer::Job::Quit:
            return quit(job);
        case Transfer::Job::ChangeFolder: {
            // Entering the folder proves it is there.
            prepare(job, remoteUrl(job.address, job.folder));
            curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
            const CURLcode rc = perform();
            return rc == CURLE_OK ? completed() : fail(rc);
        }
        case Transfer::Job::List: {
            // A plain LIST read line by line here: one odd line costs that line only.
            QByteArray text;
            prepare(job, remoteUrl(job.address, job.folder));
            curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &TransferWorker::toBuffer);
            curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, &text);
            const CURLcode rc = perform();
            if (rc != CURLE_OK)
                return fail(rc);
            QStringList links;
            const QString reply = entriesOfList(QString::fromUtf8(text), &links);
            Transfer::Outcome outcome = completed(reply);
            outcome.links = links;
            return outcome;
        }
        case Transfer::Job::Size: {
            prepare(job, remoteUrl(job.address, job.folder, job.remote));
            curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
            const CURLcode rc = perform();
            curl_off_t length = -1;
            curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            if (rc != CURLE_OK)
                return fail(rc);
            // A server without SIZE: libcurl goes on without a length, and
            // so does the download.
            return completed(length < 0 ? QString() : QString::number(qint64(length)));
        }
        case Transfer::Job::Get:
            return get(job);
        case Transfer::Job::Put:
            return put(job);
        }
        return {};
    }

    Transfer::Outcome completed(const QString &reply = {})
    {
        state(State::ResponseReceived);
        Transfer::Outcome outcome = succeeded();
        outcome.reply = reply;
        return outcome;
    }

    Transfer::Outcome get(const Transfer::Job &job)
    {
        // Written beside the target and put in its place only when whole.
        QSaveFile out(job.local);
        out.setDirectWriteFallback(false);
        if (!out.open(QIODevice::WriteOnly))
            return failedWith(localFailure(out));
        prepare(job, remoteUrl(job.address, job.folder, job.remote));
        curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &TransferWorker::toFile);
        curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, &out);
        const CURLcode rc = perform();
        if (rc != CURLE_OK) {
            Transfer::Outcome outcome = rc == CURLE_WRITE_ERROR ? failedWith(localFailure(out)) : fail(rc);
            out.cancelWriting();
            return outcome;
        }
        if (!out.commit())
            return failedWith(localFailure(out));
        return completed();
    }

    static QString localFailure(const QFileDevice &file)
    {
        return QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
    }

    Transfer::Outcome put(const Transfer::Job &job)
    {
        QFile in(job.local);
        if (!in.open(QIODevice::ReadOnly))
            return failedWith(localFailure(in));
        // Sent under a temporary name and renamed over the target only when
        // whole, so that the published page is never a torn one.
        const QString temporary = temporaryName(job.remote);
        SList rename;
        rename.add(QStringLiteral("RNFR ") + temporary);
        rename.add(QStringLiteral("RNTO ") + job.remote);
        prepare(job, remoteUrl(job.address, job.folder, temporary));
        curl_easy_setopt(m_easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_easy, CURLOPT_READFUNCTION, &TransferWorker::fromFile);
        curl_easy_setopt(m_easy, CURLOPT_READDATA, &in);
        curl_easy_setopt(m_easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(in.size()));
        curl_easy_setopt(m_easy, CURLOPT_POSTQUOTE, rename.list);
        const CURLcode rc = perform();
        if (rc == CURLE_OK)
            return completed();
        // A read that failed stops the transfer through the read function's abort.
        const bool readFailed = rc == CURLE_READ_ERROR || (rc == CURLE_ABORTED_BY_CALLBACK && !cancelled());
        Transfer::Outcome outcome = readFailed ? failedWith(localFailure(in)) : fail(rc);
        if (m_storSent && !cancelled()) {
            // Whatever part arrived goes; this attempt's own outcome is not reported.
            m_muted = true;
            SList remove;
            remove.add(QStringLiteral("DELE ") + temporary);
            prepare(job, remoteUrl(job.address, job.folder));
            curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
            curl_easy_setopt(m_easy, CURLOPT_POSTQUOTE, remove.list);
            perform();
        }
        return outcome;
    }

    Transfer::Outcome quit(const Transfer::Job &job)
    {
        state(State::Disconnecting);
        if (m_connected) {
            // A last exchange on the kept connection, which is then closed
            // with QUIT instead of being kept.
            m_muted = true;
            prepare(job, remoteUrl(job.address, job.folder));
            curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
            curl_easy_setopt(m_easy, CURLOPT_FORBID_REUSE, 1L);
            perform();
            m_muted = false;
        }
        m_connected = false;
        state(State::Disconnected);
        return succeeded();
    }

    Transfer *m_owner;
    CURLM *m_multi;
    CURL *m_easy = nullptr;
    const Transfer::Job *m_job = nullptr;
    State m_lastState = State::Idle;
    bool m_muted = false;
    bool m_connected = false;
    bool m_storSent = false;
    bool m_encrypted = false;
    QString m_lastReply;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
};

Transfer::Transfer(QObject *parent) : QObject(parent)
{
    initCurlOnce();
    m_multi = curl_multi_init();
    // One session at a time: a connection left from an earlier one is closed
    // as soon as a new one is made.
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, 1L);
    m_thread = new QThread(this);
    m_worker = new TransferWorker(this, m_multi);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

Transfer::~Transfer()
{
    cancel();
    m_thread->quit();
    m_thread->wait();
    // The kept connection is closed with QUIT, whose answer libcurl awaits as
    // long as the handle added last allows: a closing window waits briefly.
    CURL *closing = curl_easy_init();
    curl_easy_setopt(closing, CURLOPT_FTP_RESPONSE_TIMEOUT, 2L);
    curl_easy_setopt(closing, CURLOPT_TIMEOUT_MS, 2000L);
    curl_multi_add_handle(m_multi, closing);
    curl_multi_remove_handle(m_multi, closing);
    curl_easy_cleanup(closing);
    curl_multi_cleanup(m_multi);
}

void Transfer::startSession(const QString &address, const QString &user, const QString &password)
{
    cancel();
    m_address = address;
    m_user = user;
    m_password = password;
    m_folder.clear();
}

quint64 Transfer::start(int kind, const QString &remote, const QString &local)
{
    if (m_running)
        return 0;
    Job job;
    job.kind = Job::Kind(kind);
    job.remote = remote;
    job.local = local;
    // Where the command runs; a folder change runs in the folder it enters.
    job.folder = job.kind == Job::ChangeFolder ? m_nextFolder : m_folder;
    m_cancelled = std::make_shared<std::atomic_bool>(false);
    job.id = ++m_lastCommand;
    job.cancelled = m_cancelled;
    job.address = m_address;
    job.user = m_user;
    job.password = m_password;
    job.connectMs = connectTimeoutMs;
    job.stallMs = stallTimeoutMs;
    job.trusted = trustedCertificates;
    m_running = job.id;
    m_quitting = job.kind == Job::Quit;
    m_quiet = false;
    m_listing = job.kind == Job::List;
    m_reply.clear();
    m_replyPos = 0;
    m_error.clear();
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, job] { worker->run(job); }, Qt::QueuedConnection);
    return job.id;
}

quint64 Transfer::cd(const QString &path, bool quiet)
{
    if (m_running || path.isEmpty() || !sendable(path))
        return 0;
    m_nextFolder = joinFolder(m_folder, path);
    const quint64 id = start(Job::ChangeFolder);
    m_quiet = quiet;
    return id;
}

quint64 Transfer::cdUp()
{
    if (m_running)
        return 0;
    m_nextFolder = parentFolder(m_folder);
    return start(Job::ChangeFolder);
}

quint64 Transfer::list()
{
    if (m_running)
        return 0;
    m_nextFolder = m_folder;
    return start(Job::List);
}

quint64 Transfer::size(const QString &name)
{
    if (m_running || !sendableName(name))
        return 0;
    m_nextFolder = m_folder;
    return start(Job::Size, name);
}

quint64 Transfer::get(const QString &remote, const QString &local)
{
    if (m_running || !sendableName(remote) || local.isEmpty())
        return 0;
    m_nextFolder = m_folder;
    return start(Job::Get, remote, local);
}

quint64 Transfer::put(const QString &local, const QString &remote)
{
    if (m_running || !sendableName(remote) || local.isEmpty())
        return 0;
    m_nextFolder = m_folder;
    return start(Job::Put, remote, local);
}

quint64 Transfer::quit()
{
    if (m_running)
        return 0;
    m_nextFolder.clear();
    return start(Job::Quit);
}

void Transfer::cancel()
{
    if (!m_running)
        return;
    m_cancelled->store(true);
    curl_multi_wakeup(m_multi);
    emit commandEnded(std::exchange(m_running, 0), false);
}

void Transfer::workerState(quint64 command, State state)
{
    if (command == m_running)
        emit stateChanged(state);
}

void Transfer::finished(quint64 command, const Outcome &outcome)
{
    if (command != m_running)
        return;
    m_running = 0;
    if (!outcome.ok) {
        m_error = outcome.error;
        if (!m_quiet)
            emit stateChanged(State::RemoteError);
        emit commandEnded(command, false);
        return;
    }
    m_folder = m_nextFolder;
    m_encrypted = outcome.encrypted;
    if (m_listing)
        m_links = outcome.links;
    m_reply = outcome.reply;
    m_replyPos = 0;
    // quit() ends on "disconnected", which the worker has already reported.
    if (!std::exchange(m_quitting, false))
        emit stateChanged(State::ResponseCompleted);
    emit commandEnded(command, true);
}

QString Transfer::readChunk(int size)
{
    if (size <= 0 || m_replyPos >= m_reply.size())
        return {};
    QString piece = m_reply.mid(m_replyPos, size);
    m_replyPos += piece.size();
    return piece;
}

} // namespace publish

#include "transfer.moc"
