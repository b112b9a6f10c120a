#include "pathrel/references.h"

#include "pathrel/cssreferences.h"
#include "pathrel/starttags.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace pathrel {
namespace {

// The save's keys: "file://" references after these are made relative. They
// are found in the text as it stands, so a reference the engine wrote into
// markup the parser would read otherwise is still made relative.
const char *const kFileKeys[] = {"SRC=\"FILE://", "HREF=\"FILE://", "BACKGROUND=FILE://",
                                 "BACKGROUND=\"FILE://"};

struct ValueSpan
{
    enum Shape
    {
        Address, // the whole value is one address
        Srcset,  // addresses with their sizes, separated by commas
        Css      // style: addresses in url(...)
    };
    int start; // the value's text, without its quotes, in UTF-8 bytes
    int end;
    char quote; // '"', '\'' or 0; 1 for the text of a style element
    Shape shape;
    ReferenceKind kind;
};

// The page parsed for the places it names files by address: the src, href
// and background attributes, srcset, style attributes and style elements.
struct Scan
{
    QByteArray utf8;
    std::vector<ValueSpan> spans; // in text order
    bool hasBase = false;
    bool parsed = false;
};

void collectReferences(const GumboNode *node, const QByteArray &utf8, std::vector<ValueSpan> &out,
                       bool &hasBase)
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
                                       ValueSpan::Css, ReferenceKind::CssUrl});
                }
            // Attributes the parser made up (of an implied element) have no source.
            for (unsigned i = 0; i < el.attributes.length && el.original_tag.length > 0; ++i) {
                const auto *a = static_cast<const GumboAttribute *>(el.attributes.data[i]);
                const QByteArray name(a->name);
                ValueSpan::Shape shape = ValueSpan::Address;
                ReferenceKind kind = ReferenceKind::Src;
                if (name == "srcset") {
                    shape = ValueSpan::Srcset;
                    kind = ReferenceKind::Srcset;
                } else if (name == "style") {
                    shape = ValueSpan::Css;
                    kind = ReferenceKind::CssUrl;
                } else if (name == "href") {
                    kind = el.tag == GUMBO_TAG_LINK ? ReferenceKind::Link : ReferenceKind::Href;
                } else if (name == "background") {
                    kind = ReferenceKind::Background;
                } else if (name != "src") {
                    continue;
                }
                // An empty unquoted value ("background=>") comes without a
                // place in the text; taken at its word, it would replace the
                // page's first characters.
                if (a->original_value.length == 0 ||
                    a->original_value.data != utf8.constData() + a->value_start.offset)
                    continue;
                const char first = a->original_value.data[0];
                const char quote = (first == '"' || first == '\'') ? first : 0;
                const int start = int(a->value_start.offset) + (quote ? 1 : 0);
                const int end = int(a->value_start.offset) + int(a->original_value.length) - (quote ? 1 : 0);
                // The parser starts an unquoted value that begins with a
                // character reference ("src=&lt;x.png") after it: what it
                // gives is not the whole value.
                int before = int(a->value_start.offset) - 1;
                while (!quote && before > 0 && QByteArrayView(" \t\n\r\f").contains(utf8[before]))
                    --before;
                if (!quote && (before < 0 || utf8[before] != '='))
                    continue;
                if (end >= start)
                    out.push_back({start, end, quote, shape, kind});
            }
        }
        if (kids)
            for (unsigned i = kids->length; i-- > 0;)
                stack.push_back(static_cast<const GumboNode *>(kids->data[i]));
    }
}

// The references as the full parser's tree holds them.
void treeSpans(const GumboNode *document, const QByteArray &utf8, std::vector<ValueSpan> &spans,
               bool &hasBase)
{
    collectReferences(document, utf8, spans, hasBase);
    std::sort(spans.begin(), spans.end(),
              [](const ValueSpan &a, const ValueSpan &b) { return a.start < b.start; });
    // An element the parser opens again (a link still open where a paragraph
    // ends) brings the attributes of the one in the text once more.
    spans.erase(std::unique(spans.begin(), spans.end(),
                            [](const ValueSpan &a, const ValueSpan &b) { return a.start == b.start; }),
                spans.end());
}

