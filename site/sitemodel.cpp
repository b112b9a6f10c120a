#include "site/sitemodel.h"

#include "site/pagereferences.h"

#include "pathrel/cssreferences.h"
#include "pathrel/references.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace site {

QString findSiteFolder(const QString &pagePath)
{
    const QFileInfo page(pagePath);
    QString own = QDir::cleanPath(page.isDir() ? page.absoluteFilePath() : page.absolutePath());
    for (QDir dir(own);;) {
        for (const char *index : {"index.html", "index.htm"})
            if (QFileInfo(dir.filePath(QLatin1StringView(index))).isFile())
                return QDir::cleanPath(dir.absolutePath());
        if (!dir.cdUp())
            break;
    }
    return own;
}

FileKind kindOfFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"html" || suffix == u"htm")
        return FileKind::Page;
    if (suffix == u"css")
        return FileKind::StyleSheet;
    static const QSet<QString> pictures{
        QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("gif"),
        QStringLiteral("svg"),  QStringLiteral("webp"), QStringLiteral("bmp"),  QStringLiteral("ico"),
        QStringLiteral("avif"), QStringLiteral("apng"), QStringLiteral("tif"),  QStringLiteral("tiff")};
    return pictures.contains(suffix) ? FileKind::Picture : FileKind::Other;
}

QString fileText(const QByteArray &bytes, bool *utf8)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    const bool isUtf8 = !decoder.hasError();
    if (utf8)
        *utf8 = isUtf8;
    return isUtf8 ? text : QString::fromLatin1(bytes);
}

QByteArray contentFingerprint(const QByteArray &bytes)
{
    // Two 64-bit hashes with seeds of their own: a change a person or
    // program makes to a file does not keep both. The journal, which must
    // prove its copies whole on disk, keeps a cryptographic hash instead.
    QByteArray out(16, Qt::Uninitialized);
    const quint64 halves[] = {quint64(qHashBits(bytes.constData(), size_t(bytes.size()), 0x5157696b)),
                              quint64(qHashBits(bytes.constData(), size_t(bytes.size()), 0x4b69765f))};
    std::memcpy(out.data(), halves, sizeof halves);
    return out;
}

QString decodedAddressPath(const QString &pathPart)
{
    QString path = pathPart;
    if (path.contains(u'&')) {
        // The few character references a file name can need in an attribute.
        static const QRegularExpression reference(
            QStringLiteral("&(amp|quot|apos|lt|gt|#(\\d+)|#[xX]([0-9a-fA-F]+));"));
        QString out;
        qsizetype copied = 0;
        for (auto it = reference.globalMatch(path); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            out += QStringView(path).mid(copied, m.capturedStart() - copied);
            const QString name = m.captured(1);
            char32_t code = 0;
            if (name == u"amp")
                code = '&';
            else if (name == u"quot")
                code = '"';
            else if (name == u"apos")
                code = '\'';
            else if (name == u"lt")
                code = '<';
            else if (name == u"gt")
                code = '>';
            else if (m.hasCaptured(2))
                code = m.captured(2).toUInt();
            else
                code = m.captured(3).toUInt(nullptr, 16);
            if (code > 0 && code <= 0x10FFFF)
                out += QString::fromUcs4(&code, 1);
            copied = m.capturedEnd();
        }
        out += QStringView(path).mid(copied);
        path = out;
    }
    if (path.contains(u'%'))
        path = QUrl::fromPercentEncoding(path.toUtf8());
    return path;
}

