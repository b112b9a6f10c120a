#pragma once

#include <QString>

#include <optional>

// Pieces of the save that need no window.
namespace session {

// Reads a stored number: the leading number of the text (0 when there is
// none), rounded half to even to a whole number; 0 when it does not fit in
// 16 bits.
int readStoredNumber(const QString &text);

// The page's text with a UTF-8 charset declaration in its head: an existing
// declaration is changed, else one is added after <head> (or at the start).
QString declareUtf8(const QString &html);

// The charset a page declares in a <meta> near its start ("" for none).
QString declaredCharset(const QString &html);

// How a page's bytes were read: the charset the engine read it with ("" for a
// page made here) and whether it began with a byte order mark.
struct PageEncoding
{
    QString charset;
    bool bom = false;
};

// The bytes to write for a page's text. The page keeps its own charset where
// that charset can carry the text and the page says which it is, so an edit
// changes only the bytes edited; otherwise the text is written as UTF-8, with
// a UTF-8 declaration added or changed where a reader would otherwise use
// another charset (a page of plain ASCII needs none).
struct EncodedPage
{
    QByteArray bytes;
    PageEncoding encoding; // what the bytes are in now
};
EncodedPage encodePage(const QString &html, const PageEncoding &encoding);

// A page named on the command line, as a path or a file URL: its absolute
// path, or nothing for an address that is no local file.
std::optional<QString> pageFromArgument(const QString &argument, const QString &workingFolder);

// Failure code of a file error, for the save error box.
qint64 saveErrorCode(int fileError, int osError, bool folderExists);

// The message for a load or save failure code.
QString loadMessage(qint64 code);
QString saveMessage(qint64 code);

} // namespace session