// An element's facts as the tree holds them; pictures as (tag start, tag
// length, line) in bytes.
struct RawPicture
{
    qsizetype start;
    qsizetype length;
    int line;
};

void treeFacts(const GumboNode *document, PageFacts &facts, std::vector<RawPicture> &pictures)
{
    std::vector<const GumboNode *> stack{document};
    while (!stack.empty()) {
        const GumboNode *n = stack.back();
        stack.pop_back();
        const GumboVector *kids = nullptr;
        if (n->type == GUMBO_NODE_DOCUMENT) {
            kids = &n->v.document.children;
        } else if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) {
            const GumboElement &el = n->v.element;
            kids = &el.children;
            if (const GumboAttribute *id = gumbo_get_attribute(&el.attributes, "id"))
                facts.anchors.insert(QString::fromUtf8(id->value));
            if (el.tag == GUMBO_TAG_A)
                if (const GumboAttribute *name = gumbo_get_attribute(&el.attributes, "name"))
                    facts.anchors.insert(QString::fromUtf8(name->value));
            if (el.tag == GUMBO_TAG_BASE && gumbo_get_attribute(&el.attributes, "href"))
                facts.hasBase = true;
            if (el.tag == GUMBO_TAG_TITLE)
                for (unsigned i = 0; i < el.children.length && !facts.hasTitle; ++i) {
                    const auto *t = static_cast<const GumboNode *>(el.children.data[i]);
                    facts.hasTitle = t->type == GUMBO_NODE_TEXT; // white space alone is no title
                }
            if (el.tag == GUMBO_TAG_IMG && el.original_tag.length > 0 &&
                !gumbo_get_attribute(&el.attributes, "alt"))
                pictures.push_back({qsizetype(el.start_pos.offset), qsizetype(el.original_tag.length),
                                    int(el.start_pos.line)});
        }
        if (kids)
            for (unsigned i = kids->length; i-- > 0;)
                stack.push_back(static_cast<const GumboNode *>(kids->data[i]));
    }
    // A picture the tree moves out of a table stands where it is written.
    std::sort(pictures.begin(), pictures.end(),
              [](const RawPicture &a, const RawPicture &b) { return a.start < b.start; });
}

// A value as written without its quotes.
QByteArrayView unquoted(QByteArrayView utf8, const TagAttribute &a)
{
    QByteArrayView v = utf8.sliced(a.valueStart, a.valueLength);
    if (!v.isEmpty() && (v.front() == '"' || v.front() == '\''))
        v = v.sliced(1, v.size() - 2);
    return v;
}

// Whether a title's text, as written, holds more than white space; nothing
// when only character references could tell.
std::optional<bool> titleText(QByteArrayView text)
{
    bool references = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '&') {
            references = true;
            while (i + 1 < text.size() && (QChar::isLetterOrNumber(uchar(text[i + 1])) || text[i + 1] == '#'))
                ++i;
            if (i + 1 < text.size() && text[i + 1] == ';')
                ++i;
        } else if (!QByteArrayView(" \t\n\r\f").contains(c)) {
            return true;
        }
    }
    if (references)
        return std::nullopt;
    return false;
}

// Whether text holds none of the characters the parser reads as U+FFFD:
// controls other than white space, and noncharacters.
bool plainCharacters(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\f') || (c >= 0x7F && c <= 0x9F) ||
            (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
            return false;
    }
    return true;
}

