#include "document/pagefile.h"

#include "document/saverules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace document {
namespace {

// A file descriptor that closes itself.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    // Closes now; false (errno set) when the close reported a failure.
    bool reset()
    {
        if (m_fd < 0)
            return true;
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0;
    }

private:
    int m_fd;
};

// Every byte, or a failure: a short write is retried, and the test seam's
// failure comes where it says.
bool writeAll(int fd, const QByteArray &bytes, qint64 offset, const WriteFaults *faults)
{
    qint64 done = 0;
    const qint64 size = bytes.size();
    bool halfWay = false;
    while (done < size) {
        qint64 chunk = size - done;
        if (faults && faults->midWrite && !halfWay) {
            if (done >= size / 2) {
                halfWay = true;
                faults->midWrite();
            } else {
                chunk = std::min(chunk, size / 2 - done);
            }
        }
        if (faults && faults->failAfterBytes >= 0) {
            if (done >= faults->failAfterBytes) {
                errno = faults->error ? faults->error : ENOSPC;
                return false;
            }
            chunk = std::min(chunk, faults->failAfterBytes - done);
        }
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(chunk), off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

bool syncFd(int fd, const WriteFaults *faults)
{
    if (faults && faults->failSync) {
        errno = EIO;
        return false;
    }
    return ::fsync(fd) == 0;
}

void syncFolder(const QString &folder)
{
    const Fd dir(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get()); // best effort: the rename is already done
}

const QLatin1String kNewMark(".qk-");
const QLatin1String kBackupMark(".qkb-");
constexpr int kUniqueLength = 6; // the XXXXXX of mkostemp

// A new file beside target, opened for writing, that is to hold size bytes:
// ".page.html.<size>.qk-XXXXXX" (".qkb-" for a backup of the old page), so
// that what an interrupted write leaves behind can be found and judged.
// Empty name when the folder cannot take one.
QByteArray makeTemporary(const QString &target, qint64 size, bool backup, Fd &fd)
{
    const QFileInfo info(target);
    QByteArray name = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + u'.' +
                                        QString::number(size) + (backup ? kBackupMark : kNewMark) +
                                        QStringLiteral("XXXXXX"));
    const int h = ::mkostemp(name.data(), O_CLOEXEC);
    if (h < 0)
        return {};
    fd = Fd(h);
    return name;
}

WriteResult failure(const QString &target, int err)
{
    return {.ok = false, .code = saveErrorCode(0, err, QFileInfo(target).absoluteDir().exists())};
}

mode_t defaultMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes target where it stands, so that every hard link and the owner stay.
// A complete copy of the old bytes is made first and written back if the new
// bytes cannot all be written.
WriteResult writeInPlace(const QString &target, const QByteArray &bytes, const WriteFaults *faults)
{
    QFile old(target);
    if (!old.open(QIODevice::ReadOnly))
        return failure(target, EACCES);
    const QByteArray previous = old.readAll();
    if (old.error() != QFileDevice::NoError)
        return failure(target, EIO);
    old.close();

    Fd backupFd;
    QByteArray backupName = makeTemporary(target, previous.size(), true, backupFd);
    if (backupName.isEmpty()) {
        // The folder takes no new file: keep the backup in the temporary folder.
        backupName = QFile::encodeName(QDir::tempPath() + QStringLiteral("/quillon-kiv-backup-XXXXXX"));
        const int h = ::mkostemp(backupName.data(), O_CLOEXEC);
        if (h < 0)
            return failure(target, errno);
        backupFd = Fd(h);
    }
    const auto dropBackup = [&] {
        backupFd.reset();
        ::unlink(backupName.constData());
    };
    if (!writeAll(backupFd.get(), previous, 0, nullptr) || ::fsync(backupFd.get()) != 0) {
        const int err = errno;
        dropBackup();
        return failure(target, err);
    }

    const Fd out(::open(QFile::encodeName(target).constData(), O_WRONLY | O_CLOEXEC));
    if (out.get() < 0) {
        const int err = errno;
        dropBackup();
        return failure(target, err);
    }
    if (writeAll(out.get(), bytes, 0, faults) && ::ftruncate(out.get(), off_t(bytes.size())) == 0 &&
        syncFd(out.get(), faults)) {
        dropBackup();
        return {.ok = true};
    }
    const int err = errno;
    // Put the old page back; it fitted before, so it fits again.
    if (writeAll(out.get(), previous, 0, nullptr) && ::ftruncate(out.get(), off_t(previous.size())) == 0 &&
        ::fsync(out.get()) == 0)
        dropBackup();
    // else the backup stays beside the page for the user to find.
    return failure(target, err);
}

} // namespace

