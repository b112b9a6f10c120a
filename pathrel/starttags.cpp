#include "pathrel/starttags.h"

#include <cstring>

namespace pathrel {
namespace {

// The parser reads a carriage return as a line feed.
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The names this reading vouches for; anything else the parser may read in
// ways not followed here.
bool plainName(QByteArrayView name)
{
    for (const char c : name)
        if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '_' && c != ':' && c != '.')
            return false;
    return !name.isEmpty();
}

bool sameNames(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// The names' lengths are known where they are written: a tag name is
// compared with several lists of them.
bool oneOf(QByteArrayView name, std::initializer_list<QByteArrayView> lowerNames)
{
    for (const QByteArrayView n : lowerNames)
        if (sameName(name, n))
            return true;
    return false;
}

// The attributes someone reads: references, and the page's ids, names, alt texts.
bool readAttribute(QByteArrayView name)
{
    return oneOf(name, {"id", "name", "alt", "src", "href", "background", "srcset", "style"});
}

// What the tree does with the tags, as far as it can drop or merge what they
// say; false wherever it could.
class TreeGuard
{
public:
    bool startTag(const StartTag &tag)
    {
        const QByteArrayView name = tag.name;
        if (oneOf(name, {"svg", "math", "template", "frameset", "frame", "select", "image", "isindex"}))
            return false; // read otherwise, renamed, or dropping what stands in them
        const auto readsAttributes = [&] {
            for (const TagAttribute &a : tag.attributes)
                if (readAttribute(a.name))
                    return true;
            return false;
        };
        if (sameName(name, "html") || sameName(name, "head"))
            return !readsAttributes(); // merged into an element made before, or dropped
        if (sameName(name, "body")) {
            // A body begun before, written or implied, takes these attributes over.
            if (inBody && readsAttributes())
                return false;
            inBody = true;
            return true;
        }
        if (sameName(name, "noscript") && !inBody)
            return false; // a head of its own, which drops what it cannot hold
        if (!oneOf(name,
                   {"base", "basefont", "bgsound", "link", "meta", "noframes", "script", "style", "title"}))
            inBody = true;
        if (sameName(name, "form")) {
            if (formOpen)
                return false; // a form in a form is dropped
            formOpen = true;
        } else if (sameName(name, "table")) {
            // A table straight in a table ends the first one.
            if (!tables.empty() && tables.back() == Table)
                return false;
            tables.push_back(Table);
        } else if (oneOf(name, {"td", "th"})) {
            if (tables.empty())
                return false; // a cell outside a table is dropped
            if (tables.back() == Cell)
                tables.pop_back();
            tables.push_back(Cell);
        } else if (oneOf(name, {"caption", "col", "colgroup", "tbody", "tfoot", "thead", "tr"})) {
            if (tables.empty())
                return false;
            if (tables.back() == Cell)
                tables.pop_back();
        }
        return true;
    }

    void endTag(QByteArrayView name)
    {
        if (oneOf(name, {"body", "html", "br"})) {
            inBody = true;
        } else if (sameName(name, "form")) {
            formOpen = false;
        } else if (oneOf(name, {"td", "th", "tr", "tbody", "thead", "tfoot"})) {
            if (!tables.empty() && tables.back() == Cell)
                tables.pop_back();
        } else if (sameName(name, "table")) {
            if (!tables.empty() && tables.back() == Cell)
                tables.pop_back();
            if (!tables.empty())
                tables.pop_back();
        }
    }

    // Text other than white space begins the body.
    void text(const char *from, const char *to)
    {
        for (; !inBody && from < to; ++from)
            if (!isSpace(*from))
                inBody = true;
    }

private:
    enum Open : char
    {
        Table,
        Cell
    };
    bool inBody = false;
    bool formOpen = false;
    std::vector<Open> tables;
};

// Finds "</name" followed by white space, "/" or ">" from p: where the text of
// a raw text element ends; the end of the page when nowhere.
const char *endTagOf(const char *p, const char *end, QByteArrayView name)
{
    for (;;) {
        p = static_cast<const char *>(std::memchr(p, '<', size_t(end - p)));
        if (!p)
            return end;
        const char *after = p + 2 + name.size();
        if (after < end && p[1] == '/' && sameNames(QByteArrayView(p + 2, name.size()), name) &&
            (isSpace(*after) || *after == '/' || *after == '>'))
            return p;
        ++p;
    }
}

bool containsNoCase(const char *from, const char *to, QByteArrayView what)
{
    for (const char *p = from; p + what.size() <= to; ++p)
        if (sameNames(QByteArrayView(p, what.size()), what))
            return true;
    return false;
}

} // namespace

bool sameName(QByteArrayView written, QByteArrayView lowerName)
{
    if (written.size() != lowerName.size())
        return false;
    for (qsizetype i = 0; i < written.size(); ++i)
        if (lower(written[i]) != lowerName[i])
            return false;
    return true;
}

bool StartTag::is(QByteArrayView lowerName) const
{
    return sameName(name, lowerName);
}

const TagAttribute *StartTag::attribute(QByteArrayView lowerName) const
{
    for (const TagAttribute &a : attributes)
        if (sameName(a.name, lowerName))
            return &a;
    return nullptr;
}

bool readStartTags(QByteArrayView utf8, const std::function<void(const StartTag &)> &f)
{
    const char *const begin = utf8.data();
    const char *const end = begin + utf8.size();
    if (std::memchr(begin, '\0', size_t(utf8.size())))
        return false; // the parser replaces it, in ways of its own per state
    TreeGuard guard;
    StartTag tag;
    const char *p = begin;
    // Past the ">" that ends a comment, doctype or bogus comment at p.
    const auto pastGreater = [&](const char *from) {
        const void *gt = std::memchr(from, '>', size_t(end - from));
        return gt ? static_cast<const char *>(gt) + 1 : end;
    };
    while (p < end) {
        const char *lt = static_cast<const char *>(std::memchr(p, '<', size_t(end - p)));
        if (!lt) {
            guard.text(p, end);
            break;
        }
        guard.text(p, lt);
        p = lt + 1;
        if (p >= end) {
            guard.text(lt, end);
            break;
        }
        if (*p == '!') {
            ++p;
            if (end - p >= 2 && p[0] == '-' && p[1] == '-') {
                p += 2;
                // "<!-->" and "<!--->" are whole comments.
                if (p < end && *p == '>') {
                    ++p;
                    continue;
                }
                if (end - p >= 2 && p[0] == '-' && p[1] == '>') {
                    p += 2;
                    continue;
                }
                // The first "-->" or "--!>" ends it; the page's end, when none does.
                const char *close = end;
                for (const char *q = p; (q = static_cast<const char *>(std::memchr(q, '-', size_t(end - q))));
                     ++q) {
                    if (end - q >= 3 && q[1] == '-' && q[2] == '>') {
                        close = q + 3;
                        break;
                    }
                    if (end - q >= 4 && q[1] == '-' && q[2] == '!' && q[3] == '>') {
                        close = q + 4;
                        break;
                    }
                }
                p = close;
                continue;
            }
            if (end - p >= 7 && std::memcmp(p, "[CDATA[", 7) == 0)
                return false;
            p = pastGreater(p); // a doctype, or a bogus comment
            continue;
        }
        if (*p == '?') {
            p = pastGreater(p);
            continue;
        }
        const bool endTag = *p == '/';
        if (endTag) {
            ++p;
            if (p >= end) {
                guard.text(lt, end); // "</" at the end is text
                break;
            }
            if (*p == '>') {
                ++p;
                continue;
            }
            if (!isLetter(*p)) {
                p = pastGreater(p);
                continue;
            }
        } else if (!isLetter(*p)) {
            guard.text(lt, p); // a "<" of the text
            continue;
        }
        // The tag's name and attributes, up to its ">"; a tag the page's end
        // cuts off is no tag.
        const char *nameStart = p;
        while (p < end && !isSpace(*p) && *p != '/' && *p != '>')
            ++p;
        tag.name = QByteArrayView(nameStart, p - nameStart);
        if (!plainName(tag.name))
            return false;
        tag.attributes.clear();
        bool closed = false;
        while (p < end && !closed) {
            if (isSpace(*p)) {
                ++p;
                continue;
            }
            if (*p == '/') {
                ++p; // a "/" that does not close the tag is passed over
                continue;
            }
            if (*p == '>') {
                ++p;
                closed = true;
                break;
            }
            const char *attrStart = p;
            while (p < end && !isSpace(*p) && *p != '/' && *p != '>' && *p != '=')
                ++p;
            TagAttribute a;
            a.name = QByteArrayView(attrStart, p - attrStart);
            if (!plainName(a.name))
                return false;
            while (p < end && isSpace(*p))
                ++p;
            if (p < end && *p == '=') {
                ++p;
                while (p < end && isSpace(*p))
                    ++p;
                if (p >= end)
                    break;
                a.valueStart = p - begin;
                if (*p == '"' || *p == '\'') {
                    const void *close = std::memchr(p + 1, *p, size_t(end - p - 1));
                    if (!close) {
                        p = end;
                        break;
                    }
                    p = static_cast<const char *>(close) + 1;
                } else if (*p == '&') {
                    return false; // the parser's place for such a value is not the text's
                } else {
                    while (p < end && !isSpace(*p) && *p != '>')
                        ++p;
                }
                a.valueLength = p - begin - a.valueStart;
            } else {
                a.valueStart = p - begin;
            }
            if (!endTag) {
                for (const TagAttribute &other : tag.attributes)
                    if (sameNames(other.name, a.name))
                        return false; // the parser keeps the first
                tag.attributes.push_back(a);
            }
        }
        if (!closed)
            break;
        if (endTag) {
            guard.endTag(tag.name);
            continue;
        }
        tag.start = lt - begin;
        tag.end = p - begin;
        tag.textStart = tag.textEnd = -1;
        if (!guard.startTag(tag))
            return false;
        if (tag.is("plaintext")) {
            tag.textStart = tag.end;
            tag.textEnd = utf8.size();
            p = end;
        } else if (oneOf(tag.name,
                         {"style", "script", "xmp", "iframe", "noembed", "noframes", "title", "textarea"})) {
            const char *textEnd = endTagOf(p, end, tag.name);
            // A script's "<!--" can hide its end tag behind a "<script" in it.
            if (tag.is("script") && containsNoCase(p, textEnd, "<!--") &&
                containsNoCase(p, textEnd, "<script"))
                return false;
            tag.textStart = tag.end;
            tag.textEnd = textEnd - begin;
            p = textEnd;
        }
        f(tag);
    }
    return true;
}

} // namespace pathrel
