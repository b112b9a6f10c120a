#pragma once

#include <QString>

#include <optional>

// The page-properties dialog's text and colour rules.
namespace pageprops {

// What the dialog's routines hand each other while it is open.
struct State
{
    QString bodyTagText;       // the BODY tag as text, from "<" up to the first ">"
    QString attributeValue;    // result of the last parseTag
    quint32 selectedColor = 0; // 0x00BBGGRR
    QString selectedColorHex;  // RRGGBB
    QString redText;
    QString greenText;
    QString blueText;
};

// Finds the value of one attribute ("BACKGROUND=") in the page's BODY tag.
// A page without a BODY tag leaves bodyTagText as it was.
void parseTag(State &s, const QString &documentHtml, const QString &attribs);

// Decimal red, green and blue texts of a colour text "RRGGBB".
void convertRgb(State &s, const QString &hexNumber);
// The colour value of the last convertRgb.
quint32 convertedColor(const State &s);

// Appends the RRGGBB text of a colour value to selectedColorHex and keeps the value.
void selectColor(State &s, quint32 value);

// The page's text with the title element's text replaced, or nothing when
// the page has no <TITLE> ... </TITLE>.
std::optional<QString> replaceTitle(const QString &html, const QString &title);

// The background attribute as the dialog shows it (a file URL shows as its path).
QString backgroundForDisplay(const QString &attribute);
// What the dialog writes for the text in its box: a local path as a file
// URL, relative references and web addresses as they stand.
QString backgroundToWrite(const QString &text);

} // namespace pageprops
