#include "documentsession.h"
#include "mainform.h"
#include "webenginesurface.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

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
    MainForm window(std::make_unique<surface::WebEngineSurface>());
    window.show();
    // Pages a crash left unsaved are offered once the window is up.
    QTimer::singleShot(0, &window, [&window] { window.session()->offerRecovery(); });
    return QApplication::exec();
}
