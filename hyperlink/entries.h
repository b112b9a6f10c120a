#pragma once

namespace ui::menus {
class Registry;
struct Window;
} // namespace ui::menus

namespace hyperlink {

// Opens the HyperLink dialog on the window's page.
void insertHyperlink(const ui::menus::Window &window);
// Insert > "&Hyperlink..." and the Standard toolbar's "Hyperlink" button.
void registerEntries(ui::menus::Registry &registry);

} // namespace hyperlink
