#pragma once

#include "site/sitemodel.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Renaming or moving a file or folder of a site with every reference to it
// following: only the bytes of those references change in the pages and
// style sheets that hold them, and either every file changes or none does.
namespace site {

struct Edit
{
    qsizetype offset = 0; // in the file's text
    qsizetype length = 0;
    QString old;   // the address as it stands
    QString value; // written in its place
};

struct FileChange
{
    QString file; // where it is now
    int references = 0;
    QList<Edit> edits; // in the order they stand
    QByteArray hash;   // of the bytes the model was read from
    bool utf8 = true;
};

struct RenamePlan
{
    QString from; // absolute, clean
    QString to;
    QList<FileChange> changes;
    QString error; // why the rename cannot be made; empty when it can

    bool isValid() const { return error.isEmpty(); }
};

// What renaming from to to would change. from is a file or folder of the
// model's site; to is the new path (another folder for a move).
RenamePlan planRename(const Model &model, const QString &from, const QString &to);

struct RenameResult
{
    bool ok = false;
    QString error;
    QString file; // the file the error is about
};

// Carries out a plan. Nothing is written unless every file to change can be
// (a read-only file, or one changed since the model was read, stops it and is
// named). Then a journal in journalFolder is written and flushed (per file
// the hashes of its bytes before and after and the edits between them), each
// file is replaced atomically, once, the file or folder renamed, and the
// journal removed. afterStep, for tests, is
// called after each file written (1, 2, ...) and after the rename
// (changes + 1).
RenameResult applyRename(const RenamePlan &plan, const QString &journalFolder,
                         const std::function<void(int step)> &afterStep = {});

struct RecoveryResult
{
    bool found = false;     // a rename had been cut short
    bool completed = false; // it was finished (else rolled back)
    QStringList conflicts;  // files changed by someone else since: left as they are
    // The journal could not be read: no file was touched, and the journal is
    // kept aside at conflicts' only entry.
    bool unreadable = false;
};

// At the start: finishes a rename the journal in journalFolder tells of, or
// undoes it when it cannot be finished (the new name taken, the file gone),
// so that every file is either all old or all new. A file in neither state
// was changed by someone else: it is left alone and named, as is a journal
// that cannot be read, which is kept aside without touching any file.
RecoveryResult recoverJournal(const QString &journalFolder);

} // namespace site
