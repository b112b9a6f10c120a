#include "site/siterename.h"

#include "pathrel/references.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <optional>

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

namespace site {
namespace {

const QLatin1StringView kJournal("rename.journal");
// The journal of edits; the first version, which has no number, kept whole
// texts in the two stages.
const int kJournalVersion = 2;
const QLatin1StringView kStagedPrefix("rename-");
const QLatin1StringView kOldStage("rename-old");
const QLatin1StringView kNewStage("rename-new");

QString tr(const char *text)
{
    return QCoreApplication::translate("site::Rename", text);
}

bool isInside(const QString &path, const QString &folder)
{
    return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == u'/';
}

QString mapped(const QString &path, const QString &from, const QString &to)
{
    if (path == from)
        return to;
    if (isInside(path, from))
        return to + path.mid(from.size());
    return path;
}

QStringList folderParts(const QString &folder)
{
    return folder.split(u'/', Qt::SkipEmptyParts);
}

// target written from folder, lexically, as a browser resolves it back.
QString relativePath(const QString &folder, const QString &target)
{
    const QStringList from = folderParts(folder);
    const QStringList to = folderParts(target);
    qsizetype common = 0;
    while (common < from.size() && common < to.size() && from[common] == to[common])
        ++common;
    QStringList parts;
    for (qsizetype i = common; i < from.size(); ++i)
        parts.append(QStringLiteral(".."));
    for (qsizetype i = common; i < to.size(); ++i)
        parts.append(to[i]);
    return parts.join(u'/');
}

// A path written as an address's path, escaped once: what would end or
// change the address ("%", "#", "?", spaces, quotes, markup and the
// characters url() cannot hold unquoted) as the bytes of its UTF-8, and
// characters outside ASCII too unless rawNonAscii.
QString encodedPath(const QString &path, bool rawNonAscii)
{
    QString out;
    static const char hex[] = "0123456789ABCDEF";
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        if (u >= 0x80 && rawNonAscii) {
            out += c;
            continue;
        }
        if (u > 0x20 && u < 0x7F && !QByteArrayView("%#?\"'<>&()\\`").contains(char(u))) {
            out += c;
            continue;
        }
        const QByteArray bytes = QString(c).toUtf8();
        for (const char ch : bytes) {
            const auto b = static_cast<unsigned char>(ch);
            out += u'%';
            out += QLatin1Char(hex[b >> 4]);
            out += QLatin1Char(hex[b & 15]);
        }
    }
    return out;
}

bool hasRawNonAscii(QStringView s)
{
    return std::any_of(s.begin(), s.end(), [](QChar c) { return c.unicode() >= 0x80; });
}

// The new address for ref after the rename, or nothing when it stays as it is.
std::optional<QString> renamedAddress(const Reference &ref, const QString &source, const QString &siteFolder,
                                      const QString &from, const QString &to, bool utf8File)
{
    const QString newSource = mapped(source, from, to);
    const QString newTarget = mapped(ref.target, from, to);
    if (newSource == source && newTarget == ref.target)
        return std::nullopt;
    const qsizetype cut = pathrel::pathEnd(ref.value);
    const QString written = ref.value.left(cut);
    const bool raw = utf8File && hasRawNonAscii(written);
    QString path;
    QString prefix;
    switch (ref.form) {
    case Form::Relative: {
        const QString oldPath = relativePath(QFileInfo(source).absolutePath(), ref.target);
        path = relativePath(QFileInfo(newSource).absolutePath(), newTarget);
        if (path == oldPath)
            return std::nullopt; // moved together: the address still holds
        if (path.isEmpty())
            path = QStringLiteral(".");
        break;
    }
    case Form::SiteRoot:
        if (newTarget == ref.target)
            return std::nullopt;
        prefix = QStringLiteral("/");
        path = relativePath(siteFolder, newTarget);
        break;
    case Form::FileUrl: {
        if (newTarget == ref.target || !pathrel::isFileUrl(written))
            return std::nullopt;
        prefix = pathrel::fileAddressPrefix(written);
        return prefix + encodedPath(newTarget, raw) + (ref.namesFolder ? QStringLiteral("/") : QString()) +
               ref.value.mid(cut);
    }
    case Form::Fragment:
    case Form::External:
        return std::nullopt;
    }
    if (ref.namesFolder)
        path += u'/';
    return prefix + encodedPath(path, raw) + ref.value.mid(cut);
}

// SHA-256 through OpenSSL, which uses the processor's own instructions for
// it: every page a rename touches is hashed twice before the first is written.
QByteArray hashOf(const QByteArray &bytes)
{
    QByteArray out(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int size = 0;
    if (!EVP_Digest(bytes.constData(), size_t(bytes.size()), reinterpret_cast<unsigned char *>(out.data()),
                    &size, EVP_sha256(), nullptr))
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    out.truncate(int(size));
    return out;
}

bool readFile(const QString &path, QByteArray &bytes)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    bytes = in.readAll();
    return in.error() == QFileDevice::NoError;
}

// QSaveFile flushes the new bytes to disk before they take the old name.
bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
}

