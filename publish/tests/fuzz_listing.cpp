// Listing replies from a server, which may say anything.
#include "listing.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList entries = publish::splitListing(reply);
    if (entries.isEmpty() || entries.first() != QLatin1String(".."))
        __builtin_trap();
    for (const QString &e : entries) {
        if (e.isEmpty() || e.startsWith(u' ') || e.endsWith(u' '))
            __builtin_trap();
        // Nothing accepted for download may lead out of the working folder.
        if (publish::acceptableLocalName(e) &&
            (e.contains(u'/') || e.contains(u'\\') || e == QLatin1String("..") || !publish::sendable(e)))
            __builtin_trap();
    }
    (void)publish::normaliseAddress(reply.left(64));
    (void)publish::normaliseFolder(reply.left(64));
    return 0;
}
