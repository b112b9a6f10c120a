#include "inet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QThread>
#include <QUrl>

#include <curl/curl.h>

namespace publish {

namespace {
struct CurlGlobal
{
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

// Splits "CMD rest" into its word and the rest, as the dialog sends them.
QPair<QString, QString> splitCommand(const QString &op)
{
    const qsizetype space = op.indexOf(u' ');
    return space < 0 ? qMakePair(op, QString()) : qMakePair(op.left(space), op.mid(space + 1));
}

QString joinFolder(const QString &folder, const QString &name)
{
    if (folder.isEmpty() || folder == QLatin1String("."))
        return name;
    return folder + u'/' + name;
}
} // namespace

// Runs on the worker thread; one easy handle per session, so the
// connection and login are kept from command to command.
class InetWorker final : public QObject
{
    Q_OBJECT
public:
    InetWorker(Inet *owner, std::shared_ptr<std::atomic_bool> cancel)
        : m_owner(owner), m_cancel(std::move(cancel))
    {}
    ~InetWorker() override
    {
        if (m_curl)
            curl_easy_cleanup(m_curl);
    }

    void run(const QString &url, const QString &user, const QString &password, int connectMs, int stallMs,
             const QString &operation, const QString &folder, qint64 generation)
    {
        static CurlGlobal global;
        QString reply;
        QString newFolder = folder;
        const bool ok = execute(url, user, password, connectMs, stallMs, operation, folder, reply, newFolder);
        QMetaObject::invokeMethod(
            m_owner,
            [owner = m_owner, ok, reply, newFolder, generation] {
                owner->finished(ok, reply, newFolder, generation);
            },
            Qt::QueuedConnection);
    }

private:
    void state(int s)
    {
        QMetaObject::invokeMethod(
            m_owner, [owner = m_owner, s] { emit owner->StateChanged(s); }, Qt::QueuedConnection);
    }