// The references and facts read from the start tags alone; false where the
// tree is needed for them.
bool tagSpans(const QByteArray &utf8, std::vector<ValueSpan> &spans, bool &hasBase, PageFacts &facts,
              std::vector<RawPicture> &pictures)
{
    bool sure = true;
    // Lines as the parser counts them: a carriage return ends one too.
    qsizetype counted = 0;
    int line = 1;
    const auto lineAt = [&](qsizetype offset) {
        for (; counted < offset; ++counted)
            if (utf8[counted] == '\n' ||
                (utf8[counted] == '\r' && (counted + 1 >= utf8.size() || utf8[counted + 1] != '\n')))
                ++line;
        return line;
    };
    const auto anchor = [&](QByteArrayView value) {
        const QString text = QString::fromUtf8(value);
        if (value.contains('&') || value.contains('\r') || !plainCharacters(text))
            sure = false; // read by the parser's own rules
        else
            facts.anchors.insert(text);
    };
    const bool whole = readStartTags(utf8, [&](const StartTag &tag) {
        const bool link = tag.is("link");
        for (const TagAttribute &a : tag.attributes) {
            ValueSpan::Shape shape = ValueSpan::Address;
            ReferenceKind kind = ReferenceKind::Src;
            if (sameName(a.name, "id")) {
                anchor(unquoted(utf8, a));
                continue;
            }
            if (sameName(a.name, "name")) {
                if (tag.is("a"))
                    anchor(unquoted(utf8, a));
                continue;
            }
            if (sameName(a.name, "srcset")) {
                shape = ValueSpan::Srcset;
                kind = ReferenceKind::Srcset;
            } else if (sameName(a.name, "style")) {
                shape = ValueSpan::Css;
                kind = ReferenceKind::CssUrl;
            } else if (sameName(a.name, "href")) {
                kind = link ? ReferenceKind::Link : ReferenceKind::Href;
            } else if (sameName(a.name, "background")) {
                kind = ReferenceKind::Background;
            } else if (!sameName(a.name, "src")) {
                continue;
            }
            if (a.valueLength == 0)
                continue; // no value, or an empty one without quotes: no place to write one
            const char first = utf8[a.valueStart];
            const char quote = (first == '"' || first == '\'') ? first : 0;
            const int start = int(a.valueStart) + (quote ? 1 : 0);
            const int end = int(a.valueStart + a.valueLength) - (quote ? 1 : 0);
            spans.push_back({start, end, quote, shape, kind});
        }
        if (tag.is("base") && tag.attribute("href"))
            hasBase = facts.hasBase = true;
        if (tag.is("style") && tag.textEnd > tag.textStart)
            spans.push_back({int(tag.textStart), int(tag.textEnd), 1, ValueSpan::Css, ReferenceKind::CssUrl});
        if (tag.is("title") && !facts.hasTitle) {
            const std::optional<bool> text =
                titleText(QByteArrayView(utf8).sliced(tag.textStart, tag.textEnd - tag.textStart));
            if (!text)
                sure = false;
            facts.hasTitle = text.value_or(false);
        }
        if (tag.is("img") && !tag.attribute("alt"))
            pictures.push_back({tag.start, tag.end - tag.start, lineAt(tag.start)});
    });
    return whole && sure;
}

Scan scan(const ParsedPage &page);

Scan scan(const QString &html)
{
    return scan(ParsedPage(html));
}

QString spanText(const Scan &s, const ValueSpan &span)
{
    return QString::fromUtf8(s.utf8.constData() + span.start, span.end - span.start);
}

