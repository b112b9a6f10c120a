#include "shell/commands.h"

#include "surface/editsurface.h"

using namespace surface;

namespace commands {

ContextMenu buildContextMenu(const std::function<int(int)> &queryStatus)
{
    ContextMenu m;
    m.canMakeAbsolute = queryStatus(DECMD_MAKE_ABSOLUTE) >= DECMDF_ENABLED;
    m.isAbsolute = queryStatus(DECMD_SEND_TO_BACK) >= DECMDF_ENABLED;
    m.canInsertRow = queryStatus(DECMD_INSERTROW) >= DECMDF_ENABLED;
    auto add = [&m](const QString &caption, int state) {
        m.captions << caption;
        m.states << state;
    };
    auto item = [&](const char *caption, int command) {
        add(QString::fromLatin1(caption), queryStatus(command) >= DECMDF_ENABLED ? 0 : 2);
    };
    item("Cut", DECMD_CUT);
    item("Copy", DECMD_COPY);
    item("Paste", DECMD_PASTE);
    add(QString(), 0);
    item("Select All", DECMD_SELECTALL);
    add(QString(), 0);
    item("Font...", DECMD_FONT);
    if (m.canMakeAbsolute) {
        add(QString(), 0);
        add(m.isAbsolute ? QStringLiteral("Make 1D") : QStringLiteral("Make 2D"), 0);
    }
    if (m.canInsertRow) {
        add(QString(), 0);
        add(QStringLiteral("Insert Row"), 0);
        add(QStringLiteral("Insert Column"), 0);
        add(QString(), 0);
        add(QStringLiteral("Delete Row"), 0);
        add(QStringLiteral("Delete Column"), 0);
    }
    return m;
}

ContextMenu withSpelling(ContextMenu menu, const QString &word, const QStringList &suggestions)
{
    if (word.isEmpty())
        return menu;
    QStringList captions = suggestions;
    captions << QStringLiteral("Add to Dictionary") << QStringLiteral("Ignore") << QString();
    menu.captions = captions + menu.captions;
    menu.states = QList<int>(captions.size(), 0) + menu.states;
    menu.misspelledWord = word;
    menu.suggestions = suggestions;
    menu.spellingItems = int(captions.size());
    return menu;
}

SpellingChoice spellingChoice(const ContextMenu &menu, int position)
{
    const int n = int(menu.suggestions.size());
    if (position < 0 || position >= menu.spellingItems)
        return {};
    if (position < n)
        return {SpellingChoice::Kind::Replace, menu.suggestions[position]};
    if (position == n)
        return {SpellingChoice::Kind::AddToDictionary, {}};
    if (position == n + 1)
        return {SpellingChoice::Kind::Ignore, {}};
    return {};
}

MenuCommand contextMenuCommand(const ContextMenu &menu, int position)
{
    if (position < menu.spellingItems)
        return {};
    position -= menu.spellingItems;
    switch (position) {
    case 0:
        return {DECMD_CUT, OLECMDEXECOPT_DODEFAULT};
    case 1:
        return {DECMD_COPY, OLECMDEXECOPT_DODEFAULT};
    case 2:
        return {DECMD_PASTE, OLECMDEXECOPT_DODEFAULT};
    case 4:
        return {DECMD_SELECTALL, OLECMDEXECOPT_DODEFAULT};
    case 6:
        return {DECMD_FONT, OLECMDEXECOPT_PROMPTUSER};
    default:
        break;
    }
    if (menu.canMakeAbsolute && position == 8)
        return {DECMD_MAKE_ABSOLUTE, OLECMDEXECOPT_DODEFAULT};
    if (menu.canInsertRow) {
        const int t = menu.canMakeAbsolute ? 8 : 6;
        if (position == t + 2)
            return {DECMD_INSERTROW, OLECMDEXECOPT_DODEFAULT};
        if (position == t + 3)
            return {DECMD_INSERTCOL, OLECMDEXECOPT_DODEFAULT};
        if (position == t + 5)
            return {DECMD_DELETEROWS, OLECMDEXECOPT_DODEFAULT};
        if (position == t + 6)
            return {DECMD_DELETECOLS, OLECMDEXECOPT_DODEFAULT};
    }
    return {};
}

} // namespace commands
