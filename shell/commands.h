#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The command tables and the pure rules of command dispatch.
namespace commands {

// The right-click menu: captions (an empty caption is a separator) and
// states (0 normal, 2 greyed), and what was known when it was built.
struct ContextMenu
{
    QStringList captions;
    QList<int> states;
    bool canMakeAbsolute = false;
    bool isAbsolute = false;
    bool canInsertRow = false;
    // A right-click on a misspelt word puts the engine's suggestions, "Add to
    // Dictionary" and "Ignore" above the rest.
    QString misspelledWord;
    QStringList suggestions;
    int spellingItems = 0;
};

// Builds the menu from the surface's command status.
ContextMenu buildContextMenu(const std::function<int(int)> &queryStatus);
// The menu with the spelling items of a misspelt word on top ("" adds none).
ContextMenu withSpelling(ContextMenu menu, const QString &word, const QStringList &suggestions);

struct MenuCommand
{
    int command = 0; // 0: nothing to do
    int option = 0;
};

// What a chosen position among the spelling items asks for.
struct SpellingChoice
{
    enum class Kind
    {
        None, // not a spelling item
        Replace,
        AddToDictionary,
        Ignore
    } kind = Kind::None;
    QString replacement;
};
SpellingChoice spellingChoice(const ContextMenu &menu, int position);
// The command of a chosen position of that menu.
MenuCommand contextMenuCommand(const ContextMenu &menu, int position);

} // namespace commands
