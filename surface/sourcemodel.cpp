#include "surface/sourcemodel.h"

#include "surface/pagetext.h"

#include "pathrel/references.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSet>

#include <gumbo.h>

#include <algorithm>
#include <vector>

namespace surface {
namespace {

enum class Kind
{
    Element,
    Text,
    Comment
};

// A node of the parsed source, in the order of a walk through the tree.
struct Node
{
    const GumboNode *g = nullptr;
    Kind kind = Kind::Text;
    int parent = -1; // -1: a child of the document
    int firstChild = -1;
    int nextSibling = -1;
    int childCount = 0;
    int s = 0; // the source it stands for: [s, e)
    int e = 0;
    int tagStart = -1; // its own start tag, when the source has one
    int tagEnd = -1;
    int endStart = -1; // its own end tag, when the source has one
    int endEnd = -1;
    int contentStart = 0;    // where its children's source begins
    int utf16Length = 0;     // text: length of the decoded text
    bool dropped = false;    // text merged into the node before it
    bool overridden = false; // text: its decoded text is decoded, not the parser's
    QString decoded;
    int textKind = 0;     // text: 0 ordinary, 1 raw, 2 title or textarea
    bool trouble = false; // never copied: re-parented, cloned or overlapping source
    bool whole = false;   // its source is one clean piece
    QString tag;          // element: lower-case name
};

// A node of the engine's walk, from the script's shape.
struct DomNode
{
    Kind kind = Kind::Text;
    QString tag;
    int length = 0;
    int parent = -1;
    QList<int> children;
};

const GumboVector *childrenOf(const GumboNode *n)
{
    if (n->type == GUMBO_NODE_DOCUMENT)
        return &n->v.document.children;
    if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE)
        return &n->v.element.children;
    return nullptr;
}

QString tagNameOf(const GumboElement &e)
{
    if (e.tag != GUMBO_TAG_UNKNOWN)
        return QString::fromLatin1(gumbo_normalized_tagname(e.tag));
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    return QString::fromUtf8(piece.data, qsizetype(piece.length)).toLower();
}

int textKindOf(const QString &parentTag)
{
    static const QSet<QString> raw = {QStringLiteral("script"),   QStringLiteral("style"),
                                      QStringLiteral("xmp"),      QStringLiteral("iframe"),
                                      QStringLiteral("noembed"),  QStringLiteral("noframes"),
                                      QStringLiteral("plaintext")};
    if (raw.contains(parentTag))
        return 1;
    if (parentTag == QLatin1String("title") || parentTag == QLatin1String("textarea"))
        return 2;
    return 0;
}

bool isVoid(const QString &tag)
{
    static const QSet<QString> voids = {
        QStringLiteral("area"),    QStringLiteral("base"),  QStringLiteral("basefont"),
        QStringLiteral("bgsound"), QStringLiteral("br"),    QStringLiteral("col"),
        QStringLiteral("embed"),   QStringLiteral("frame"), QStringLiteral("hr"),
        QStringLiteral("img"),     QStringLiteral("input"), QStringLiteral("keygen"),
        QStringLiteral("link"),    QStringLiteral("meta"),  QStringLiteral("param"),
        QStringLiteral("source"),  QStringLiteral("track"), QStringLiteral("wbr")};
    return voids.contains(tag.toLower());
}

// The code point a numeric character reference stands for, as HTML reads it.
char32_t numericReference(char32_t v)
{
    static const char16_t windows1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                             0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    if (v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        return 0xFFFD;
    if (v >= 0x80 && v <= 0x9F)
        return windows1252[v - 0x80];
    return v;
}

bool isReferenceName(const QString &name)
{
    return name.compare(QLatin1String("src"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("href"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("background"), Qt::CaseInsensitive) == 0;
}

bool isAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// One UTF-8 sequence at p (at most n bytes); its length in bytes and code point.
int utf8Char(const char *p, int n, char32_t &cp)
{
    const auto b = static_cast<unsigned char>(p[0]);
    int len = 1;
    if (b >= 0xF0)
        len = 4, cp = b & 0x07;
    else if (b >= 0xE0)
        len = 3, cp = b & 0x0F;
    else if (b >= 0xC0)
        len = 2, cp = b & 0x1F;
    else
        cp = b;
    if (len > n)
        return 0;
    for (int i = 1; i < len; ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(p[i]) & 0x3F);
    return len;
}

void appendCodePoint(QString &out, char32_t cp)
{
    if (cp > 0xFFFF) {
        const char32_t v = cp - 0x10000;
        out += QChar(char16_t(0xD800 + (v >> 10)));
        out += QChar(char16_t(0xDC00 + (v & 0x3FF)));
    } else {
        out += QChar(char16_t(cp));
    }
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The character reference starting at p ("&..."): its length in bytes, and
// in unit what it stands for. A named reference is taken to stand for the
// next character of the decoded text; the caller's walk checks that the
// whole text comes out right. An "&" that starts no reference stands for itself.
int referenceAt(const char *p, int n, const QString &decoded, qsizetype j, QString &unit)
{
    int k = 1;
    if (k < n && p[k] == '#') {
        ++k;
        const int base = (k < n && (p[k] == 'x' || p[k] == 'X')) ? 16 : 10;
        if (base == 16)
            ++k;
        const int digits = k;
        char32_t v = 0;
        for (int dv = 0; k < n && (dv = digitValue(p[k])) >= 0 && dv < base; ++k)
            v = std::min<char32_t>(v * char32_t(base) + char32_t(dv), 0x110000);
        if (k > digits) {
            if (k < n && p[k] == ';')
                ++k;
            appendCodePoint(unit, numericReference(v));
            return k;
        }
    } else {
        while (k < n && isAsciiAlnum(p[k]))
            ++k;
        if (k > 1 && j < decoded.size()) {
            if (k < n && p[k] == ';')
                ++k;
            unit = decoded.mid(j, decoded[j].isHighSurrogate() ? 2 : 1);
            return k;
        }
    }
    unit = QStringLiteral("&");
    return 1;
}

} // namespace

struct SourceModel::Impl
{
    QString text;
    QByteArray utf8;
    QByteArray parsed; // what the parser read: utf8, or utf8 with its doctype retold
    GumboOutput *output = nullptr;
    std::vector<Node> nodes;
    std::vector<int> documentChildren; // node indices
    std::vector<int> starts;           // sorted starts of every node's source, for gap checks
    std::vector<int> begins;           // sorted starts of the parser's nodes, before they are measured
    std::vector<int> domToNode;        // the script's numbers to nodes (-1: no source)
    QString lineBreak = QStringLiteral("\n");

    ~Impl()
    {
        if (output)
            gumbo_destroy_output(&kGumboDefaultOptions, output);
    }

    void build(int quirks);
    void walk();
    void fixFormEnds();
    void mergeAdjacentText();
    bool beginsBetween(int a, int b) const;
    void measure(int index);
    QString decodedOf(const Node &n) const
    {
        return n.overridden ? n.decoded : QString::fromUtf8(n.g->v.text.text);
    }
    bool gapIsClean(int a, int b) const;
    struct Merged
    {
        QString text;
        int tailStart; // where the copied end of the text's source begins (-1: none)
    };
    // How the engine treats white space around a changed text.
    struct Spaces
    {
        bool collapsible = false; // a no-break space it put for a space is no change
        bool blockStart = false;  // first in its block: white space before the text is invisible
        bool blockEnd = false;    // last in its block: white space after it is too
    };
    Merged mergeText(const Node &n, QString newData, const std::function<QString(QString)> &spell,
                     const Spaces &spaces) const;
    bool walkText(const Node &n, std::vector<int> &at, QList<QPair<QString, QString>> *references) const;
    int bodyNode() const;
};

void SourceModel::Impl::build(int quirks)
{
    parsed = utf8;
    output = gumbo_parse_with_options(&kGumboDefaultOptions, parsed.constData(), size_t(parsed.size()));
    if (!output)
        return;
    // The parser does not know every doctype that puts the engine into quirks
    // mode (where a table does not close a paragraph). Where the two disagree,
    // the parser reads the page again with a doctype of the same length that
    // says what the engine decided.
    const bool parserQuirks = output->document->v.document.doc_type_quirks_mode == GUMBO_DOCTYPE_QUIRKS;
    if (quirks >= 0 && bool(quirks) != parserQuirks) {
        static const QRegularExpression doctype(QStringLiteral("<!doctype([^>]*)>"),
                                                QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = doctype.match(QString::fromLatin1(parsed.left(4096)));
        if (m.hasMatch() && m.capturedLength(1) >= 5) {
            QByteArray told = quirks ? QByteArray(" q") : QByteArray(" html");
            told.append(QByteArray(m.capturedLength(1) - told.size(), ' '));
            parsed.replace(m.capturedStart(1), m.capturedLength(1), told);
            gumbo_destroy_output(&kGumboDefaultOptions, output);
            output =
                gumbo_parse_with_options(&kGumboDefaultOptions, parsed.constData(), size_t(parsed.size()));
            if (!output)
                return;
        }
    }
    walk();
    fixFormEnds();
    for (const Node &n : nodes) {
        if (n.kind != Kind::Element)
            begins.push_back(n.s);
        else if (n.g->v.element.original_tag.length > 0 && !(n.g->parse_flags & GUMBO_INSERTION_BY_PARSER))
            begins.push_back(int(n.g->v.element.start_pos.offset));
    }
    std::sort(begins.begin(), begins.end());
    mergeAdjacentText();
    // Children come after their parent in the walk, so a backward pass sees
    // every child before its parent.
    for (int i = int(nodes.size()); i-- > 0;)
        if (!nodes[size_t(i)].dropped)
            measure(i);
    for (const Node &n : nodes)
        if (!n.dropped && !(n.kind == Kind::Element && n.tagStart < 0 && n.endStart < 0))
            starts.push_back(n.s);
    std::sort(starts.begin(), starts.end());

    // Line breaks written afresh follow the page's own.
    const qsizetype crlf = utf8.count("\r\n");
    if (crlf > 0 && crlf * 2 >= utf8.count('\n'))
        lineBreak = QStringLiteral("\r\n");
}

void SourceModel::Impl::walk()
{
    // With an explicit stack: pages nest deeper than a thread's stack allows.
    struct Pending
    {
        const GumboNode *g;
        int parent;
    };
    std::vector<Pending> stack;
    const GumboVector *top = childrenOf(output->document);
    for (unsigned i = top->length; i-- > 0;)
        stack.push_back({static_cast<const GumboNode *>(top->data[i]), -1});
    std::vector<int> lastChild;
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        Node n;
        n.g = p.g;
        n.parent = p.parent;
        switch (p.g->type) {
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            n.kind = Kind::Element;
            n.tag = tagNameOf(p.g->v.element);
            break;
        case GUMBO_NODE_COMMENT:
            n.kind = Kind::Comment;
            break;
        default:
            n.kind = Kind::Text;
            n.utf16Length = int(QString::fromUtf8(p.g->v.text.text).size());
            break;
        }
        if (n.kind != Kind::Element) {
            const GumboText &t = p.g->v.text;
            n.s = int(t.start_pos.offset);
            n.e = n.s + int(t.original_text.length);
            // The parser drops the CR of a CR LF before it counts; it belongs here.
            if (n.kind == Kind::Text && n.s > 0 && utf8[n.s - 1] == '\r' && n.s < utf8.size() &&
                utf8[n.s] == '\n')
                --n.s;
        }
        const int index = int(nodes.size());
        if (n.kind == Kind::Text && p.parent >= 0)
            n.textKind = textKindOf(nodes[size_t(p.parent)].tag);
        nodes.push_back(std::move(n));
        lastChild.push_back(-1);
        if (p.parent < 0) {
            if (!documentChildren.empty())
                nodes[size_t(documentChildren.back())].nextSibling = index;
            documentChildren.push_back(index);
        } else {
            Node &parent = nodes[size_t(p.parent)];
            if (parent.firstChild < 0)
                parent.firstChild = index;
            else
                nodes[size_t(lastChild[size_t(p.parent)])].nextSibling = index;
            lastChild[size_t(p.parent)] = index;
            ++parent.childCount;
        }
        if (const GumboVector *kids = childrenOf(p.g))
            for (unsigned i = kids->length; i-- > 0;)
                stack.push_back({static_cast<const GumboNode *>(kids->data[i]), index});
    }
}

// The parser ends a form without recording its end tag, and puts the white
// space before "</form>" after the form, where the engine keeps it inside.
// Give the form its end tag back and the white space its place.
void SourceModel::Impl::fixFormEnds()
{
    static const QRegularExpression split(QStringLiteral("^(\\s*)(</form\\s*>)(\\s*)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const size_t count = nodes.size();
    for (size_t i = 0; i < count; ++i) {
        if (nodes[i].kind != Kind::Element || nodes[i].tag != QLatin1String("form") ||
            nodes[i].g->v.element.original_end_tag.length > 0)
            continue;
        const int next = nodes[i].nextSibling;
        if (next < 0 || nodes[size_t(next)].kind != Kind::Text)
            continue;
        Node &after = nodes[size_t(next)];
        const QString source = QString::fromUtf8(utf8.constData() + after.s, after.e - after.s);
        const QRegularExpressionMatch m = split.match(source);
        if (!m.hasMatch())
            continue;
        const auto normalised = [](QString t) {
            return t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        };
        const int tagStart = after.s + int(m.captured(1).toUtf8().size());
        const int tagEnd = tagStart + int(m.captured(2).toUtf8().size());
        nodes[i].endStart = tagStart; // taken by measure() as the form's own
        nodes[i].endEnd = tagEnd;
        if (!m.captured(1).isEmpty()) {
            Node inside;
            inside.kind = Kind::Text;
            inside.parent = int(i);
            inside.s = after.s;
            inside.e = tagStart;
            inside.overridden = true;
            inside.decoded = normalised(m.captured(1));
            inside.utf16Length = int(inside.decoded.size());
            const int index = int(nodes.size());
            nodes.push_back(std::move(inside));
            Node &form = nodes[i];
            int last = form.firstChild;
            while (last >= 0 && nodes[size_t(last)].nextSibling >= 0)
                last = nodes[size_t(last)].nextSibling;
            if (last < 0)
                form.firstChild = index;
            else
                nodes[size_t(last)].nextSibling = index;
            ++form.childCount;
        }
        Node &rest = nodes[size_t(next)];
        rest.s = tagEnd;
        rest.overridden = true;
        rest.decoded = normalised(m.captured(3));
        rest.utf16Length = int(rest.decoded.size());
        if (rest.decoded.isEmpty()) {
            rest.dropped = true;
            nodes[i].nextSibling = rest.nextSibling;
            if (rest.parent >= 0)
                --nodes[size_t(rest.parent)].childCount;
        }
    }
}

// The engine keeps adjacent text as one node; the parser sometimes does not.
// Whether a node's source starts in [a, b).
bool SourceModel::Impl::beginsBetween(int a, int b) const
{
    const auto it = std::lower_bound(begins.begin(), begins.end(), a);
    return it != begins.end() && *it < b;
}

void SourceModel::Impl::mergeAdjacentText()
{
    for (Node &n : nodes) {
        if (n.dropped || n.kind != Kind::Text)
            continue;
        while (n.nextSibling >= 0 && nodes[size_t(n.nextSibling)].kind == Kind::Text &&
               !nodes[size_t(n.nextSibling)].dropped) {
            Node &next = nodes[size_t(n.nextSibling)];
            // Another node between the two (a comment the parser moved out
            // of the body): the text's source is not one piece.
            if (beginsBetween(n.e, next.s))
                n.trouble = true;
            n.decoded = decodedOf(n) + decodedOf(next);
            n.overridden = true;
            n.utf16Length = int(n.decoded.size());
            n.e = next.e;
            next.dropped = true;
            n.nextSibling = next.nextSibling;
            if (n.parent >= 0)
                --nodes[size_t(n.parent)].childCount;
        }
    }
}

// Where a node's source lies, and whether it is one clean piece.
void SourceModel::Impl::measure(int index)
{
    Node &n = nodes[size_t(index)];
    const GumboNode *g = n.g;
    if (n.kind != Kind::Element) {
        n.whole = true;
        n.contentStart = n.s;
        return;
    }
    const GumboElement &el = g->v.element;
    const unsigned flags = g->parse_flags;
    if (flags & (GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT | GUMBO_INSERTION_ADOPTION_AGENCY_CLONED |
                 GUMBO_INSERTION_ADOPTION_AGENCY_MOVED | GUMBO_INSERTION_FOSTER_PARENTED))
        n.trouble = true;
    // Made by the parser from another token (a stray end tag): it has no
    // start tag of its own to rebuild it from.
    if ((flags & GUMBO_INSERTION_BY_PARSER) && !(flags & GUMBO_INSERTION_IMPLIED) &&
        !(flags & GUMBO_INSERTION_CONVERTED_FROM_END_TAG))
        n.trouble = true;
    if (el.original_tag.length > 0 && !(flags & GUMBO_INSERTION_BY_PARSER)) {
        n.tagStart = int(el.start_pos.offset);
        n.tagEnd = n.tagStart + int(el.original_tag.length);
    }
    if (el.original_end_tag.length > 0 && !(flags & GUMBO_INSERTION_IMPLICIT_END_TAG)) {
        // The end tag must name this element; the parser hands a closing tag
        // to every element it closes.
        const QByteArray end(el.original_end_tag.data, qsizetype(el.original_end_tag.length));
        const QByteArray name = n.tag.toUtf8();
        if (end.size() > name.size() + 1 && end.startsWith("</") &&
            end.mid(2, name.size()).compare(name, Qt::CaseInsensitive) == 0) {
            n.endStart = int(el.end_pos.offset);
            n.endEnd = n.endStart + int(el.original_end_tag.length);
        }
    }
    n.contentStart = n.tagStart >= 0 ? n.tagEnd : -1;
    int cursor = n.contentStart;
    int first = -1;
    int last = -1;
    bool childrenWhole = true;
    for (int c = n.firstChild; c >= 0; c = nodes[size_t(c)].nextSibling) {
        Node &child = nodes[size_t(c)];
        if (!child.trouble && cursor >= 0 && child.s < cursor)
            child.trouble = true; // its source overlaps what came before
        if (child.trouble) {
            childrenWhole = false;
            continue;
        }
        // Something that stood between two children in the source lives
        // elsewhere now: the children are copied one by one, not the gap.
        if (cursor >= 0 && beginsBetween(cursor, child.s))
            childrenWhole = false;
        childrenWhole = childrenWhole && child.whole;
        if (first < 0)
            first = child.s;
        last = child.e;
        cursor = child.e;
    }
    if (n.tagStart >= 0)
        n.s = n.tagStart;
    else if (first >= 0)
        n.s = first;
    else
        n.s = n.endStart >= 0 ? n.endStart : int(el.start_pos.offset);
    if (n.contentStart < 0)
        n.contentStart = n.s;
    n.e = std::max({n.s, n.tagEnd, last, n.endEnd});
    if (cursor >= 0 && n.endStart >= cursor && beginsBetween(cursor, n.endStart))
        childrenWhole = false;
    // An end tag among the children's source must lie inside a child's
    // (swallowed by its text, as "</body>" often is), not across one.
    for (int c = n.firstChild; c >= 0 && n.endStart >= 0; c = nodes[size_t(c)].nextSibling) {
        const Node &child = nodes[size_t(c)];
        if (!child.trouble && child.s < n.endEnd && child.e > n.endStart &&
            !(child.s <= n.endStart && child.e >= n.endEnd))
            n.trouble = true;
    }
    n.whole = !n.trouble && childrenWhole;
}

bool SourceModel::Impl::gapIsClean(int a, int b) const
{
    if (a >= b)
        return false;
    // No node's source may start inside a gap; a gap holds only what the
    // parser ignored (white space in odd places, stray tags, the doctype).
    const auto it = std::lower_bound(starts.begin(), starts.end(), a);
    return it == starts.end() || *it >= b;
}

// The new text of a text node, keeping the source of the parts that did not
// change: entities, line breaks and tags the text swallowed stay as written.
// A walk through a text node's source beside its decoded text: the source
// offset of each position of the text (-1 inside a character written as more
// than one unit), and each character reference met, as decoded and as
// written. False when the two do not match up.
bool SourceModel::Impl::walkText(const Node &n, std::vector<int> &at,
                                 QList<QPair<QString, QString>> *references) const
{
    const QString decoded = decodedOf(n);
    const char *src = utf8.constData();
    at.assign(size_t(decoded.size()) + 1, -1);
    int i = n.s;
    qsizetype j = 0;
    at[0] = i;
    QString unit;
    while (i < n.e) {
        const char c = src[i];
        int len = 0;
        unit.clear();
        if (c == '\r') {
            len = (i + 1 < n.e && src[i + 1] == '\n') ? 2 : 1;
            unit = QStringLiteral("\n");
        } else if (c == '&' && n.textKind != 1) {
            len = referenceAt(src + i, n.e - i, decoded, j, unit);
            if (references && len > 1)
                references->append({unit, QString::fromUtf8(src + i, len)});
        } else if (c == '<' && n.textKind == 0 && (j >= decoded.size() || decoded[j] != u'<')) {
            // A tag the parser ignored inside the text: it stands for nothing.
            const qsizetype close = utf8.indexOf('>', i);
            if (close < 0 || close >= n.e)
                return false;
            i = int(close) + 1;
            continue;
        } else {
            char32_t cp = 0;
            len = utf8Char(src + i, n.e - i, cp);
            appendCodePoint(unit, cp == 0 ? 0xFFFD : cp);
        }
        if (len == 0 || QStringView(decoded).mid(j, unit.size()) != unit)
            return false;
        i += len;
        j += unit.size();
        at[size_t(j)] = i;
    }
    return j == decoded.size();
}

// The new text of a text node, keeping the source of the parts that did not
// change: entities, line breaks and tags the text swallowed stay as written.
SourceModel::Impl::Merged SourceModel::Impl::mergeText(const Node &n, QString newData,
                                                       const std::function<QString(QString)> &spell,
                                                       const Spaces &spaces) const
{
    const QString oldData = decodedOf(n);
    const int kind = n.textKind;
    const char *src = utf8.constData();
    std::vector<int> at;
    const bool ok = walkText(n, at, nullptr);
    const qsizetype j = ok ? oldData.size() : -1;
    if (!ok || j != oldData.size())
        return {spell(escapeText(newData, kind)), -1};

    // Line breaks and indentation the engine dropped at the edge of a block
    // stay as the source has them: they show nothing there.
    const auto isSpace = [](QChar c) { return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r'; };
    if (spaces.blockEnd) {
        qsizetype t = oldData.size();
        while (t > 0 && isSpace(oldData[t - 1]))
            --t;
        const QStringView trail = QStringView(oldData).mid(t);
        const QStringView body = QStringView(oldData).left(t);
        // Only while the text before it still ends the node: a node the
        // engine split keeps its end with the half that holds it.
        const bool stillEnds = body.isEmpty() || newData.isEmpty() || newData.back() == body.back() ||
                               QStringView(newData).startsWith(body);
        if (trail.contains(u'\n') && stillEnds && (newData.isEmpty() || !isSpace(newData.back())))
            newData += trail;
    }
    if (spaces.blockStart) {
        qsizetype h = 0;
        while (h < oldData.size() && isSpace(oldData[h]))
            ++h;
        const QStringView lead = QStringView(oldData).left(h);
        const QStringView body = QStringView(oldData).mid(h);
        // Only while the text after it still starts the node (or was typed
        // before): when Enter moves the node's start into a block of its
        // own, its line break went with it, and the engine's text has none.
        const bool stillStarts = body.isEmpty() || newData.isEmpty() || newData.front() == body.front() ||
                                 QStringView(newData).endsWith(body);
        if (lead.contains(u'\n') && stillStarts && (newData.isEmpty() || !isSpace(newData.front())))
            newData.prepend(lead);
    }
    // A space the engine turned into a no-break space beside what was
    // inserted is kept as the space it was.
    const auto same = [&](QChar before, QChar now) {
        return before == now || (spaces.collapsible && before == u' ' && now == QChar(0xA0));
    };
    qsizetype p = 0;
    const qsizetype common = std::min(oldData.size(), newData.size());
    while (p < common && same(oldData[p], newData[p]))
        ++p;
    qsizetype q = 0;
    while (q < common - p && same(oldData[oldData.size() - 1 - q], newData[newData.size() - 1 - q]))
        ++q;
    while (p > 0 && at[size_t(p)] < 0)
        --p;
    while (q > 0 && at[size_t(oldData.size() - q)] < 0)
        --q;
    // A reference written without its ";" would take letters typed after it.
    if (p > 0 && p < newData.size() - q) {
        int back = at[size_t(p)] - 1;
        while (back >= n.s && isAsciiAlnum(src[back]))
            --back;
        if (back >= n.s && src[back] == '&' && src[at[size_t(p)] - 1] != ';')
            while (p > 0 && (at[size_t(p)] < 0 || at[size_t(p)] > back))
                --p;
    }
    const int headEnd = at[size_t(p)];
    const int tailStart = at[size_t(oldData.size() - q)];
    QString middle = spell(escapeText(QStringView(newData).mid(p, newData.size() - p - q), kind));
    if (lineBreak.size() == 2)
        middle.replace(u'\n', lineBreak);
    return {QString::fromUtf8(src + n.s, headEnd - n.s) + middle +
                QString::fromUtf8(src + tailStart, n.e - tailStart),
            tailStart};
}

SourceModel::SourceModel(const QString &text, int quirks) : d(std::make_unique<Impl>())
{
    d->text = text;
    d->utf8 = text.toUtf8();
    d->build(quirks);
}

SourceModel::~SourceModel() = default;

const QString &SourceModel::text() const
{
    return d->text;
}

int SourceModel::Impl::bodyNode() const
{
    for (const int top : documentChildren) {
        if (nodes[size_t(top)].tag != QLatin1String("html"))
            continue;
        for (int c = nodes[size_t(top)].firstChild; c >= 0; c = nodes[size_t(c)].nextSibling)
            if (nodes[size_t(c)].tag == QLatin1String("body"))
                return c;
    }
    return -1;
}

QString SourceModel::bodyChildSource(int k, const QString &tag) const
{
    const int body = d->bodyNode();
    int c = body >= 0 ? d->nodes[size_t(body)].firstChild : -1;
    for (int i = 0; c >= 0 && i < k; ++i)
        c = d->nodes[size_t(c)].nextSibling;
    if (c < 0)
        return {};
    const Node &n = d->nodes[size_t(c)];
    // It must close itself, or it would take in what follows it in the page.
    if (n.kind != Kind::Element || n.tag != tag.toLower() || !n.whole || (n.endStart < 0 && !isVoid(n.tag)))
        return {};
    return QString::fromUtf8(d->utf8.constData() + n.s, n.e - n.s);
}

QList<QPair<QString, QString>> SourceModel::textSpellings() const
{
    // Each character reference, as the engine writes its character and as typed.
    QList<QPair<QString, QString>> references;
    std::vector<int> at;
    for (const Node &n : d->nodes)
        if (n.kind == Kind::Text && n.textKind != 1 && !n.dropped)
            d->walkText(n, at, &references);
    QList<QPair<QString, QString>> out;
    for (const auto &[character, written] : std::as_const(references)) {
        const QString plain = escapeText(character, 0);
        if (plain != written && !out.contains({plain, written}))
            out.append({plain, written});
    }
    return out;
}

namespace {
// As the engine escapes: "&" and the no-break space everywhere, "<" and ">"
// in text, the double quote in attribute values.
QString escaped(QStringView text, bool attribute)
{
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'&')
            out += QLatin1String("&amp;");
        else if (u == 0xA0)
            out += QLatin1String("&nbsp;");
        else if (!attribute && u == u'<')
            out += QLatin1String("&lt;");
        else if (!attribute && u == u'>')
            out += QLatin1String("&gt;");
        else if (attribute && u == u'"')
            out += QLatin1String("&quot;");
        else
            out += c;
    }
    return out;
}
} // namespace

QString SourceModel::escapeText(QStringView text, int kind)
{
    return kind == 1 ? text.toString() : escaped(text, false);
}

QString SourceModel::escapeAttribute(QStringView value)
{
    return escaped(value, true);
}

QString SourceModel::sourceShape() const
{
    QStringList out;
    std::vector<std::pair<int, bool>> stack; // node, and whether its children were listed
    // Pushed last first, so that they come off the stack in order.
    for (size_t i = d->documentChildren.size(); i-- > 0;)
        stack.emplace_back(d->documentChildren[i], false);
    while (!stack.empty()) {
        auto [index, opened] = stack.back();
        stack.pop_back();
        const Node &n = d->nodes[size_t(index)];
        if (opened) {
            out << QStringLiteral(")");
            continue;
        }
        if (n.kind == Kind::Comment) {
            out << QStringLiteral("C");
        } else if (n.kind == Kind::Text) {
            out << u'T' + QString::number(n.utf16Length);
        } else {
            out << u'E' + n.tag;
            stack.emplace_back(index, true);
            std::vector<int> kids;
            for (int c = n.firstChild; c >= 0; c = d->nodes[size_t(c)].nextSibling)
                kids.push_back(c);
            for (size_t i = kids.size(); i-- > 0;)
                stack.emplace_back(kids[i], false);
        }
    }
    return out.join(u' ');
}

QByteArray SourceModel::unchangedRecipe(const QString &shape)
{
    QStringList top;
    int index = 0;
    int depth = 0;
    for (const QStringView token : QStringView(shape).split(u' ', Qt::SkipEmptyParts)) {
        if (token == u")") {
            --depth;
            continue;
        }
        if (depth == 0)
            top << QString::number(index);
        ++index;
        if (token.startsWith(u'E'))
            ++depth;
    }
    return (u'[' + top.join(u',') + u']').toUtf8();
}

SourceModel::Alignment SourceModel::align(const QString &shape)
{
    Alignment result;
    d->domToNode.clear();
    if (!d->output)
        return result;

    // The shape: one token per node of the walk, separated by spaces:
    // "E<name>" opens an element, ")" closes it, "T<length>" is text, "C" a comment.
    std::vector<DomNode> dom;
    std::vector<int> topLevel;
    {
        int open = -1;
        for (const QStringView token : QStringView(shape).split(u' ', Qt::SkipEmptyParts)) {
            if (token == u")") {
                if (open >= 0)
                    open = dom[size_t(open)].parent;
                continue;
            }
            DomNode n;
            n.parent = open;
            if (token.startsWith(u'E')) {
                n.kind = Kind::Element;
                n.tag = token.mid(1).toString().toLower();
            } else if (token.startsWith(u'T')) {
                n.kind = Kind::Text;
                n.length = token.mid(1).toInt();
            } else {
                n.kind = Kind::Comment;
            }
            const int index = int(dom.size());
            if (open >= 0)
                dom[size_t(open)].children.append(index);
            else
                topLevel.push_back(index);
            const bool element = n.kind == Kind::Element;
            dom.push_back(std::move(n));
            if (element)
                open = index;
        }
    }
    d->domToNode.assign(dom.size(), -1);
    std::vector<char> domWhole(dom.size(), 0);

    const auto matches = [&](int di, int gi) {
        const DomNode &a = dom[size_t(di)];
        const Node &b = d->nodes[size_t(gi)];
        if (a.kind != b.kind)
            return false;
        if (a.kind == Kind::Element)
            return a.tag == b.tag;
        return a.kind == Kind::Comment || a.length == b.utf16Length;
    };
    const auto subtreeEnd = [&](int di) {
        // The last number in di's subtree: its last descendant's.
        while (!dom[size_t(di)].children.isEmpty())
            di = dom[size_t(di)].children.constLast();
        return di;
    };
    const auto giveUp = [&](int di) {
        result.unaligned.append({di, subtreeEnd(di)});
        ++result.fallbacks;
    };

    // Pairs of child lists to match, worked off a stack.
    struct Lists
    {
        QList<int> domChildren;
        int gFirst;
    };
    std::vector<Lists> work;
    work.push_back({QList<int>(topLevel.begin(), topLevel.end()),
                    d->documentChildren.empty() ? -1 : d->documentChildren.front()});
    while (!work.empty()) {
        const Lists lists = std::move(work.back());
        work.pop_back();
        std::vector<int> g;
        for (int c = lists.gFirst; c >= 0; c = d->nodes[size_t(c)].nextSibling)
            g.push_back(c);
        const QList<int> &dl = lists.domChildren;
        size_t i = 0;
        size_t j = 0;
        while (i < size_t(dl.size())) {
            const int di = dl[qsizetype(i)];
            if (j < g.size() && matches(di, g[j])) {
                const Node &gn = d->nodes[size_t(g[j])];
                if (gn.trouble) {
                    giveUp(di);
                } else {
                    d->domToNode[size_t(di)] = g[j];
                    if (gn.kind == Kind::Element)
                        work.push_back({dom[size_t(di)].children, gn.firstChild});
                }
                ++i;
                ++j;
            } else if (i + 1 < size_t(dl.size()) && j < g.size() && matches(dl[qsizetype(i) + 1], g[j])) {
                giveUp(di); // the engine has a node the source lacks
                ++i;
            } else if (j + 1 < g.size() && matches(di, g[j + 1])) {
                ++j; // the source has a node the engine lacks
            } else {
                giveUp(di);
                ++i;
                ++j;
            }
        }
    }
    // Whole: the node and all below it are matched one to one with a clean source.
    for (int di = int(dom.size()); di-- > 0;) {
        const int gi = d->domToNode[size_t(di)];
        if (gi < 0)
            continue;
        const Node &gn = d->nodes[size_t(gi)];
        bool whole = gn.whole && dom[size_t(di)].children.size() == gn.childCount;
        for (const int c : dom[size_t(di)].children)
            whole = whole && domWhole[size_t(c)];
        domWhole[size_t(di)] = whole;
        if (!whole && gn.kind == Kind::Element)
            result.notWhole.append(di);
    }
    return result;
}

namespace {

// Turns a recipe into text.
class Assembler
{
public:
    Assembler(const SourceModel::Impl &m, std::function<bool(const QString &)> exists,
              const QStringList &typed)
        : m(m), exists(std::move(exists))
    {
        for (const QString &t : typed) {
            typedModels.push_back(std::make_unique<SourceModel>(t));
            spellings += typedModels.back()->textSpellings();
        }
        // Longer spellings first, so that a run is taken whole.
        std::sort(spellings.begin(), spellings.end(),
                  [](const auto &a, const auto &b) { return a.first.size() > b.first.size(); });
    }

    bool run(const QJsonArray &top)
    {
        emitList(top, -1, true);
        return !failed;
    }
    QByteArray out; // UTF-8, turned into text once at the end
    QString error;
    bool failed = false;

private:
    const SourceModel::Impl &m;
    std::function<bool(const QString &)> exists;
    std::vector<std::unique_ptr<SourceModel>> typedModels;
    QList<QPair<QString, QString>> spellings;
    std::vector<std::pair<int, int>> copied;

    void put(const QString &text) { out += text.toUtf8(); }

    // Text written afresh keeps the spelling the user typed it in.
    QString spell(QString escaped) const
    {
        for (const auto &[plain, typed] : spellings)
            if (escaped.contains(plain))
                escaped.replace(plain, typed);
        return escaped;
    } // source ranges copied as they were, latest last

    const Node *nodeOf(int domIndex)
    {
        if (domIndex < 0 || size_t(domIndex) >= m.domToNode.size() || m.domToNode[size_t(domIndex)] < 0) {
            fail(QStringLiteral("node %1 has no source").arg(domIndex));
            return nullptr;
        }
        return &m.nodes[size_t(m.domToNode[size_t(domIndex)])];
    }
    void fail(const QString &why)
    {
        if (!failed)
            error = why;
        failed = true;
    }
    void copy(int a, int b)
    {
        if (a >= b)
            return;
        out.append(m.utf8.constData() + a, b - a);
        copied.emplace_back(a, b);
    }
    bool covered(int a, int b) const
    {
        const size_t n = copied.size();
        for (size_t k = n; k-- > 0 && k + 8 >= n;)
            if (copied[k].first <= a && b <= copied[k].second)
                return true;
        return false;
    }
    // The source node an item stands for: a copy, a rebuilt element or
    // changed text; for a run, its first node (or its last, when last).
    int originalOf(const QJsonValue &item, bool last = false) const
    {
        int di = -1;
        if (item.isDouble()) {
            di = item.toInt(-1);
        } else if (item.isObject()) {
            const QJsonObject o = item.toObject();
            if (o.contains(QLatin1String("r")))
                di = o.value(QLatin1String("r")).toArray().at(last ? 1 : 0).toInt(-1);
            else
                di = o.value(QLatin1String(o.contains(QLatin1String("e")) ? "e" : "n")).toInt(-1);
        }
        return di >= 0 && size_t(di) < m.domToNode.size() ? m.domToNode[size_t(di)] : -1;
    }
    QString fresh(const QString &s) const
    {
        if (m.lineBreak.size() == 2 && s.contains(u'\n')) {
            QString t = s;
            return t.replace(u'\n', m.lineBreak);
        }
        return s;
    }

    // The children of parent (a node index; -1 the document; -2 a node
    // written afresh), copying the source between children that stood side
    // by side in it, then the parent's own end tag unless copied text holds it.
    void emitList(const QJsonArray &items, int parent, bool parentOriginal)
    {
        const Node *p = parent >= 0 ? &m.nodes[size_t(parent)] : nullptr;
        const int firstOriginal = parent == -1
                                      ? (m.documentChildren.empty() ? -1 : m.documentChildren.front())
                                      : (p ? p->firstChild : -1);
        int cursor = parent == -1 ? 0 : (p ? p->contentStart : -1); // where the next gap would start
        int previous = -2;                                          // -2: nothing emitted yet
        bool endDone = !p || p->endStart < 0;
        const auto endTag = [&](bool adjacent) {
            if (adjacent && cursor >= 0 && p->endStart >= cursor && m.gapIsClean(cursor, p->endStart))
                copy(cursor, p->endStart);
            if (!covered(p->endStart, p->endEnd))
                copy(p->endStart, p->endEnd);
            endDone = true;
            cursor = p->endEnd;
        };
        for (qsizetype k = 0; k < items.size() && !failed; ++k) {
            const QJsonValue item = items[k];
            const int g = parentOriginal ? originalOf(item) : -1;
            const bool adjacent =
                g >= 0 && (previous == -2 ? g == firstOriginal
                                          : previous >= 0 && m.nodes[size_t(previous)].nextSibling == g);
            // The element before was closed by what followed it in the
            // source; something else follows now, so it closes itself.
            if (previous >= 0 && !adjacent)
                closeIfOpen(m.nodes[size_t(previous)]);
            if (g >= 0) {
                const Node &n = m.nodes[size_t(g)];
                // Children that stood after the end tag (white space after
                // "</body>") stay after it.
                if (!endDone && n.s >= p->endEnd)
                    endTag(adjacent);
                if (adjacent && cursor >= 0 && m.gapIsClean(cursor, n.s))
                    copy(cursor, n.s);
            }
            emitItem(item, parent);
            previous = parentOriginal ? originalOf(item, true) : -1;
            cursor = previous >= 0 ? m.nodes[size_t(previous)].e : -1;
        }
        const bool lastIsLast =
            previous >= 0 ? m.nodes[size_t(previous)].nextSibling < 0 : previous == -2 && firstOriginal < 0;
        if (!endDone)
            endTag(lastIsLast);
        else if (parent == -1 && lastIsLast && cursor >= 0 && m.gapIsClean(cursor, int(m.utf8.size())))
            copy(cursor, int(m.utf8.size()));
    }

    // The element's name as its start tag spells it.
    QString writtenName(const Node &n) const
    {
        const QString written = QString::fromUtf8(m.utf8.constData() + n.tagStart, n.tagEnd - n.tagStart);
        qsizetype end = 1;
        while (end < written.size() && !written[end].isSpace() && written[end] != u'>' &&
               written[end] != u'/')
            ++end;
        return written.mid(1, end - 1);
    }

    void closeIfOpen(const Node &n)
    {
        if (n.kind == Kind::Element && n.tagStart >= 0 && n.endStart < 0 && !isVoid(n.tag) &&
            !QString::fromUtf8(m.utf8.constData() + n.tagStart, n.tagEnd - n.tagStart)
                 .endsWith(QLatin1String("/>")))
            put(QStringLiteral("</") + writtenName(n) + u'>');
    }

    void startTag(const Node *n, const QString &tag, const QJsonArray &attrs)
    {
        // Attributes that kept their value keep their text as written.
        const GumboVector *original = n ? &n->g->v.element.attributes : nullptr;
        QString name = tag;
        QString ending = QStringLiteral(">");
        if (n && n->tagStart >= 0) {
            const QString written =
                QString::fromUtf8(m.utf8.constData() + n->tagStart, n->tagEnd - n->tagStart);
            qsizetype end = 1;
            while (end < written.size() && !written[end].isSpace() && written[end] != u'>' &&
                   written[end] != u'/')
                ++end;
            name = written.mid(1, end - 1);
            if (written.endsWith(QLatin1String("/>")))
                ending = QStringLiteral("/>");
        }
        put(u'<' + name);
        for (const auto &a : attrs) {
            const QJsonArray pair = a.toArray();
            const QString attrName = pair.at(0).toString();
            QString value = pair.at(1).toString();
            bool kept = false;
            for (unsigned i = 0; original && i < original->length && !kept; ++i) {
                const auto *ga = static_cast<const GumboAttribute *>(original->data[i]);
                if (QString::fromUtf8(ga->name).compare(attrName, Qt::CaseInsensitive) == 0 &&
                    QString::fromUtf8(ga->value) == value) {
                    const int from = int(ga->name_start.offset);
                    const int to =
                        ga->original_value.length ? int(ga->value_end.offset) : int(ga->name_end.offset);
                    if (to > from) {
                        out += ' ';
                        out.append(m.utf8.constData() + from, to - from);
                        kept = true;
                    }
                }
            }
            if (!kept && isReferenceName(attrName))
                value = pathrel::localFileReference(value, exists);
            if (!kept)
                put(u' ' + attrName + QStringLiteral("=\"") + fresh(SourceModel::escapeAttribute(value)) +
                    u'"');
        }
        put(ending);
    }

    // Nodes that followed each other in the source, copied with what stood
    // between them.
    // A text that took in tags the parser ignored ("</body>") is copied as
    // written only where it stood; moved elsewhere, its text alone goes.
    bool copyText(const Node &n, int parent)
    {
        if (n.kind != Kind::Text || n.parent == parent ||
            QByteArrayView(m.utf8.constData() + n.s, n.e - n.s).indexOf('<') < 0)
            return false;
        put(SourceModel::escapeText(m.decodedOf(n), n.textKind));
        return true;
    }

    void emitRun(const QJsonArray &run, int parent)
    {
        const Node *first = nodeOf(run.at(0).toInt(-1));
        const Node *last = nodeOf(run.at(1).toInt(-1));
        const int count = run.at(2).toInt();
        if (!first || !last)
            return;
        int at = int(first - m.nodes.data());
        for (int i = 0; i < count; ++i) {
            const Node *n = at >= 0 ? &m.nodes[size_t(at)] : nullptr;
            if (!n || !n->whole) {
                fail(QStringLiteral("a run that is not in the source"));
                return;
            }
            at = n->nextSibling;
            if (i + 1 == count && n != last) {
                fail(QStringLiteral("a run that ends elsewhere in the source"));
                return;
            }
        }
        if (first->parent != parent) {
            // Moved as a whole into another element: node by node.
            for (int node = int(first - m.nodes.data()); node >= 0;
                 node = m.nodes[size_t(node)].nextSibling) {
                const Node &n = m.nodes[size_t(node)];
                if (!copyText(n, parent))
                    copy(n.s, n.e);
                if (&n == last)
                    break;
            }
            return;
        }
        // Siblings in a row: the source from the first to the last, where no
        // gap between them holds another node's source.
        int from = first->s;
        for (int node = int(first - m.nodes.data()); node >= 0 && &m.nodes[size_t(node)] != last;) {
            const Node &n = m.nodes[size_t(node)];
            const Node &next = m.nodes[size_t(n.nextSibling)];
            if (next.s > n.e && !m.gapIsClean(n.e, next.s)) {
                copy(from, n.e);
                from = next.s;
            }
            node = n.nextSibling;
        }
        copy(from, last->e);
    }

    void emitItem(const QJsonValue &item, int parent)
    {
        if (item.isObject() && item.toObject().contains(QLatin1String("r"))) {
            emitRun(item.toObject().value(QLatin1String("r")).toArray(), parent);
            return;
        }
        if (item.isDouble()) {
            const Node *n = nodeOf(item.toInt(-1));
            if (!n || copyText(*n, parent))
                return;
            if (!n->whole) {
                fail(QStringLiteral("node %1 is not one piece").arg(item.toInt()));
                return;
            }
            copy(n->s, n->e);
            return;
        }
        const QJsonObject o = item.toObject();
        if (o.contains(QLatin1String("e"))) {
            const Node *n = nodeOf(o.value(QLatin1String("e")).toInt(-1));
            if (!n)
                return;
            if (n->kind != Kind::Element) {
                fail(QStringLiteral("node is no element"));
                return;
            }
            if (o.contains(QLatin1String("a")))
                startTag(n, n->tag, o.value(QLatin1String("a")).toArray());
            else if (n->tagStart >= 0)
                copy(n->tagStart, n->tagEnd);
            emitList(o.value(QLatin1String("c")).toArray(), int(n - m.nodes.data()), true);
        } else if (o.contains(QLatin1String("t"))) {
            const QString data = o.value(QLatin1String("t")).toString();
            if (o.contains(QLatin1String("n"))) {
                const Node *n = nodeOf(o.value(QLatin1String("n")).toInt(-1));
                if (!n)
                    return;
                SourceModel::Impl::Spaces spaces;
                spaces.collapsible = o.contains(QLatin1String("ws"));
                spaces.blockStart = o.contains(QLatin1String("bs"));
                spaces.blockEnd = o.contains(QLatin1String("be"));
                const SourceModel::Impl::Merged merged = m.mergeText(
                    *n, data, [this](QString t) { return spell(std::move(t)); }, spaces);
                put(merged.text);
                if (merged.tailStart >= 0)
                    copied.emplace_back(merged.tailStart, n->e);
            } else {
                const int kind = o.value(QLatin1String("k")).toInt();
                const QString escaped = SourceModel::escapeText(data, kind);
                put(fresh(kind == 1 ? escaped : spell(escaped)));
            }
        } else if (o.contains(QLatin1String("f"))) {
            const QString tag = o.value(QLatin1String("f")).toString();
            startTag(nullptr, tag, o.value(QLatin1String("a")).toArray());
            emitList(o.value(QLatin1String("c")).toArray(), -2, false);
            if (!isVoid(tag))
                put(QStringLiteral("</") + tag + u'>');
        } else if (o.contains(QLatin1String("y"))) {
            // An element made as the user typed it: written as typed.
            const int which = o.value(QLatin1String("y")).toInt(-1);
            QString typed;
            if (which >= 0 && size_t(which) < typedModels.size())
                typed = typedModels[size_t(which)]->bodyChildSource(o.value(QLatin1String("k")).toInt(-1),
                                                                    o.value(QLatin1String("tag")).toString());
            put(typed.isEmpty() ? fresh(spell(o.value(QLatin1String("h")).toString())) : typed);
        } else if (o.contains(QLatin1String("h"))) {
            put(fresh(spell(o.value(QLatin1String("h")).toString())));
        } else if (o.contains(QLatin1String("m"))) {
            put(QStringLiteral("<!--") + o.value(QLatin1String("m")).toString() + QStringLiteral("-->"));
        } else {
            fail(QStringLiteral("unknown recipe item"));
        }
    }
};

} // namespace

SourceModel::Assembled SourceModel::assemble(const QByteArray &recipeJson,
                                             const std::function<bool(const QString &)> &exists) const
{
    Assembled result;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(recipeJson, &error);
    // The recipe: its items, with the markup typed since the page was loaded.
    const QJsonArray items =
        doc.isObject() ? doc.object().value(QLatin1String("items")).toArray() : doc.array();
    QStringList typed;
    for (const auto &t : doc.object().value(QLatin1String("typed")).toArray())
        typed << t.toString();
    if (error.error != QJsonParseError::NoError || (!doc.isArray() && !doc.isObject())) {
        result.error =
            QStringLiteral("the page's description could not be read (%1)").arg(error.errorString());
        return result;
    }
    if (!d->output) {
        result.error = QStringLiteral("the page's source could not be parsed");
        return result;
    }
    std::function<bool(const QString &)> check = exists;
    if (!check)
        check = [](const QString &path) { return QFileInfo::exists(path); };
    Assembler a(*d, std::move(check), typed);
    result.ok = a.run(items);
    result.error = a.error;
    if (result.ok)
        result.text = QString::fromUtf8(a.out);
    return result;
}

} // namespace surface
