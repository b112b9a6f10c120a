#pragma once

#include "uikit/menuentry.h"

#include <QList>
#include <QString>

#include <functional>

class QAction;
class QMenuBar;
class QObject;
class QWidget;

// Menus and toolbars written as tables (uikit/menuentry.h), and the
// builders that make them so.
namespace shell::menus {

using ui::menus::call;
using ui::menus::Entry;
using ui::menus::Handler;
using ui::menus::Place;
using ui::menus::placeFor;
using ui::menus::separator;

// A menu of the bar; opening brings it up to date before it shows.
struct Menu
{
    const char *name = nullptr;
    QString caption = {};
    QList<Entry> entries = {};
    std::function<void()> opening = {};
};

// The table with each place replaced by what the dialogs offer for it.
QList<Entry> withOffers(const QList<Entry> &table, const ui::menus::Registry &offers,
                        const ui::menus::Window &window);

// The entry's action, named and wired (its handlers live as long as context),
// at the end of the menu or toolbar.
QAction *addEntry(QWidget *to, QObject *context, const Entry &e);
// The menu on the bar. What it returns brings the items it offers up to
// date, as opening the menu does: their keys work only while they are.
std::function<void()> addMenu(QMenuBar *bar, QObject *context, const Menu &m);

} // namespace shell::menus
