#include "shell/commands.h"

#include "surface/editsurface.h"

#include <QCoreApplication>

using namespace surface;

namespace commands {

namespace {
QString tr(const char *caption)
{
    return QCoreApplication::translate("ContextMenu", caption);
}
} // namespace

QStringList ContextMenu::captions() const
{
    QStringList out;
    for (const ContextItem &item : items)
        out << item.caption;
    return out;
}

QList<int> ContextMenu::states() const
{
    QList<int> out;
    for (const ContextItem &item : items)
        out << item.state;
    return out;
}

const ContextItem *ContextMenu::at(int position) const
{
    return position >= 0 && position < items.size() ? &items[position] : nullptr;
}

ContextMenu buildContextMenu(const std::function<int(int)> &queryStatus)
{
    const auto can = [&queryStatus](int command) { return queryStatus(command) >= DECMDF_ENABLED; };
    ContextMenu m;
    const auto separator = [&m] { m.items.append(ContextItem()); };
    // Greyed while the surface cannot do it.
    const auto item = [&](const QString &caption, int command, int option = OLECMDEXECOPT_DODEFAULT) {
        m.items.append({caption, can(command) ? 0 : 2, {command, option}, {}});
    };
    // Shown only where it applies.
    const auto offered = [&m](const QString &caption, int command) {
        m.items.append({caption, 0, {command, OLECMDEXECOPT_DODEFAULT}, {}});
    };
    item(tr("Cut"), DECMD_CUT);
    item(tr("Copy"), DECMD_COPY);
    item(tr("Paste"), DECMD_PASTE);
    item(tr("Paste as Plain Text"), DECMD_PASTEPLAINTEXT);
    separator();
    item(tr("Select All"), DECMD_SELECTALL);
    separator();
    item(tr("Font..."), DECMD_FONT, OLECMDEXECOPT_PROMPTUSER);
    if (can(DECMD_MAKE_ABSOLUTE)) {
        separator();
        // An element that can go to the back is positioned already.
        offered(can(DECMD_SEND_TO_BACK) ? tr("Make 1D") : tr("Make 2D"), DECMD_MAKE_ABSOLUTE);
    }
    if (can(DECMD_INSERTROW)) {
        separator();
        offered(tr("Insert Row"), DECMD_INSERTROW);
        offered(tr("Insert Column"), DECMD_INSERTCOL);
        separator();
        offered(tr("Delete Row"), DECMD_DELETEROWS);
        offered(tr("Delete Column"), DECMD_DELETECOLS);
    }
    return m;
}

ContextMenu withSpelling(ContextMenu menu, const QString &word, const QStringList &suggestions)
{
    if (word.isEmpty())
        return menu;
    using Kind = SpellingChoice::Kind;
    QList<ContextItem> spelling;
    for (const QString &suggestion : suggestions)
        spelling.append({suggestion, 0, {}, {Kind::Replace, suggestion}});
    spelling.append({tr("Add to Dictionary"), 0, {}, {Kind::AddToDictionary, {}}});
    spelling.append({tr("Ignore"), 0, {}, {Kind::Ignore, {}}});
    spelling.append(ContextItem()); // a separator
    menu.items = spelling + menu.items;
    menu.misspelledWord = word;
    return menu;
}

} // namespace commands
