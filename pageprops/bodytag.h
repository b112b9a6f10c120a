#pragma once

#include <QString>

#include <optional>

// The page-properties dialog's text and colour rules.
namespace pageprops {

// Values that outlive the dialog: they keep what the last opening left.
struct State
{
    QString BodyTagText;       // the BODY tag as text, from "<" up to the first ">"
    QString AttributeValue;    // result of the last ParseTag
    quint32 SelectedColor = 0; // 0x00BBGGRR
    QString SelectedColorHex;  // RRGGBB
    QString RedText;
    QString GreenText;
    QString BlueText;
};
State &state();
// "true" after the colour dialog was cancelled; application-wide.
QString &ColorCancelled();

// Finds the value of one attribute ("BACKGROUND=") in the page's BODY tag.
// A page without a BODY tag leaves BodyTagText as it was.
void ParseTag(State &s, const QString &documentHtml, const QString &attribs);

// Decimal red, green and blue texts of a colour text "RRGGBB".
void ConvertRGB(State &s, const QString &hexNumber);
// The colour value of the last ConvertRGB.
quint32 convertedColor(const State &s);

// Appends the RRGGBB text of a colour value to SelectedColorHex and keeps the value.
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