// Each address in a value of the given shape, as (start, length) in value.
template <typename F> void eachAddress(const QString &value, ValueSpan::Shape shape, F &&f)
{
    if (shape == ValueSpan::Address) {
        f(qsizetype(0), value.size());
        return;
    }
    if (shape == ValueSpan::Css) {
        // The same reading as a style sheet file's: nothing in comments or
        // other strings, and @import too.
        for (const CssAddress &a : cssAddresses(value))
            f(a.offset, a.length);
        return;
    }
    static const QRegularExpression srcsetAddress(QStringLiteral("(^|,)(\\s*)([^\\s,]+)"));
    for (QRegularExpressionMatchIterator it = srcsetAddress.globalMatch(value); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        f(m.capturedStart(3), m.capturedLength(3));
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

// The file a relative address names from folder, as a browser reads it: "\\"
// in the address as "/", and ".." at the root staying at the root.
QString resolvedRelative(const QString &address, const QString &folder)
{
    QString pathPart = address.left(pathEnd(address));
    pathPart.replace(u'\\', u'/');
    const QString decoded = pathPart.contains(u'%') ? QUrl::fromPercentEncoding(pathPart.toUtf8()) : pathPart;
    QString path = QDir::cleanPath(folder + u'/' + decoded);
    while (path.startsWith(QLatin1String("/..")) && (path.size() == 3 || path[3] == u'/'))
        path.remove(0, 3);
    return path.isEmpty() ? QStringLiteral("/") : path;
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

// A value as a browser reads it. A style element's text is no attribute:
// "&" there is just "&". In an attribute, the character references an editor
// writes are read; nothing when another "&" stands in it, which is left as
// it is written.
// When rawAt is given, it gets for each character read (and the end) where
// it stands in value.
std::optional<QString> readValue(const QString &value, char quote, QList<qsizetype> *rawAt = nullptr)
{
    if (quote == 1 || !value.contains(u'&')) {
        if (rawAt)
            for (qsizetype i = 0; i <= value.size(); ++i)
                rawAt->append(i);
        return value;
    }
    static const QRegularExpression reference(
        QStringLiteral("&(amp|lt|gt|quot|apos|#[0-9]{1,7}|#[xX][0-9A-Fa-f]{1,6});"));
    QString out;
    qsizetype copied = 0;
    qsizetype read = 0;
    for (QRegularExpressionMatchIterator it = reference.globalMatch(value); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString name = m.captured(1);
        char32_t c = 0;
        if (name == u"amp")
            c = U'&';
        else if (name == u"lt")
            c = U'<';
        else if (name == u"gt")
            c = U'>';
        else if (name == u"quot")
            c = U'"';
        else if (name == u"apos")
            c = U'\'';
        else if (name.size() > 1 && (name[1] == u'x' || name[1] == u'X'))
            c = name.mid(2).toUInt(nullptr, 16);
        else
            c = name.mid(1).toUInt();
        // Browsers read 128 to 159 as Windows-1252 characters.
        if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0x80 && c <= 0x9F))
            return std::nullopt;
        const QString character = QString::fromUcs4(&c, 1);
        if (rawAt) {
            for (qsizetype i = copied; i < m.capturedStart(); ++i)
                rawAt->append(i);
            for (qsizetype i = 0; i < character.size(); ++i)
                rawAt->append(m.capturedStart());
        }
        out += QStringView(value).mid(copied, m.capturedStart() - copied);
        out += character;
        copied = m.capturedEnd();
        ++read;
    }
    if (rawAt)
        for (qsizetype i = copied; i <= value.size(); ++i)
            rawAt->append(i);
    out += QStringView(value).mid(copied);
    if (read != value.count(u'&'))
        return std::nullopt;
    return out;
}

// A value as it is written back where the old one stood.
QByteArray written(const QString &value, char quote)
{
    if (quote == 1)
        return value.toUtf8();
    QString out = escapedFor(value, quote);
    if (!quote && (out.contains(u' ') || out.contains(u'>') || out.contains(u'"')))
        out = u'"' + escapedFor(value, '"') + u'"'; // an unquoted value cannot hold these
    return out.toUtf8();
}

// One address, relative to from, written relative to the page toPage (or as
// an absolute file address where no relative path exists); as it was when it
// is not a relative local address.
QString rebaseAddress(const QString &address, const QString &from, const QString &toPage)
{
    if (!isRelativeLocal(address))
        return address;
    const qsizetype cut = pathEnd(address);
    const QString file = resolvedRelative(address, from);
    QString rebased = GetRelativePath(toPage, file);
    if (rebased.isEmpty())
        return fileUrl(file).toString() + address.mid(cut);
    if (address.left(cut).endsWith(u'/') && !rebased.endsWith(u'/'))
        rebased += u'/'; // a folder stays a folder
    return rebased + address.mid(cut);
}

QString rebaseValue(const QString &value, ValueSpan::Shape shape, const QString &from, const QString &toPage)
{
    QString out;
    qsizetype copied = 0;
    eachAddress(value, shape, [&](qsizetype start, qsizetype length) {
        out += QStringView(value).mid(copied, start - copied);
        out += rebaseAddress(value.mid(start, length), from, toPage);
        copied = start + length;
    });
    out += QStringView(value).mid(copied);
    return out;
}

// The page's relative references to local files, rewritten for the page
// moving from fromFolder to the file toPage: each still names the same file,
// relative to the new folder (absolute where no relative path exists). A page
// with a base element of its own is left alone.
QString rebaseReferences(const QString &html, const QString &fromFolder, const QString &toPage,
                         QList<Rewrite> &done)
{
    const QString from = QDir::cleanPath(fromFolder);
    const QString to = QDir::cleanPath(QFileInfo(toPage).absolutePath());
    if (from.isEmpty() || from == to)
        return html;
    const Scan s = scan(html);
    if (!s.parsed || s.hasBase)
        return html; // its references resolve against its own base, not its folder
    QByteArray out;
    out.reserve(s.utf8.size() + 64);
    int copied = 0;
    for (const ValueSpan &span : s.spans) {
        if (span.start < copied)
            continue;
        const std::optional<QString> value = readValue(spanText(s, span), span.quote);
        if (!value)
            continue;
        const QString rebased = rebaseValue(*value, span.shape, from, toPage);
        if (rebased == *value)
            continue;
        done.append({*value, rebased, Rewrite::Rebased});
        out.append(s.utf8.constData() + copied, span.start - copied);
        out.append(written(rebased, span.quote));
        copied = span.end;
    }
    if (copied == 0)
        return html;
    out.append(s.utf8.constData() + copied, s.utf8.size() - copied);
    return QString::fromUtf8(out);
}

bool isDrivePath(const QString &value)
{
    return value.size() >= 3 && value[1] == u':' && (value[2] == u'\\' || value[2] == u'/') &&
           ((value[0] >= u'A' && value[0] <= u'Z') || (value[0] >= u'a' && value[0] <= u'z'));
}

// The local file an address names, read as the rewrite reads it.
QString localPathOf(const QString &address, const QString &pageFolder)
{
    if (isFileUrl(address)) {
        const QString reference = localFileReference(address, {});
        if (!reference.startsWith(QLatin1String("file://")))
            return {};
        const std::optional<QString> path = decodedFileUrlPath(QStringView(reference).mid(7));
        if (!path)
            return {};
        // "file:///C:/x" names the drive.
        return path->size() >= 4 && path->startsWith(u'/') && isDrivePath(path->mid(1)) ? path->mid(1)
                                                                                        : *path;
    }
    if (isDrivePath(address))
        return address;
    if (pageFolder.isEmpty() || !isRelativeLocal(address))
        return {};
    return resolvedRelative(address, pageFolder);
}

// The folder of a page's file, taken from the path as written, so that a
// Windows path reads the same on every system.
QString folderOf(const QString &pagePath)
{
    const qsizetype sep = std::max(pagePath.lastIndexOf(u'/'), pagePath.lastIndexOf(u'\\'));
    if (sep < 0)
        return {};
    return sep == 0 ? QStringLiteral("/") : QDir::cleanPath(pagePath.left(sep));
}

// The parser's memory, taken in large blocks and given back all at once
// with the page: a parse makes many small allocations, and freeing them one
// by one costs as much again as making them.
class Arena
{
public:
    static void *allocate(void *arena, size_t size) { return static_cast<Arena *>(arena)->take(size); }
    static void release(void *, void *) {}

private:
    void *take(size_t size)
    {
        size = (size + 15) & ~size_t(15);
        if (size > kBlock / 4) {
            // Large requests (the parser's buffers) get a block of their own.
            big.push_back(std::make_unique<std::byte[]>(size));
            return big.back().get();
        }
        if (blocks.empty() || used + size > kBlock) {
            blocks.push_back(std::make_unique<std::byte[]>(kBlock));
            used = 0;
        }
        void *p = blocks.back().get() + used;
        used += size;
        return p;
    }

    static constexpr size_t kBlock = 256 * 1024;
    std::vector<std::unique_ptr<std::byte[]>> blocks;
    std::vector<std::unique_ptr<std::byte[]>> big;
    size_t used = 0;
};

} // namespace

