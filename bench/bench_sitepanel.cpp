// The site panel on a site of 10,000 files: from asking for the panel on the
// folder to the rows of its first level being in the view, against listing
// the same folder once. The rest of the tree fills in the background.
#include "sitepanel/sitepanel.h"
#include "uikit/pagehost.h"

#include "bench/benchutil.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPages = 2000;        // at the top, as a hand-made site keeps them
constexpr int kFolders = 8;         // of pictures
constexpr int kPicturesEach = 1000; // 2,000 + 8 x 1,000 = 10,000 files
constexpr int kRuns = 7;

struct Host final : ui::PageHost
{
    QMainWindow window;
    QMainWindow *mainWindow() override { return &window; }
    QString pagePath() const override { return {}; }
    bool pageModified() const override { return false; }
    bool openPage(const QString &) override { return false; }
    void showPlace(qsizetype) override {}
    void siteRenamed(const QString &, const QString &, const QList<ui::AddressChange> &) override {}
};

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("site"));
    QDir().mkpath(site);
    for (int i = 0; i < kPages; ++i)
        write(QStringLiteral("%1/page%2.html").arg(site).arg(i),
              "<!DOCTYPE html><title>p</title><img src=\"pictures0/p0.png\" alt=\"\">");
    for (int f = 0; f < kFolders; ++f) {
        QDir(site).mkdir(QStringLiteral("pictures%1").arg(f));
        for (int i = 0; i < kPicturesEach; ++i)
            write(QStringLiteral("%1/pictures%2/p%3.png").arg(site).arg(f).arg(i), "\x89PNG");
    }
    const int firstLevel = kPages + kFolders;

    Host host;
    host.window.resize(1000, 700);
    host.window.show();
    std::vector<double> ours;
    std::vector<double> floor;
    for (int run = 0; run < kRuns; ++run) {
        // A panel of its own each time: a model that has read the folder
        // before would answer from what it keeps.
        auto *panel = new sitepanel::SitePanel(host, &host.window);
        host.window.addDockWidget(Qt::LeftDockWidgetArea, panel);
        ours.push_back(timed([&] {
            panel->setSiteFolder(site);
            panel->show();
            waitFor(
                [&] {
                    return panel->model()->rowCount(panel->tree()->rootIndex()) >= firstLevel &&
                           panel->tree()->model()->hasIndex(firstLevel - 1, 0, panel->tree()->rootIndex());
                },
                10000);
            QCoreApplication::processEvents(); // the view lays the rows out
        }));
        delete panel;
        floor.push_back(timed([&] {
            const QFileInfoList entries = QDir(site).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot);
            if (entries.size() != firstLevel)
                std::printf("listing: %lld entries\n", static_cast<long long>(entries.size()));
        }));
    }
    printRatio("site_panel_first_level_vs_listing", ours, floor);
    const auto [lo, hi] = std::minmax_element(ours.begin(), ours.end());
    std::printf("site_panel_first_level_ms: %.1f (%.1f-%.1f; %d runs; %d rows of %d files; %s 100 ms)\n",
                median(ours), *lo, *hi, kRuns, firstLevel, kPages + kFolders * kPicturesEach,
                median(ours) <= 100 ? "within" : "over");
    return 0;
}
