#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>

class QAction;
class QMenuBar;
class QObject;
class QWidget;

// Menus and toolbars written as tables: each item says what it is called,
// what it shows and what it does, and the builders make it so.
namespace shell::menus {

using Handler = std::function<void(QAction *)>;

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
};

Entry separator(const char *name = "");

// A handler that calls one of the window's slots.
template <typename Window> Handler call(Window *window, void (Window::*slot)())
{
    return [window, slot](QAction *) { (window->*slot)(); };
}

// A menu of the bar; opening brings it up to date before it shows.
struct Menu
{
    const char *name = nullptr;
    QString caption = {};
    QList<Entry> entries = {};
    std::function<void()> opening = {};
};

// The entry's action, named and wired (its handlers live as long as context),
// at the end of the menu or toolbar.
QAction *addEntry(QWidget *to, QObject *context, const Entry &e);
// The menu on the bar. What it returns brings the items it offers up to
// date, as opening the menu does: their keys work only while they are.
std::function<void()> addMenu(QMenuBar *bar, QObject *context, const Menu &m);

} // namespace shell::menus
