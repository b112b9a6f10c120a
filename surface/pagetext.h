#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <functional>

// Rules about a page's text that need no engine.
namespace surface {

// False for a file that holds binary data: NUL bytes (outside UTF-16 or
// UTF-32 text with its byte order mark) or many control characters.
bool looksLikeText(QByteArrayView bytes);

// A reference to a local file in the one form the save makes relative:
// "file://" and the path. A file URL keeps its escapes, which the save decodes
// once where it makes the path relative; an absolute path counts
// when exists() finds it (a site's "/about.html" is no local file); anything
// else comes back as it was.
QString localFileReference(const QString &value, const std::function<bool(const QString &)> &exists);

// The page with every src, href and background value that localFileReference
// changes written in that form: for a page written afresh, whose absolute
// paths the engine does not tell apart.
QString localFileReferences(const QString &html, const std::function<bool(const QString &)> &exists);

// The page's relative references to local files, rewritten for the page
// moving from fromFolder to the file toPage: each still names the same file,
// relative to the new folder (absolute where no relative path exists).
// Only addresses change: the values of src, href and background attributes,
// the addresses in srcset, and url(...) in style attributes and style
// elements. A page with a base element of its own is left alone. done maps
// each old value (or style text) to the new one.
QString rebaseReferences(const QString &html, const QString &fromFolder, const QString &toPage,
                         QHash<QString, QString> *done = nullptr);

// Where a place in a page's text and an element of the page meet, for a
// caret that goes between the page and its source. Elements count in
// document order, as a browser's parse of the text gives them.
// The element whose start tag is the last to begin at or before offset (-1
// when none does).
int elementAtOffset(const QString &html, qsizetype offset);
// Where the start tag of the element numbered index begins (-1 when there is
// no such element or the parser added it without a tag).
qsizetype elementOffset(const QString &html, int index);

} // namespace surface
