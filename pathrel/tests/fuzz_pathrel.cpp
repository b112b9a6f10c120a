// The save's rewrite of local references, with the page's path on the first
// line of the input and the page's text after it.
#include "pathrel.h"

#include <QDir>
#include <QString>

#include <cstdint>

namespace {
const char *const kKeys[] = {"SRC=\"FILE://", "HREF=\"FILE://", "BACKGROUND=FILE://", "BACKGROUND=\"FILE://"};

void rewriteAll(QString &text, const QString &page)
{
    for (const char *key : kKeys)
        pathrel::ChangeToRelativePath(text, QString::fromLatin1(key), page);
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

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nl = input.indexOf(u'\n');
    const QString page = nl < 0 ? QStringLiteral("/home/u/site/index.html") : input.left(nl);
    const QString text = nl < 0 ? input : input.mid(nl + 1);

    QString once = text;
    rewriteAll(once, page);
    QString twice = once;
    rewriteAll(twice, page);
    check(twice == once);

    // Every relative reference the rewrite would write resolves back to the file.
    const bool windows = page.size() > 1 && page[1] == u':';
    for (const char *key : kKeys) {
        const QString k = QString::fromLatin1(key);
        const QChar terminator = k.contains(u'"') ? u'"' : u' ';
        for (qsizetype at = text.indexOf(k, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(k, at + 1, Qt::CaseInsensitive)) {
            const qsizetype start = at + k.size();
            const qsizetype end = text.indexOf(terminator, start);
            if (end < 0)
                break;
            const QString path = text.mid(start, end - start);
            const QString rel = pathrel::GetRelativePath(page, path);
            if (rel.isEmpty() || !plainPath(path) || !plainPath(page))
                continue;
            check(!rel.contains(u'\\'));
            QString resolved = QDir::cleanPath(folderOf(page) + rel);
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
