// The save's rewrite of local references, with the page's path on the first
// line of the input and the page's text after it.
#include "pathrel/pathrel.h"
#include "pathrel/references.h"

#include <QDir>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <cstdint>
#include <tuple>

namespace {
// The quoted keys first: an unquoted background can stand inside a quoted
// path, and applied one after another the keys then meet them in text order.
const char *const kKeys[] = {"SRC=\"FILE://", "HREF=\"FILE://", "BACKGROUND=\"FILE://", "BACKGROUND=FILE://"};

QStringList allKeys()
{
    QStringList keys;
    for (const char *key : kKeys)
        keys.append(QString::fromLatin1(key));
    return keys;
}

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

void rewriteAll(QString &text, const QString &page, QList<pathrel::Rewrite> *done = nullptr)
{
    pathrel::ChangeToRelativePaths(text, allKeys(), page, done);
}

bool byText(const pathrel::Rewrite &a, const pathrel::Rewrite &b)
{
    return std::tie(a.from, a.to) < std::tie(b.from, b.to);
}

// One pass over all the keys writes what the keys applied one after another
// write, and reports the same rewrites (in text order, not key by key).
void checkOnePassAsEachKey(const QString &text, const QString &page)
{
    QString each = text;
    QList<pathrel::Rewrite> eachDone;
    for (const char *key : kKeys)
        pathrel::ChangeToRelativePath(each, QString::fromLatin1(key), page, &eachDone);
    // Key by key, a path whose escapes decode to the start of an earlier
    // key ("SR%43=") makes that key stand only after its own round; the one
    // pass reads the key there, and the two are compared only where the keys
    // one after another leave nothing for a second round.
    QString again = each;
    for (const char *key : kKeys)
        pathrel::ChangeToRelativePath(again, QString::fromLatin1(key), page);
    if (again != each)
        return;
    QString once = text;
    QList<pathrel::Rewrite> onceDone;
    rewriteAll(once, page, &onceDone);
    check(once == each);
    check(onceDone.size() == eachDone.size());
    std::sort(eachDone.begin(), eachDone.end(), byText);
    std::sort(onceDone.begin(), onceDone.end(), byText);
    for (qsizetype i = 0; i < onceDone.size() && i < eachDone.size(); ++i)
        check(onceDone[i].from == eachDone[i].from && onceDone[i].to == eachDone[i].to);
}

// The rewrite changes reference values and nothing else: the output is the
// input with each reported value replaced, in order, right after its key.
void checkOnlyValuesChange(const QString &input, const QString &key, const QString &page)
{
    QString output = input;
    QList<pathrel::Rewrite> done;
    pathrel::ChangeToRelativePath(output, key, page, &done);
    const QString keyStart = key.left(key.size() - 7); // the key up to "FILE://"
    qsizetype in = 0;
    qsizetype out = 0;
    const bool quoted = key.contains(u'"');
    // Where a rewritten value stands: after its key as the text reads with
    // the values before it rewritten, and ended as the key's values end (the
    // same address may stand earlier in a value that runs on).
    const auto standsAt = [&](const QString &from, qsizetype at) {
        const qsizetype keyAt = out + (at - in) - keyStart.size();
        if (keyAt < 0 ||
            QStringView(output).mid(keyAt, keyStart.size()).compare(keyStart, Qt::CaseInsensitive) != 0)
            return false;
        const qsizetype end = at + from.size();
        if (end >= input.size())
            return false;
        const QChar c = input[end];
        return quoted ? c == u'"' : QStringLiteral(" \t\n\r\f>").contains(c);
    };
    for (const pathrel::Rewrite &r : std::as_const(done)) {
        check(r.from.startsWith(QStringLiteral("file://"), Qt::CaseInsensitive));
        qsizetype at = input.indexOf(r.from, in);
        while (at >= 0 && !standsAt(r.from, at))
            at = input.indexOf(r.from, at + 1);
        check(at >= in);
        check(QStringView(input).mid(in, at - in) == QStringView(output).mid(out, at - in));
        out += at - in;
        check(QStringView(output).mid(out, r.to.size()) == r.to);
        check(!r.to.contains(u'>') && !r.to.contains(u'<') && !r.to.contains(u'"'));
        out += r.to.size();
        in = at + r.from.size();
    }
    check(QStringView(input).mid(in) == QStringView(output).mid(out));
}

// The listing reads what stands in the text, in order; and a page moved to
// another folder still names, reference by reference, the files it named.
// The move is judged on pages without file URLs or escapes, which the move
// leaves to the save.
void checkListingAndMove(const QString &text)
{
    const QString origin = QStringLiteral("/home/u/site");
    const QList<pathrel::Reference> before =
        pathrel::listReferences(text, origin + QStringLiteral("/index.html"));
    qsizetype last = 0;
    for (const pathrel::Reference &r : before) {
        check(r.offset >= last && r.length == r.value.size());
        check(QStringView(text).mid(r.offset, r.length) == r.value);
        last = r.offset;
    }
    if (text.contains(u'%'))
        return;
    if (text.contains(QLatin1String("file:"), Qt::CaseInsensitive))
        return;
    const QString moved = QStringLiteral("/home/u/site/sub/moved.html");
    const pathrel::RewriteResult r = pathrel::rewriteReferences(text, {origin, moved});
    const QList<pathrel::Reference> after = pathrel::listReferences(r.text, moved);
    check(after.size() == before.size());
    for (qsizetype i = 0; i < before.size() && i < after.size(); ++i) {
        check(after[i].kind == before[i].kind);
        // A name holding a quote or "<" gets no relative path; it is written
        // as a file URL, which the listing reads as the save does.
        const QString &path = before[i].localPath;
        check(after[i].localPath == path || path.contains(u'<') || path.contains(u'"'));
    }
}

// The start tags alone read what the full parser's tree holds, or leave the
// page to the tree.
void checkBothRoads(const QString &text)
{
    const pathrel::ParsedPage tags(text);
    const pathrel::ParsedPage tree(text, pathrel::ParsedPage::Road::Tree);
    const QString page = QStringLiteral("/home/u/site/index.html");
    const QList<pathrel::Reference> a = pathrel::listReferences(tags, page);
    const QList<pathrel::Reference> b = pathrel::listReferences(tree, page);
    check(a.size() == b.size());
    for (qsizetype i = 0; i < a.size() && i < b.size(); ++i)
        check(a[i].kind == b[i].kind && a[i].offset == b[i].offset && a[i].length == b[i].length &&
              a[i].localPath == b[i].localPath);
    const pathrel::PageFacts &f = tags.facts();
    const pathrel::PageFacts &g = tree.facts();
    check(f.hasTitle == g.hasTitle && f.hasBase == g.hasBase && f.anchors == g.anchors);
    check(f.picturesWithoutAlt.size() == g.picturesWithoutAlt.size());
    for (qsizetype i = 0; i < f.picturesWithoutAlt.size() && i < g.picturesWithoutAlt.size(); ++i)
        check(f.picturesWithoutAlt[i].offset == g.picturesWithoutAlt[i].offset &&
              f.picturesWithoutAlt[i].line == g.picturesWithoutAlt[i].line &&
              f.picturesWithoutAlt[i].tag == g.picturesWithoutAlt[i].tag);
}

// Paths the property check can judge: no ".", ".." or empty folder names.
bool plainPath(const QString &p)
{
    QString s = p;
    s.replace(u'\\', u'/');
    return !s.contains(QStringLiteral("//")) && !s.contains(QStringLiteral("/./")) &&
           !s.contains(QStringLiteral("/../")) && !s.endsWith(u'.') &&
           !(s.size() > 2 && s[0] == u'/' && s[2] == u':'); // "/C:/..." names a drive, compared below as such
}

QString folderOf(const QString &path)
{
    QString s = path;
    s.replace(u'\\', u'/');
    return s.left(s.lastIndexOf(u'/') + 1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nl = input.indexOf(u'\n');
    const QString page = nl < 0 ? QStringLiteral("/home/u/site/index.html") : input.left(nl);
    const QString text = nl < 0 ? input : input.mid(nl + 1);

    for (const char *key : kKeys)
        checkOnlyValuesChange(text, QString::fromLatin1(key), page);

    checkOnePassAsEachKey(text, page);
    checkListingAndMove(text);
    checkBothRoads(text);

    QString once = text;
    rewriteAll(once, page);
    QString twice = once;
    rewriteAll(twice, page);
    check(twice == once);

    // Every relative reference the rewrite would write resolves back to the file.
    const bool windows = page.size() > 1 && page[1] == u':';
    for (const char *key : kKeys) {
        const QString k = QString::fromLatin1(key);
        for (qsizetype at = text.indexOf(k, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(k, at + 1, Qt::CaseInsensitive)) {
            const qsizetype start = at + k.size();
            qsizetype end = start;
            if (k.contains(u'"'))
                end = text.indexOf(u'"', start);
            else
                while (end < text.size() && !QStringLiteral(" \t\n\r\f>").contains(text[end]))
                    ++end;
            if (end < 0 || end >= text.size())
                break;
            const QString path = text.mid(start, end - start);
            const QString rel = pathrel::GetRelativePath(page, path);
            if (rel.isEmpty() || !plainPath(path) || !plainPath(page))
                continue;
            check(!rel.contains(u'\\'));
            QString resolved = QDir::cleanPath(folderOf(page) + QUrl::fromPercentEncoding(rel.toUtf8()));
            QString original = QDir::cleanPath(QString(path).replace(u'\\', u'/'));
            if (windows) {
                resolved = resolved.toLower();
                original = original.toLower();
            }
            check(resolved == original);
        }
    }
    return 0;
}
