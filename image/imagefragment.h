#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The image fragment and the alignment diagram of the Insert Image dialog.
// Plain string assembly: field texts go in exactly as typed.
namespace image {

struct ImageFields
{
    QString GraphText;  // image file (src)
    QString XimageLink; // link address
    QString Alt;
    QString Text8;  // low-resolution image
    QString Text1;  // width
    QString Text2;  // height
    QString Text3;  // border
    QString Text4;  // vertical space
    QString Text5;  // horizontal space
    int Check2 = 0; // client-side map
    QString Text7;  // map name
    int Check3 = 0; // server-side map
    QString Text6;  // video clip
    QString Combo2; // loop
    QString Combo3; // start
    int Check1 = 0; // video controls
};

// The entries of the alignment list, in order.
QStringList alignEntries();
// The align piece of a picked entry, as stored (upper-case name).
QString alignPiece(const QString &entry);

// The fragment, or nothing when the image file is empty.
std::optional<QString> composeImage(const ImageFields &fields, const QString &alignPiece);

// The alignment preview: which elements show, where, and the description.
struct DiagramElement
{
    bool visible = false;
    double top = 0; // twips
};
struct AlignDiagram
{
    DiagramElement Redtext, Toplabel, Leftimage, Leftimage2, Rightimage;
    bool redLegend = false;  // Label10: only while the red box it names is drawn
    bool blueLegend = false; // Label11
    QString toplabelCaption;
    QString description; // empty: Label12 hidden
};
// Initial geometry in twips: left, top, width, height.
struct TwipsRect
{
    double left, top, width, height;
};
TwipsRect initialGeometry(const QString &element);
// The diagram for a picked entry. The text label grows downwards when its
// caption wraps; the boxes placed against it take its current height.
AlignDiagram alignDiagram(const QString &entry, std::optional<double> toplabelHeight = std::nullopt);

} // namespace image
