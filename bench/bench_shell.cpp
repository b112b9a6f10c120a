// The main window against a bare Qt WebEngine view: start-up until the window
// shows and until the blank page is ready for editing, the memory then, and
// saving a large page.
#include "shell/mainform.h"
#include "shell/program.h"
#include "surface/webenginesurface.h"
#include "testsupport/testwindow.h"
#include "uikit/uiseam.h"

#include "bench/benchutil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
const char kTemplate[] = "<!DOCTYPE "
                         "html>\r\n<HTML>\r\n<HEAD>\r\n<TITLE></TITLE>\r\n</HEAD>\r\n<BODY>\r\n<DIV>&nbsp;</"
                         "DIV>\r\n</BODY>\r\n</HTML>";

// Tells the parent when the window first shows on screen.
class ExposeWatch final : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Expose && !m_told) {
            m_told = true;
            std::puts("shown");
            std::fflush(stdout);
        }
        return false;
    }

private:
    bool m_told = false;
};

// After "ready", the child stays until the parent has seen its process tree
// settle and read its memory, and then ends as the program does. It waits on
// its input, not on a polling loop: the parent times how long the tree keeps
// using the processor, and a poll would keep it busy.
void settleAndQuit()
{
    std::puts("ready");
    std::fflush(stdout);
    QEventLoop loop;
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit); // a parent that is gone
    loop.exec();
}

// The program's own way in, as its main() takes it.
int childOurs()
{
    ui::Script script; // no dialog may block start-up
    ui::setScript(&script);
    ExposeWatch watch;
    qApp->installEventFilter(&watch); // the first window's first expose
    shell::Program program([] { return std::make_unique<surface::WebEngineSurface>(); }, programOffers());
    if (program.start({QCoreApplication::applicationFilePath()}))
        return 1;
    const shell::MainForm *form = program.windows().value(0);
    waitFor([&] { return form->documentReady; }, 60000);
    settleAndQuit();
    return 0;
}

int childFloor()
{
    QWebEngineProfile profile;
    QWebEngineView view;
    auto *page = new QWebEnginePage(&profile, &view);
    view.setPage(page);
    // As large as our window opens by default, the whole screen: a smaller
    // view would need less memory and time for its pixels alone.
    view.resize(QGuiApplication::primaryScreen()->geometry().size());
    ExposeWatch watch;
    qApp->installEventFilter(&watch);
    view.show();
    bool done = false;
    QObject::connect(page, &QWebEnginePage::loadFinished, [&](bool) {
        page->runJavaScript(QStringLiteral("document.designMode = 'on'"),
                            [&](const QVariant &) { done = true; });
    });
    page->setHtml(QString::fromLatin1(kTemplate));
    waitFor([&] { return done; }, 60000);
    settleAndQuit();
    view.setPage(nullptr);
    delete page;
    return 0;
}

struct Start
{
    double shownMs = 0;
    double readyMs = 0;
    double settledMs = 0;
    double pssKb = 0;
    QStringList lastBusy; // the processes busy last before the tree settled
};

// The whole tree counts as settled once it has used no processor time for
// this long; its processor time is sampled this often.
constexpr qint64 kQuietMs = 150;
constexpr int kSampleMs = 10;

// Runs this program in a child mode: times to the window shown, to ready and
// to the moment its process tree (the program and the engine's processes)
// last used the processor before a quiet spell, and the memory of the tree
// then.
Start runChild(const QString &mode)
{
    Start start;
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationFilePath(), {mode});
    if (!p.waitForStarted(30000))
        return start;
    std::map<qint64, qint64> lastTicks;
    qint64 lastBusyMs = 0;
    while (p.state() == QProcess::Running && t.elapsed() < 60000) {
        p.waitForReadyRead(kSampleMs);
        while (p.canReadLine()) {
            const QByteArray line = p.readLine().trimmed();
            if (line == "shown")
                start.shownMs = double(t.nsecsElapsed()) / 1e6;
            else if (line == "ready")
                start.readyMs = double(t.nsecsElapsed()) / 1e6;
        }
        std::map<qint64, qint64> ticks = treeCpuTicks(p.processId());
        const qint64 now = t.elapsed();
        if (ticks != lastTicks) {
            start.lastBusy.clear();
            for (const auto &[pid, used] : ticks)
                if (lastTicks[pid] != used)
                    start.lastBusy << processKind(pid);
            lastTicks = std::move(ticks);
            lastBusyMs = now;
        } else if (start.readyMs > 0 && now - lastBusyMs >= kQuietMs) {
            start.settledMs = double(lastBusyMs);
            start.pssKb = treePssKb(p.processId());
            break;
        }
    }
    p.write("quit\n");
    p.closeWriteChannel();
    // The child and its engine's processes end on their own, and the machine
    // quietens, before the next start: a run that overlaps the last one's
    // end is timed against it.
    if (!p.waitForFinished(30000))
        p.kill();
    p.waitForFinished(30000);
    QThread::msleep(500);
    return start;
}

