#include "pageprops/bodytag.h"

#include "pathrel/references.h"

namespace pageprops {

void parseTag(State &s, const QString &documentHtml, const QString &attribs)
{
    const qsizetype p = documentHtml.indexOf(QStringLiteral("<BODY"), 0, Qt::CaseInsensitive);
    if (p >= 0) {
        const qsizetype q = documentHtml.indexOf(u'>', p);
        if (q >= 0)
            s.bodyTagText = documentHtml.mid(p, q - p);
    }
    const qsizetype found = s.bodyTagText.indexOf(attribs, 0, Qt::CaseInsensitive);
    if (attribs.isEmpty() || found < 0) {
        s.attributeValue.clear();
        return;
    }
    qsizetype start = found + attribs.size();
    qsizetype end = -1;
    if (start < s.bodyTagText.size() && s.bodyTagText[start] == u'"') {
        ++start;
        end = s.bodyTagText.indexOf(u'"', start);
    } else {
        end = s.bodyTagText.indexOf(u' ', start);
    }
    if (end < 0)
        end = s.bodyTagText.size();
    s.attributeValue = s.bodyTagText.mid(start, end - start);
}

namespace {
int digit(const QString &text, int index)
{
    if (index >= text.size())
        return 0;
    const QChar c = text[index];
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return 0;
}
} // namespace

void convertRgb(State &s, const QString &hexNumber)
{
    if (hexNumber.isEmpty()) {
        s.redText = s.greenText = s.blueText = QStringLiteral("192");
        return;
    }
    s.redText = QString::number(16 * digit(hexNumber, 0) + digit(hexNumber, 1));
    s.greenText = QString::number(16 * digit(hexNumber, 2) + digit(hexNumber, 3));
    s.blueText = QString::number(16 * digit(hexNumber, 4) + digit(hexNumber, 5));
}

quint32 convertedColor(const State &s)
{
    return s.redText.toUInt() + 256 * s.greenText.toUInt() + 65536 * s.blueText.toUInt();
}

void selectColor(State &s, quint32 value)
{
    s.selectedColor = value;
    const QString digits = QString::number(value & 0xFFFFFFu, 16).toUpper().rightJustified(6, u'0');
    s.selectedColorHex += digits.mid(4, 2) + digits.mid(2, 2) + digits.mid(0, 2);
}

std::optional<QString> replaceTitle(const QString &html, const QString &title)
{
    const qsizetype open = html.indexOf(QStringLiteral("<TITLE>"), 0, Qt::CaseInsensitive);
    const qsizetype close = html.indexOf(QStringLiteral("</TITLE>"), 0, Qt::CaseInsensitive);
    if (open < 0 || close < 0 || close < open + 7)
        return std::nullopt;
    return html.left(open + 7) + title + html.mid(close);
}

QString backgroundForDisplay(const QString &attribute)
{
    return pathrel::pathOfFileReference(attribute);
}

QString backgroundToWrite(const QString &text)
{
    return pathrel::fileReferenceOfPath(text);
}

} // namespace pageprops
