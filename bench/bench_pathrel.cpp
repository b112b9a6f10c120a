// Rewriting the local references of a large page on save, against the cost of
// one case-insensitive search over the same text.
#include "bench/benchutil.h"
#include "pathrel/pathrel.h"
#include "pathrel/references.h"

#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
QString generatePage(qsizetype targetSize, int references)
{
    QString page;
    page.reserve(targetSize + 4096);
    page += QStringLiteral("<HTML><HEAD><TITLE>Bench</TITLE></HEAD><BODY>\r\n");
    const QString filler = QStringLiteral(
        "<P>Lorem ipsum dolor sit amet, consectetur adipiscing elit: <B>sed</B> do eiusmod tempor "
        "incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud.</P>\r\n");
    const qsizetype perReference = targetSize / references;
    for (int i = 0; i < references; ++i) {
        switch (i % 3) {
        case 0:
            page += QStringLiteral("<IMG SRC=\"file:///home/user/site/img/sub/picture%1.gif\">").arg(i);
            break;
        case 1:
            page += QStringLiteral("<A HREF=\"file:///home/user/other/page%1.html\">link</A>").arg(i);
            break;
        default:
            page += QStringLiteral(
                        "<TABLE BACKGROUND=file:///home/user/site/bg/b%1.jpg ><TR><TD>x</TD></TR></TABLE>")
                        .arg(i);
            break;
        }
        const qsizetype goal = (i + 1) * perReference;
        while (page.size() + filler.size() <= goal)
            page += filler;
    }
    page += QStringLiteral("</BODY></HTML>");
    return page;
}

} // namespace

int main()
{
    const QString folder = QStringLiteral("/home/user/site");
    const QString pagePath = folder + QStringLiteral("/index.html");
    const QString original = generatePage(10 * 1024 * 1024, 20000);

    std::vector<double> rewrite;
    std::vector<double> scan;
    for (int run = 0; run < 7; ++run) {
        // What the save of a page in its own folder does: every key, one call.
        QElapsedTimer t;
        t.start();
        const QString text = pathrel::rewriteReferences(original, {folder, pagePath}).text;
        rewrite.push_back(double(t.nsecsElapsed()) / 1e6);

        // The same text scanned once from end to end for a key it no longer holds.
        t.restart();
        const qsizetype found = text.indexOf(QLatin1String("SRC=\"FILE://"), 0, Qt::CaseInsensitive);
        scan.push_back(double(t.nsecsElapsed()) / 1e6);
        if (found >= 0 || text.contains(QLatin1String("file://"), Qt::CaseInsensitive)) {
            std::fprintf(stderr, "a reference was left absolute\n");
            return 1;
        }
    }
    std::printf("page_chars: %lld\n", static_cast<long long>(original.size()));
    std::printf("references: 20000\n");
    printRatio("rewrite_vs_scan", rewrite, scan);
    return 0;
}