namespace {
// Writers that did not say the size left files that can only be judged by
// their end: a page cut short does not end with its closing tag.
bool endsLikeAPage(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() == 0 || !f.seek(std::max<qint64>(0, f.size() - 64)))
        return false;
    return f.readAll().trimmed().toLower().endsWith("</html>");
}
} // namespace

QList<Leftover> leftoversOf(const QString &pagePath)
{
    const QFileInfo page(pagePath);
    const QString prefix = u'.' + page.fileName() + u'.';
    QList<Leftover> found;
    // Listed and matched by hand: a name filter would be compiled into a
    // pattern, and the folder may be large.
    const QDir folder = page.absoluteDir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (!name.startsWith(prefix) || name.size() <= prefix.size() + kUniqueLength)
            continue;
        const QStringView rest = QStringView(name).sliced(prefix.size()).chopped(kUniqueLength);
        // "<size>.qk-", "<size>.qkb-", or "qk-" from writers that did not
        // say the size.
        Leftover l;
        QStringView size;
        if (rest == QLatin1String("qk-")) {
        } else if (rest.endsWith(kNewMark)) {
            size = rest.chopped(kNewMark.size());
        } else if (rest.endsWith(kBackupMark)) {
            size = rest.chopped(kBackupMark.size());
            l.backup = true;
        } else {
            continue;
        }
        bool sized = false;
        const qint64 expected = size.isEmpty() ? -1 : size.toLongLong(&sized);
        if (!size.isEmpty() && (!sized || expected < 0))
            continue;
        const QFileInfo info(folder.filePath(name));
        l.path = info.absoluteFilePath();
        l.complete = sized ? info.size() == expected : endsLikeAPage(l.path);
        l.modified = info.lastModified();
        found << l;
    }
    return found;
}

WriteResult writePageFile(const QString &path, const QByteArray &bytes, const WriteFaults *faults)
{
    // Through a link to the file it names, so that the link stays a link.
    QString target = QFileInfo(path).absoluteFilePath();
    const QFileInfo pathInfo(target);
    if (pathInfo.isSymLink())
        target = pathInfo.exists() ? pathInfo.canonicalFilePath() : pathInfo.symLinkTarget();
    const QByteArray native = QFile::encodeName(target);

    struct stat st = {};
    const bool exists = ::stat(native.constData(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return failure(target, EISDIR);
        // A file without any write bit is read-only for everyone, root
        // included: root could write it, but the user made it read-only.
        if ((st.st_mode & 0222) == 0 || ::access(native.constData(), W_OK) != 0)
            return failure(target, EACCES);
    } else if (errno != ENOENT) {
        return failure(target, errno);
    }

    const bool mustKeepInode = exists && (st.st_nlink > 1 || (::geteuid() != 0 && st.st_uid != ::geteuid()));
    if (mustKeepInode)
        return writeInPlace(target, bytes, faults);

    Fd fd;
    const QByteArray temporary = makeTemporary(target, bytes.size(), false, fd);
    if (temporary.isEmpty()) {
        const int err = errno;
        // A folder that takes no new file but a file that may be written.
        if (exists)
            return writeInPlace(target, bytes, faults);
        return failure(target, err);
    }
    const auto discard = [&](int err) {
        fd.reset();
        ::unlink(temporary.constData());
        return failure(target, err);
    };
    if (!writeAll(fd.get(), bytes, 0, faults) || !syncFd(fd.get(), faults))
        return discard(errno);
    if (exists) {
        if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
            ::fchown(fd.get(), st.st_uid, st.st_gid) != 0) {
            // The group (or owner) cannot be given to a new file: write in place.
            fd.reset();
            ::unlink(temporary.constData());
            return writeInPlace(target, bytes, faults);
        }
        if (::fchmod(fd.get(), st.st_mode & 07777) != 0)
            return discard(errno);
    } else if (::fchmod(fd.get(), defaultMode()) != 0) {
        return discard(errno);
    }
    if (!fd.reset()) {
        const int err = errno;
        ::unlink(temporary.constData());
        return failure(target, err);
    }
    if (faults && faults->beforeRename)
        faults->beforeRename();
    if (faults && faults->failRename) {
        ::unlink(temporary.constData());
        return failure(target, EIO);
    }
    if (::rename(temporary.constData(), native.constData()) != 0) {
        const int err = errno;
        ::unlink(temporary.constData());
        return failure(target, err);
    }
    syncFolder(QFileInfo(target).absolutePath());
    return {.ok = true};
}

} // namespace document
