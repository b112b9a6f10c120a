#pragma once

namespace ui::menus {
class Registry;
} // namespace ui::menus

namespace sitepanel {

// File > "Open Site Folder..." and "Check Site...", View > "Site".
void registerEntries(ui::menus::Registry &registry);

} // namespace sitepanel
