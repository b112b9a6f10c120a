// The site model and the rename against the plain file work they cannot do
// without: reading every file of the site once, and writing the pages a
// rename changes once.
//
// The generated site is made of the real pages of the test corpus, each with
// its local references pointed at the site's own pictures and pages, so that
// the parser meets real markup and the model real references.
#include "bench/benchutil.h"
#include "pathrel/references.h"
#include "site/sitemodel.h"
#include "site/siterename.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

const int kPages = 1000;
const int kPictures = 5000;
const int kPerFolder = 100;
const int kRenamedPages = 200; // every fifth page shows the shared picture

QString pageAt(const QString &root, int i)
{
    return QStringLiteral("%1/pages/part%2/page%3.html").arg(root).arg(i / kPerFolder).arg(i);
}

QString pictureAt(const QString &root, int i, const QString &suffix)
{
    return QStringLiteral("%1/pictures/set%2/picture%3.%4").arg(root).arg(i / kPerFolder).arg(i).arg(suffix);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

struct Source
{
    QByteArray bytes;
    QString suffix; // for pictures
};

std::vector<Source> sources(const QStringList &folders, bool pages)
{
    std::vector<Source> out;
    for (const QString &folder : folders) {
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        QStringList found;
        while (it.hasNext())
            found << it.next();
        found.sort();
        for (const QString &path : found) {
            const site::FileKind kind = site::kindOfFile(path);
            const QByteArray bytes = readAll(path);
            // A page with a base element names files elsewhere: no rename follows it.
            if (pages && kind == site::FileKind::Page && !bytes.contains("<base "))
                out.push_back({bytes, {}});
            else if (!pages && kind == site::FileKind::Picture)
                out.push_back({bytes, QFileInfo(path).suffix()});
        }
    }
    return out;
}

// Whether a reference names a file beside the page: those are pointed at
// files of the generated site; web addresses and places in the page stay.
bool isLocal(const QString &value)
{
    if (value.isEmpty() || value.startsWith(u'#') || value.startsWith(QLatin1StringView("//")))
        return false;
    const qsizetype colon = value.indexOf(u':');
    const qsizetype slash = value.indexOf(u'/');
    return colon < 0 || (slash >= 0 && slash < colon) || pathrel::isFileUrl(value);
}

// Generates the site below root; gives the paths of all its files.
QStringList generateSite(const QString &root)
{
    const QString src = QStringLiteral(QK_SOURCE_DIR);
    const std::vector<Source> pages = sources(
        {src + QStringLiteral("/surface/tests/corpus"), src + QStringLiteral("/site/tests/site")}, true);
    const std::vector<Source> pictures = sources({src + QStringLiteral("/site/tests/site")}, false);
    QStringList all;
    std::vector<QString> picturePaths;
    for (int i = 0; i < kPictures; ++i) {
        const Source &p = pictures[size_t(i) % pictures.size()];
        picturePaths.push_back(pictureAt(root, i, p.suffix));
        writeAll(picturePaths.back(), p.bytes);
        all << picturePaths.back();
    }
    const QString shared = root + QStringLiteral("/pictures/shared.gif");
    writeAll(shared, pictures.front().bytes);
    all << shared;
    unsigned next = 1;
    for (int i = 0; i < kPages; ++i) {
        const Source &s = pages[size_t(i) % pages.size()];
        const QString path = pageAt(root, i);
        const QDir folder = QFileInfo(path).absoluteDir();
        bool utf8 = true;
        QString text = site::fileText(s.bytes, &utf8);
        const QList<pathrel::Reference> refs = pathrel::listReferences(text, path);
        for (qsizetype r = refs.size(); r-- > 0;) {
            const pathrel::Reference &ref = refs[r];
            if (!isLocal(ref.value))
                continue;
            next = next * 1103515245u + 12345u;
            const bool picture =
                ref.kind == pathrel::ReferenceKind::Src || ref.kind == pathrel::ReferenceKind::Srcset ||
                ref.kind == pathrel::ReferenceKind::Background || ref.kind == pathrel::ReferenceKind::CssUrl;
            const QString target =
                picture ? picturePaths[(next >> 8) % kPictures] : pageAt(root, int((next >> 8) % kPages));
            text.replace(ref.offset, ref.length, folder.relativeFilePath(target));
        }
        // Every fifth page shows the picture the rename benchmark renames.
        if (i % (kPages / kRenamedPages) == 0) {
            const qsizetype body = text.indexOf(QLatin1StringView("<body"), 0, Qt::CaseInsensitive);
            const qsizetype at = body < 0 ? 0 : text.indexOf(u'>', body) + 1;
            text.insert(at, QStringLiteral("<img src=\"%1\" alt=\"\">").arg(folder.relativeFilePath(shared)));
        }
        writeAll(path, utf8 ? text.toUtf8() : text.toLatin1());
        all << path;
    }
    return all;
}

void readEvery(const QStringList &files)
{
    qsizetype total = 0;
    for (const QString &path : files) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            total += f.readAll().size();
    }
    if (total == 0)
        std::fprintf(stderr, "nothing read\n");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QString root = temp.filePath(QStringLiteral("site"));
    const QStringList files = generateSite(root);
    QStringList pages;
    qsizetype pageBytes = 0;
    for (const QString &f : files)
        if (site::kindOfFile(f) == site::FileKind::Page) {
            pages << f;
            pageBytes += QFileInfo(f).size();
        }
    std::printf("site: %lld files, %lld pages, %.1f MB of pages\n", static_cast<long long>(files.size()),
                static_cast<long long>(pages.size()), double(pageBytes) / 1e6);

    // Everything read once, so that both sides read from memory.
    readEvery(files);
    const site::Model first = site::scanSite(root);
    std::printf("references: %lld\n", static_cast<long long>(first.references.size()));

    const int runs = 7;
    std::vector<double> scan, read, readPages;
    for (int run = 0; run < runs; ++run) {
        scan.push_back(timed([&] { site::scanSite(root); }));
        read.push_back(timed([&] { readEvery(files); }));
        readPages.push_back(timed([&] { readEvery(pages); }));
    }
    printRatio("site_scan_vs_read_pages", scan, readPages);
    printPairedRatio("site_scan_vs_read_paired", scan, read);
    printRatio("site_scan_vs_read", scan, read);

    // The rename: the shared picture back and forth, each time with a model
    // read afresh, as the panel holds one.
    const QString journal = temp.filePath(QStringLiteral("journal"));
    const QString floorFolder = temp.filePath(QStringLiteral("floor"));
    QDir().mkpath(floorFolder);
    QString from = root + QStringLiteral("/pictures/shared.gif");
    QString to = root + QStringLiteral("/pictures/shared-renamed.gif");
    std::vector<double> rename, write;
    for (int run = 0; run < runs; ++run) {
        const site::Model model = site::scanSite(root);
        QStringList changed;
        bool ok = false;
        rename.push_back(timed([&] {
            const site::RenamePlan plan = site::planRename(model, from, to);
            for (const site::FileChange &c : plan.changes)
                changed << c.file;
            ok = plan.changes.size() == kRenamedPages && site::applyRename(plan, journal).ok;
        }));
        if (!ok) {
            std::fprintf(stderr, "the rename failed\n");
            return 1;
        }
        // The same pages, as the rename left them, written once more elsewhere.
        std::vector<QByteArray> contents;
        for (const QString &path : changed)
            contents.push_back(readAll(path));
        write.push_back(timed([&] {
            for (size_t i = 0; i < contents.size(); ++i) {
                QSaveFile out(QStringLiteral("%1/page%2.html").arg(floorFolder).arg(i));
                if (!out.open(QIODevice::WriteOnly) || out.write(contents[i]) != contents[i].size() ||
                    !out.commit())
                    std::fprintf(stderr, "a write failed\n");
            }
        }));
        std::swap(from, to);
    }
    printPairedRatio("site_rename_vs_write_paired", rename, write);
    printRatio("site_rename_vs_write", rename, write);
    return 0;
}