// Every start against the floor's median: the goal holds for the slowest
// start, not only for the middle one.
void printWorstRatio(const char *name, const std::vector<double> &ours, const std::vector<double> &floor)
{
    if (ours.empty() || median(floor) <= 0) {
        std::printf("%s: n/a\n", name);
        return;
    }
    const auto worst = std::max_element(ours.begin(), ours.end());
    std::printf("%s: %.2f (start %td of %zu, %.1f ms; floor median %.1f ms)\n", name, *worst / median(floor),
                worst - ours.begin() + 1, ours.size(), *worst, median(floor));
    std::fflush(stdout);
}

QString bigPage(qsizetype size, int references, const QString &folder)
{
    QString html = QStringLiteral("<html><head><title>Big</title></head><body>\n");
    const qsizetype per = size / references;
    for (int i = 0; i < references; ++i) {
        html += QStringLiteral(
                    "<p><img src=\"file://%1/img/p%2.gif\"><a href=\"file://%1/pages/x%2.html\">link</a> ")
                    .arg(folder)
                    .arg(i);
        while (html.size() < (i + 1) * per)
            html += QStringLiteral("Some running text of the page to fill it up. ");
        html += QStringLiteral("</p>\n");
    }
    return html + QStringLiteral("</body></html>");
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--ours") == 0) {
        surface::prepareBeforeApplication();
        QApplication app(argc, argv);
        QStandardPaths::setTestModeEnabled(true);
        return childOurs();
    }
    if (argc > 1 && qstrcmp(argv[1], "--floor") == 0) {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication app(argc, argv);
        return childFloor();
    }
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);

    // Start-up, ours and the floor taking turns, each first every other
    // time: neither always follows the other's end.
    std::vector<double> shownOurs, shownFloor, readyOurs, readyFloor, settledOurs, settledFloor, pssOurs,
        pssFloor;
    for (int i = 0; i < 15; ++i) {
        Start f;
        Start o;
        if (i % 2 == 0) {
            f = runChild(QStringLiteral("--floor"));
            o = runChild(QStringLiteral("--ours"));
        } else {
            o = runChild(QStringLiteral("--ours"));
            f = runChild(QStringLiteral("--floor"));
        }
        // Each start on its own, to tell a late one and what ran last in it.
        std::fprintf(stderr,
                     "start %d: ours shown %.0f ready %.0f settled %.0f ms (last %s); floor %.0f %.0f %.0f "
                     "ms (last %s)\n",
                     i + 1, o.shownMs, o.readyMs, o.settledMs, qPrintable(o.lastBusy.join(u',')), f.shownMs,
                     f.readyMs, f.settledMs, qPrintable(f.lastBusy.join(u',')));
        shownFloor.push_back(f.shownMs);
        readyFloor.push_back(f.readyMs);
        settledFloor.push_back(f.settledMs);
        pssFloor.push_back(f.pssKb / 1024);
        shownOurs.push_back(o.shownMs);
        readyOurs.push_back(o.readyMs);
        settledOurs.push_back(o.settledMs);
        pssOurs.push_back(o.pssKb / 1024);
    }

    const auto printStartup = [&] {
        printRatio("rss_vs_floor", pssOurs, pssFloor, "MiB PSS");
        printRatio("window_shown_vs_floor", shownOurs, shownFloor);
        printRatio("startup_vs_floor", readyOurs, readyFloor);
        printPairedRatio("window_shown_paired_vs_floor", shownOurs, shownFloor);
        printPairedRatio("startup_paired_vs_floor", readyOurs, readyFloor);
        printPairedRatio("settled_paired_vs_floor", settledOurs, settledFloor);
        printWorstRatio("settled_worst_vs_floor", settledOurs, settledFloor);
        printRatio("settled_vs_floor", settledOurs, settledFloor);
    };

    // Only the start-up figures, for looking into start-up alone.
    if (argc > 1 && qstrcmp(argv[1], "--startup") == 0) {
        printStartup();
        return 0;
    }

    // Saving a 10 MB page with 20,000 local references: as it stands, and
    // after an edit, against the bare view's read of the page and a plain write.
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString pagePath = dir.filePath(QStringLiteral("index.html"));
    {
        QFile f(pagePath);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(bigPage(10 * 1024 * 1024, 20000, folder).toUtf8());
    }
    std::vector<double> saveOurs, saveEdited, saveFloor, refresh, snapshot;
    {
        ui::Script script;
        ui::setScript(&script);
        shell::MainForm form(std::make_unique<surface::WebEngineSurface>(), programOffers());
        form.show();
        waitFor([&] { return form.documentReady; }, 60000);
        script.fileAnswers << pagePath;
        form.open();
        form.savePage(false); // the references become relative once
        for (int run = 0; run < 5; ++run) {
            waitFor([] { return false; }, 500);
            saveOurs.push_back(timed([&] { form.savePage(false); }));
            form.surface()->DOM().body().setAttribute(
                QStringLiteral("bgcolor"), run % 2 ? QStringLiteral("#ffffff") : QStringLiteral("#fffffe"));
            waitFor([] { return false; }, 500);
            saveEdited.push_back(timed([&] { form.savePage(false); }));
        }

        // The window's whole refresh on a display change, on a 1 MB page with a
        // selection, plus the page-side snapshot that precedes it.
        const QString smallPath = dir.filePath(QStringLiteral("small.html"));
        QFile f(smallPath);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(bigPage(1024 * 1024, 2000, folder).toUtf8());
        f.close();
        script.fileAnswers << smallPath;
        form.open();
        auto *surface = static_cast<surface::WebEngineSurface *>(form.surface());
        surface->evaluate(QStringLiteral(
            "(() => { const r = document.createRange(); r.selectNodeContents(document.querySelector('p'));"
            " const s = document.getSelection(); s.removeAllRanges(); s.addRange(r); return true; })()"));
        waitFor([] { return false; }, 500);
        for (int i = 0; i < 200; ++i)
            refresh.push_back(timed([&] { emit form.surface()->DisplayChanged(); }));
        for (int i = 0; i < 20; ++i) {
            const auto v = surface->evaluate(QStringLiteral(
                "(() => { const t = performance.now(); qk.snap(); return performance.now() - t; })()"));
            snapshot.push_back(v ? v->toDouble() : 0);
        }
        ui::setScript(nullptr);
    }
    {
        QWebEngineProfile profile;
        QWebEngineView view;
        auto *page = new QWebEnginePage(&profile, &view);
        view.setPage(page);
        view.show();
        bool loaded = false;
        QObject::connect(page, &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
        page->load(QUrl::fromLocalFile(pagePath));
        waitFor([&] { return loaded; }, 120000);
        for (int run = 0; run < 5; ++run) {
            waitFor([] { return false; }, 500);
            saveFloor.push_back(timed([&] {
                QString got;
                bool have = false;
                page->runJavaScript(QStringLiteral("document.documentElement.outerHTML"),
                                    [&](const QVariant &h) {
                                        got = h.toString();
                                        have = true;
                                    });
                waitFor([&] { return have; }, 120000);
                QFile out(dir.filePath(QStringLiteral("floor.html")));
                if (out.open(QIODevice::WriteOnly))
                    out.write(got.toUtf8());
            }));
        }
        view.setPage(nullptr);
        delete page;
    }

    std::printf("refresh_handler_ms: %.3f\n", median(refresh));
    std::printf("snapshot_script_ms: %.3f\n", median(snapshot));
    std::printf("display_refresh_ms: %.3f\n", median(refresh) + median(snapshot));
    printRatio("save_10mb_vs_floor", saveOurs, saveFloor);
    printRatio("save_edited_10mb_vs_floor", saveEdited, saveFloor);
    printStartup();
    return 0;
}
