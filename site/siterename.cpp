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

namespace site {
namespace {

const QLatin1StringView kJournal("rename.journal");
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

// Where the path part of an address ends: at its query or fragment.
qsizetype pathEnd(const QString &address)
{
    qsizetype cut = address.size();
    for (const QChar c : {u'?', u'#'})
        if (const qsizetype at = address.indexOf(c); at >= 0 && at < cut)
            cut = at;
    return cut;
}

// The new address for ref after the rename, or nothing when it stays as it is.
std::optional<QString> renamedAddress(const Reference &ref, const QString &source, const QString &siteFolder,
                                      const QString &from, const QString &to, bool utf8File)
{
    const QString newSource = mapped(source, from, to);
    const QString newTarget = mapped(ref.target, from, to);
    if (newSource == source && newTarget == ref.target)
        return std::nullopt;
    const qsizetype cut = pathEnd(ref.value);
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

QByteArray hashOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

bool readFile(const QString &path, QByteArray &bytes)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    bytes = in.readAll();
    return in.error() == QFileDevice::NoError;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
}

// The file's bytes with the edits made: every byte outside the edited
// addresses stays as it was. Empty when an edit no longer finds its address.
std::optional<QByteArray> editedBytes(const QByteArray &bytes, const FileChange &change)
{
    bool utf8 = true;
    const QString text = fileText(bytes, &utf8);
    if (utf8 != change.utf8)
        return std::nullopt;
    const auto byteLength = [&](qsizetype from, qsizetype length) {
        return utf8 ? QStringView(text).mid(from, length).toUtf8().size() : length;
    };
    QByteArray out;
    out.reserve(bytes.size() + 64 * change.edits.size());
    qsizetype textPos = 0;
    qsizetype bytePos = 0;
    for (const Edit &edit : change.edits) {
        if (edit.offset < textPos || edit.offset + edit.length > text.size() ||
            QStringView(text).mid(edit.offset, edit.length) != edit.old)
            return std::nullopt;
        const qsizetype skip = byteLength(textPos, edit.offset - textPos);
        out.append(bytes.constData() + bytePos, skip);
        bytePos += skip + byteLength(edit.offset, edit.length);
        textPos = edit.offset + edit.length;
        out.append(utf8 ? edit.value.toUtf8() : edit.value.toLatin1());
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
    if (journalDir.exists(kJournal))
        return failed(tr("An earlier rename is not finished yet."), journalDir.filePath(kJournal));

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
            contentFingerprint(bytes) == change.hash ? editedBytes(bytes, change) : std::nullopt;
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

    // The new and old bytes are kept beside the journal before the journal
    // is written; once it is, the rename can be finished after a crash.
    if (!QDir().mkpath(journalFolder))
        return failed(tr("The folder %1 cannot be made.").arg(QDir::toNativeSeparators(journalFolder)),
                      journalFolder);
    // All old texts in one file and all new ones in another: two writes
    // to disk, not two for every page.
    QByteArray oldStage;
    QByteArray newStage;
    QJsonArray entries;
    for (qsizetype i = 0; i < plan.changes.size(); ++i) {
        entries.append(QJsonObject{{QStringLiteral("file"), plan.changes[i].file},
                                   {QStringLiteral("old"), QString::fromLatin1(hashOf(oldBytes[i]).toHex())},
                                   {QStringLiteral("new"), QString::fromLatin1(hashOf(newBytes[i]).toHex())},
                                   {QStringLiteral("oldAt"), oldStage.size()},
                                   {QStringLiteral("oldSize"), oldBytes[i].size()},
                                   {QStringLiteral("newAt"), newStage.size()},
                                   {QStringLiteral("newSize"), newBytes[i].size()}});
        oldStage += oldBytes[i];
        newStage += newBytes[i];
    }
    if (!writeFile(journalDir.filePath(kOldStage), oldStage) ||
        !writeFile(journalDir.filePath(kNewStage), newStage)) {
        removeStaged(journalFolder);
        return failed(tr("The folder %1 cannot be written to.").arg(QDir::toNativeSeparators(journalFolder)),
                      journalFolder);
    }
    const QJsonObject journal{{QStringLiteral("from"), plan.from},
                              {QStringLiteral("to"), plan.to},
                              {QStringLiteral("files"), entries}};
    if (!writeFile(journalDir.filePath(kJournal), QJsonDocument(journal).toJson())) {
        removeStaged(journalFolder);
        return failed(tr("The folder %1 cannot be written to.").arg(QDir::toNativeSeparators(journalFolder)),
                      journalFolder);
    }

    const auto rollBack = [&](qsizetype written) {
        for (qsizetype j = 0; j < written; ++j)
            writeFile(plan.changes[j].file, oldBytes[j]);
        QFile::remove(journalDir.filePath(kJournal));
        removeStaged(journalFolder);
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
    QFile::remove(journalDir.filePath(kJournal));
    removeStaged(journalFolder);
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
    const QJsonObject journal = QJsonDocument::fromJson(bytes).object();
    const QString from = journal.value(QStringLiteral("from")).toString();
    const QString to = journal.value(QStringLiteral("to")).toString();
    struct Entry
    {
        QString file;
        QByteArray oldHash, newHash;
        QByteArray oldBytes, newBytes;
    };
    QList<Entry> entries;
    // Both stages are read: undoing needs the old texts even when the new
    // ones turn out lost.
    QByteArray oldStage;
    QByteArray newStage;
    const bool oldRead = readFile(dir.filePath(kOldStage), oldStage);
    bool staged = readFile(dir.filePath(kNewStage), newStage) && !from.isEmpty() && !to.isEmpty();
    const auto piece = [](const QByteArray &stage, const QJsonObject &o, const char *at, const char *size) {
        const auto start = qsizetype(o.value(QLatin1StringView(at)).toInteger(-1));
        const auto length = qsizetype(o.value(QLatin1StringView(size)).toInteger(-1));
        return start >= 0 && length >= 0 && start + length <= stage.size() ? stage.mid(start, length)
                                                                           : QByteArray();
    };
    for (const QJsonValue &v : journal.value(QStringLiteral("files")).toArray()) {
        const QJsonObject o = v.toObject();
        Entry e{o.value(QStringLiteral("file")).toString(),
                QByteArray::fromHex(o.value(QStringLiteral("old")).toString().toLatin1()),
                QByteArray::fromHex(o.value(QStringLiteral("new")).toString().toLatin1()),
                oldRead ? piece(oldStage, o, "oldAt", "oldSize") : QByteArray(),
                piece(newStage, o, "newAt", "newSize")};
        if (hashOf(e.oldBytes) != e.oldHash)
            e.oldBytes.clear();
        staged = staged && hashOf(e.newBytes) == e.newHash;
        entries.append(e);
    }
    bool renamed = !from.isEmpty() && !QFileInfo::exists(from) && QFileInfo::exists(to);
    // Every file brought to its new text (or back to its old one); a file
    // in neither state was changed by someone else and is left alone.
    const auto settle = [&](bool toNew) {
        QStringList conflicts;
        for (const Entry &e : entries) {
            const QString path = renamed ? mapped(e.file, from, to) : e.file;
            QByteArray now;
            const QByteArray hash = readFile(path, now) ? hashOf(now) : QByteArray();
            if (hash == (toNew ? e.newHash : e.oldHash))
                continue;
            const QByteArray &wanted = toNew ? e.newBytes : e.oldBytes;
            if (hash != (toNew ? e.oldHash : e.newHash) || wanted.isEmpty() || !writeFile(path, wanted))
                conflicts.append(path);
        }
        return conflicts;
    };
    // Every new text at hand and the rename still possible: it is finished.
    // Otherwise (the journal outlived its copies, or another file took the
    // new name) what was written is undone, as far as it can be.
    result.completed = staged && (renamed || (QFileInfo::exists(from) && !QFileInfo::exists(to)));
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
    QFile::remove(dir.filePath(kJournal));
    removeStaged(journalFolder);
    return result;
}

} // namespace site
