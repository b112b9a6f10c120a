#include "surface/pagetext.h"

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
