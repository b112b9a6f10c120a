// The editing surface against a bare Qt WebEngine view doing the same work on
// the same generated files: open until editable, read the HTML back, and the
// cost of one selection change until DisplayChanged.
#include "surface/webenginesurface.h"

#include "bench/bareview.h"
#include "bench/benchutil.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
QString writePage(const QTemporaryDir &dir, const QString &name, qsizetype size)
{
    QByteArray html =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Bench</title></head><body>\n";
    int i = 0;
    while (html.size() < size) {
        html += "<p id=\"p" + QByteArray::number(i) + "\">Paragraph " + QByteArray::number(i) +
                " with <b>bold</b>, <i>italic</i> and plain text, caf\xc3\xa9, to fill the page.</p>\n";
        if (i % 50 == 0)
            html += "<table border=1><tr><td>cell</td><td><img src=\"img/x.gif\"></td></tr></table>\n";
        ++i;
    }
    html += "</body></html>\n";
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(html);
    return path;
}

double bareOpenMs(const QString &path)
{
    BareView bare;
    return bare.load(path);
}

double bareSelectionMs(const QString &path)
{
    BareView bare;
    bare.load(path);
    bool ready = false;
    bare.page->runJavaScript(
        QStringLiteral("document.designMode = 'on'; document.addEventListener('selectionchange', () => "
                       "console.log('s')); getSelection().collapse(document.body, 0); true"),
        [&](const QVariant &) { ready = true; });
    waitFor([&] { return ready; }, 10000);
    QWidget *input = bare.view.focusProxy() ? bare.view.focusProxy() : &bare.view;
    input->setFocus();
    waitFor([] { return false; }, 200);
    std::vector<double> times;
    for (int i = 0; i < 25; ++i) {
        bare.page->messages = 0;
        QElapsedTimer k;
        k.start();
        QTest::keyClick(input, Qt::Key_Right, Qt::ShiftModifier);
        waitFor([&] { return bare.page->messages > 0; }, 5000);
        times.push_back(double(k.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

// Lines a one-word edit changes in a page read back, over the corpus of real
// pages: a save that writes back only what was edited changes one.
double linesChangedByOneWord(const QString &corpus)
{
    QWidget window;
    window.resize(1000, 800);
    surface::WebEngineSurface s(&window);
    s.widget()->resize(1000, 800);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 0;
    int pages = 0;
    int lines = 0;
    for (const QString &name : QDir(corpus).entryList({QStringLiteral("*.htm*")}, QDir::Files)) {
        if (s.LoadDocument(QDir(corpus).filePath(name), false) != surface::codes::Ok)
            continue;
        // The engine's input widget may be a new one for each page.
        QWidget *input = s.widget()->focusProxy() ? s.widget()->focusProxy() : s.widget();
        const QString before = s.DocumentHTML();
        // A click into the page, as a person makes before typing, then the
        // caret after the first word of the first paragraph.
        QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(5, 5));
        // The click reaches the page on its own way, not with the script's
        // calls: it must have landed before the caret is put in place.
        waitFor([] { return false; }, 200);
        s.evaluate(QStringLiteral(
            "(() => { const w = document.createTreeWalker(document.querySelector('p') || document.body,"
            " NodeFilter.SHOW_TEXT); let t; while ((t = w.nextNode())) { const m = "
            "/[A-Za-z]{3,}/.exec(t.data);"
            " if (m) { getSelection().collapse(t, m.index + m[0].length); return true; } } return false; "
            "})()"));
        input->setFocus();
        QTest::keyClicks(input, QStringLiteral("Quillon"));
        waitFor([&] { return s.IsDirty(); }, 5000);
        lines += linesChanged(before, s.DocumentHTML());
        ++pages;
    }
    return pages ? double(lines) / pages : 0;
}

} // namespace

// Milliseconds until our surface has the page ready for editing.
// Until the page is open for editing, and until its state (the caret placed,
// the page laid out for it) has come after.
std::pair<double, double> oursOpenMs(surface::WebEngineSurface &s, const QString &path)
{
    QElapsedTimer t;
    t.start();
    s.LoadDocument(path, false);
    const double open = double(t.nsecsElapsed()) / 1e6;
    s.QueryStatus(surface::DECMD_BOLD);
    return {open, double(t.nsecsElapsed()) / 1e6};
}

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--lossless") == 0) {
        std::printf("lossless_lines_changed: %.2f\n",
                    linesChangedByOneWord(QStringLiteral(QK_SOURCE_DIR "/surface/tests/corpus")));
        return 0;
    }
    QTemporaryDir dir;
    const QString page1 = writePage(dir, QStringLiteral("one.html"), 1024 * 1024);
    const QString page10 = writePage(dir, QStringLiteral("ten.html"), 10 * 1024 * 1024);

    QWidget window;
    window.resize(1000, 800);
    surface::WebEngineSurface s(&window);
    s.widget()->resize(1000, 800);
    window.show();
    waitFor([] { return false; }, 500);

    // Opening, ours and the floor taking turns, each in a fresh bare view
    // against our one surface (as the program keeps one).
    std::vector<double> floor1, ours1, state1, floor10, ours10, state10;
    for (int run = 0; run < 7; ++run) {
        floor1.push_back(bareOpenMs(page1));
        const auto [open, state] = oursOpenMs(s, page1);
        ours1.push_back(open);
        state1.push_back(state);
    }
    for (int run = 0; run < 3; ++run) {
        floor10.push_back(bareOpenMs(page10));
        const auto [open, state] = oursOpenMs(s, page10);
        ours10.push_back(open);
        state10.push_back(state);
    }

    // Reading the 10 MB page back: unchanged, and after an edit, against the
    // bare view's read of its page.
    std::vector<double> floorRead, oursRead, oursReadEdited;
    {
        BareView bare;
        bare.load(page10);
        waitFor([] { return false; }, 3000); // both have finished with their pages
        const auto floorReads = [&] { floorRead.push_back(bare.read()); };
        for (int run = 0; run < 5; ++run) {
            floorReads();
            oursRead.push_back(timed([&] { s.DocumentHTML(); }));
        }
        for (int run = 0; run < 5; ++run) {
            floorReads();
            s.DOM().body().setAttribute(QStringLiteral("bgcolor"),
                                        run % 2 ? QStringLiteral("#ffffff") : QStringLiteral("#fffffe"));
            waitFor([] { return false; }, 300);
            oursReadEdited.push_back(timed([&] { s.DocumentHTML(); }));
        }
    }

    // One selection change at a time, until DisplayChanged with a current snapshot.
    std::vector<double> display, selectionFloor, snapshotMs;
    s.LoadDocument(page1, false);
    QWidget *input = s.widget()->focusProxy() ? s.widget()->focusProxy() : s.widget();
    input->setFocus();
    QSignalSpy spy(&s, &surface::EditSurface::DisplayChanged);
    waitFor([] { return false; }, 200);
    for (int i = 0; i < 25; ++i) {
        waitFor([] { return false; }, 50); // the last change's news has come
        spy.clear();
        display.push_back(timed([&] {
            QTest::keyClick(input, Qt::Key_Right, Qt::ShiftModifier);
            waitFor([&] { return spy.count() > 0; }, 5000);
        }));
    }
    for (int i = 0; i < 20; ++i) {
        const auto v = s.evaluate(QStringLiteral(
            "(() => { const t = performance.now(); qk.snap(); return performance.now() - t; })()"));
        snapshotMs.push_back(v ? v->toDouble() : -1);
    }
    for (int run = 0; run < 3; ++run)
        selectionFloor.push_back(bareSelectionMs(page1));

    std::printf("snapshot_script_ms: %.2f\n", median(snapshotMs));
    std::printf("lossless_lines_changed: %.2f\n",
                linesChangedByOneWord(QStringLiteral(QK_SOURCE_DIR "/surface/tests/corpus")));
    printRatio("display_changed_vs_floor", display, selectionFloor);
    printRatio("read_10mb_vs_floor", oursRead, floorRead);
    printRatio("read_10mb_edited_vs_floor", oursReadEdited, floorRead);
    printRatio("open_10mb_vs_floor", ours10, floor10);
    printRatio("open_10mb_state_vs_floor", state10, floor10);
    printRatio("open_1mb_vs_floor", ours1, floor1);
    printRatio("open_1mb_state_vs_floor", state1, floor1);
    return 0;
}