// A file written or renamed keeps its new name through a power cut only once
// the folder holding the name is flushed too: the journal's before any page
// is touched, the pages' before the journal goes.
bool syncFolders(QStringList folders)
{
    folders.removeDuplicates();
    bool ok = true;
    for (const QString &folder : std::as_const(folders)) {
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = fd >= 0 && ::fsync(fd) == 0 && ok;
        if (fd >= 0)
            ::close(fd);
    }
    return ok;
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

// One edit as made in one direction: forward the address as it stood becomes
// the new one; backward, in the new text, the new one becomes the old again.
struct Splice
{
    qsizetype offset = 0; // in the text it is made in
    QStringView from;
    QStringView to;
};

QList<Splice> splices(const QList<Edit> &edits, bool forward)
{
    QList<Splice> out;
    out.reserve(edits.size());
    qsizetype shift = 0; // how much the edits before this one lengthened the text
    for (const Edit &e : edits) {
        if (forward)
            out.append({e.offset, e.old, e.value});
        else
            out.append({e.offset + shift, e.value, e.old});
        shift += e.value.size() - e.old.size();
    }
    return out;
}

// The bytes with the splices made, read as the text the plan was made in
// (UTF-8 or Latin-1, whatever the bytes look like now): every byte outside
// the spliced addresses stays as it was. Empty when a splice no longer finds
// its text.
std::optional<QByteArray> spliced(const QByteArray &bytes, bool utf8, const QList<Splice> &splices)
{
    bool isUtf8 = true;
    QString text = fileText(bytes, &isUtf8);
    if (utf8 && !isUtf8)
        return std::nullopt;
    if (!utf8 && isUtf8)
        text = QString::fromLatin1(bytes);
    const auto byteLength = [&](qsizetype from, qsizetype length) {
        return utf8 ? QStringView(text).mid(from, length).toUtf8().size() : length;
    };
    QByteArray out;
    out.reserve(bytes.size() + 64 * splices.size());
    qsizetype textPos = 0;
    qsizetype bytePos = 0;
    for (const Splice &s : splices) {
        if (s.offset < textPos || s.offset + s.from.size() > text.size() ||
            QStringView(text).mid(s.offset, s.from.size()) != s.from)
            return std::nullopt;
        const qsizetype skip = byteLength(textPos, s.offset - textPos);
        out.append(bytes.constData() + bytePos, skip);
        bytePos += skip + byteLength(s.offset, s.from.size());
        textPos = s.offset + s.from.size();
        out.append(utf8 ? s.to.toUtf8() : s.to.toLatin1());
    }
    out.append(bytes.constData() + bytePos, bytes.size() - bytePos);
    return out;
}

// A file or folder whose write permissions are all off is read-only even to
// someone the system would let write it anyway (root): the user marked it so.
bool isWritable(const QFileInfo &info)
{
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isWritable() && (info.permissions() & anyWrite);
}

bool folderWritable(const QString &path)
{
    return isWritable(QFileInfo(QFileInfo(path).absolutePath()));
}

void removeStaged(const QString &journalFolder)
{
    QDir dir(journalFolder);
    for (const QString &name : dir.entryList({kStagedPrefix + u'*'}, QDir::Files | QDir::Hidden))
        dir.remove(name);
}

// What a journal tells of one file.
struct Entry
{
    QString file; // where it was before the rename
    QByteArray oldHash, newHash;
    bool utf8 = true;
    QList<Edit> edits;
    // Journals of the first version kept whole texts instead of edits.
    bool staged = false;
    QByteArray oldBytes, newBytes; // empty when lost
};

struct Journal
{
    QString from, to;
    QList<Entry> entries;
    bool finishable = true; // it holds all it needs to bring every file to its new text
};

QJsonObject journalEntry(const FileChange &change, const QByteArray &oldHash, const QByteArray &newHash)
{
    QJsonArray edits;
    for (const Edit &e : change.edits)
        edits.append(QJsonArray{qint64(e.offset), e.old, e.value});
    return {{QStringLiteral("file"), change.file},
            {QStringLiteral("before"), QString::fromLatin1(oldHash.toHex())},
            {QStringLiteral("after"), QString::fromLatin1(newHash.toHex())},
            {QStringLiteral("utf8"), change.utf8},
            {QStringLiteral("edits"), edits}};
}

QByteArray hashIn(const QJsonObject &o, const char *key)
{
    const QByteArray hash = QByteArray::fromHex(o.value(QLatin1StringView(key)).toString().toLatin1());
    return hash.size() == QCryptographicHash::hashLength(QCryptographicHash::Sha256) ? hash : QByteArray();
}

// A journal of edits, or nothing when it is not whole.
std::optional<Journal> editJournal(const QJsonObject &journal)
{
    Journal out{journal.value(QStringLiteral("from")).toString(),
                journal.value(QStringLiteral("to")).toString(),
                {},
                true};
    if (out.from.isEmpty() || out.to.isEmpty())
        return std::nullopt;
    for (const auto &v : journal.value(QStringLiteral("files")).toArray()) {
        const QJsonObject o = v.toObject();
        Entry e;
        e.file = o.value(QStringLiteral("file")).toString();
        e.oldHash = hashIn(o, "before");
        e.newHash = hashIn(o, "after");
        e.utf8 = o.value(QStringLiteral("utf8")).toBool(true);
        if (e.file.isEmpty() || e.oldHash.isEmpty() || e.newHash.isEmpty())
            return std::nullopt;
        for (const auto &ev : o.value(QStringLiteral("edits")).toArray()) {
            const QJsonArray a = ev.toArray();
            if (a.size() != 3 || !a[0].isDouble() || !a[1].isString() || !a[2].isString())
                return std::nullopt;
            const QString old = a[1].toString();
            e.edits.append({qsizetype(a[0].toInteger(-1)), old.size(), old, a[2].toString()});
        }
        if (e.edits.isEmpty())
            return std::nullopt;
        out.entries.append(e);
    }
    return out;
}

// A journal of the first version, which kept the old and new texts of all
// files beside it.
Journal stagedJournal(const QJsonObject &journal, const QDir &dir)
{
    Journal out{journal.value(QStringLiteral("from")).toString(),
                journal.value(QStringLiteral("to")).toString(),
                {},
                true};
    QByteArray oldStage;
    QByteArray newStage;
    const bool oldRead = readFile(dir.filePath(kOldStage), oldStage);
    out.finishable = readFile(dir.filePath(kNewStage), newStage) && !out.from.isEmpty() && !out.to.isEmpty();
    const auto piece = [](const QByteArray &stage, const QJsonObject &o, const char *at, const char *size) {
        const auto start = qsizetype(o.value(QLatin1StringView(at)).toInteger(-1));
        const auto length = qsizetype(o.value(QLatin1StringView(size)).toInteger(-1));
        return start >= 0 && length >= 0 && start + length <= stage.size() ? stage.mid(start, length)
                                                                           : QByteArray();
    };
    for (const auto &v : journal.value(QStringLiteral("files")).toArray()) {
        const QJsonObject o = v.toObject();
        Entry e;
        e.file = o.value(QStringLiteral("file")).toString();
        e.oldHash = QByteArray::fromHex(o.value(QStringLiteral("old")).toString().toLatin1());
        e.newHash = QByteArray::fromHex(o.value(QStringLiteral("new")).toString().toLatin1());
        e.staged = true;
        e.oldBytes = oldRead ? piece(oldStage, o, "oldAt", "oldSize") : QByteArray();
        e.newBytes = piece(newStage, o, "newAt", "newSize");
        if (hashOf(e.oldBytes) != e.oldHash)
            e.oldBytes.clear();
        if (hashOf(e.newBytes) != e.newHash)
            e.newBytes.clear();
        out.finishable = out.finishable && !e.newBytes.isEmpty();
        out.entries.append(e);
    }
    return out;
}

// The bytes that bring a file, found holding now, to its new text (or back to
// its old one), checked against the journal's hash of them.
std::optional<QByteArray> settledBytes(const Entry &e, const QByteArray &now, bool toNew)
{
    std::optional<QByteArray> out;
    if (e.staged) {
        if (const QByteArray &kept = toNew ? e.newBytes : e.oldBytes; !kept.isEmpty())
            out = kept;
    } else {
        out = spliced(now, e.utf8, splices(e.edits, toNew));
    }
    if (out && hashOf(*out) != (toNew ? e.newHash : e.oldHash))
        return std::nullopt;
    return out;
}

} // namespace

