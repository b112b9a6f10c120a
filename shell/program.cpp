#include "shell/program.h"

#include "document/documentsession.h"
#include "document/saverules.h"
#include "shell/mainform.h"
#include "shell/pictures.h"
#include "shell/recentpages.h"
#include "shell/startvalues.h"
#include "surface/webenginesurface.h"
#include "uikit/uiseam.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QStatusBar>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>

namespace shell {

namespace {
// Two things the first window may need are slow the first time in a
// process: the fonts (fontconfig reads its configuration and caches) and,
// where its pictures are not all baked in, the image format plugins (the
// first picture file read loads every one of them). Both are shared by all
// threads, so a worker makes them ready while the main thread starts the
// page engine.
//
// fontconfig reads the environment, which the engine writes as it starts:
// what it writes is written before the worker starts.
void prepareInBackground(bool picturesFromFiles)
{
    surface::prepareEnvironment();
    QThreadPool::globalInstance()->start([picturesFromFiles] {
        QFontMetrics(QGuiApplication::font()).horizontalAdvance(document::windowTitle(QString()));
        if (!picturesFromFiles)
            return;
        QByteArray bytes("\x89PNG");
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader(&buffer).canRead();
    });
}
} // namespace

Program::Program(SurfaceFactory makeSurface, ui::menus::Registry offers, QObject *parent)
    : QObject(parent), m_makeSurface(std::move(makeSurface)), m_offers(std::move(offers))
{}

// The windows go before the application does: the engine behind their pages
// must not outlive it.
Program::~Program() = default;

std::optional<int> Program::start(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(tr("Edits web pages as they will look in a browser."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("pages"),
                                 tr("Pages to open, as paths or file:// addresses; a page that does not "
                                    "exist yet is written at its first save."),
                                 QStringLiteral("[page...]"));
    // Parsed, not processed: processing would end the process on --help
    // from inside whoever called us.
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    pictures::chooseTheme();
    pictures::useBakedStyle();
    prepareInBackground(!pictures::allBaked());
    recent::forgetMissing();
    ui::setFolderHistory(&recent::folders);
    QStringList pages;
    QStringList refused;
    for (const QString &argument : parser.positionalArguments()) {
        if (const std::optional<QString> page = pageFromArgument(argument, QDir::currentPath()))
            pages << *page;
        else
            refused << argument;
    }
    MainForm *first = openWindow(pages.value(0));
    for (qsizetype i = 1; i < pages.size(); ++i)
        openWindow(pages[i]);
    if (!refused.isEmpty()) {
        const QString text = tr("Only pages on this computer can be opened, not %1.").arg(refused.join(u' '));
        std::fprintf(stderr, "%s\n", qPrintable(text));
        first->statusBar()->showMessage(text);
    }
    // Pages a crash left unsaved are offered once the first window is up.
    QTimer::singleShot(0, first, [first] { first->session()->offerRecovery(); });
    return std::nullopt;
}

MainForm *Program::openWindow(const QString &path)
{
    auto owned = std::make_unique<MainForm>(m_makeSurface(), m_offers);
    MainForm *window = owned.get();
    // Each further window a step down and right, so that none hides another,
    // and no larger than what is left of the screen.
    if (!m_windows.empty()) {
        const MainForm *previous = m_windows.back().get();
        QRect place(previous->pos() + QPoint(32, 32), previous->size());
        if (const QScreen *screen = previous->screen())
            place = place.intersected(screen->availableGeometry());
        window->resize(place.size());
        window->move(place.topLeft());
    }
    m_windows.push_back(std::move(owned));
    connect(window, &MainForm::closed, this, [this, window] {
        const auto it =
            std::find_if(m_windows.begin(), m_windows.end(),
                         [window](const std::unique_ptr<MainForm> &w) { return w.get() == window; });
        if (it != m_windows.end()) {
            it->release()->deleteLater(); // not from inside its own close
            m_windows.erase(it);
        }
    });
    connect(window, &MainForm::openInNewWindow, this, [this](const QString &page) { openWindow(page); });
    window->show();
    if (!path.isEmpty())
        window->session()->openPath(path);
    return window;
}

QList<MainForm *> Program::windows() const
{
    QList<MainForm *> out;
    for (const std::unique_ptr<MainForm> &w : m_windows)
        out << w.get();
    return out;
}

} // namespace shell
