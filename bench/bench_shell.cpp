// The main window against a bare Qt WebEngine view: start-up until the blank
// page is ready for editing, resident memory then, and saving a large page.
#include "mainform.h"
#include "uiseam.h"
#include "webenginesurface.h"

#include "benchutil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
const char kTemplate[] =
    "<HTML>\r\n<HEAD>\r\n<TITLE></TITLE>\r\n</HEAD>\r\n<BODY>\r\n<DIV>&nbsp;</DIV>\r\n</BODY>\r\n</HTML>";

// Resident memory of this process and its engine helpers, in kB.
long residentKb()
{
    long total = 0;
    const QString self = QString::number(QCoreApplication::applicationPid());
    QProcess ps;
    ps.start(QStringLiteral("ps"),
             {QStringLiteral("-e"), QStringLiteral("-o"), QStringLiteral("pid=,ppid=,rss=")});
    ps.waitForFinished();
    for (const QByteArray &line : ps.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() == 3 && (f[0] == self.toLatin1() || f[1] == self.toLatin1()))
            total += f[2].toLong();
    }
    return total;
}

int childOurs()
{
    ui::Script script; // no dialog may block start-up
    ui::setScript(&script);
    MainForm form(std::make_unique<surface::WebEngineSurface>());
    form.show();
    waitFor([&] { return form.documentReady; }, 60000);
    std::printf("ready %ld\n", residentKb());
    std::fflush(stdout);
    return 0;
}

int childFloor()
{
    QWebEngineProfile profile;
    QWebEngineView view;
    auto *page = new QWebEnginePage(&profile, &view);
    view.setPage(page);
    view.resize(1024, 768);
    view.show();
    bool done = false;
    QObject::connect(page, &QWebEnginePage::loadFinished, [&](bool) { done = true; });
    page->setHtml(QString::fromLatin1(kTemplate));
    waitFor([&] { return done; }, 60000);
    std::printf("ready %ld\n", residentKb());
    std::fflush(stdout);
    view.setPage(nullptr);
    delete page;
    return 0;
}

// Runs this program in a child mode; returns milliseconds to "ready" and the memory it reported.
std::pair<double, double> runChild(const QString &mode)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationFilePath(), {mode});
    double ms = 0;
    double kb = 0;
    while (p.waitForReadyRead(60000)) {
        const QByteArray line = p.readLine();
        if (line.startsWith("ready")) {
            ms = double(t.nsecsElapsed()) / 1e6;
            kb = line.mid(6).trimmed().toDouble();
            break;
        }
    }
    p.waitForFinished(30000);
    return {ms, kb};
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

    std::vector<double> oursMs, floorMs, oursKb, floorKb;
    for (int i = 0; i < 5; ++i) {
        const auto f = runChild(QStringLiteral("--floor"));
        const auto o = runChild(QStringLiteral("--ours"));
        floorMs.push_back(f.first);
        floorKb.push_back(f.second);
        oursMs.push_back(o.first);
        oursKb.push_back(o.second);
    }

    // Saving a 10 MB page with 20,000 local references.
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString pagePath = dir.filePath(QStringLiteral("index.html"));
    const QString html = bigPage(10 * 1024 * 1024, 20000, folder);
    std::vector<double> saveOurs, saveFloor, saveEdited, saveEditedFloor, refresh, snapshot;
    {
        ui::Script script;
        ui::setScript(&script);
        MainForm form(std::make_unique<surface::WebEngineSurface>());
        form.show();
        waitFor([&] { return form.documentReady; }, 60000);
        for (int run = 0; run < 3; ++run) {
            QFile f(pagePath);
            if (!f.open(QIODevice::WriteOnly))
                return 1;
            f.write(html.toUtf8());
            f.close();
            script.fileAnswers << pagePath;
            form.FileOpen_Click();
            // The page as opened: its references are made relative.
            QElapsedTimer t;
            t.start();
            form.SaveCurrentDocument(false);
            saveOurs.push_back(double(t.nsecsElapsed()) / 1e6);
            // Then edited and saved again, the save's whole road.
            waitFor([] { return false; }, 2000);
            form.DHTMLEdit1->DOM().body().setAttribute(QStringLiteral("bgcolor"), QStringLiteral("#ffffff"));
            waitFor([] { return false; }, 2000);
            t.restart();
            form.SaveCurrentDocument(false);
            saveEdited.push_back(double(t.nsecsElapsed()) / 1e6);
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
        form.FileOpen_Click();
        auto *surface = static_cast<surface::WebEngineSurface *>(form.DHTMLEdit1);
        surface->evaluate(QStringLiteral(
            "(() => { const r = document.createRange(); r.selectNodeContents(document.querySelector('p'));"
            " const s = document.getSelection(); s.removeAllRanges(); s.addRange(r); return true; })()"));
        waitFor([] { return false; }, 500);
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            emit form.DHTMLEdit1->DisplayChanged();
            refresh.push_back(double(t.nsecsElapsed()) / 1e6);
        }
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
        for (int run = 0; run < 3; ++run) {
            bool loaded = false;
            auto c = QObject::connect(page, &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
            page->load(QUrl::fromLocalFile(pagePath));
            waitFor([&] { return loaded; }, 120000);
            QElapsedTimer t;
            t.start();
            QString got;
            bool have = false;
            page->toHtml([&](const QString &h) {
                got = h;
                have = true;
            });
            waitFor([&] { return have; }, 120000);
            QSaveFile out(pagePath);
            if (out.open(QIODevice::WriteOnly)) {
                out.write(got.toUtf8());
                out.commit();
            }
            loaded = false;
            page->load(QUrl::fromLocalFile(pagePath));
            waitFor([&] { return loaded; }, 120000);
            saveFloor.push_back(double(t.nsecsElapsed()) / 1e6);
            QObject::disconnect(c);
            // The floor of an edited save: the page's outerHTML and a plain write.
            t.restart();
            have = false;
            page->runJavaScript(QStringLiteral("document.documentElement.outerHTML"), [&](const QVariant &h) {
                got = h.toString();
                have = true;
            });
            waitFor([&] { return have; }, 120000);
            QFile plain(pagePath);
            if (plain.open(QIODevice::WriteOnly))
                plain.write(got.toUtf8());
            plain.close();
            saveEditedFloor.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        view.setPage(nullptr);
        delete page;
    }

    std::printf("startup_ms: %.0f\n", median(oursMs));
    std::printf("startup_floor_ms: %.0f\n", median(floorMs));
    std::printf("rss_kb: %.0f\n", median(oursKb));
    std::printf("rss_floor_kb: %.0f\n", median(floorKb));
    std::printf("save_10mb_ms: %.0f\n", median(saveOurs));
    std::printf("save_10mb_floor_ms: %.0f\n", median(saveFloor));
    std::printf("refresh_handler_ms: %.3f\n", median(refresh));
    std::printf("snapshot_script_ms: %.3f\n", median(snapshot));
    std::printf("display_refresh_ms: %.3f\n", median(refresh) + median(snapshot));
    std::printf("rss_vs_floor: %.2f\n", median(oursKb) / median(floorKb));
    std::printf("save_edited_10mb_ms: %.0f\n", median(saveEdited));
    std::printf("save_edited_10mb_floor_ms: %.0f\n", median(saveEditedFloor));
    std::printf("save_10mb_vs_floor: %.2f\n", median(saveOurs) / median(saveFloor));
    std::printf("save_edited_10mb_vs_floor: %.2f\n", median(saveEdited) / median(saveEditedFloor));
    std::printf("startup_vs_floor: %.2f\n", median(oursMs) / median(floorMs));
    return 0;
}
