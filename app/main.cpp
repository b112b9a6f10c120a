#include "app/offers.h"
#include "quillonkiv_config.h"
#include "shell/program.h"
#include "sitepanel/siteactions.h"
#include "surface/webenginesurface.h"

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
    // A rename of site files cut short by a crash is finished or undone
    // before any page of the site is opened.
    sitepanel::finishInterruptedRename(nullptr);
    shell::Program program([] { return std::make_unique<surface::WebEngineSurface>(); }, programOffers());
    if (const std::optional<int> code = program.start(QApplication::arguments()))
        return *code;
    return QApplication::exec();
}
