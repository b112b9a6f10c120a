#include "pathrel/pathrel.h"

#include <QStringDecoder>
#include <QStringList>
#include <QStringView>
#include <QVarLengthArray>

#include <algorithm>
#include <limits>
#include <optional>

namespace pathrel {
namespace {

bool isSeparator(QChar c)
{
    return c == u'/' || c == u'\\';
}

bool isDriveLetter(QStringView s)
{
    return s.size() >= 2 && s[1] == u':' &&
           ((s[0] >= u'A' && s[0] <= u'Z') || (s[0] >= u'a' && s[0] <= u'z'));
}

qsizetype nextSeparator(QStringView s, qsizetype from)
{
    for (qsizetype i = from; i < s.size(); ++i) {
        if (isSeparator(s[i]))
            return i;
    }
    return -1;
}

// An absolute path split into the part that names the volume and the folders
// below it. Windows volumes ("C:", "\\server\share") compare without regard to
// letter case, as the file systems there do; POSIX paths compare exactly.
// The pieces are views into the caller's text.
struct SplitPath
{
    QStringView server; // UNC server, or the drive ("C:"); empty for POSIX
    QStringView share;  // UNC share
    QVarLengthArray<QStringView, 16> folders;
    QStringView fileName;
    bool windows = false;
    bool valid = false;
};

SplitPath splitAbsolute(QStringView path)
{
    SplitPath out;
    // A file URL of a Windows path reads "file:///C:/..."; after the scheme
    // that leaves "/C:/...", which names the drive.
    if (path.size() >= 3 && isSeparator(path[0]) && isDriveLetter(path.mid(1)))
        path = path.mid(1);

    QStringView rest;
    if (isDriveLetter(path) && path.size() >= 3 && isSeparator(path[2])) {
        out.windows = true;
        out.server = path.left(2);
        rest = path.mid(3);
    } else if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
        out.windows = true;
        const qsizetype serverEnd = nextSeparator(path, 2);
        const qsizetype shareEnd = serverEnd > 2 ? nextSeparator(path, serverEnd + 1) : -1;
        if (shareEnd <= serverEnd + 1)
            return out;
        out.server = path.mid(2, serverEnd - 2);
        out.share = path.mid(serverEnd + 1, shareEnd - serverEnd - 1);
        rest = path.mid(shareEnd + 1);
    } else if (!path.isEmpty() && path[0] == u'/') {
        rest = path.mid(1);
    } else {
        return out; // relative or empty: no folder to start from
    }

    qsizetype start = 0;
    for (;;) {
        const qsizetype sep = nextSeparator(rest, start);
        if (sep < 0) {
            out.fileName = rest.mid(start);
            break;
        }
        const QStringView part = rest.mid(start, sep - start);
        start = sep + 1;
        // Folder names are taken lexically, as a browser resolves them:
        // "." and empty names vanish and ".." climbs one folder.
        if (part.isEmpty() || part == u".")
            continue;
        if (part == u"..") {
            if (!out.folders.isEmpty())
                out.folders.removeLast();
            continue;
        }
        out.folders.append(part);
    }
    out.valid = true;
    return out;
}

QString relativeTo(const SplitPath &page, QStringView objectPath)
{
    // No file name written in an HTML attribute holds a double quote or a "<"
    // (Windows forbids both in names); such a "path" ran on into the markup,
    // and is left alone.
    if (objectPath.contains(u'"') || objectPath.contains(u'<'))
        return {};
    const SplitPath object = splitAbsolute(objectPath);
    if (!page.valid || !object.valid || object.fileName.isEmpty())
        return {};
    // The letter-case rule follows the page's own file system.
    if (page.windows != object.windows)
        return {};
    const Qt::CaseSensitivity cs = page.windows ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (page.server.compare(object.server, cs) != 0 || page.share.compare(object.share, cs) != 0)
        return {}; // another drive or share: no relative path exists

    qsizetype common = 0;
    while (common < page.folders.size() && common < object.folders.size() &&
           page.folders[common].compare(object.folders[common], cs) == 0)
        ++common;

    QString rel;
    rel.reserve(objectPath.size() + 3 * (page.folders.size() - common));
    for (qsizetype i = common; i < page.folders.size(); ++i)
        rel += QLatin1String("../");
    for (qsizetype i = common; i < object.folders.size(); ++i) {
        rel += object.folders[i];
        rel += u'/';
    }
    rel += object.fileName;
    // A first name holding ":" ("C:x.gif", "mailto:a") would read as a scheme.
    const qsizetype firstSeparator = rel.indexOf(u'/');
    if (QStringView(rel).left(firstSeparator < 0 ? rel.size() : firstSeparator).contains(u':'))
        rel.prepend(QLatin1String("./"));
    return rel;
}

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// A relative path written as a web address's path: each "%", "#", "?", ">",
// space, control character and character outside ASCII escaped once (as the
// bytes of its UTF-8). A ">" would end the value were it ever written
// unquoted. Everything else is left as it stands, since the path goes into
// HTML text where "&" may start a character reference.
QString encodedPath(const QString &rel)
{
    QString out;
    out.reserve(rel.size() + 8);
    const QByteArray utf8 = rel.toUtf8();
    static const char hex[] = "0123456789ABCDEF";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || c == '%' || c == '#' || c == '?' || c == '>') {
            out += u'%';
            out += QLatin1Char(hex[c >> 4]);
            out += QLatin1Char(hex[c & 15]);
        } else {
            out += QLatin1Char(char(c));
        }
    }
    return out;
}

} // namespace