struct ParsedPage::Data
{
    QString html;
    QByteArray utf8;
    std::vector<ValueSpan> spans; // in text order
    bool hasBase = false;
    PageFacts facts;
    bool tree = false;
    bool ascii = true;
    // Where the last offset asked for stood, in bytes and in units.
    qsizetype byte = 0;
    qsizetype unit = 0;
};

struct PageData
{
    static const ParsedPage::Data &of(const ParsedPage &page) { return *page.d; }
};

namespace {

Scan scan(const ParsedPage &page)
{
    const auto &d = PageData::of(page);
    return {d.utf8, d.spans, d.hasBase, true};
}

} // namespace

ParsedPage::ParsedPage(const QString &html, Road road) : d(std::make_unique<Data>())
{
    d->html = html;
    d->utf8 = html.toUtf8();
    d->ascii = d->utf8.size() == html.size();
    std::vector<RawPicture> pictures;
    if (road == Road::Tree || !tagSpans(d->utf8, d->spans, d->hasBase, d->facts, pictures)) {
        d->tree = true;
        d->spans.clear();
        d->hasBase = false;
        d->facts = {};
        pictures.clear();
        Arena arena;
        GumboOptions options = kGumboDefaultOptions;
        options.allocator = &Arena::allocate;
        options.deallocator = &Arena::release;
        options.userdata = &arena;
        // The parse errors are not read: none are kept, which spares most of
        // the parser's allocations on an old page.
        options.max_errors = 0;
        // The tree is dropped with the arena that holds all of it.
        const GumboOutput *output =
            gumbo_parse_with_options(&options, d->utf8.constData(), size_t(d->utf8.size()));
        if (output) {
            treeSpans(output->document, d->utf8, d->spans, d->hasBase);
            treeFacts(output->document, d->facts, pictures);
        }
    }
    for (const RawPicture &p : pictures)
        d->facts.picturesWithoutAlt.append(
            {textOffset(p.start), p.line,
             QString::fromUtf8(d->utf8.constData() + p.start, p.length).simplified()});
}

