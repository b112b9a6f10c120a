#pragma once

#include "pathrel/pathrel.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// Every place a page names a file, found once for the whole program: the
// save's rewrite, the move of a page to another folder, the surface's reading
// of the engine's page and the site's own checks all go through here, so that
// they agree on what a page refers to.
namespace pathrel {

enum class ReferenceKind
{
    Src,        // a src attribute
    Href,       // an href attribute other than a link element's
    Background, // a background attribute
    Srcset,     // one address of a srcset attribute
    CssUrl,     // one url(...) of a style attribute or style element
    Link,       // a link element's href (style sheets, icons)
    SheetUrl,   // one url(...) or @import of a style sheet file (cssAddresses)
};

// One address a page names.
struct Reference
{
    ReferenceKind kind = ReferenceKind::Src;
    QString value;        // as written, character references and escapes included
    qsizetype offset = 0; // where value stands in the page's text
    qsizetype length = 0;
    // The local file it names, read as the save and the move read it: a
    // file URL's path (escapes decoded once; "?" and "#" belong to the name,
    // as the save takes them), a Windows path, or a relative address without
    // its query and fragment resolved against the page's folder; "" for
    // anything else (web addresses, site-root paths such as "/about.html",
    // relative addresses in a page never saved or in one with a base element,
    // values with an "&" that starts no character reference read here).
    QString localPath;
};

// The page's references in the order they stand in the text, found as the
// move finds them; nothing is rewritten. pagePath is the page's file ("" for
// a page never saved).
QList<Reference> listReferences(const QString &html, const QString &pagePath);

// What the site's check asks of a page's elements besides its references.
struct PageFacts
{
    bool hasTitle = false; // a title element with text other than white space
    bool hasBase = false;  // a base element with an href
    QSet<QString> anchors; // ids, and names of a elements, as a browser reads them
    struct Picture
    {
        qsizetype offset = 0; // of its tag in the page's text
        int line = 1;
        QString tag; // as written, white space made single spaces
    };
    QList<Picture> picturesWithoutAlt; // img elements without alt, in text order
};

// A page read once for everyone who reads its elements: the references
// below and the page's facts, so that no page is read twice. Its start tags
// are read straight from the text; only a page whose tree could change what
// they say (foreign content, templates, tags the tree drops or merges) is
// given to the full parser, which the Tree road asks for always.
class ParsedPage
{
public:
    enum class Road
    {
        Tags,
        Tree
    };
    explicit ParsedPage(const QString &html, Road road = Road::Tags);
    ~ParsedPage();
    ParsedPage(const ParsedPage &) = delete;
    ParsedPage &operator=(const ParsedPage &) = delete;

    const QString &html() const;
    const PageFacts &facts() const;
    // Whether the full parser read it.
    bool builtTree() const;
    // Where byte byteOffset of the page's UTF-8 stands in html(), in UTF-16
    // units; cheapest when asked in text order.
    qsizetype textOffset(qsizetype byteOffset) const;

private:
    struct Data;
    std::unique_ptr<Data> d;
    friend struct PageData;
};

// The same as listReferences(page.html(), pagePath), from the parse at hand.
QList<Reference> listReferences(const ParsedPage &page, const QString &pagePath);

struct RewriteOptions
{
    // The folder the page's relative references are relative to now (the
    // folder it was opened from); "" when they stay as they are.
    QString origin;
    // The file the page is written to; "" for none, which leaves the page as
    // it is.
    QString pagePath;
};

struct RewriteResult
{
    QString text;
    // What changed, in order: first the relative references written for the
    // new folder (whole attribute values or style texts), then the local
    // files made relative.
    QList<Rewrite> rewrites;
};

// The page as it is written to options.pagePath: relative references that
// named files beside the origin folder rewritten to name the same files from
// the new folder, then every "file://" reference after src=, href= and
// background= made relative to the page's folder.
RewriteResult rewriteReferences(const QString &html, const RewriteOptions &options);

// A reference to a local file in the one form the save makes relative:
// "file://" and the path. A file URL keeps its escapes, which the save decodes
// once where it makes the path relative; an absolute path counts when
// exists() finds it (a site's "/about.html" is no local file); anything else
// comes back as it was.
QString localFileReference(const QString &value, const std::function<bool(const QString &)> &exists);

// The page with every src, href and background value that localFileReference
// changes written in that form: for a page written afresh, whose absolute
// paths the engine does not tell apart.
QString localFileReferences(const QString &html, const std::function<bool(const QString &)> &exists);

// A background attribute's value as the page-properties dialog shows it: a
// "file://" reference as its path, anything else as written.
QString pathOfFileReference(const QString &attribute);
// The value to write for a path or address typed there: an absolute local
// path as a "file://" reference, anything else as typed.
QString fileReferenceOfPath(const QString &text);

// Addresses of local files for the engine, the desktop and other programs.
QUrl fileUrl(const QString &path);
// Whether an address typed or written somewhere is a file URL.
bool isFileUrl(const QString &address);
// The local path a file address written in a page names ("file:///a/b",
// "FILE://localhost/c:/x", "file:////a"), its path part read by decode;
// nothing for an address that is no file address.
std::optional<QString> fileAddressTarget(const QString &written,
                                         const std::function<QString(const QString &)> &decode);
// How a file address's scheme and host were written ("file://", "FILE:///",
// "file://localhost"), so that the address keeps them when its path changes.
QString fileAddressPrefix(const QString &written);
// Where the path part of an address ends: at its query or fragment.
qsizetype pathEnd(const QString &address);
// The local file an address names; nothing when it names none.
std::optional<QString> localFile(const QUrl &url);
// The local files among urls (dropped, pasted), in their order.
QStringList localFiles(const QList<QUrl> &urls);

} // namespace pathrel
