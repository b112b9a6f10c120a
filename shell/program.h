#pragma once

#include "surface/editsurface.h"
#include "uikit/menuentry.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace shell {

class MainForm;

// The running program: its command line, and its windows, one page each.
class Program final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Program)

public:
    using SurfaceFactory = std::function<std::unique_ptr<surface::EditSurface>()>;
    // Every window gets the menu and toolbar items the dialogs offer.
    Program(SurfaceFactory makeSurface, ui::menus::Registry offers, QObject *parent = nullptr);
    ~Program() override;

    // Reads the command line (the program's name first): the first page
    // named opens in the first window, each further one in a window of its
    // own. The exit code when the program is to end at once instead
    // (--help, --version, an option it does not know).
    std::optional<int> start(const QStringList &arguments);
    // A new window, shown, with the page at path ("" for the start-up page).
    MainForm *openWindow(const QString &path = QString());
    QList<MainForm *> windows() const;

private:
    SurfaceFactory m_makeSurface;
    ui::menus::Registry m_offers;
    std::vector<std::unique_ptr<MainForm>> m_windows;
};

} // namespace shell
