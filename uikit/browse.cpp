#include "uikit/browse.h"

#include "uikit/uiseam.h"
#include "uikit/urlshortcut.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPointer>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

static void initServiceResources()
{
    Q_INIT_RESOURCE(uikit);
}

namespace browse {

QString &ChosenFileName()
{
    static QString chosen;
    return chosen;
}

bool BrowseForFile(QWidget *parent, const QString &filter, int filterIndex, const QString &startFolder)
{
    // Without a folder of its own the dialog would open wherever the program
    // was started from; the user's home is a better guess.
    const QString path = ui::openFile(parent, QCoreApplication::translate("browse", "Browse..."), filter,
                                      filterIndex, startFolder.isEmpty() ? QDir::homePath() : startFolder);
    if (path.isEmpty())
        return false;
    ChosenFileName() = path;
    return true;
}

QString readInternetShortcut(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    // Shortcut files are small; a huge file is not one.
    return parseInternetShortcut(file.read(64 * 1024));
}

std::optional<QString> browseFavorites(QWidget *parent)
{
    ChosenFileName().clear();
    if (!BrowseForFile(parent,
                       QCoreApplication::translate("browse", "All Files (*.*)|*.*|URL files (*.url)|*.url"),
                       2, favoritesFolder()))
        return std::nullopt;
    return readInternetShortcut(ChosenFileName());
}

QString favoritesFolder()
{
    QString windows = QStringLiteral("C:\\Windows\\Favorites");
    if (QDir(windows).exists())
        return windows;
    QString home = QDir::homePath();
    if (QDir(home + QStringLiteral("/Favorites")).exists())
        return home + QStringLiteral("/Favorites");
    return home;
}

std::optional<QImage> readPicture(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    // A header may claim any size; a preview never needs more than this.
    constexpr qint64 kMaxPixels = 40'000'000;
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxPixels)
        return std::nullopt;
    reader.setAllocationLimit(256);
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

void showHelp(QWidget *parent)
{
    initServiceResources();
    static QPointer<QDialog> window;
    if (!window) {
        window = new QDialog(nullptr, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setObjectName(QStringLiteral("HelpWindow"));
        window->setWindowTitle(QCoreApplication::translate("browse", "Quillon Kiv Help"));
        auto *layout = new QVBoxLayout(window);
        auto *text = new QTextBrowser(window);
        text->setSource(QUrl(QStringLiteral("qrc:/uikit/help.html")));
        layout->addWidget(text);
        window->resize(640, 560);
    }
    Q_UNUSED(parent);
    window->show();
    window->raise();
    window->activateWindow();
}

QIcon helpIcon(const QWidget *widget)
{
    return QIcon::fromTheme(QStringLiteral("help-browser"),
                            widget->style()->standardIcon(QStyle::SP_MessageBoxQuestion));
}

QToolButton *pictureButton(QWidget *parent, const char *name, const QIcon &icon, const QString &tip)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(icon);
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    return b;
}

void installHelpKey(QWidget *window)
{
    auto *key = new QShortcut(QKeySequence(Qt::Key_F1), window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window, [window] { showHelp(window); });
}

} // namespace browse
