#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>
#include <utility>

class QAction;
class QWidget;

namespace surface {
class EditSurface;
}
namespace ui {
class PageHost;
}

// Menu and toolbar items written as data: each says what it is called, what
// it shows and what it does. The window builds them; each dialog offers its
// own, so that the window needs to know none of them.
namespace ui::menus {

using Handler = std::function<void(QAction *)>;

// The places in the window's menus and toolbars where offered items go.
enum class Place
{
    None,
    Publishing,     // File, between Print and Exit
    PageSettings,   // Insert, above its separator
    Inserting,      // Insert, below it
    SpecialEffects, // the Special Effects menu
    OtherProducts,  // Help, between its separators
    AboutProgram,   // Help, last
    InsertButtons,  // the Standard toolbar, after Find
    SiteFiles,      // File, after the recent pages
    Panels,         // View, after its page views
};

// One item of a menu or a toolbar, as the user meets it.
struct Entry
{
    const char *name = nullptr; // the objectName tests and users find it by
    QString caption = {};       // with its access letter
    QKeySequence shortcut = {};
    Handler handler = {};
    // Toolbar buttons: a picture from the icon theme, and the hint over it.
    const char *icon = nullptr;
    QString tooltip = {};
    // The surface command whose status enables the button and shows it pressed.
    int status = 0;
    bool checkable = false;
    // Asked as the menu opens: whether the item is offered now.
    std::function<bool()> offered = {};
    // The page handles its own editing keys; the menu's shortcut stays
    // visible as a hint without stealing the key.
    bool pageKey = false;
    bool enabled = true;
    bool visible = true;
    bool separator = false;
    bool submenu = false; // an empty submenu, filled by its owner
    // Stands for the items offered for this place, in the order offered.
    Place place = Place::None;
};

Entry separator(const char *name = "");
// Where the items offered for a place go in a window's table.
Entry placeFor(Place place);

// A handler that calls one of the window's slots.
template <typename Window> Handler call(Window *window, void (Window::*slot)())
{
    return [window, slot](QAction *) { (window->*slot)(); };
}

// What an offered item acts on: the window's page, and the window itself as
// the parent of what the item shows.
struct Window
{
    surface::EditSurface *surface = nullptr;
    QWidget *widget = nullptr;
    // What works beyond the page (the site) asks of the window.
    PageHost *host = nullptr;
};

// Items for one window, made as it builds its menus and toolbars.
using Offer = std::function<QList<Entry>(const Window &)>;
// A dropped file the window does not take itself, by its type.
using DropTaker = std::function<void(const Window &, const QString &path)>;

// What the dialogs offer the window, their menu and toolbar items and the
// files they take when dropped: filled once at start-up, read by every
// window as it is built.
class Registry
{
public:
    void offer(Place place, Offer offer);
    QList<Entry> entries(Place place, const Window &window) const;
    // Dropped files whose type (a MIME name) starts with typePrefix go to take.
    void takeDrops(const QString &typePrefix, DropTaker take);
    // Whoever takes a file of the type; empty when nobody does.
    DropTaker dropTaker(const QString &type) const;

private:
    QList<std::pair<Place, Offer>> m_offers;
    QList<std::pair<QString, DropTaker>> m_drops;
};

} // namespace ui::menus
