#include "about/entries.h"
#include "hyperlink/entries.h"
#include "image/entries.h"
#include "pageprops/entries.h"
#include "publish/entries.h"
#include "quillonkiv_config.h"
#include "shell/inserthtmldialog.h"
#include "shell/program.h"
#include "surface/webenginesurface.h"
#include "uikit/menuentry.h"

#include <QApplication>

#include <unistd.h>

int main(int argc, char *argv[])
{
    // Chromium will not start as root with its sandbox on.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon Kiv"));
    QApplication::setOrganizationName(QStringLiteral("QNKV"));
    QApplication::setApplicationVersion(QStringLiteral(QK_VERSION));
    // Each dialog brings its own menu and toolbar items; the order here is
    // their order where they share a place.
    ui::menus::Registry offers;
    pageprops::registerEntries(offers);
    hyperlink::registerEntries(offers);
    image::registerEntries(offers);
    shell::registerInsertHtml(offers);
    publish::registerEntries(offers);
    about::registerEntries(offers);
    shell::Program program([] { return std::make_unique<surface::WebEngineSurface>(); }, std::move(offers));
    if (const std::optional<int> code = program.start(QApplication::arguments()))
        return *code;
    return QApplication::exec();
}
