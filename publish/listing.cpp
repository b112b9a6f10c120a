#include "listing.h"

namespace publish {
namespace {
QString trimSpaces(const QString &s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s[b] == u' ')
        ++b;
    while (e > b && s[e - 1] == u' ')
        --e;
    return s.mid(b, e - b);
}
} // namespace

QStringList splitListing(const QString &reply)
{
    QStringList entries{QStringLiteral("..")};
    qsizetype from = 0;
    while (from < reply.size()) {
        const qsizetype pair = reply.indexOf(QStringLiteral("\r\n"), from);
        const QString line = pair < 0 ? reply.mid(from) : reply.mid(from, pair - from);
        from = pair < 0 ? reply.size() : pair + 2;
        const QString trimmed = trimSpaces(line);
        if (!trimmed.isEmpty())
            entries << trimmed;
    }
    return entries;
}

QString normaliseAddress(const QString &typed)
{
    const QString a = typed.trimmed();
    if (a.left(6).toLower() == QLatin1String("ftp://"))
        return a;
    if (a.left(7).toLower() == QLatin1String("http://"))
        return QStringLiteral("ftp://") + a.mid(7);
    return QStringLiteral("ftp://") + a;
}

QString normaliseFolder(const QString &typed)
{
    const QString d = typed.trimmed();
    if (d.isEmpty())
        return QStringLiteral(".");
    if (d.startsWith(u'/') || d.startsWith(u'\\'))
        return d.mid(1);
    return d;
}

bool isDirectoryEntry(const QString &entry)
{
    return entry.endsWith(u'/') || entry == QLatin1String("..");
}

bool acceptableLocalName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7F || c == u':')
            return false;
    }
    return true;
}

bool sendable(const QString &text)
{
    return !text.contains(u'\r') && !text.contains(u'\n');
}

} // namespace publish
