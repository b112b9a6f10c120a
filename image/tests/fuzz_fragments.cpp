// The image and link fragments from any field texts (fields separated by \x01).
#include "hyperlink/linkcomposer.h"
#include "image/imagefragment.h"

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
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList f = input.split(u'\x01');
    while (f.size() < 16)
        f << QString();
    const unsigned flags = size ? data[0] : 0;

    image::ImageFields img;
    img.imageFile = f[0];
    img.linkAddress = f[1];
    img.altText = f[2];
    img.lowResImage = f[3];
    img.width = f[4];
    img.height = f[5];
    img.border = f[6];
    img.verticalSpace = f[7];
    img.horizontalSpace = f[8];
    img.clientSideMap = (flags & 1) != 0;
    img.mapName = f[9];
    img.serverSideMap = (flags & 2) != 0;
    img.videoFile = f[10];
    img.videoLoop = f[11];
    img.videoStart = f[12];
    img.videoControls = (flags & 4) != 0;
    const QStringList entries = image::alignEntries();
    const QString align = image::alignPiece(entries[int(flags >> 4) % entries.size()]);
    const std::optional<QString> fragment = image::composeImage(img, align);
    check(fragment.has_value() == !img.imageFile.isEmpty());
    if (fragment) {
        // Field texts go in verbatim, in a tag that opens and closes.
        check(fragment->contains(QStringLiteral("<img src=\"") + img.imageFile + u'"'));
        for (const QString &field : {img.linkAddress, img.altText, img.lowResImage, img.width, img.videoFile})
            check(fragment->contains(field));
        check(fragment->endsWith(img.linkAddress.isEmpty() ? QStringLiteral(">") : QStringLiteral("></a>")));
    }

    hyperlink::LinkFields link;
    link.linkText = f[13];
    link.address = f[14];
    link.target = f[15];
    link.mouseOver = f[2];
    link.mouseOut = f[3];
    link.anchor = (flags & 8) != 0;
    link.anchorName = f[4];
    link.textFromPage = (flags & 64) != 0;
    const hyperlink::LinkOutcome out = hyperlink::composeLink(link);
    check(out.ok() == !out.fragment.isEmpty());
    if (out.ok()) {
        // The page's own text goes in as text: no markup of its own.
        const QString text = link.textFromPage ? hyperlink::textAsHtml(link.linkText) : link.linkText;
        check(!link.textFromPage || !text.contains(u'<'));
        check(out.fragment.startsWith(QStringLiteral("<a href=\"")));
        check(out.fragment.endsWith(u'>' + text + QStringLiteral("</a>")));
        check(!link.linkText.isEmpty());
    }
    return 0;
}