ParsedPage::~ParsedPage() = default;

const QString &ParsedPage::html() const
{
    return d->html;
}

const PageFacts &ParsedPage::facts() const
{
    return d->facts;
}

bool ParsedPage::builtTree() const
{
    return d->tree;
}

qsizetype ParsedPage::textOffset(qsizetype byteOffset) const
{
    if (d->ascii)
        return byteOffset;
    // A character takes one unit for its first byte, and one more when it
    // takes four bytes (a surrogate pair); continuation bytes take none.
    const auto units = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return ((b & 0xC0) != 0x80 ? 1 : 0) + ((b & 0xF8) == 0xF0 ? 1 : 0);
    };
    const char *bytes = d->utf8.constData();
    for (; d->byte < byteOffset; ++d->byte)
        d->unit += units(bytes[d->byte]);
    while (d->byte > byteOffset)
        d->unit -= units(bytes[--d->byte]);
    return d->unit;
}

QList<Reference> listReferences(const QString &html, const QString &pagePath)
{
    return listReferences(ParsedPage(html), pagePath);
}

QList<Reference> listReferences(const ParsedPage &page, const QString &pagePath)
{
    QList<Reference> out;
    const Scan s = scan(page);
    if (!s.parsed)
        return out;
    const QString &html = page.html();
    // Relative addresses in a page with a base element resolve against it.
    const QString folder = s.hasBase ? QString() : folderOf(pagePath);
    for (const ValueSpan &span : s.spans) {
        // The parser counts in UTF-8 bytes, the text in UTF-16 units.
        const qsizetype valueOffset = page.textOffset(span.start);
        const QString value = html.mid(valueOffset, page.textOffset(span.end) - valueOffset);
        // The addresses are found in the value as a browser reads it (a
        // style attribute holds url(&quot;a.png&quot;)), as the rebase finds
        // them; each is given as written. A value the rebase leaves as
        // written names no file here either.
        QList<qsizetype> rawAt;
        const std::optional<QString> read = readValue(value, span.quote, &rawAt);
        const QString &readText = read ? *read : value;
        eachAddress(readText, span.shape, [&](qsizetype start, qsizetype length) {
            const qsizetype rawStart = read ? rawAt[start] : start;
            const qsizetype rawEnd = read ? rawAt[start + length] : start + length;
            Reference r;
            r.kind = span.kind;
            r.value = value.mid(rawStart, rawEnd - rawStart);
            r.offset = valueOffset + rawStart;
            r.length = rawEnd - rawStart;
            if (read)
                r.localPath = localPathOf(readText.mid(start, length), folder);
            out.append(r);
        });
    }
    return out;
}

