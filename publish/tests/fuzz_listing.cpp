// Listing replies and LIST texts from a server, which may say anything.
#include "publish/listing.h"

#include <cstdint>

using namespace publish;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<ListedName> entries = splitListing(reply);
    if (entries.isEmpty() || entries.first().shown != QLatin1String(".."))
        __builtin_trap();
    for (const ListedName &e : entries) {
        if (e.shown.isEmpty() || e.shown.startsWith(u' ') || e.shown.endsWith(u' '))
            __builtin_trap();
        // What is asked for is what was listed, and can be sent.
        if (requestable(e) && (e.shown != e.exact || !sendable(e.shown)))
            __builtin_trap();
        // Nothing accepted for download may lead out of the working folder.
        if (acceptableLocalName(e.shown) && (e.shown.contains(u'/') || e.shown.contains(u'\\') ||
                                             e.shown == QLatin1String("..") || !sendable(e.shown)))
            __builtin_trap();
    }
    // Read as a LIST text: one entry per CR LF pair, never "." or "..".
    const QString listed = entriesOfList(reply);
    if (!listed.isEmpty() && !listed.endsWith(QLatin1String("\r\n")))
        __builtin_trap();
    for (const QString &line : listed.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QString name = line.endsWith(u'/') ? line.chopped(1) : line;
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            __builtin_trap();
    }
    (void)normaliseAddress(reply.left(64));
    (void)normaliseFolder(reply.left(64));
    return 0;
}
