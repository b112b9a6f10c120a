#include "shell/menutable.h"

#include <QAction>
#include <QDir>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>

namespace shell::menus {

QIcon shippedPicture(const QString &name)
{
    // Baked as "name-SIZE.png", one file per size shown. The folder is listed
    // once and filtered by hand: a name filter would compile a pattern for
    // every toolbar button at start-up.
    static const QStringList files = QDir(QStringLiteral(":/shell/icons")).entryList(QDir::Files);
    const QString prefix = name + u'-';
    QIcon icon;
    for (const QString &file : files) {
        const bool sized = file.startsWith(prefix) && file.endsWith(QLatin1String(".png")) &&
                           QStringView(file).sliced(prefix.size()).chopped(4).toInt() > 0;
        if (sized)
            icon.addFile(QStringLiteral(":/shell/icons/") + file);
    }
    return icon;
}

namespace {
// A toolbar picture from the icon theme, or the one shipped with the program
// where the theme lacks it, so that no button is ever blank.
QIcon toolbarIcon(const char *name)
{
    const QString themeName = QString::fromLatin1(name);
    // We ship pictures only for names Debian's theme lacks; a theme's loose
    // name matching would otherwise give them a wrong picture.
    if (QIcon shipped = shippedPicture(themeName); !shipped.isNull())
        return shipped;
    return QIcon::fromTheme(themeName);
}
} // namespace

Entry separator(const char *name)
{
    return {.name = name, .separator = true};
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
        a->setIcon(toolbarIcon(e.icon));
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

void addMenu(QMenuBar *bar, QObject *context, const Menu &m)
{
    QMenu *menu = bar->addMenu(m.caption);
    menu->setObjectName(QString::fromLatin1(m.name));
    QList<std::pair<QAction *, std::function<bool()>>> offered;
    for (const Entry &e : m.entries) {
        QAction *a = addEntry(menu, context, e);
        if (e.offered)
            offered.append({a, e.offered});
    }
    QObject::connect(menu, &QMenu::aboutToShow, context, [offered, opening = m.opening] {
        for (const auto &[a, isOffered] : offered)
            a->setEnabled(isOffered());
        if (opening)
            opening();
    });
}

} // namespace shell::menus