    // Called about once a second whatever happens, so it also ends a server
    // that stops answering before any data moves.
    static int progress(void *self, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
    {
        auto *w = static_cast<InetWorker *>(self);
        if (w->m_cancel->load())
            return 1;
        const curl_off_t moved = dlnow + ulnow;
        if (moved != w->m_moved) {
            w->m_moved = moved;
            w->m_sinceData.restart();
        }
        return w->m_sinceData.elapsed() > w->m_stallMs ? 1 : 0;
    }

    static int debug(CURL *, curl_infotype type, char *data, size_t size, void *self)
    {
        auto *w = static_cast<InetWorker *>(self);
        if (type == CURLINFO_TEXT && size >= 9 && qstrncmp(data, "Connected", 9) == 0)
            w->state(4);
        else if (type == CURLINFO_HEADER_OUT && !w->m_sent) {
            w->m_sent = true;
            w->state(6);
        } else if ((type == CURLINFO_DATA_IN || type == CURLINFO_HEADER_IN) && !w->m_receiving) {
            w->m_receiving = true;
            w->state(7);
        }
        return 0;
    }

    static size_t toBuffer(char *data, size_t size, size_t n, void *buffer)
    {
        static_cast<QByteArray *>(buffer)->append(data, qsizetype(size * n));
        return size * n;
    }

    static size_t toFile(char *data, size_t size, size_t n, void *file)
    {
        return size_t(static_cast<QSaveFile *>(file)->write(data, qint64(size * n)));
    }

    static size_t fromFile(char *data, size_t size, size_t n, void *file)
    {
        const qint64 got = static_cast<QFile *>(file)->read(data, qint64(size * n));
        return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
    }

    struct Listing
    {
        QStringList entries;
    };

    static long chunkBegin(const void *info, void *listing, int)
    {
        const auto *fi = static_cast<const curl_fileinfo *>(info);
        const QString name = QString::fromUtf8(fi->filename);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            static_cast<Listing *>(listing)->entries
                << (fi->filetype == CURLFILETYPE_DIRECTORY ? name + u'/' : name);
        return CURL_CHUNK_BGN_FUNC_SKIP; // list, never download
    }

    void prepare(const QString &user, const QString &password, int connectMs, int stallMs)
    {
        if (!m_curl)
            m_curl = curl_easy_init();
        else
            curl_easy_reset(m_curl);
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, password.toUtf8().constData());
        curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, long(connectMs));
        curl_easy_setopt(m_curl, CURLOPT_FTP_RESPONSE_TIMEOUT, long(std::max(1, stallMs / 1000)));
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, long(std::max(1, stallMs / 1000)));
        curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &InetWorker::progress);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &InetWorker::debug);
        curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "ftp");
        m_sent = false;
        m_receiving = false;
        m_moved = 0;
        m_stallMs = stallMs;
        m_sinceData.start();
    }

    static QByteArray remoteUrl(const QString &base, const QString &path, bool folder)
    {
        QUrl url(base);
        QString p = url.path();
        if (!p.endsWith(u'/'))
            p += u'/';
        if (!path.isEmpty() && path != QLatin1String("."))
            p += path;
        if (folder && !p.endsWith(u'/'))
            p += u'/';
        url.setPath(p);
        return url.toEncoded();
    }

    bool perform()
    {
        state(5);
        const CURLcode rc = curl_easy_perform(m_curl);
        if (rc == CURLE_OK)
            state(8);
        return rc == CURLE_OK;
    }

    bool execute(const QString &base, const QString &user, const QString &password, int connectMs,
                 int stallMs, const QString &operation, const QString &folder, QString &reply,
                 QString &newFolder)
    {
        const auto [word, rest] = splitCommand(operation);
        if (word == QLatin1String("QUIT")) {
            if (m_curl) {
                curl_easy_cleanup(m_curl); // closes the control connection
                m_curl = nullptr;
            }
            newFolder.clear();
            state(9);
            return true;
        }
        state(3);
        prepare(user, password, connectMs, stallMs);
        if (word == QLatin1String("CD") || word == QLatin1String("CDUP")) {
            QString target;
            if (word == QLatin1String("CDUP")) {
                const qsizetype slash = folder.lastIndexOf(u'/');
                target = slash < 0 ? QString() : folder.left(slash);
            } else {
                target = rest.startsWith(u'/') ? rest.mid(1) : joinFolder(folder, rest);
            }
            // Entering the folder proves it is there.
            curl_easy_setopt(m_curl, CURLOPT_URL, remoteUrl(base, target, true).constData());
            curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
            if (!perform())
                return false;
            newFolder = target == QLatin1String(".") ? QString() : target;
            return true;
        }
        if (word == QLatin1String("DIR")) {
            Listing listing;
            curl_easy_setopt(m_curl, CURLOPT_URL, (remoteUrl(base, folder, true) + "*").constData());
            curl_easy_setopt(m_curl, CURLOPT_WILDCARDMATCH, 1L);
            curl_easy_setopt(m_curl, CURLOPT_CHUNK_BGN_FUNCTION, &InetWorker::chunkBegin);
            curl_easy_setopt(m_curl, CURLOPT_CHUNK_DATA, &listing);
            state(5);
            const CURLcode rc = curl_easy_perform(m_curl);
            // A line the listing parser cannot read ends the listing, not the
            // session: what was read is shown. An empty folder is no error either.
            const bool ok = rc == CURLE_OK || rc == CURLE_FTP_BAD_FILE_LIST ||
                            (rc == CURLE_REMOTE_FILE_NOT_FOUND && listing.entries.isEmpty());
            if (!ok)
                return false;
            state(8);
            for (const QString &e : std::as_const(listing.entries))
                reply += e + QStringLiteral("\r\n");
            return true;
        }
        if (word == QLatin1String("SIZE")) {
            curl_easy_setopt(m_curl, CURLOPT_URL,
                             remoteUrl(base, joinFolder(folder, rest), false).constData());
            curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
            if (!perform())
                return false;
            curl_off_t length = -1;
            curl_easy_getinfo(m_curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            reply = QString::number(qint64(length));
            return length >= 0;
        }
        if (word == QLatin1String("GET")) {
            // "GET remote local": names may hold spaces, so the local part is
            // the first tail that is an absolute path.
            qsizetype space = rest.indexOf(u' ');
            while (space > 0 && !QDir::isAbsolutePath(rest.mid(space + 1)))
                space = rest.indexOf(u' ', space + 1);
            if (space <= 0)
                return false;
            const QString remote = rest.left(space);
            const QString local = rest.mid(space + 1);
            // Written beside the target and put in its place only when whole.
            QSaveFile out(local);
            out.setDirectWriteFallback(false);
            if (!out.open(QIODevice::WriteOnly))
                return false;
            curl_easy_setopt(m_curl, CURLOPT_URL,
                             remoteUrl(base, joinFolder(folder, remote), false).constData());
            curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &InetWorker::toFile);
            curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &out);
            if (!perform()) {
                out.cancelWriting();
                return false;
            }
            return out.commit();
        }
        if (word == QLatin1String("PUT")) {
            // "PUT local remote": names may hold spaces, so the local part is
            // the first head that names an existing file.
            qsizetype space = rest.indexOf(u' ');
            while (space > 0 && !QFileInfo(rest.left(space)).isFile())
                space = rest.indexOf(u' ', space + 1);
            if (space <= 0)
                return false;
            QFile in(rest.left(space));
            if (!in.open(QIODevice::ReadOnly))
                return false;
            const QString remote = rest.mid(space + 1);
            curl_easy_setopt(m_curl, CURLOPT_URL,
                             remoteUrl(base, joinFolder(folder, remote), false).constData());
            curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &InetWorker::fromFile);
            curl_easy_setopt(m_curl, CURLOPT_READDATA, &in);
            curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(in.size()));
            return perform();
        }
        return false;
    }

    Inet *m_owner;
    std::shared_ptr<std::atomic_bool> m_cancel;
    CURL *m_curl = nullptr;
    bool m_sent = false;
    bool m_receiving = false;
    curl_off_t m_moved = 0;
    int m_stallMs = 60000;
    QElapsedTimer m_sinceData;
};

