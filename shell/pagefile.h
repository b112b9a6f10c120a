#pragma once

#include <QByteArray>
#include <QString>

// Writing a page's file so that it cannot tear: the old file stays whole until
// the new one is complete, and the file keeps its owner, group, mode and name.
namespace session {

// Test seam: where the write fails, as a full disk or a failing device would.
struct WriteFaults
{
    qint64 failAfterBytes = -1; // writing stops short after this many bytes
    int error = 0;              // errno of the failure (ENOSPC when 0)
    bool failSync = false;      // the flush to disk fails
    bool failRename = false;    // putting the new file in place fails
};

struct WriteResult
{
    bool ok = false;
    qint64 code = 0; // the save's failure code (0 on success)
};

// Writes bytes to path. A new file gets the default mode; an existing one
// keeps owner, group and mode. A file nobody may write (no write bit, root
// included) is refused with "access denied". A symbolic link is followed and
// stays a link. A file with several hard links, or one whose owner this
// process cannot give a new file, is written in place after a complete
// backup copy, which puts it back when the write fails.
WriteResult writePageFile(const QString &path, const QByteArray &bytes, const WriteFaults *faults = nullptr);

} // namespace session
