// Key to frame: how long a person waits, on a large real page, from a key
// (or Bold, or Paste) to the first frame that shows its effect, in our
// surface against a bare Qt WebEngine view editing the same page.
//
// The frame is the first paint of the engine's render widget after the
// input: that widget only paints when the engine hands it a new frame, and
// the window system shows what it painted right after. The caret's blink is
// turned off for both, so nothing else paints while a key is timed. A frame
// timed inside the page (requestAnimationFrame) would leave out what the
// engine does after the page's own work: rastering, compositing and handing
// the frame to the window, all of which the person waits for too.
//
// The page is made of the real pages of the test corpora (corpuspage.h).
#include "surface/webenginesurface.h"

#include "bench/benchutil.h"
#include "surface/tests/corpuspage.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPointer>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace {

QString writeCorpusPage(const QTemporaryDir &dir, const QString &name, qsizetype size)
{
    const QString path = dir.filePath(name);
    return corpuspage::write(path, QStringLiteral(QK_SOURCE_DIR), size) ? path : QString();
}

// Puts the caret (or selects a word) in the k-th paragraph fit for `kind`
// from a place of the page (0 its start, 1 its end), and shows it.
QString placeScript(const char *kind, double where, int k)
{
    return QStringLiteral(
               "((kind, where, k) => {"
               " const ps = document.body.getElementsByTagName('p');"
               " const dir = where >= 1 ? -1 : 1;"
               " const word = (p) => { const w = document.createTreeWalker(p, NodeFilter.SHOW_TEXT); let t;"
               "  while ((t = w.nextNode())) { const m = /[A-Za-z]{3,}/.exec(t.data); if (m) return {t, m}; }"
               "  return null; };"
               " for (let j = Math.floor(where * (ps.length - 1)), seen = 0; j >= 0 && j < ps.length; j += "
               "dir) {"
               "  const p = ps[j]; const w = word(p);"
               "  if (!w || !p.getClientRects().length) continue;"
               "  if (kind === 'backspace' && (!p.previousElementSibling ||"
               "      p.previousElementSibling.localName !== 'p' || p.firstChild !== w.t || w.m.index)) "
               "continue;"
               "  if (seen++ < k) continue;"
               "  p.scrollIntoView({block: 'center'});"
               "  const r = document.createRange(); const at = w.m.index + w.m[0].length;"
               "  if (kind === 'bold') { r.setStart(w.t, w.m.index); r.setEnd(w.t, at); }"
               "  else r.setStart(w.t, kind === 'backspace' ? 0 : at);"
               "  const s = getSelection(); s.removeAllRanges(); s.addRange(r); return true;"
               " } return false; })('%1', %2, %3)")
        .arg(QLatin1String(kind))
        .arg(where)
        .arg(k);
}

// Counts the paints of the engine's render widget, and when the first one
// after the mark came.
class FrameWatch final : public QObject
{
public:
    QElapsedTimer clock;
    qint64 markNs = -1;
    qint64 firstNs = -1;
    int paints = 0;

    FrameWatch() { clock.start(); }
    void watch(QWidget *w)
    {
        if (m_target == w)
            return;
        if (m_target)
            m_target->removeEventFilter(this);
        m_target = w;
        w->installEventFilter(this);
    }
    void mark()
    {
        firstNs = -1;
        markNs = clock.nsecsElapsed();
    }
    // Milliseconds from the mark to the first frame after it (the wait is
    // cut short at `ms`).
    double frameMs(int ms)
    {
        waitFor([this] { return firstNs >= 0; }, ms);
        return firstNs < 0 ? ms : double(firstNs - markNs) / 1e6;
    }

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) {
            ++paints;
            if (markNs >= 0 && firstNs < 0)
                firstNs = clock.nsecsElapsed();
        }
        return false;
    }

private:
    QPointer<QWidget> m_target;
};

// The floor: a bare view with the same page in design mode.
struct BareView
{
    QWebEngineProfile profile;
    QWebEngineView view;
    QWebEnginePage *page = new QWebEnginePage(&profile, &view);

