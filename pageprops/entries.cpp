#include "pageprops/entries.h"

#include "pageprops/pagepropertiesdialog.h"
#include "uikit/menuentry.h"

namespace pageprops {

using namespace ui::menus;

void pageProperties(const Window &window)
{
    PagePropertiesDialog dialog(window.surface, window.widget);
    dialog.exec();
}

void registerEntries(Registry &registry)
{
    const auto open = [](const Window &w) { return [w](QAction *) { pageProperties(w); }; };
    registry.offer(Place::PageSettings, [open](const Window &w) {
        return QList<Entry>{
            {"mnuInsertPageProperties", PagePropertiesDialog::tr("&Page Properties..."), {}, open(w)}};
    });
    registry.offer(Place::InsertButtons, [open](const Window &w) {
        return QList<Entry>{{"Page Properties",
                             PagePropertiesDialog::tr("Page Properties"),
                             {},
                             open(w),
                             "document-properties",
                             PagePropertiesDialog::tr("Page Properties")}};
    });
}

} // namespace pageprops
