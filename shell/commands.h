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
};

// Builds the menu from the surface's command status.
ContextMenu buildContextMenu(const std::function<int(int)> &queryStatus);

struct MenuCommand
{
    int command = 0; // 0: nothing to do
    int option = 0;
};
// The command of a chosen position of that menu.
MenuCommand contextMenuCommand(const ContextMenu &menu, int position);

} // namespace commands