    explicit BareView(QWidget *window) : view(window)
    {
        view.setPage(page);
        view.setGeometry(1000, 0, 1000, 800);
    }
    ~BareView()
    {
        view.setPage(nullptr);
        delete page;
    }
    QVariant run(const QString &code)
    {
        std::optional<QVariant> got;
        page->runJavaScript(code, [&](const QVariant &v) { got = v; });
        waitFor([&] { return got.has_value(); }, 120000);
        return got.value_or(QVariant());
    }
    bool load(const QString &path)
    {
        std::optional<bool> finished;
        auto c = QObject::connect(page, &QWebEnginePage::loadFinished, [&](bool ok) { finished = ok; });
        page->load(QUrl::fromLocalFile(path));
        waitFor([&] { return finished.has_value(); }, 180000);
        QObject::disconnect(c);
        return finished.value_or(false) && run(QStringLiteral("document.designMode = 'on'; true")).toBool();
    }
};

QWidget *inputOf(QWidget *view)
{
    return view->focusProxy() ? view->focusProxy() : view;
}

struct Side
{
    const char *name;
    QWidget *view;
    std::function<QVariant(const QString &)> run;
    std::function<void()> bold;
    std::function<void()> paste;
};

// What each figure does, given where the caret has been put.
struct Case
{
    const char *figure;
    const char *kind;
    std::function<void(Side &)> act;
};

void keyOn(Side &side, Qt::Key key)
{
    QTest::keyClick(inputOf(side.view), key);
}

