#pragma once

namespace ui::menus {
class Registry;
struct Window;
} // namespace ui::menus

namespace publish {

// Publishes the window's page, once it is saved.
void publish(const ui::menus::Window &window);
// File > "P&ublish file...", built and wired but never offered.
void registerEntries(ui::menus::Registry &registry);

} // namespace publish