RenamePlan planRename(const Model &model, const QString &fromPath, const QString &toPath)
{
    RenamePlan plan;
    plan.from = QDir::cleanPath(QFileInfo(fromPath).absoluteFilePath());
    plan.to = QDir::cleanPath(QFileInfo(toPath).absoluteFilePath());
    const QString &from = plan.from;
    const QString &to = plan.to;
    if (!isInside(from, model.folder) || (model.fileIndex(from) < 0 && !model.folders.contains(from)))
        plan.error = tr("%1 is not in the site.").arg(QDir::toNativeSeparators(from));
    else if (from == to)
        plan.error = tr("The new name is the same as the old one.");
    else if (QFileInfo::exists(to))
        plan.error = tr("%1 already exists.").arg(QDir::toNativeSeparators(to));
    else if (!QFileInfo(QFileInfo(to).absolutePath()).isDir())
        plan.error =
            tr("The folder %1 does not exist.").arg(QDir::toNativeSeparators(QFileInfo(to).absolutePath()));
    else if (isInside(to, from))
        plan.error = tr("A folder cannot be moved into itself.");
    if (!plan.isValid())
        return plan;

    QHash<int, qsizetype> changeOfFile;
    for (const Reference &ref : model.references) {
        if (ref.target.isEmpty())
            continue;
        const SiteFile &file = model.files[ref.source];
        const std::optional<QString> address =
            renamedAddress(ref, file.path, model.folder, from, to, file.utf8);
        if (!address || *address == ref.value)
            continue;
        auto at = changeOfFile.find(ref.source);
        if (at == changeOfFile.end()) {
            at = changeOfFile.insert(ref.source, plan.changes.size());
            plan.changes.append({file.path, 0, {}, file.hash, file.utf8});
        }
        FileChange &change = plan.changes[*at];
        change.edits.append({ref.offset, ref.length, ref.value, *address});
    }
    for (FileChange &change : plan.changes) {
        std::sort(change.edits.begin(), change.edits.end(),
                  [](const Edit &a, const Edit &b) { return a.offset < b.offset; });
        // A reader that lists one address twice must not have it written twice.
        change.edits.erase(std::unique(change.edits.begin(), change.edits.end(),
                                       [](const Edit &a, const Edit &b) { return a.offset == b.offset; }),
                           change.edits.end());
        change.references = int(change.edits.size());
    }
    std::sort(plan.changes.begin(), plan.changes.end(),
              [](const FileChange &a, const FileChange &b) { return a.file < b.file; });
    return plan;
}

