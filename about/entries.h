#pragma once

namespace ui::menus {
class Registry;
struct Window;
} // namespace ui::menus

namespace about {

// The About box, and the boxes about the maker's other products.
void about(const ui::menus::Window &window);
void aboutFizzet(const ui::menus::Window &window);
void aboutIncreasingTraffic(const ui::menus::Window &window);
// Help > "&About..." and "&Increase traffic to your Web site...", and Special Effects > Fizzet.
void registerEntries(ui::menus::Registry &registry);

} // namespace about
