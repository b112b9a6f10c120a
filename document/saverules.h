#pragma once

#include <QList>
#include <QPair>
#include <QString>

// What the page's handling decides without the page: its fixed texts, the
// line end, the charset a save writes in, and the messages of its failures.
namespace document {

// The line end of the pages this program writes and of its messages.
inline QString crlf()
{
    return QStringLiteral("\r\n");
}

// The text of a page made by New: an empty body.
QString newPageText();
// The page a window starts with: a paragraph for the first typing.
QString startPageText();
// The window's title for the page at path ("" for a page never saved).
QString windowTitle(const QString &path);

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

// The page's text after files of its site were renamed: every reference
// written as one of the changes' first texts is written as its second, and
// every other character stays. pagePath is the page's file.
QString withAddressesChanged(const QString &text, const QString &pagePath,
                             const QList<QPair<QString, QString>> &changes);

// Failure code of a file error, for the save error box.
qint64 saveErrorCode(int fileError, int osError, bool folderExists);

// The message for a load or save failure code.
QString loadMessage(qint64 code);
QString saveMessage(qint64 code);

} // namespace document