RenameResult applyRename(const RenamePlan &plan, const QString &journalFolder,
                         const std::function<void(int)> &afterStep)
{
    const auto failed = [](const QString &error, const QString &file) {
        return RenameResult{false, error, file};
    };
    if (!plan.isValid())
        return failed(plan.error, plan.from);
    const QDir journalDir(journalFolder);
    const QString journalPath = journalDir.filePath(kJournal);
    if (journalDir.exists(kJournal))
        return failed(tr("An earlier rename is not finished yet."), journalPath);

    // Everything that could stop the rename is found before anything is
    // written: a file that is read-only or has changed since it was read.
    QList<QByteArray> oldBytes;
    QList<QByteArray> newBytes;
    for (const FileChange &change : plan.changes) {
        const QString shown = QDir::toNativeSeparators(change.file);
        const QFileInfo info(change.file);
        if (!isWritable(info) || !folderWritable(change.file))
            return failed(tr("%1 cannot be changed: it is read-only.").arg(shown), change.file);
        QByteArray bytes;
        if (!readFile(change.file, bytes))
            return failed(tr("%1 cannot be read.").arg(shown), change.file);
        const std::optional<QByteArray> edited =
            contentFingerprint(bytes) == change.hash
                ? spliced(bytes, change.utf8, splices(change.edits, true))
                : std::nullopt;
        if (!edited)
            return failed(tr("%1 has changed since the site was read.").arg(shown), change.file);
        oldBytes.append(bytes);
        newBytes.append(*edited);
    }
    if (!QFileInfo::exists(plan.from))
        return failed(tr("%1 no longer exists.").arg(QDir::toNativeSeparators(plan.from)), plan.from);
    if (QFileInfo::exists(plan.to))
        return failed(tr("%1 already exists.").arg(QDir::toNativeSeparators(plan.to)), plan.to);
    if (!folderWritable(plan.from) || !folderWritable(plan.to))
        return failed(
            tr("%1 cannot be renamed: its folder is read-only.").arg(QDir::toNativeSeparators(plan.from)),
            plan.from);

    // The journal holds, per file, the hashes of its bytes before and after
    // and the edits between them: enough to carry every file either way from
    // wherever a crash leaves it, in one small write. Once it is on disk the
    // rename can be finished or undone after a crash.
    if (!QDir().mkpath(journalFolder))
        return failed(tr("The folder %1 cannot be made.").arg(QDir::toNativeSeparators(journalFolder)),
                      journalFolder);
    QJsonArray entries;
    for (qsizetype i = 0; i < plan.changes.size(); ++i)
        entries.append(journalEntry(plan.changes[i], hashOf(oldBytes[i]), hashOf(newBytes[i])));
    const QJsonObject journal{{QStringLiteral("version"), kJournalVersion},
                              {QStringLiteral("from"), plan.from},
                              {QStringLiteral("to"), plan.to},
                              {QStringLiteral("files"), entries}};
    if (!writeFile(journalPath, QJsonDocument(journal).toJson(QJsonDocument::Compact)) ||
        !syncFolders({journalFolder})) {
        QFile::remove(journalPath);
        return failed(tr("The folder %1 cannot be written to.").arg(QDir::toNativeSeparators(journalFolder)),
                      journalFolder);
    }

    QStringList touchedFolders{folderOf(plan.from), folderOf(plan.to)};
    for (const FileChange &change : plan.changes)
        touchedFolders.append(folderOf(change.file));
    const auto rollBack = [&](qsizetype written) {
        bool undone = true;
        for (qsizetype j = 0; j < written; ++j)
            undone = writeFile(plan.changes[j].file, oldBytes[j]) && undone;
        // A page left new keeps the journal: the next start settles it.
        if (undone) {
            syncFolders(touchedFolders);
            QFile::remove(journalPath);
        }
    };
    for (qsizetype i = 0; i < plan.changes.size(); ++i) {
        if (!writeFile(plan.changes[i].file, newBytes[i])) {
            rollBack(i);
            return failed(tr("%1 cannot be written.").arg(QDir::toNativeSeparators(plan.changes[i].file)),
                          plan.changes[i].file);
        }
        if (afterStep)
            afterStep(int(i + 1));
    }
    if (!QDir().rename(plan.from, plan.to)) {
        rollBack(plan.changes.size());
        return failed(tr("%1 cannot be renamed.").arg(QDir::toNativeSeparators(plan.from)), plan.from);
    }
    if (afterStep)
        afterStep(int(plan.changes.size() + 1));
    for (QString &folder : touchedFolders)
        folder = mapped(folder, plan.from, plan.to);
    // Should the pages' new names not be flushed, the journal stays: the next
    // start finds everything new and only removes it.
    if (syncFolders(touchedFolders))
        QFile::remove(journalPath);
    return {true, {}, {}};
}

