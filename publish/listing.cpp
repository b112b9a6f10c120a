#include "publish/listing.h"

#include <QRegularExpression>

#include <optional>

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

bool hasControl(const QString &s)
{
    for (const QChar c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

struct ListLine
{
    QString name;
    bool folder = false;
    bool link = false;
};

// Unix "ls -l" lines, the format nearly every server sends: type and
// permissions, one to three fields (links, owner, group), the size, a date
// and then, after exactly one space, the name as it is (spaces included).
// The month is a word of the server's language ("Jan", "Mär", "févr.").
std::optional<ListLine> unixLine(const QString &line)
{
    static const QRegularExpression re(QStringLiteral(
        R"(^([-dl])[-rwxsStTlL]{9}[.+@]?\s+(?:\S+\s+){1,3}?\d+\s+)"
        R"((?:\p{L}{3,5}\.?\s+\d{1,2}\s+(?:\d{1,2}:\d{2}|\d{4})|\d{4}-\d{2}-\d{2}\s+\d{2}:\d{2}) (.+)$)"));
    const QRegularExpressionMatch m = re.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    QString name = m.captured(2);
    const QChar type = m.captured(1).at(0);
    if (type == u'l') {
        // "name -> target": the entry is the link; whether it leads to a
        // folder shows only when it is entered.
        const qsizetype arrow = name.indexOf(QStringLiteral(" -> "));
        if (arrow > 0)
            name.truncate(arrow);
    }
    return ListLine{name, type == u'd', type == u'l'};
}

// Windows servers: "01-31-24  09:15PM       <DIR>          images".
std::optional<ListLine> dosLine(const QString &line)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\d{2}-\d{2}-\d{2,4}\s+\d{1,2}:\d{2}(?:\s*[AaPp][Mm])?\s+(<DIR>|\d+)\s+(.+)$)"));
    const QRegularExpressionMatch m = re.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    return ListLine{m.captured(2), m.captured(1) == QLatin1String("<DIR>")};
}

// A line shaped like a listing line of its own: a type letter and nine
// permission letters (devices, sockets, pipes, dates we cannot read), a
// Windows date, or the "total" summary. Never the rest of a name.
bool listingShaped(const QString &line)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^(?:[-a-zA-Z][-rwxsStTlL?]{9}[.+@]?\s|total\s+\d+\s*$|\d{2}-\d{2}-\d{2,4}\s))"));
    return re.match(line).hasMatch();
}
} // namespace

QString entriesOfList(const QString &listText, QStringList *links)
{
    QList<ListLine> entries;
    bool continues = false; // the last line was an entry whose name may go on
    for (QString line : listText.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        std::optional<ListLine> entry = unixLine(line);
        if (!entry)
            entry = dosLine(line);
        if (!entry) {
            // A line we cannot read is skipped; only one that cannot be a
            // listing line of its own may be the second line of a name.
            if (continues && !line.isEmpty() && !listingShaped(line))
                entries.last().name += u'\n' + line;
            else
                continues = false;
            continue;
        }
        continues = true;
        entries << *entry;
    }
    QString reply;
    for (const ListLine &e : std::as_const(entries)) {
        if (e.name == QLatin1String(".") || e.name == QLatin1String(".."))
            continue;
        // A CR LF pair inside a name would end its entry early.
        QString name = e.name;
        name.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        reply += name + (e.folder ? QStringLiteral("/\r\n") : QStringLiteral("\r\n"));
        if (e.link && links)
            *links << name;
    }
    return reply;
}

QList<ListedName> splitListing(const QString &reply)
{
    QList<ListedName> entries{{QStringLiteral(".."), QStringLiteral("..")}};
    qsizetype from = 0;
    while (from < reply.size()) {
        const qsizetype pair = reply.indexOf(QStringLiteral("\r\n"), from);
        const QString line = pair < 0 ? reply.mid(from) : reply.mid(from, pair - from);
        from = pair < 0 ? reply.size() : pair + 2;
        const QString trimmed = trimSpaces(line);
        if (!trimmed.isEmpty())
            entries << ListedName{trimmed, line};
    }
    return entries;
}

bool requestable(const ListedName &entry)
{
    if (entry.exact == QLatin1String(".."))
        return true;
    const QString name = entry.exact.endsWith(u'/') ? entry.exact.chopped(1) : entry.exact;
    return entry.shown == entry.exact && !name.isEmpty() && name != QLatin1String(".") &&
           name != QLatin1String("..") && !name.contains(u'/') && !hasControl(name) &&
           !name.contains(QChar::ReplacementCharacter);
}

QString normaliseAddress(const QString &typed)
{
    QString a = typed.trimmed();
    if (a.left(6).toLower() == QLatin1String("ftp://"))
        return a;
    if (a.left(7).toLower() == QLatin1String("http://"))
        return QStringLiteral("ftp://") + a.mid(7);
    return QStringLiteral("ftp://") + a;
}

QString normaliseFolder(const QString &typed)
{
    QString d = typed.trimmed();
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
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || hasControl(name))
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c == u':')
            return false;
    }
    return true;
}

bool sendable(const QString &text)
{
    return !hasControl(text);
}

} // namespace publish
