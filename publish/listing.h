#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The pure rules of the publish dialog: listing replies, address and folder
// normalisation, and which server-supplied names may be used locally.
namespace publish {

// The server's LIST text turned into the listing reply the dialog reads:
// one entry per CR LF pair, a folder's name followed by "/". Lines may end in
// LF or CR LF. A line no known format reads ("total 12", a device, noise)
// is skipped; only one right after an entry that has no shape of a listing
// line continues that entry's name, since a name holding a line break
// arrives as two lines. "." and ".." are left out. The names of symbolic
// links, which may lead to folders, are added to links.
QString entriesOfList(const QString &listText, QStringList *links = nullptr);

// One entry of the remote list: the text shown, and the name as the server gave it.
struct ListedName
{
    QString shown;
    QString exact;
    bool operator==(const ListedName &) const = default;
};

// The listing's entries: ".." first, then the non-empty lines of the reply
// (split at CR LF only, shown trimmed of spaces), in reply order.
QList<ListedName> splitListing(const QString &reply);

// Whether asking the server for the shown text asks for the entry the server
// listed: nothing was trimmed away, it is one name (no "/" inside) and it holds
// no control character and no undecodable byte.
bool requestable(const ListedName &entry);

// "ftp://" in front of an address that has no scheme; "http://" becomes "ftp://".
QString normaliseAddress(const QString &typed);
// The start folder: empty gives "."; one leading "/" or "\" goes.
QString normaliseFolder(const QString &typed);

// A directory entry ends with "/" (or is ".."), anything else is a file.
bool isDirectoryEntry(const QString &entry);

// A name from the server may become a local file name only when it is a
// plain name: no separator, not "." or "..", no control character.
bool acceptableLocalName(const QString &name);
// A name or path may be sent to the server only without control characters:
// a line break would end the command early, and libcurl refuses the others.
bool sendable(const QString &text);

} // namespace publish
