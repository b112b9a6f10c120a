#include "image/entries.h"

#include "image/insertimagedialog.h"
#include "image/insertpicture.h"
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
    // A picture file dropped on the window goes in as Insert Image would put it.
    registry.takeDrops(QStringLiteral("image/"), [](const Window &w, const QString &path) {
        insertPicture(w.surface, pictureFile(path));
    });
}

} // namespace image
