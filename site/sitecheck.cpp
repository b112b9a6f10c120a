#include "site/sitecheck.h"

#include <QFileInfo>

#include <algorithm>

namespace site {
namespace {

bool isInside(const QString &path, const QString &folder)
{
    return path == folder ||
           (path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == u'/');
}

// The page a reference to a folder opens: its index page.
int indexPageOf(const Model &model, const QString &folder)
{
    for (const char *index : {"/index.html", "/index.htm"})
        if (const int i = model.fileIndex(folder + QLatin1StringView(index)); i >= 0)
            return i;
    return -1;
}

} // namespace

CheckResult checkSite(const Model &model, const Progress &progress)
{
    CheckResult result;
    QList<bool> referenced(model.files.size(), false);
    const auto cancelled = [&] { return progress.cancel && progress.cancel->load(); };
    const int total = int(model.references.size() + model.files.size());
    int done = 0;
    const auto add = [&](FindingKind kind, const QString &file, int line, qsizetype offset,
                         const QString &text) {
        result.findings.append({kind, file, line, offset, text});
    };

    for (const Reference &ref : model.references) {
        if ((done & 255) == 0) {
            if (cancelled()) {
                result.cancelled = true;
                return result;
            }
            if (progress.report)
                progress.report(done, total);
        }
        ++done;
        const QString &source = model.files[ref.source].path;
        const auto report = [&](FindingKind kind) { add(kind, source, ref.line, ref.offset, ref.value); };
        if (ref.form == Form::External)
            continue;
        if (ref.form == Form::FileUrl) {
            report(FindingKind::FileUrl);
            continue;
        }
        if (!isInside(ref.target, model.folder)) {
            report(FindingKind::LeavesSite);
            continue;
        }
        int target = model.fileIndex(ref.target);
        const bool isFolder = target < 0 && model.folders.contains(ref.target);
        if (target < 0 && !isFolder) {
            const QString real = model.realPathByLowerPath.value(ref.target.toLower());
            report(real.isEmpty() ? FindingKind::MissingTarget : FindingKind::LetterCase);
            if (!real.isEmpty())
                if (const int i = model.fileIndex(real); i >= 0 && i != ref.source)
                    referenced[i] = true; // it is named, if wrongly: not also "unreferenced"
            continue;
        }
        if (isFolder)
            target = indexPageOf(model, ref.target);
        if (target >= 0 && target != ref.source)
            referenced[target] = true;
        // "#" and "#top" scroll to the top of any page, with no element needed.
        if (!ref.hasFragment || ref.fragment.isEmpty() ||
            ref.fragment.compare(u"top", Qt::CaseInsensitive) == 0)
            continue;
        if (target >= 0 && model.files[target].kind == FileKind::Page && model.files[target].readable &&
            !model.files[target].anchors.contains(ref.fragment))
            report(FindingKind::MissingAnchor);
    }

    const int siteIndex = indexPageOf(model, model.folder);
    for (int i = 0; i < model.files.size(); ++i, ++done) {
        if (cancelled()) {
            result.cancelled = true;
            return result;
        }
        const SiteFile &file = model.files[i];
        if (file.kind == FileKind::Page && file.readable) {
            if (!file.hasTitle)
                add(FindingKind::PageWithoutTitle, file.path, 1, 0, file.relativePath);
            for (const Spot &spot : file.picturesWithoutAlt)
                add(FindingKind::PictureWithoutAlt, file.path, spot.line, spot.offset, spot.text);
        }
        if (!referenced[i] && i != siteIndex)
            add(FindingKind::Unreferenced, file.path, 1, 0, file.relativePath);
    }
    std::stable_sort(result.findings.begin(), result.findings.end(), [](const Finding &a, const Finding &b) {
        return a.file != b.file ? a.file < b.file : a.offset < b.offset;
    });
    if (progress.report)
        progress.report(total, total);
    return result;
}

} // namespace site
