#pragma once

#include <QList>
#include <QString>

class QMainWindow;

namespace ui {

// One address a rename changes in a page: the text that stood in an attribute
// or a url(), and what takes its place.
struct AddressChange
{
    QString old;
    QString value;
};

// What a part of the window that is not about the page alone (the site
// panel) asks of the window that shows the page. The window implements it;
// tests give a dummy one.
class PageHost
{
public:
    virtual ~PageHost() = default;
    // The window the part docks into and parents its dialogs to.
    virtual QMainWindow *mainWindow() = 0;
    // The file of the page shown; empty for a page never saved.
    virtual QString pagePath() const = 0;
    // Whether the page shown has changes not saved.
    virtual bool pageModified() const = 0;
    // Shows the page at path, asking first about the changes of the page
    // shown; false when the user kept it, or the page could not be opened.
    virtual bool openPage(const QString &path) = 0;
    // Puts the caret at the element whose start tag begins at offset of the
    // page's text, scrolled into view (after openPage).
    virtual void showPlace(qsizetype offset) = 0;
    // Files of the site were renamed or moved (from, to: absolute paths) and
    // the pages referring to them rewritten on disk. When the page shown is
    // among them, changes lists what changed in its addresses; the page shown
    // follows, as one step the user can undo, and a page that was itself
    // moved now lives at its new path.
    virtual void siteRenamed(const QString &from, const QString &to, const QList<AddressChange> &changes) = 0;
};

} // namespace ui
