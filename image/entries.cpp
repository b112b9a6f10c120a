#include "image/entries.h"

#include "image/insertimagedialog.h"
#include "uikit/menuentry.h"

namespace image {

using namespace ui::menus;

void insertImage(const Window &window)
{
    InsertImageDialog dialog(window.surface, window.widget);
    dialog.exec();
}

void registerEntries(Registry &registry)
{
    const auto open = [](const Window &w) { return [w](QAction *) { insertImage(w); }; };
    registry.offer(Place::Inserting, [open](const Window &w) {
        return QList<Entry>{{"mnuInsertImage", InsertImageDialog::tr("&Image..."), {}, open(w)}};
    });
    registry.offer(Place::InsertButtons, [open](const Window &w) {
        return QList<Entry>{{"Image",
                             InsertImageDialog::tr("Image"),
                             {},
                             open(w),
                             "insert-image",
                             InsertImageDialog::tr("Insert image")}};
    });
}

} // namespace image
