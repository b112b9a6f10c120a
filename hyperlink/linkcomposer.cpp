#include "hyperlink/linkcomposer.h"

namespace hyperlink {
namespace {
const QChar dq = u'"';

QString targetPiece(const LinkFields &f)
{
    return f.target.isEmpty() ? QString() : QStringLiteral(" target=") + dq + f.target + dq;
}

QString mouseOverPiece(const LinkFields &f)
{
    if (f.mouseOver.isEmpty())
        return {};
    return QStringLiteral(" OnMouseOver=") + dq + QStringLiteral("window.status='") + f.mouseOver +
           QStringLiteral("'; return true") + dq;
}

QString mouseOutPiece(const LinkFields &f)
{
    if (!f.mouseOut.isEmpty())
        return QStringLiteral(" OnMouseOut=") + dq + QStringLiteral("window.status='") + f.mouseOut +
               QStringLiteral("'; return true") + dq;
    if (!f.mouseOver.isEmpty())
        return QStringLiteral(" OnMouseOut=") + dq + QStringLiteral("window.status=' '; return true") + dq;
    return {};
}

QString fragment(const QString &href, const QString &pieces, const QString &text)
{
    return QStringLiteral("<a href=") + dq + href + dq + pieces + u'>' + text + QStringLiteral("</a>");
}
} // namespace

LinkOutcome composeLink(const LinkFields &f)
{
    const QString bareScheme = QStringLiteral("http://");
    LinkOutcome out;
    if (f.linkText.isEmpty()) {
        out.message = QStringLiteral("Please enter text to be linked in the box below.");
        out.focus = Focus::LinkText;
        return out;
    }
    if (!f.anchor && (f.address.isEmpty() || f.address == bareScheme)) {
        out.message = QStringLiteral("Please enter Web site to be linked in the appropriate box");
        out.focus = Focus::Address;
        return out;
    }
    if (f.anchor && f.address == bareScheme) {
        // A link to an anchor of this page: only the target is carried.
        out.clearAddress = true;
        out.fragment = fragment(u'#' + f.anchorName, targetPiece(f), f.linkText);
        return out;
    }
    if (f.anchor && f.anchorName.isEmpty()) {
        out.message = QStringLiteral("Please enter the bookmark name you wish to link to.");
        return out;
    }
    const QString href = f.anchor ? f.address + u'#' + f.anchorName : f.address;
    out.fragment = fragment(href, targetPiece(f) + mouseOverPiece(f) + mouseOutPiece(f), f.linkText);
    return out;
}

} // namespace hyperlink