RecoveryResult recoverJournal(const QString &journalFolder)
{
    RecoveryResult result;
    const QDir dir(journalFolder);
    QByteArray bytes;
    if (!readFile(dir.filePath(kJournal), bytes)) {
        removeStaged(journalFolder); // a rename cut short before its journal: nothing was changed
        return result;
    }
    result.found = true;
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    std::optional<Journal> journal;
    if (!object.contains(QStringLiteral("version")))
        journal = stagedJournal(object, dir);
    else if (object.value(QStringLiteral("version")).toInt() == kJournalVersion)
        journal = editJournal(object);
    if (!journal) {
        // Not a journal this program can read: no file is touched on its word.
        // It is kept aside, named, so that later renames are not barred.
        const QString kept = dir.filePath(kJournal + QLatin1StringView(".unreadable"));
        QFile::remove(kept);
        result.unreadable = true;
        result.conflicts.append(QFile::rename(dir.filePath(kJournal), kept) ? kept : dir.filePath(kJournal));
        return result;
    }
    const QString &from = journal->from;
    const QString &to = journal->to;
    bool renamed = !from.isEmpty() && !QFileInfo::exists(from) && QFileInfo::exists(to);
    QStringList touchedFolders;
    // Every file brought to its new text (or back to its old one); a file
    // in neither state was changed by someone else and is left alone.
    const auto settle = [&](bool toNew) {
        QStringList conflicts;
        for (const Entry &e : std::as_const(journal->entries)) {
            const QString path = renamed ? mapped(e.file, from, to) : e.file;
            touchedFolders.append(folderOf(path));
            QByteArray now;
            const QByteArray hash = readFile(path, now) ? hashOf(now) : QByteArray();
            if (hash == (toNew ? e.newHash : e.oldHash))
                continue;
            std::optional<QByteArray> wanted;
            if (hash == (toNew ? e.oldHash : e.newHash))
                wanted = settledBytes(e, now, toNew);
            if (!wanted || !writeFile(path, *wanted))
                conflicts.append(path);
        }
        return conflicts;
    };
    // The rename still possible (or made): it is finished. Otherwise (another
    // file took the new name, the file itself is gone, or a journal of the
    // first version outlived its copies) what was written is undone, as far
    // as it can be.
    result.completed =
        journal->finishable && (renamed || (QFileInfo::exists(from) && !QFileInfo::exists(to)));
    if (result.completed) {
        result.conflicts = settle(true);
        if (!renamed && !QDir().rename(from, to)) {
            result.completed = false;
            result.conflicts = settle(false);
        }
    } else {
        if (renamed && QDir().rename(to, from))
            renamed = false;
        result.conflicts = settle(false);
    }
    if (!from.isEmpty())
        touchedFolders << folderOf(from) << folderOf(to);
    syncFolders(touchedFolders);
    QFile::remove(dir.filePath(kJournal));
    removeStaged(journalFolder);
    return result;
}

} // namespace site
