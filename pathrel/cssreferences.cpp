#include "pathrel/cssreferences.h"

namespace pathrel {
namespace {

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'-' || c == u'_' || c.unicode() >= 0x80;
}

// Where the quoted string starting at from (its quote) ends: just after the
// closing quote, or at the end of the text; a backslash escapes the next
// character.
qsizetype stringEnd(QStringView css, qsizetype from)
{
    const QChar quote = css[from];
    for (qsizetype i = from + 1; i < css.size(); ++i) {
        if (css[i] == u'\\')
            ++i;
        else if (css[i] == quote)
            return i + 1;
        else if (css[i] == u'\n')
            return i; // an unclosed string ends at the line's end
    }
    return css.size();
}

qsizetype skipSpaces(QStringView css, qsizetype i)
{
    while (i < css.size() && isSpace(css[i]))
        ++i;
    return i;
}

bool startsWithAt(QStringView css, qsizetype at, QLatin1StringView word)
{
    return css.mid(at, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

} // namespace

QList<CssAddress> cssAddresses(QStringView css)
{
    QList<CssAddress> out;
    qsizetype i = 0;
    while (i < css.size()) {
        const QChar c = css[i];
        if (c == u'/' && i + 1 < css.size() && css[i + 1] == u'*') {
            const qsizetype end = css.indexOf(QLatin1StringView("*/"), i + 2);
            i = end < 0 ? css.size() : end + 2;
        } else if (c == u'"' || c == u'\'') {
            i = stringEnd(css, i);
        } else if ((c == u'u' || c == u'U') && startsWithAt(css, i, QLatin1StringView("url(")) &&
                   (i == 0 || !isNameChar(css[i - 1]))) {
            qsizetype start = skipSpaces(css, i + 4);
            if (start < css.size() && (css[start] == u'"' || css[start] == u'\'')) {
                const qsizetype end = stringEnd(css, start);
                const bool closed = end > start + 1 && css[end - 1] == css[start];
                const qsizetype valueEnd = closed ? end - 1 : end;
                if (valueEnd > start + 1)
                    out.append({css.mid(start + 1, valueEnd - start - 1).toString(), start + 1,
                                valueEnd - start - 1});
                i = end;
            } else {
                qsizetype end = start;
                while (end < css.size() && css[end] != u')' && !isSpace(css[end]))
                    ++end;
                if (end > start)
                    out.append({css.mid(start, end - start).toString(), start, end - start});
                i = end;
            }
        } else if (c == u'@' && startsWithAt(css, i, QLatin1StringView("@import"))) {
            const qsizetype start = skipSpaces(css, i + 7);
            if (start < css.size() && (css[start] == u'"' || css[start] == u'\'')) {
                const qsizetype end = stringEnd(css, start);
                const bool closed = end > start + 1 && css[end - 1] == css[start];
                if (closed && end - start > 2)
                    out.append({css.mid(start + 1, end - start - 2).toString(), start + 1, end - start - 2});
                i = end;
            } else {
                i = start; // "@import url(...)" is read as url() next
            }
        } else {
            ++i;
        }
    }
    return out;
}

} // namespace pathrel
