#include "publish/entries.h"

#include "publish/publishdialog.h"
#include "surface/editsurface.h"
#include "uikit/menuentry.h"
#include "uikit/uiseam.h"

namespace publish {

using namespace ui::menus;

void publish(const Window &window)
{
    if (window.surface->IsDirty()) {
        const QString crlf = QStringLiteral("\r\n");
        ui::messageBox(
            window.widget,
            PublishDialog::tr("The current document has changed.") + crlf + crlf +
                PublishDialog::tr("Please save the document before publishing it to your Web site."),
            QMessageBox::Ok, QMessageBox::NoIcon);
        return;
    }
    PublishDialog dialog(window.surface, systemPasswordStore(), window.widget);
    dialog.exec();
}

void registerEntries(Registry &registry)
{
    registry.offer(Place::Publishing, [](const Window &w) {
        // Built and wired, never offered.
        return QList<Entry>{{.name = "mnuFilePublish",
                             .caption = PublishDialog::tr("P&ublish file..."),
                             .handler = [w](QAction *) { publish(w); },
                             .enabled = false}};
    });
}

} // namespace publish
