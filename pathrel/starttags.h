#pragma once

#include <QByteArrayView>

#include <functional>
#include <vector>

// A page's start tags read straight from its text, as a browser's tokenizer
// reads them, without building the page's tree: most pages are read far
// faster so, and only a few constructs let the tree change what the tags say.
namespace pathrel {

struct TagAttribute
{
    QByteArrayView name; // as written
    // The value as written, its quotes included, in bytes of the text; no
    // value, or an empty unquoted one, has length 0.
    qsizetype valueStart = 0;
    qsizetype valueLength = 0;
};

struct StartTag
{
    QByteArrayView name; // as written
    qsizetype start = 0; // its "<"
    qsizetype end = 0;   // after its ">"
    std::vector<TagAttribute> attributes;
    // For the elements whose text is no markup (style, title, script...):
    // that text, up to the end tag or the end of the page; -1 otherwise.
    qsizetype textStart = -1;
    qsizetype textEnd = -1;

    // Names compared as the parser compares them; lowerName in lower case.
    bool is(QByteArrayView lowerName) const;
    const TagAttribute *attribute(QByteArrayView lowerName) const;
};

bool sameName(QByteArrayView written, QByteArrayView lowerName);

// Calls f for each start tag of the UTF-8 text, in text order. Gives false,
// and stops, where the page's tree could hold what the tags do not say: an
// element the tree drops or merges (a second body, a cell outside a table, a
// form in a form), foreign content, templates, frames, select lists, or
// anything this reading is not sure of (a NUL, CDATA, a repeated attribute,
// odd characters in a name). Such a page is for the full parser.
bool readStartTags(QByteArrayView utf8, const std::function<void(const StartTag &)> &f);

} // namespace pathrel
