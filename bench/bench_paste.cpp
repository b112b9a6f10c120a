// Pasting a long report from a word processor (1 MB of its HTML clipboard,
// made from the clipboard fixture) with the cleaning, against the engine's
// own paste of the same clipboard in a bare Qt WebEngine view; each until
// the page reports its state after the paste.
#include "surface/webenginesurface.h"

#include "bench/benchutil.h"
#include "bench/loggingpage.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cstdio>
#include <vector>

namespace {

// The fixture's copied part repeated until the clipboard holds size bytes,
// inside the fixture's own head, as the word processor writes a long one.
QString longReport(qsizetype size)
{
    QFile f(QStringLiteral(QK_SOURCE_DIR "/surface/tests/paste/word.html"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString fixture = QString::fromUtf8(f.readAll());
    const qsizetype from = fixture.indexOf(QLatin1String("<!--StartFragment-->"));
    const qsizetype to = fixture.indexOf(QLatin1String("<!--EndFragment-->"));
    if (from < 0 || to < from)
        return {};
    const QString part = fixture.mid(from + 20, to - from - 20);
    QString body;
    while (body.size() < size)
        body += part;
    return fixture.left(from + 20) + body + fixture.mid(to);
}

void putOnClipboard(const QString &html)
{
    auto *data = new QMimeData; // the clipboard owns it
    data->setHtml(html);
    data->setText(QStringLiteral("Annual report"));
    QGuiApplication::clipboard()->setMimeData(data);
}

// The engine's own paste into an editable page, reported by its input event.
double barePasteMs()
{
    QWebEngineProfile profile;
    QWebEngineView view;
    auto *page = new LoggingPage(&profile, &view);
    view.setPage(page);
    view.resize(1000, 800);
    view.show();
    bool loaded = false;
    QObject::connect(page, &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
    page->setHtml(QStringLiteral("<html><body><p id=\"t\">x</p></body></html>"));
    waitFor([&] { return loaded; }, 30000);
    bool ready = false;
    page->runJavaScript(
        QStringLiteral("document.designMode = 'on';"
                       " document.addEventListener('input', () => console.log('i'));"
                       " getSelection().selectAllChildren(document.getElementById('t')); true"),
        [&](const QVariant &) { ready = true; });
    waitFor([&] { return ready; }, 10000);
    page->messages = 0;
    const double ms = timed([&] {
        page->triggerAction(QWebEnginePage::Paste);
        waitFor([&] { return page->messages > 0; }, 600000);
    });
    view.setPage(nullptr);
    delete page;
    return ms;
}

// Ours: the paste command, until the surface has the page's state after it.
double oursPasteMs(surface::WebEngineSurface &s)
{
    s.NewDocument();
    s.setDocumentHTML(QStringLiteral("<html><body><p id=\"t\">x</p></body></html>"));
    s.evaluate(QStringLiteral("(() => { getSelection().selectAllChildren(document.getElementById('t'));"
                              " return qk.snap(); })()"));
    waitFor([] { return false; }, 200);
    const int before = s.changeCount();
    QSignalSpy shown(&s, &surface::EditSurface::DisplayChanged);
    return timed([&] {
        s.ExecCommand(surface::DECMD_PASTE);
        waitFor([&] { return s.changeCount() != before && !shown.isEmpty(); }, 600000);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    // A smaller report for a quick look: bench_paste <bytes>.
    const qsizetype size = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024 * 1024;
    const QString report = longReport(size > 0 ? size : 1024 * 1024);
    if (report.isEmpty()) {
        std::printf("paste_clean_1mb_vs_raw: n/a (no fixture)\n");
        return 1;
    }
    putOnClipboard(report);

    QWidget window;
    window.resize(1000, 800);
    surface::WebEngineSurface s(&window);
    s.widget()->resize(1000, 800);
    window.show();
    waitFor([] { return false; }, 500);

    std::vector<double> floor, ours;
    for (int run = 0; run < 3; ++run) {
        floor.push_back(barePasteMs());
        ours.push_back(oursPasteMs(s));
    }
    printRatio("paste_clean_1mb_vs_raw", ours, floor);
    return 0;
}