// Whether the last action changed the page: a counter of mutations kept by
// an observer in the side's own world (only while warming up: it costs).
const QString kWatchMutations = QStringLiteral(
    "window.kfCount = 0; window.kfObserver = new MutationObserver((r) => { window.kfCount += r.length; });"
    " window.kfObserver.observe(document, {subtree: true, childList: true, characterData: true,"
    " attributes: true}); true");

} // namespace

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    // No blinking caret: its frames would pass for the key's.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    const qsizetype size = (argc > 1 ? QByteArray(argv[1]).toInt() : 10) * 1024 * 1024;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 5;

    QTemporaryDir dir;
    const QString path = writeCorpusPage(dir, QStringLiteral("corpus.html"), size);

    QWidget window;
    window.resize(2000, 800);
    surface::WebEngineSurface s(&window);
    s.widget()->setGeometry(0, 0, 1000, 800);
    BareView bare(&window);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return 1;
    if (s.LoadDocument(path, false) != surface::codes::Ok || !bare.load(path)) {
        std::printf("the page did not open\n");
        return 1;
    }
    waitFor([] { return false; }, 2000); // both have laid the page out

    Side ours{"ours", s.widget(), [&](const QString &code) { return s.evaluate(code).value_or(QVariant()); },
              [&] { s.ExecCommand(surface::DECMD_BOLD); }, [&] { s.ExecCommand(surface::DECMD_PASTE); }};
    Side floor{"floor", &bare.view, [&](const QString &code) { return bare.run(code); },
               [&] { QTest::keyClick(inputOf(&bare.view), Qt::Key_B, Qt::ControlModifier); },
               [&] { bare.page->triggerAction(QWebEnginePage::Paste); }};
    const std::vector<Case> cases = {
        {"typing_frame_vs_floor", "type", [](Side &side) { keyOn(side, Qt::Key_A); }},
        {"bold_frame_vs_floor", "bold", [](Side &side) { side.bold(); }},
        {"enter_frame_vs_floor", "enter", [](Side &side) { keyOn(side, Qt::Key_Return); }},
        {"backspace_frame_vs_floor", "backspace", [](Side &side) { keyOn(side, Qt::Key_Backspace); }},
        {"paste_frame_vs_floor", "paste", [](Side &side) { side.paste(); }},
    };
    // One paragraph of a real page, as a copy from a browser brings it.
    auto *paragraph = new QMimeData; // the clipboard takes it
    paragraph->setHtml(QStringLiteral("<meta charset=\"utf-8\"><p>The <b>zlib</b> stream format is a wrapper "
                                      "around <i>deflate</i> data: a header, the compressed data and a check "
                                      "value, so that a reader can tell a damaged stream.</p>"));
    paragraph->setText(QStringLiteral("The zlib stream format is a wrapper around deflate data."));
    QApplication::clipboard()->setMimeData(paragraph);

    FrameWatch frames;
    // The first edits of a page just opened: the first change starts the
    // program's own reading of the page's source, and nothing of that may
    // hold a key back. Keys come at a typist's pace for four seconds, and
    // the worst of them is the figure.
    std::pair<std::vector<double>, std::vector<double>> firstEdits;
    for (Side *side : {&ours, &floor}) {
        inputOf(side->view)->setFocus();
        side->run(placeScript("type", 0.5, 0));
        frames.watch(inputOf(side->view));
        waitFor([] { return false; }, 250);
        QElapsedTimer typing;
        typing.start();
        while (typing.elapsed() < 4000) {
            frames.mark();
            keyOn(*side, Qt::Key_A);
            (side == &ours ? firstEdits.first : firstEdits.second).push_back(frames.frameMs(5000));
            waitFor([] { return false; }, 80);
        }
    }
    printRatio("first_edits_frame_vs_floor", firstEdits.first, firstEdits.second);
    std::printf("first_edits_worst_frame_vs_floor: %.2f (ours %.1f ms; floor %.1f ms)\n",
                *std::max_element(firstEdits.first.begin(), firstEdits.first.end()) /
                    *std::max_element(firstEdits.second.begin(), firstEdits.second.end()),
                *std::max_element(firstEdits.first.begin(), firstEdits.first.end()),
                *std::max_element(firstEdits.second.begin(), firstEdits.second.end()));
    std::fflush(stdout);
    Side *focused = &floor;

    std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> results;
    const double places[] = {0.0, 0.5, 1.0};
    const char *placeNames[] = {"start", "middle", "end"};
    for (int round = 0; round <= rounds; ++round) { // round 0 warms up and checks
        if (round == 0 || round == 1)
            for (Side *side : {&ours, &floor})
                side->run(round == 0 ? kWatchMutations
                                     : QStringLiteral("window.kfObserver.disconnect(); true"));
        for (const Case &c : cases)
            for (int p = 0; p < 3; ++p)
                for (Side *side :
                     round % 2 ? std::vector<Side *>{&ours, &floor} : std::vector<Side *>{&floor, &ours}) {
                    if (focused != side) {
                        inputOf(side->view)->setFocus();
                        focused = side;
                    }
                    if (!side->run(placeScript(c.kind, places[p], round)).toBool())
                        std::printf("%s: no place for %s at the %s\n", side->name, c.kind, placeNames[p]);
                    frames.watch(inputOf(side->view));
                    waitFor([] { return false; }, 250); // the placing has been shown
                    const int before = side->run(QStringLiteral("window.kfCount || 0")).toInt();
                    frames.mark();
                    c.act(*side);
                    const double ms = frames.frameMs(3000);
                    if (round == 0) {
                        waitFor([] { return false; }, 100);
                        if (side->run(QStringLiteral("window.kfCount || 0")).toInt() == before)
                            std::printf("%s: %s at the %s changed nothing\n", side->name, c.kind,
                                        placeNames[p]);
                        continue;
                    }
                    auto &[o, f] = results[c.figure];
                    (side == &ours ? o : f).push_back(ms);
                    auto &[po, pf] = results[std::string(c.kind) + "_" + placeNames[p]];
                    (side == &ours ? po : pf).push_back(ms);
                }
    }
    // Idle paints: with the caret still, none are expected.
    const int idle = frames.paints;
    waitFor([] { return false; }, 1000);
    std::printf("idle_paints_per_s: %d\n", frames.paints - idle);
    for (const auto &[name, v] : results)
        if (name.find('_') != std::string::npos && name.find("frame") == std::string::npos)
            printRatio(name.c_str(), v.first, v.second);
    for (const Case &c : cases)
        printRatio(c.figure, results[c.figure].first, results[c.figure].second);
    return 0;
}
