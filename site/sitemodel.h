#pragma once

#include "pathrel/references.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// A site: the folder a page belongs to, every file in it and every reference
// between them, read once so that a check and a rename need not read the
// pages again.
namespace site {

// The folder of the site pagePath belongs to: the nearest folder at or above
// the page's own that holds index.html or index.htm, else the page's folder.
QString findSiteFolder(const QString &pagePath);

enum class FileKind
{
    Page,       // .html, .htm
    Picture,    // what an img element shows
    StyleSheet, // .css
    Other
};
FileKind kindOfFile(const QString &path);

// The kinds the save's reader tells apart, and the addresses of style sheet files.
using ReferenceKind = pathrel::ReferenceKind;

// One address a page names, as the page reader lists it.
struct ListedReference
{
    ReferenceKind kind = ReferenceKind::Src;
    QString value;        // as written, character references and escapes included
    qsizetype offset = 0; // where value stands in the page's text
    qsizetype length = 0;
};

// Lists the addresses a page's text names; pagePath is the page's file. The
// one the save reads pages with is the default.
using ReferenceLister = std::function<QList<ListedReference>(const QString &html, const QString &pagePath)>;
ReferenceLister pageReferenceLister();

// How an address is written, which a rename keeps.
enum class Form
{
    Relative, // "pictures/a.png", "../index.html"
    SiteRoot, // "/pictures/a.png": from the site's folder, as a server reads it
    FileUrl,  // a file address or a drive path: breaks on upload
    Fragment, // "#part": a place in the same page
    External, // another scheme, or "//host/...": not a file of the site
};

struct Reference
{
    int source = -1; // index of the file that holds it
    ReferenceKind kind = ReferenceKind::Src;
    Form form = Form::Relative;
    QString value; // as written
    qsizetype offset = 0;
    qsizetype length = 0;
    int line = 1;
    // The local file or folder named, an absolute clean path ("" for
    // External); for Fragment, the page itself.
    QString target;
    QString fragment; // after "#", escapes decoded; hasFragment tells "#" apart
    QString query;    // after "?", as written
    bool hasFragment = false;
    bool namesFolder = false; // written with a trailing "/"
};

// A place in a file the check points at.
struct Spot
{
    qsizetype offset = 0;
    int line = 1;
    QString text;
};

struct SiteFile
{
    QString path;         // absolute, clean
    QString relativePath; // from the site's folder, "/" separated
    FileKind kind = FileKind::Other;
    // For pages and style sheets, which are read: the contentFingerprint of
    // the bytes and whether the text was read as UTF-8 (else as Latin-1, byte for character).
    QByteArray hash;
    bool utf8 = true;
    bool readable = true;
    // For pages only.
    bool hasTitle = true;
    bool hasBase = false;  // a base element: its addresses are not relative to its folder
    QSet<QString> anchors; // ids, and names of a elements
    QList<Spot> picturesWithoutAlt;
};

struct Model
{
    QString folder; // absolute, clean
    QList<SiteFile> files;
    QSet<QString> folders; // absolute, clean; the site's own folder too
    QList<Reference> references;
    QHash<QString, int> fileByPath;
    QHash<QString, QString> realPathByLowerPath; // for names written in another letter case
    bool cancelled = false;

    int fileIndex(const QString &path) const { return fileByPath.value(path, -1); }
};

struct Progress
{
    // Stops the work when it turns true; the result is marked cancelled.
    const std::atomic_bool *cancel = nullptr;
    // Called with how many of total steps are done.
    std::function<void(int done, int total)> report;
};

// Reads the site below folder: every file not hidden, the pages and style
// sheets with their references.
Model scanSite(const QString &folder, const ReferenceLister &lister = pageReferenceLister(),
               const Progress &progress = {});

// The files whose references name path (a file, or a folder and what is in
// it), other than those inside it: what a deletion would leave broken.
QStringList filesReferringTo(const Model &model, const QString &path);

// Reading a file's text so that offsets in it map back to its bytes: UTF-8
// when the bytes are UTF-8 (a byte order mark kept as a character), else
// Latin-1.
QString fileText(const QByteArray &bytes, bool *utf8 = nullptr);

// A fingerprint of a file's bytes, to tell whether the file has changed
// since it was read; cheap next to reading it. Kept only while the program
// runs.
QByteArray contentFingerprint(const QByteArray &bytes);

// The path part of an address decoded once: character references of the page
// ("&amp;") and then percent escapes.
QString decodedAddressPath(const QString &pathPart);

} // namespace site
