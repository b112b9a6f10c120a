#pragma once

#include <QString>

// Pieces of the save that need no window.
namespace session {

// Reads a stored number: the leading number of the text (0 when there is
// none), rounded half to even to a whole number; 0 when it does not fit in
// 16 bits.
int readStoredNumber(const QString &text);

// The page's text with a UTF-8 charset declaration in its head: an existing
// declaration is changed, else one is added after <head> (or at the start).
QString declareUtf8(const QString &html);

// The save's rewrite of local references relative to the page's folder.
void makeReferencesRelative(QString &documentText, const QString &pagePath);

// Failure code of a file error, for the save error box.
qint64 saveErrorCode(int fileError, int osError, bool folderExists);

// The message for a load or save failure code.
QString loadMessage(qint64 code);
QString saveMessage(qint64 code);

} // namespace session