namespace {

// The form, target, fragment and query of one address written in the file
// at sourcePath.
void resolve(Reference &ref, const QString &sourcePath, const QString &sourceFolder,
             const QString &siteFolder)
{
    const QString &value = ref.value;
    qsizetype cut = value.size();
    for (const QChar c : {u'?', u'#'})
        if (const qsizetype at = value.indexOf(c); at >= 0 && at < cut)
            cut = at;
    if (const qsizetype hash = value.indexOf(u'#'); hash >= 0) {
        ref.hasFragment = true;
        ref.fragment = decodedAddressPath(value.mid(hash + 1));
    }
    if (const qsizetype question = value.indexOf(u'?'); question >= 0 && question == cut) {
        const qsizetype hash = value.indexOf(u'#', question);
        ref.query = value.mid(question + 1, hash < 0 ? -1 : hash - question - 1);
    }
    const QString written = value.left(cut).trimmed();
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    ref.namesFolder = written.endsWith(u'/');
    if (written.isEmpty()) {
        ref.form = cut < value.size() && value[cut] == u'#' ? Form::Fragment : Form::External;
        ref.target = ref.form == Form::Fragment ? sourcePath : QString();
        return;
    }
    if (drive.match(written).hasMatch()) {
        ref.form = Form::FileUrl;
        ref.target = QDir::cleanPath(QDir::fromNativeSeparators(decodedAddressPath(written)));
        return;
    }
    if (const QRegularExpressionMatch m = scheme.match(written); m.hasMatch()) {
        const std::optional<QString> path = pathrel::fileAddressTarget(written, decodedAddressPath);
        if (!path) {
            ref.form = Form::External;
            return;
        }
        ref.form = Form::FileUrl;
        ref.target = QDir::cleanPath(*path);
        return;
    }
    if (written.startsWith(QLatin1StringView("//")) || written.startsWith(QLatin1StringView("\\\\"))) {
        ref.form = Form::External;
        return;
    }
    const QString path = decodedAddressPath(written);
    if (path.startsWith(u'/')) {
        ref.form = Form::SiteRoot;
        ref.target = QDir::cleanPath(siteFolder + path);
    } else {
        ref.form = Form::Relative;
        ref.target = QDir::cleanPath(sourceFolder + u'/' + path);
    }
}

// Line numbers for offsets, asked in any order.
class Lines
{
public:
    explicit Lines(const QString &text)
    {
        starts.push_back(0);
        for (qsizetype i = 0; i < text.size(); ++i)
            if (text[i] == u'\n')
                starts.push_back(i + 1);
    }
    int at(qsizetype offset) const
    {
        return int(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin());
    }

private:
    std::vector<qsizetype> starts;
};

// What the check asks of a page's elements, from the reading the references
// were listed from.
void readPageFacts(SiteFile &file, const pathrel::ParsedPage &page)
{
    const pathrel::PageFacts &facts = page.facts();
    file.hasTitle = facts.hasTitle;
    file.hasBase = facts.hasBase;
    file.anchors = facts.anchors;
    file.picturesWithoutAlt.reserve(facts.picturesWithoutAlt.size());
    for (const pathrel::PageFacts::Picture &p : facts.picturesWithoutAlt)
        file.picturesWithoutAlt.append({p.offset, p.line, p.tag});
}

// Reads one page or style sheet of the site at siteFolder: its facts into
// file, its references into out.
void scanFile(SiteFile &file, int index, const QString &siteFolder, const ReferenceLister &lister,
              bool saveLister, QList<Reference> &out)
{
    QFile in(file.path);
    if (!in.open(QIODevice::ReadOnly)) {
        file.readable = false;
        return;
    }
    const QByteArray bytes = in.readAll();
    file.hash = contentFingerprint(bytes);
    const QString text = fileText(bytes, &file.utf8);
    QList<ListedReference> listed;
    if (file.kind == FileKind::Page) {
        const pathrel::ParsedPage page(text);
        if (saveLister)
            listed = listedReferences(page, file.path);
        else if (lister)
            listed = lister(text, file.path);
        readPageFacts(file, page);
    } else {
        for (const pathrel::CssAddress &a : pathrel::cssAddresses(text))
            listed.append({ReferenceKind::SheetUrl, a.value, a.offset, a.length});
    }
    const Lines lines(text);
    const QString sourceFolder = QFileInfo(file.path).absolutePath();
    out.reserve(listed.size());
    for (const ListedReference &l : listed) {
        Reference ref;
        ref.source = index;
        ref.kind = l.kind;
        ref.value = l.value;
        ref.offset = l.offset;
        ref.length = l.length;
        ref.line = lines.at(l.offset);
        resolve(ref, file.path, sourceFolder, siteFolder);
        if (file.hasBase && (ref.form == Form::Relative || ref.form == Form::SiteRoot)) {
            // Where these lead depends on the base address, which may be anywhere.
            ref.form = Form::External;
            ref.target.clear();
        }
        out.append(ref);
    }
}

} // namespace

