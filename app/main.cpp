#include <QApplication>
#include <QMainWindow>

#include <unistd.h>

int main(int argc, char *argv[])
{
    // Chromium will not start as root with its sandbox on.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon Kiv"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Quillon Kiv"));
    window.show();
    return QApplication::exec();
}