std::optional<QString> decodedFileUrlPath(QStringView path)
{
    if (!path.contains(u'%'))
        return path.toString();
    QByteArray bytes;
    bytes.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i] == u'%' && i + 2 < path.size() && isHex(path[i + 1]) && isHex(path[i + 2])) {
            bytes.append(char(QStringView(path).mid(i + 1, 2).toUInt(nullptr, 16)));
            i += 2;
        } else {
            bytes.append(path.mid(i, 1).toUtf8());
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString out = utf8.decode(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return out;
}

QString GetRelativePath(const QString &pageFilePath, const QString &strObjectFilePath)
{
    const QString rel = relativeTo(splitAbsolute(pageFilePath), strObjectFilePath);
    return rel.isEmpty() ? rel : encodedPath(rel);
}

namespace {
bool endsUnquotedValue(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'>';
}

qsizetype terminatorAt(QStringView text, qsizetype from, bool quoted)
{
    if (quoted)
        return text.indexOf(u'"', from);
    for (qsizetype i = from; i < text.size(); ++i)
        if (endsUnquotedValue(text[i]))
            return i;
    return -1;
}
} // namespace

namespace {
// One key of the rewrite and where the search for it stands.
struct KeyState
{
    QStringView key;
    QChar anchor;
    qsizetype anchorOffset;
    Qt::CaseSensitivity anchorCase;
    bool quoted;
    qsizetype next = 0; // a hit before this index is not this key's
};

constexpr qsizetype kNoMore = std::numeric_limits<qsizetype>::max();

KeyState keyState(QStringView key)
{
    // The keys end in "FILE://". A case-insensitive search for the whole key is
    // slow on a large page, so look for its ':' (which has no case) and compare
    // the key around each hit.
    const qsizetype anchorInKey = key.indexOf(u':');
    KeyState k;
    k.key = key;
    k.anchor = anchorInKey >= 0 ? key[anchorInKey] : key[0];
    k.anchorOffset = std::max<qsizetype>(anchorInKey, 0);
    k.anchorCase = anchorInKey >= 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
    k.quoted = key.contains(u'"');
    k.next = k.anchorOffset;
    return k;
}

bool anchorMatches(const KeyState &k, QChar c)
{
    return k.anchorCase == Qt::CaseSensitive ? c == k.anchor : c.toCaseFolded() == k.anchor.toCaseFolded();
}

// The next place from `from` on where one of the keys could stand. Keys that
// share their anchor (the save's all end in "FILE://") are found with one
// search of the text.
qsizetype nextHit(QStringView text, qsizetype from, const QVarLengthArray<KeyState, 8> &keys, bool oneAnchor)
{
    if (oneAnchor)
        return text.indexOf(keys[0].anchor, from, keys[0].anchorCase);
    for (qsizetype i = from; i < text.size(); ++i)
        for (const KeyState &k : keys)
            if (k.next <= i && anchorMatches(k, text[i]))
                return i;
    return -1;
}

// Whether the key stands at keyStart in the text as rewritten so far: its
// first characters may lie in a path just rewritten (a path that ran into
// `SRC=` before its closing quote), and are read there as written, the way a
// second pass would read them.
bool keyStandsAt(QStringView key, QStringView text, qsizetype keyStart, QStringView written,
                 qsizetype writtenUpTo)
{
    const qsizetype inWritten = std::clamp<qsizetype>(writtenUpTo - keyStart, 0, key.size());
    if (inWritten > written.size() ||
        written.right(inWritten).compare(key.left(inWritten), Qt::CaseInsensitive) != 0)
        return false;
    return text.mid(keyStart + inWritten, key.size() - inWritten)
               .compare(key.mid(inWritten), Qt::CaseInsensitive) == 0;
}
} // namespace

void ChangeToRelativePath(QString &documentText, const QString &strToFind, const QString &pageFilePath,
                          QList<Rewrite> *done)
{
    ChangeToRelativePaths(documentText, QStringList{strToFind}, pageFilePath, done);
}

void ChangeToRelativePaths(QString &documentText, const QStringList &keysToFind, const QString &pageFilePath,
                           QList<Rewrite> *done)
{
    if (documentText.isEmpty())
        return;
    const SplitPath page = splitAbsolute(pageFilePath);
    if (!page.valid)
        return; // a page never saved has no folder to be relative to

    QVarLengthArray<KeyState, 8> keys;
    for (const QString &key : keysToFind)
        if (!key.isEmpty())
            keys.append(keyState(key));
    if (keys.isEmpty())
        return;
    const bool oneAnchor = std::all_of(keys.begin(), keys.end(), [&](const KeyState &k) {
        return k.anchor == keys[0].anchor && k.anchorCase == keys[0].anchorCase;
    });
    // Where a key may next stand once the text up to `end` is handled. Going
    // on after the terminator, a key whose first characters ended that path
    // is still found, so that one pass leaves nothing for a second.
    const auto after = [](const KeyState &k, qsizetype end, qsizetype hit) {
        return std::max(end + k.anchorOffset - k.key.size() + 7, hit + 1);
    };

    const QStringView text(documentText);
    QString out;
    qsizetype copiedUpTo = 0; // text before this index is already in out
    bool changed = false;

    qsizetype from = 0;
    for (;;) {
        qsizetype earliest = kNoMore;
        for (const KeyState &k : keys)
            earliest = std::min(earliest, k.next);
        from = std::max(from, earliest);
        if (from >= text.size())
            break;
        const qsizetype hit = nextHit(text, from, keys, oneAnchor);
        if (hit < 0)
            break;
        from = hit + 1;
        // Several keys may end at the same hit; the first that rewrites the
        // reference takes it, as when the keys are applied one after another.
        for (KeyState &k : keys) {
            if (k.next > hit || !anchorMatches(k, text[hit]))
                continue;
            const qsizetype keyStart = hit - k.anchorOffset;
            const qsizetype pathStart = keyStart + k.key.size();
            if (keyStart < 0 || pathStart > text.size() ||
                !keyStandsAt(k.key, text, keyStart, out, changed ? copiedUpTo : 0))
                continue;
            const qsizetype end = terminatorAt(text, pathStart, k.quoted);
            if (end < 0) {
                k.next = kNoMore; // no terminator: the rest of the page stays as it is
                continue;
            }

            // The reference is a file URL: its escapes are decoded once here,
            // and the relative path is written escaped once.
            const std::optional<QString> path = decodedFileUrlPath(text.mid(pathStart, end - pathStart));
            const QString relative = path ? relativeTo(page, *path) : QString();
            if (relative.isEmpty()) {
                // Left alone, the path still holds the text other keys may
                // find in it; only this key goes on after it.
                k.next = after(k, end, hit);
                continue;
            }
            if (!changed) {
                out.reserve(text.size());
                changed = true;
            }
            // Everything before "FILE://" keeps its letter case.
            const qsizetype schemeStart = std::max(keyStart, pathStart - 7);
            out.append(text.mid(copiedUpTo, schemeStart - copiedUpTo));
            const QString written = encodedPath(relative);
            out.append(written);
            copiedUpTo = end;
            if (done)
                done->append({text.mid(schemeStart, end - schemeStart).toString(), written});
            for (KeyState &other : keys)
                if (other.next != kNoMore)
                    other.next = std::max(other.next, after(other, end, hit));
            break;
        }
    }
    if (changed) {
        out.append(text.mid(copiedUpTo));
        documentText = std::move(out);
    }
}

} // namespace pathrel
