#include "hyperlink/linkcomposer.h"

#include <QCoreApplication>

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

QString textAsHtml(const QString &text)
{
    QString html;
    html.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            html += QStringLiteral("&amp;");
        else if (c == u'<')
            html += QStringLiteral("&lt;");
        else if (c == u'>')
            html += QStringLiteral("&gt;");
        else
            html += c;
    }
    return html;
}

LinkOutcome composeLink(const LinkFields &fields)
{
    const QString bareScheme = QStringLiteral("http://");
    LinkFields f = fields;
    if (!f.linkedObject.isEmpty())
        f.linkText = f.linkedObject;
    else if (f.textFromPage)
        f.linkText = textAsHtml(f.linkText);
    LinkOutcome out;
    if (f.linkText.isEmpty()) {
        out.message =
            QCoreApplication::translate("hyperlink", "Please enter text to be linked in the box below.");
        out.focus = Focus::LinkText;
        return out;
    }
    if (!f.anchor && (f.address.isEmpty() || f.address == bareScheme)) {
        out.message = QCoreApplication::translate(
            "hyperlink", "Please enter Web site to be linked in the appropriate box");
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
        out.message =
            QCoreApplication::translate("hyperlink", "Please enter the bookmark name you wish to link to.");
        return out;
    }
    const QString href = f.anchor ? f.address + u'#' + f.anchorName : f.address;
    out.fragment = fragment(href, targetPiece(f) + mouseOverPiece(f) + mouseOutPiece(f), f.linkText);
    return out;
}

} // namespace hyperlink
