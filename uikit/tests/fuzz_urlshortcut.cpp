// Favourites shortcut files of any content.
#include "uikit/urlshortcut.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString address =
        browse::parseInternetShortcut(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    // An address is one line.
    if (address.contains(u'\n') || address.contains(u'\r'))
        __builtin_trap();
    return 0;
}
