#include "hyperlink/entries.h"

#include "hyperlink/hyperlinkdialog.h"
#include "uikit/menuentry.h"

namespace hyperlink {

using namespace ui::menus;

void insertHyperlink(const Window &window)
{
    HyperlinkDialog dialog(window.surface, window.widget);
    dialog.exec();
}

void registerEntries(Registry &registry)
{
    const auto open = [](const Window &w) { return [w](QAction *) { insertHyperlink(w); }; };
    registry.offer(Place::Inserting, [open](const Window &w) {
        return QList<Entry>{{"mnuInsertHyperlink", HyperlinkDialog::tr("&Hyperlink..."), {}, open(w)}};
    });
    registry.offer(Place::InsertButtons, [open](const Window &w) {
        return QList<Entry>{{"Hyperlink",
                             HyperlinkDialog::tr("Hyperlink"),
                             {},
                             open(w),
                             "insert-link",
                             HyperlinkDialog::tr("Insert Hyperlink")}};
    });
}

} // namespace hyperlink