QStringList filesReferringTo(const Model &model, const QString &path)
{
    const QString named = QDir::cleanPath(path);
    const auto within = [&](const QString &p) { return p == named || p.startsWith(named + u'/'); };
    QStringList out;
    for (const Reference &ref : model.references) {
        const QString &source = model.files[ref.source].path;
        if (!ref.target.isEmpty() && within(ref.target) && !within(source) && !out.contains(source))
            out.append(source);
    }
    return out;
}

Model scanSite(const QString &folder, const ReferenceLister &lister, const Progress &progress)
{
    Model model;
    model.folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    model.folders.insert(model.folder);
    QDirIterator it(model.folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir()) {
            model.folders.insert(path);
            model.realPathByLowerPath.insert(path.toLower(), path);
            continue;
        }
        SiteFile file;
        file.path = path;
        file.relativePath = path.mid(model.folder.size() + 1);
        file.kind = kindOfFile(path);
        model.realPathByLowerPath.insert(path.toLower(), path);
        model.files.append(file);
    }
    // The order of a folder's listing is the file system's; sorted, two scans
    // of the same site give the same model.
    std::sort(model.files.begin(), model.files.end(),
              [](const SiteFile &a, const SiteFile &b) { return a.relativePath < b.relativePath; });
    for (int i = 0; i < model.files.size(); ++i)
        model.fileByPath.insert(model.files[i].path, i);

    // The save's own reader lists the references from the parse the page's
    // other facts come from: each page is parsed once. It is also known to
    // be safe on several threads at once; a reader given by the caller is
    // called on the caller's thread only.
    const bool saveLister = lister.target<SaveReferenceLister>() != nullptr;
    const int total = int(model.files.size());
    std::vector<int> toRead;
    for (int i = 0; i < total; ++i)
        if (model.files[i].kind == FileKind::Page || model.files[i].kind == FileKind::StyleSheet)
            toRead.push_back(i);
    std::vector<QList<Reference>> found(static_cast<size_t>(total));
    std::atomic_int next = 0;
    std::atomic_int read = 0;
    std::atomic_bool stopped = progress.cancel && progress.cancel->load();
    // Each thread takes the next file to read; every file's results go to
    // its own place, joined in the files' order afterwards, so that the model
    // is the same whichever thread read what.
    const auto work = [&](bool reports) {
        for (int at; (at = next.fetch_add(1)) < int(toRead.size());) {
            if (stopped.load() || (progress.cancel && progress.cancel->load())) {
                stopped = true;
                return;
            }
            if (reports && progress.report)
                progress.report(total - int(toRead.size()) + read.load(), total);
            const int i = toRead[size_t(at)];
            scanFile(model.files[i], i, model.folder, lister, saveLister, found[size_t(i)]);
            ++read;
        }
    };
    const unsigned threads =
        saveLister ? std::clamp(std::thread::hardware_concurrency(), 1u, 4u) : 1u; // beyond 4, the disk leads
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads && t * 8 < toRead.size(); ++t)
        helpers.emplace_back(work, false);
    work(true);
    for (std::thread &t : helpers)
        t.join();
    model.cancelled = stopped.load();
    qsizetype count = 0;
    for (const QList<Reference> &refs : found)
        count += refs.size();
    model.references.reserve(count);
    for (QList<Reference> &refs : found)
        model.references.append(std::move(refs));
    if (progress.report && !model.cancelled)
        progress.report(total, total);
    return model;
}

} // namespace site
