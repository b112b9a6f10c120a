#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The right-click menu: what it offers and what each of its items does.
namespace commands {

// A command of the surface, with its option (0: nothing to do).
struct MenuCommand
{
    int command = 0;
    int option = 0;
};

// What a spelling item asks for.
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

// One item: its caption ("" for a separator), its state (0 normal, 2 greyed)
// and what choosing it does.
struct ContextItem
{
    QString caption;
    int state = 0;
    MenuCommand command;
    SpellingChoice spelling;
};

// The menu of the last right-click. The surface reports a choice by its
// position, so the items stay in the order the surface shows them.
struct ContextMenu
{
    QList<ContextItem> items;
    // The word a right-click on a misspelt word found ("" for none).
    QString misspelledWord;

    QStringList captions() const;
    QList<int> states() const;
    // The item at a position the surface reports; nothing outside the menu.
    const ContextItem *at(int position) const;
};

// Builds the menu from the surface's command status.
ContextMenu buildContextMenu(const std::function<int(int)> &queryStatus);
// The menu with the engine's suggestions for a misspelt word, "Add to
// Dictionary" and "Ignore" above the rest ("" adds none).
ContextMenu withSpelling(ContextMenu menu, const QString &word, const QStringList &suggestions);

} // namespace commands