Inet::Inet(QObject *parent) : QObject(parent), m_cancel(std::make_shared<std::atomic_bool>(false))
{
    m_thread = new QThread(this);
    m_worker = new InetWorker(this, m_cancel);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

Inet::~Inet()
{
    m_cancel->store(true);
    m_thread->quit();
    m_thread->wait();
}

bool Inet::Execute(const QString &operation)
{
    if (m_executing)
        return false;
    // A line break would let a name smuggle in a command of its own.
    if (operation.contains(u'\r') || operation.contains(u'\n'))
        return false;
    const QString word = operation.section(u' ', 0, 0);
    static const QStringList known = {QStringLiteral("CD"),   QStringLiteral("CDUP"), QStringLiteral("DIR"),
                                      QStringLiteral("SIZE"), QStringLiteral("GET"),  QStringLiteral("PUT"),
                                      QStringLiteral("QUIT")};
    if (!known.contains(word))
        return false;
    m_cancel->store(false);
    m_executing = true;
    m_reply.clear();
    m_replyPos = 0;
    const qint64 generation = ++m_generation;
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker, url = URL, user = UserName, password = Password, c = connectTimeoutMs,
         s = stallTimeoutMs, operation, folder = m_folder,
         generation] { w->run(url, user, password, c, s, operation, folder, generation); },
        Qt::QueuedConnection);
    return true;
}

void Inet::Cancel()
{
    if (!m_executing)
        return;
    m_cancel->store(true);
    // The command is over as far as the caller is concerned; what the worker
    // still reports for it is dropped.
    ++m_generation;
    m_executing = false;
}

void Inet::finished(bool ok, const QString &reply, const QString &folder, qint64 generation)
{
    if (generation != m_generation)
        return;
    m_executing = false;
    if (!ok) {
        emit StateChanged(11);
        return;
    }
    m_folder = folder;
    m_reply = reply;
    m_replyPos = 0;
    emit StateChanged(12);
}

QString Inet::GetChunk(int size)
{
    if (size <= 0 || m_replyPos >= m_reply.size())
        return {};
    const QString piece = m_reply.mid(m_replyPos, size);
    m_replyPos += piece.size();
    return piece;
}

} // namespace publish

#include "inet.moc"