RewriteResult rewriteReferences(const QString &html, const RewriteOptions &options)
{
    RewriteResult r{html, {}};
    if (options.pagePath.isEmpty())
        return r; // no folder yet to make references relative to
    if (!options.origin.isEmpty())
        r.text = rebaseReferences(r.text, options.origin, options.pagePath, r.rewrites);
    static const QStringList keys = [] {
        QStringList k;
        for (const char *key : kFileKeys)
            k.append(QString::fromLatin1(key));
        return k;
    }();
    ChangeToRelativePaths(r.text, keys, options.pagePath, &r.rewrites);
    return r;
}

QString localFileReference(const QString &value, const std::function<bool(const QString &)> &exists)
{
    static const QRegularExpression fileUrlStart(QStringLiteral("^file:(//localhost)?"),
                                                 QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression drive(QStringLiteral("^/?[A-Za-z]:[\\\\/]"));
    if (const QRegularExpressionMatch m = fileUrlStart.match(value); m.hasMatch()) {
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

QString localFileReferences(const QString &html, const std::function<bool(const QString &)> &exists)
{
    const Scan s = scan(html);
    if (!s.parsed)
        return html;
    QByteArray out;
    int copied = 0;
    for (const ValueSpan &span : s.spans) {
        if (span.shape != ValueSpan::Address || span.start < copied)
            continue;
        const QString value = spanText(s, span);
        if (value.contains(u'&'))
            continue; // the engine writes these values escaped; none of them names a file here
        const QString local = localFileReference(value, exists);
        if (local == value)
            continue;
        out.append(s.utf8.constData() + copied, span.start - copied);
        out.append(written(local, span.quote));
        copied = span.end;
    }
    if (copied == 0)
        return html;
    out.append(s.utf8.constData() + copied, s.utf8.size() - copied);
    return QString::fromUtf8(out);
}

QString pathOfFileReference(const QString &attribute)
{
    if (!attribute.startsWith(QStringLiteral("file://"), Qt::CaseInsensitive))
        return attribute;
    QString path = attribute.mid(7);
    // "file:///C:/x" names a drive; "file:///home/x" a POSIX path.
    if (path.size() >= 3 && path[0] == u'/' && path[2] == u':')
        path = path.mid(1);
    return path;
}

QString fileReferenceOfPath(const QString &text)
{
    if (text.isEmpty())
        return text;
    const bool drive = text.size() >= 3 && text[1] == u':' && (text[2] == u'\\' || text[2] == u'/');
    const bool local = text.startsWith(u'/') || text.startsWith(QStringLiteral("\\\\")) || drive;
    return local && !text.startsWith(QStringLiteral("//")) ? QStringLiteral("file://") + text : text;
}

QUrl fileUrl(const QString &path)
{
    return QUrl::fromLocalFile(path);
}

bool isFileUrl(const QString &address)
{
    return address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
}

std::optional<QString> fileAddressTarget(const QString &written,
                                         const std::function<QString(const QString &)> &decode)
{
    if (!isFileUrl(written))
        return std::nullopt;
    QString path = decode(written.mid(5));
    if (path.startsWith(QLatin1StringView("//localhost/"), Qt::CaseInsensitive))
        path.remove(0, 11);
    while (path.startsWith(QLatin1StringView("//")))
        path.remove(0, 1);
    // "/c:/x": a drive path behind the slash of the address.
    const auto asciiLetter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    if (path.size() >= 4 && path[0] == u'/' && asciiLetter(path[1]) && path[2] == u':' &&
        (path[3] == u'/' || path[3] == u'\\'))
        path.remove(0, 1);
    return path;
}

QString fileAddressPrefix(const QString &written)
{
    const qsizetype pathStart = written.indexOf(u'/', written.indexOf(QLatin1StringView("//")) + 2);
    return written.left(pathStart < 0 ? 7 : pathStart);
}

std::optional<QString> localFile(const QUrl &url)
{
    if (!url.isLocalFile())
        return std::nullopt;
    return url.toLocalFile();
}

QStringList localFiles(const QList<QUrl> &urls)
{
    QStringList files;
    for (const QUrl &url : urls)
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

qsizetype pathEnd(const QString &address)
{
    qsizetype cut = address.size();
    for (const QChar c : {u'?', u'#'})
        if (const qsizetype at = address.indexOf(c); at >= 0 && at < cut)
            cut = at;
    return cut;
}

} // namespace pathrel
