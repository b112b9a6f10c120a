#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// Writing a page's file so that it cannot tear: the old file stays whole until
// the new one is complete, and the file keeps its owner, group, mode and name.
namespace document {

// Test seam: where the write fails, as a full disk or a failing device would.
struct WriteFaults
{
    qint64 failAfterBytes = -1; // writing stops short after this many bytes
    int error = 0;              // errno of the failure (ENOSPC when 0)
    bool failSync = false;      // the flush to disk fails
    bool failRename = false;    // putting the new file in place fails
    // Called with the new file half written, and with it complete just
    // before it takes the page's place: where a test kills the writer.
    std::function<void()> midWrite;
    std::function<void()> beforeRename;
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

// A file a write of the page at pagePath made beside it and never put in
// place, because the program was ended in the middle of the write. Their
// names carry the size they were to have, so that a complete one is told
// from one cut short.
struct Leftover
{
    QString path;
    bool complete = false; // every byte the write meant to write is there
    bool backup = false;   // the old page, kept while it was written over in place
    QDateTime modified;
};
QList<Leftover> leftoversOf(const QString &pagePath);

} // namespace document
