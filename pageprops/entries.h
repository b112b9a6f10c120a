#pragma once

namespace ui::menus {
class Registry;
struct Window;
} // namespace ui::menus

namespace pageprops {

// Opens Web Page Properties on the window's page.
void pageProperties(const ui::menus::Window &window);
// Insert > "&Page Properties..." and the Standard toolbar's button of that name.
void registerEntries(ui::menus::Registry &registry);

} // namespace pageprops
