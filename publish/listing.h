#pragma once

#include <QString>
#include <QStringList>

// The pure rules of the publish dialog: listing replies, address and folder
// normalisation, and which server-supplied names may be used locally.
namespace publish {

// The listing's entries: ".." first, then the non-empty lines of the reply
// (split at CR LF only, trimmed of spaces), in reply order.
QStringList splitListing(const QString &reply);

// "ftp://" in front of an address that has no scheme; "http://" becomes "ftp://".
QString normaliseAddress(const QString &typed);
// The start folder: empty gives "."; one leading "/" or "\" goes.
QString normaliseFolder(const QString &typed);

// A directory entry ends with "/" (or is ".."), anything else is a file.
bool isDirectoryEntry(const QString &entry);

// A name from the server may become a local file name only when it is a
// plain name: no separator, not "." or "..", no control character.
bool acceptableLocalName(const QString &name);
// A name or path may be sent to the server only without CR or LF.
bool sendable(const QString &text);

} // namespace publish
