#pragma once

#include <QString>

// Composition of the link fragment from the HyperLink dialog's fields.
// Plain string assembly: nothing is trimmed, escaped or checked beyond the
// three field checks.
namespace hyperlink {

struct LinkFields
{
    QString linkText;    // LText1
    QString address;     // httpsite
    QString target;      // Combo1
    QString mouseOver;   // Text2
    QString mouseOut;    // Text3
    bool anchor = false; // Check1
    QString anchorName;  // Text1
    // The link text is the page's selected text as it was read, untouched:
    // plain text, whose "<" and "&" must still read as themselves inside the
    // link. Text the user typed goes in as typed, markup and all.
    bool textFromPage = false;
    // The markup of a selected picture, which the link goes around in place
    // of a link text.
    QString linkedObject;
};

// Plain text written as HTML that reads back as the same text.
QString textAsHtml(const QString &text);

enum class Focus
{
    None,
    LinkText,
    Address
};

struct LinkOutcome
{
    // A field check failed: the message, where the focus goes; nothing is pasted.
    QString message;
    Focus focus = Focus::None;
    // The fragment to paste when no check failed.
    QString fragment;
    // The address box is emptied (an anchor-only link typed as the bare scheme).
    bool clearAddress = false;

    bool ok() const { return message.isEmpty(); }
};

LinkOutcome composeLink(const LinkFields &fields);

} // namespace hyperlink
