#pragma once

namespace ui::menus {
class Registry;
struct Window;
} // namespace ui::menus

namespace image {

// Opens Insert Image on the window's page.
void insertImage(const ui::menus::Window &window);
// Insert > "&Image..." and the Standard toolbar's "Image" button, and the
// picture files dropped on the window.
void registerEntries(ui::menus::Registry &registry);

} // namespace image
