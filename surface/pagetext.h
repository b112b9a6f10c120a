#pragma once

#include <QByteArrayView>
#include <QString>

// Rules about a page's text that need no engine.
namespace surface {

// False for a file that holds binary data: NUL bytes (outside UTF-16 or
// UTF-32 text with its byte order mark) or many control characters.
bool looksLikeText(QByteArrayView bytes);

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
