// The source model on any input: parsing and matching never fail, and a page
// whose source is clean, written back from its untouched nodes, is the input
// byte for byte. (Misnested markup has nodes without a source of their own;
// those are written afresh and checked by the tests with real pages.)
#include "surface/sourcemodel.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace {
void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString html = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    surface::SourceModel model(html);
    const QString shape = model.sourceShape();
    const surface::SourceModel::Alignment a = model.align(shape);
    // Every top-level node by its number, as the script sends an unchanged page.
    QStringList top;
    int index = 0;
    int depth = 0;
    for (const QStringView token : QStringView(shape).split(u' ', Qt::SkipEmptyParts)) {
        if (token == u")") {
            --depth;
            continue;
        }
        if (depth == 0)
            top << QString::number(index);
        ++index;
        if (token.startsWith(u'E'))
            ++depth;
    }
    if (a.fallbacks == 0 && a.notWhole.isEmpty()) {
        const surface::SourceModel::Assembled out = model.assemble((u'[' + top.join(u',') + u']').toUtf8());
        check(out.ok && out.text == html);
    }
    return 0;
}
