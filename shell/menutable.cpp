#include "shell/menutable.h"

#include "shell/pictures.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace shell::menus {

QList<Entry> withOffers(const QList<Entry> &table, const ui::menus::Registry &offers,
                        const ui::menus::Window &window)
{
    QList<Entry> out;
    for (const Entry &e : table) {
        if (e.place == Place::None)
            out.append(e);
        else
            out += offers.entries(e.place, window);
    }
    return out;
}

QAction *addEntry(QWidget *to, QObject *context, const Entry &e)
{
    const QString name = QString::fromLatin1(e.name);
    if (e.submenu) {
        QMenu *menu = qobject_cast<QMenu *>(to)->addMenu(e.caption);
        menu->setObjectName(name);
        return menu->menuAction();
    }
    auto *a = new QAction(e.caption, to);
    a->setObjectName(name);
    a->setSeparator(e.separator);
    if (e.icon)
        a->setIcon(pictures::toolbar(QString::fromLatin1(e.icon)));
    if (!e.tooltip.isEmpty())
        a->setToolTip(e.tooltip);
    if (!e.shortcut.isEmpty())
        a->setShortcut(e.shortcut);
    if (e.pageKey)
        a->setShortcutContext(Qt::WidgetShortcut);
    a->setCheckable(e.checkable);
    if (!e.enabled)
        a->setEnabled(false);
    if (!e.visible)
        a->setVisible(false);
    if (e.handler)
        QObject::connect(a, &QAction::triggered, context, [a, handler = e.handler] { handler(a); });
    to->addAction(a);
    return a;
}

std::function<void()> addMenu(QMenuBar *bar, QObject *context, const Menu &m)
{
    QMenu *menu = bar->addMenu(m.caption);
    menu->setObjectName(QString::fromLatin1(m.name));
    QList<std::pair<QAction *, std::function<bool()>>> offered;
    for (const Entry &e : m.entries) {
        QAction *a = addEntry(menu, context, e);
        if (e.offered)
            offered.append({a, e.offered});
    }
    const auto refresh = [offered] {
        for (const auto &[a, isOffered] : offered)
            a->setEnabled(isOffered());
    };
    QObject::connect(menu, &QMenu::aboutToShow, context, [refresh, opening = m.opening] {
        refresh();
        if (opening)
            opening();
    });
    return refresh;
}

} // namespace shell::menus
