#include "surface/pagetext.h"

#include "pathrel/pathrel.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QUrl>

#include <gumbo.h>

#include <algorithm>
#include <vector>

namespace surface {

bool looksLikeText(QByteArrayView bytes)
{
    // Text in UTF-16 or UTF-32 is full of NUL bytes.
    static const char utf16le[] = {char(0xFF), char(0xFE)};
    static const char utf16be[] = {char(0xFE), char(0xFF)};
    static const char utf32be[] = {0, 0, char(0xFE), char(0xFF)};
    for (const QByteArrayView bom :
         {QByteArrayView(utf16le, 2), QByteArrayView(utf16be, 2), QByteArrayView(utf32be, 4)})
        if (bytes.startsWith(bom))
            return true;
    if (bytes.contains('\0'))
        return false;
    const qsizetype sample = std::min<qsizetype>(bytes.size(), 64 * 1024);
    qsizetype controls = 0;
    for (qsizetype i = 0; i < sample; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 0x1B)
            ++controls;
    }
    return controls * 20 <= sample; // a few stray control characters still make a page
}

QString localFileReference(const QString &value, const std::function<bool(const QString &)> &exists)
{
    static const QRegularExpression fileUrl(QStringLiteral("^file:(//localhost)?"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression drive(QStringLiteral("^/?[A-Za-z]:[\\\\/]"));
    if (const QRegularExpressionMatch m = fileUrl.match(value); m.hasMatch()) {
        // The escapes stay: the save decodes them once, where it makes the
        // path relative; decoded here as well, an escaped "%" would be read twice.
        QString path = value.mid(m.capturedLength());
        while (path.startsWith(QLatin1String("//")))
            path.remove(0, 1);
        if (drive.match(path).hasMatch() && path.startsWith(u'/'))
            path.remove(0, 1);
        return path.isEmpty() ? value : QStringLiteral("file://") + path;
    }
    if (drive.match(value).hasMatch() && !value.startsWith(u'/'))
        return QStringLiteral("file://") + value;
    if (value.startsWith(u'/') && !value.startsWith(QLatin1String("//")) && exists && exists(value))
        return QStringLiteral("file://") + value;
    return value;
}

namespace {

struct ValueSpan
{
    enum Kind
    {
        Address, // the whole value is one address
        Srcset,  // addresses with their sizes, separated by commas
        Css      // style: addresses in url(...)
    };
    int start; // the value's text, without its quotes, in UTF-8 bytes
    int end;
    char quote; // '"', '\'' or 0; 1 for the text of a style element
    Kind kind;
};

// Every place a page names a file by address: the src, href and background
// attributes, srcset, style attributes and style elements.
void collectReferences(const GumboNode *node, std::vector<ValueSpan> &out, bool &hasBase)
{
    std::vector<const GumboNode *> stack{node};
    while (!stack.empty()) {
        const GumboNode *n = stack.back();
        stack.pop_back();
        const GumboVector *kids = nullptr;
        if (n->type == GUMBO_NODE_DOCUMENT)
            kids = &n->v.document.children;
        else if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) {
            const GumboElement &el = n->v.element;
            kids = &el.children;
            if (el.tag == GUMBO_TAG_BASE && gumbo_get_attribute(&el.attributes, "href"))
                hasBase = true;
            if (el.tag == GUMBO_TAG_STYLE)
                for (unsigned i = 0; i < el.children.length; ++i) {
                    const auto *t = static_cast<const GumboNode *>(el.children.data[i]);
                    if (t->type == GUMBO_NODE_TEXT || t->type == GUMBO_NODE_WHITESPACE)
                        out.push_back({int(t->v.text.start_pos.offset),
                                       int(t->v.text.start_pos.offset + t->v.text.original_text.length), 1,
                                       ValueSpan::Css});
                }
            // Attributes the parser made up (of an implied element) have no source.
            for (unsigned i = 0; i < el.attributes.length && el.original_tag.length > 0; ++i) {
                const auto *a = static_cast<const GumboAttribute *>(el.attributes.data[i]);
                const QByteArray name(a->name);
                ValueSpan::Kind kind = ValueSpan::Address;
                if (name == "srcset")
                    kind = ValueSpan::Srcset;
                else if (name == "style")
                    kind = ValueSpan::Css;
                else if (name != "src" && name != "href" && name != "background")
                    continue;
                if (a->original_value.length == 0)
                    continue;
                const char first = a->original_value.data[0];
                const char quote = (first == '"' || first == '\'') ? first : 0;
                const int start = int(a->value_start.offset) + (quote ? 1 : 0);
                const int end = int(a->value_start.offset) + int(a->original_value.length) - (quote ? 1 : 0);
                if (end >= start)
                    out.push_back({start, end, quote, kind});
            }
        }
        if (kids)
            for (unsigned i = kids->length; i-- > 0;)
                stack.push_back(static_cast<const GumboNode *>(kids->data[i]));
    }
}

bool isRelativeLocal(const QString &value)
{
    if (value.isEmpty() || value.startsWith(u'#') || value.startsWith(u'?') || value.startsWith(u'/') ||
        value.startsWith(u'\\'))
        return false;
    // A scheme ("http:", "mailto:", "C:") names something absolute.
    const qsizetype colon = value.indexOf(u':');
    const qsizetype slash = value.indexOf(u'/');
    return colon < 0 || (slash >= 0 && slash < colon);
}

QString escapedFor(const QString &value, char quote)
{
    QString out = value;
    out.replace(u'&', QStringLiteral("&amp;"));
    if (quote == '"')
        out.replace(u'"', QStringLiteral("&quot;"));
    else if (quote == '\'')
        out.replace(u'\'', QStringLiteral("&#39;"));
    return out;
}

} // namespace

namespace {
// One address, relative to from, written relative to the page toPage (or as
// an absolute file address where no relative path exists); as it was when it
// is not a relative local address.
QString rebaseAddress(const QString &written, const QString &from, const QString &toPage)
{
    if (written.contains(u'&') || !isRelativeLocal(written))
        return written;
    qsizetype cut = written.size();
    for (const QChar c : {u'?', u'#'})
        if (const qsizetype at = written.indexOf(c); at >= 0 && at < cut)
            cut = at;
    const QString pathPart = written.left(cut);
    const bool encoded = pathPart.contains(u'%');
    const QString decoded = encoded ? QUrl::fromPercentEncoding(pathPart.toUtf8()) : pathPart;
    const QString file = QDir::cleanPath(from + u'/' + decoded);
    QString rebased = pathrel::GetRelativePath(toPage, file);
    if (rebased.isEmpty())
        return QUrl::fromLocalFile(file).toString() + written.mid(cut);
    if (pathPart.endsWith(u'/') && !rebased.endsWith(u'/'))
        rebased += u'/'; // a folder stays a folder
    return rebased + written.mid(cut);
}

QString rebaseValue(const QString &value, ValueSpan::Kind kind, const QString &from, const QString &toPage)
{
    if (kind == ValueSpan::Address)
        return rebaseAddress(value, from, toPage);
    static const QRegularExpression srcsetAddress(QStringLiteral("(^|,)(\\s*)([^\\s,]+)"));
    static const QRegularExpression cssAddress(QStringLiteral("url\\(\\s*(['\"]?)([^'\")]+)\\1\\s*\\)"),
                                               QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression &pattern = kind == ValueSpan::Srcset ? srcsetAddress : cssAddress;
    const int group = kind == ValueSpan::Srcset ? 3 : 2;
    QString out;
    qsizetype copied = 0;
    for (QRegularExpressionMatchIterator it = pattern.globalMatch(value); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(value).mid(copied, m.capturedStart(group) - copied);
        out += rebaseAddress(m.captured(group), from, toPage);
        copied = m.capturedEnd(group);
    }
    out += QStringView(value).mid(copied);
    return out;
}
} // namespace

QString rebaseReferences(const QString &html, const QString &fromFolder, const QString &toPage,
                         QHash<QString, QString> *done)
{
    const QString from = QDir::cleanPath(fromFolder);
    const QString to = QDir::cleanPath(QFileInfo(toPage).absolutePath());
    if (from.isEmpty() || from == to)
        return html;
    const QByteArray utf8 = html.toUtf8();
    GumboOutput *parsed =
        gumbo_parse_with_options(&kGumboDefaultOptions, utf8.constData(), size_t(utf8.size()));
    if (!parsed)
        return html;
    std::vector<ValueSpan> spans;
    bool hasBase = false;
    collectReferences(parsed->document, spans, hasBase);
    gumbo_destroy_output(&kGumboDefaultOptions, parsed);
    if (hasBase)
        return html; // its references resolve against its own base, not its folder
    std::sort(spans.begin(), spans.end(),
              [](const ValueSpan &a, const ValueSpan &b) { return a.start < b.start; });

    QByteArray out;
    out.reserve(utf8.size() + 64);
    int copied = 0;
    for (const ValueSpan &span : spans) {
        if (span.start < copied)
            continue;
        const QString written = QString::fromUtf8(utf8.constData() + span.start, span.end - span.start);
        const QString rebased = rebaseValue(written, span.kind, from, toPage);
        if (rebased == written)
            continue;
        if (done)
            done->insert(written, rebased);
        out.append(utf8.constData() + copied, span.start - copied);
        QString value = span.quote == 1 ? rebased : escapedFor(rebased, span.quote);
        if (!span.quote && (value.contains(u' ') || value.contains(u'>') || value.contains(u'"')))
            value = u'"' + escapedFor(rebased, '"') + u'"'; // an unquoted value cannot hold these
        out.append(value.toUtf8());
        copied = span.end;
    }
    if (copied == 0)
        return html;
    out.append(utf8.constData() + copied, utf8.size() - copied);
    return QString::fromUtf8(out);
}

QString localFileReferences(const QString &html, const std::function<bool(const QString &)> &exists)
{
    const QByteArray utf8 = html.toUtf8();
    GumboOutput *parsed =
        gumbo_parse_with_options(&kGumboDefaultOptions, utf8.constData(), size_t(utf8.size()));
    if (!parsed)
        return html;
    std::vector<ValueSpan> spans;
    bool hasBase = false;
    collectReferences(parsed->document, spans, hasBase);
    gumbo_destroy_output(&kGumboDefaultOptions, parsed);
    std::sort(spans.begin(), spans.end(),
              [](const ValueSpan &a, const ValueSpan &b) { return a.start < b.start; });
    QByteArray out;
    int copied = 0;
    for (const ValueSpan &span : spans) {
        if (span.kind != ValueSpan::Address || span.start < copied)
            continue;
        const QString written = QString::fromUtf8(utf8.constData() + span.start, span.end - span.start);
        if (written.contains(u'&'))
            continue; // the engine writes these values escaped; none of them names a file here
        const QString local = localFileReference(written, exists);
        if (local == written)
            continue;
        out.append(utf8.constData() + copied, span.start - copied);
        QString value = escapedFor(local, span.quote);
        if (!span.quote && (value.contains(u' ') || value.contains(u'>') || value.contains(u'"')))
            value = u'"' + escapedFor(local, '"') + u'"';
        out.append(value.toUtf8());
        copied = span.end;
    }
    if (copied == 0)
        return html;
    out.append(utf8.constData() + copied, utf8.size() - copied);
    return QString::fromUtf8(out);
}

namespace {
// Every element in document order with where its start tag begins in the
// UTF-8 text (-1 for one the parser made up).
std::vector<int> elementStarts(const QByteArray &utf8)
{
    std::vector<int> starts;
    GumboOutput *parsed =
        gumbo_parse_with_options(&kGumboDefaultOptions, utf8.constData(), size_t(utf8.size()));
    if (!parsed)
        return starts;
    std::vector<const GumboNode *> stack{parsed->document};
    while (!stack.empty()) {
        const GumboNode *n = stack.back();
        stack.pop_back();
        const GumboVector *children = nullptr;
        if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) {
            const GumboElement &e = n->v.element;
            const bool implied = (n->parse_flags & GUMBO_INSERTION_BY_PARSER) || e.original_tag.length == 0;
            starts.push_back(implied ? -1 : int(e.start_pos.offset));
            // A template's content is no part of the document's elements.
            if (n->type == GUMBO_NODE_ELEMENT)
                children = &e.children;
        } else if (n->type == GUMBO_NODE_DOCUMENT) {
            children = &n->v.document.children;
        }
        if (children)
            for (unsigned i = children->length; i > 0; --i)
                stack.push_back(static_cast<const GumboNode *>(children->data[i - 1]));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, parsed);
    return starts;
}
} // namespace

int elementAtOffset(const QString &html, qsizetype offset)
{
    const qsizetype at =
        QStringView(html).left(std::clamp<qsizetype>(offset, 0, html.size())).toUtf8().size();
    const std::vector<int> starts = elementStarts(html.toUtf8());
    int found = -1;
    for (size_t i = 0; i < starts.size(); ++i)
        if (starts[i] >= 0 && starts[i] <= at)
            found = int(i);
    return found;
}

qsizetype elementOffset(const QString &html, int index)
{
    const QByteArray utf8 = html.toUtf8();
    const std::vector<int> starts = elementStarts(utf8);
    if (index < 0 || size_t(index) >= starts.size() || starts[size_t(index)] < 0)
        return -1;
    return QString::fromUtf8(utf8.left(starts[size_t(index)])).size();
}

} // namespace surface
