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
    img.GraphText = f[0];
    img.XimageLink = f[1];
    img.Alt = f[2];
    img.Text8 = f[3];
    img.Text1 = f[4];
    img.Text2 = f[5];
    img.Text3 = f[6];
    img.Text4 = f[7];
    img.Text5 = f[8];
    img.Check2 = flags & 1;
    img.Text7 = f[9];
    img.Check3 = flags & 2 ? 1 : 0;
    img.Text6 = f[10];
    img.Combo2 = f[11];
    img.Combo3 = f[12];
    img.Check1 = flags & 4 ? 1 : 0;
    const QStringList entries = image::alignEntries();
    const QString align = image::alignPiece(entries[int(flags >> 4) % entries.size()]);
    const std::optional<QString> fragment = image::composeImage(img, align);
    check(fragment.has_value() == !img.GraphText.isEmpty());
    if (fragment) {
        // Field texts go in verbatim, in a tag that opens and closes.
        check(fragment->contains(QStringLiteral("<img src=\"") + img.GraphText + u'"'));
        for (const QString &field : {img.XimageLink, img.Alt, img.Text8, img.Text1, img.Text6})
            check(fragment->contains(field));
        check(fragment->endsWith(img.XimageLink.isEmpty() ? QStringLiteral(">") : QStringLiteral("></a>")));
    }

    hyperlink::LinkFields link{f[13], f[14], f[15], f[2], f[3], (flags & 8) != 0, f[4]};
    const hyperlink::LinkOutcome out = hyperlink::composeLink(link);
    check(out.ok() == !out.fragment.isEmpty());
    if (out.ok()) {
        check(out.fragment.startsWith(QStringLiteral("<a href=\"")));
        check(out.fragment.endsWith(u'>' + link.linkText + QStringLiteral("</a>")));
        check(!link.linkText.isEmpty());
    }
    return 0;
}
