// A very large real page: opened until editable (and until its state has
// come), a one-word edit typed into its middle, and read back for the save,
// against a bare Qt WebEngine view opening and reading the same page. The
// save must change one line of it.
//
// The page is made of the real pages of the test corpora (corpuspage.h),
// 50 MB unless the first argument gives another size in MB.
#include "surface/webenginesurface.h"

#include "bench/bareview.h"
#include "bench/benchutil.h"
#include "surface/tests/corpuspage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cstdio>
#include <optional>
#include <vector>

namespace {
constexpr int kPatienceMs = 600000;
} // namespace

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    const qsizetype size = (argc > 1 ? QByteArray(argv[1]).toInt() : 50) * 1024 * 1024;
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.html"));
    if (!corpuspage::write(path, QStringLiteral(QK_SOURCE_DIR), size)) {
        std::printf("the page could not be written\n");
        return 1;
    }

    QWidget window;
    window.resize(1000, 800);
    surface::WebEngineSurface s(&window);
    s.widget()->resize(1000, 800);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    // Opened until the page answers its script, as a key would have to
    // wait: on a page this large the engine lays it out after the load,
    // and our walk of it comes after that.
    std::vector<double> floorOpen, floorAnswer, oursOpen, oursState, oursAnswer;
    for (int run = 0; run < runs; ++run) {
        {
            BareView bare;
            floorOpen.push_back(bare.load(path, kPatienceMs));
            floorAnswer.push_back(floorOpen.back() + bare.answers(kPatienceMs));
        }
        QElapsedTimer t;
        t.start();
        if (s.LoadDocument(path, false) != surface::codes::Ok) {
            std::printf("the page did not open\n");
            return 1;
        }
        oursOpen.push_back(double(t.nsecsElapsed()) / 1e6);
        s.QueryStatus(surface::DECMD_BOLD);
        oursState.push_back(double(t.nsecsElapsed()) / 1e6);
        // Each call gives up after a while; the next one waits on.
        while (!s.evaluate(QStringLiteral("1")) && t.elapsed() < kPatienceMs) {
        }
        oursAnswer.push_back(double(t.nsecsElapsed()) / 1e6);
    }

    // One word typed into a paragraph in the middle of the page, then the
    // read a save makes, against the bare view's read of the same page.
    // The bare views were windows of their own: ours is made the active
    // one again, or the keys typed into it go nowhere.
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) {
        std::printf("the window did not become active\n");
        return 1;
    }
    QWidget *input = s.widget()->focusProxy() ? s.widget()->focusProxy() : s.widget();
    input->setFocus();
    const bool placed =
        s.evaluate(QStringLiteral("(() => { const ps = document.body.getElementsByTagName('p');"
                                  " for (let j = Math.floor(ps.length / 2); j < ps.length; j++) {"
                                  "  const w = document.createTreeWalker(ps[j], NodeFilter.SHOW_TEXT); let t;"
                                  "  while ((t = w.nextNode())) { const m = /[A-Za-z]{3,}/.exec(t.data);"
                                  "   if (m) { ps[j].scrollIntoView({block: 'center'});"
                                  "    getSelection().collapse(t, m.index + m[0].length); return true; } } }"
                                  " return false; })()"))
            .value_or(false)
            .toBool();
    const QString before = s.DocumentHTML();
    const double typed = timed([&] {
        QTest::keyClicks(input, QStringLiteral(" Quillon"));
        waitFor([&] { return s.IsDirty(); }, kPatienceMs);
    });
    std::vector<double> oursRead, floorRead;
    int changed = -1;
    {
        BareView bare;
        bare.load(path, kPatienceMs);
        for (int run = 0; run < runs; ++run) {
            floorRead.push_back(bare.read(kPatienceMs));
            std::optional<surface::DocumentRead> read;
            oursRead.push_back(timed([&] { read = s.readDocument(); }));
            if (read && read->ok)
                changed = linesChanged(before, read->text);
        }
    }
    std::printf("large_page_mb: %lld\n", static_cast<long long>(size / (1024 * 1024)));
    std::printf("typed_until_changed_ms: %.1f%s\n", typed, placed ? "" : " (no paragraph for the caret)");
    std::printf("lines_changed_by_one_word: %d\n", changed);
    printRatio("open_50mb_vs_floor", oursOpen, floorOpen);
    printRatio("open_50mb_state_vs_floor", oursState, floorOpen);
    printRatio("open_50mb_answering_vs_floor", oursAnswer, floorAnswer);
    printRatio("read_50mb_edited_vs_floor", oursRead, floorRead);
    return 0;
}
