// The source model on any input: parsing and matching never fail, and a page
// whose source is clean, written back from its untouched nodes, is the input
// byte for byte. (Misnested markup has nodes without a source of their own;
// those are written afresh and checked by the tests with real pages.)
#include "surface/sourcemodel.h"

#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString html = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    surface::SourceModel model(html);
    const QString shape = model.sourceShape();
    const surface::SourceModel::Alignment a = model.align(shape);
    if (a.fallbacks == 0 && a.notWhole.isEmpty()) {
        const surface::SourceModel::Assembled out =
            model.assemble(surface::SourceModel::unchangedRecipe(shape));
        if (!out.ok || out.text != html)
            __builtin_trap();
    }
    return 0;
}
