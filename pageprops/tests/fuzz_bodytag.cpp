// Body tag parsing and colour codes on any text.
#include "pageprops/bodytag.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    pageprops::State s;
    pageprops::parseTag(s, input, QStringLiteral("BACKGROUND="));
    // The value always comes out of the tag text.
    if (!s.attributeValue.isEmpty() && !s.bodyTagText.contains(s.attributeValue))
        __builtin_trap();
    pageprops::convertRgb(s, input.left(8));
    for (const QString *c : {&s.redText, &s.greenText, &s.blueText}) {
        bool ok = false;
        const int v = c->toInt(&ok);
        if (!ok || v < 0 || v > 255)
            __builtin_trap();
    }
    if (pageprops::convertedColor(s) > 0xFFFFFFu)
        __builtin_trap();
    (void)pageprops::replaceTitle(input, QStringLiteral("t"));
    (void)pageprops::backgroundToWrite(pageprops::backgroundForDisplay(input));
    return 0;
}
