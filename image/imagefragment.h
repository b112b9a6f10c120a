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
    QString imageFile;   // src
    QString linkAddress; // when not empty, the image is wrapped in a link
    QString altText;
    QString lowResImage; // lowsrc
    QString width;
    QString height;
    QString border;
    QString verticalSpace;
    QString horizontalSpace;
    bool clientSideMap = false; // usemap
    QString mapName;
    bool serverSideMap = false; // ismap
    QString videoFile;          // dynsrc
    QString videoLoop;
    QString videoStart;
    bool videoControls = false;
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
    DiagramElement existingObject; // the red box: an object already on the line
    DiagramElement neighbourText;  // the line of text beside the image
    DiagramElement inlineImage;    // the new image (blue) standing in the line
    DiagramElement leftImage;      // the new image floated to the left margin
    DiagramElement rightImage;     // the new image floated to the right margin
    bool redLegend = false;        // only while the red box it names is drawn
    bool blueLegend = false;
    QString neighbourCaption;
    QString description; // empty: the description is hidden
};
enum class DiagramPart
{
    ExistingObject,
    NeighbourText,
    InlineImage,
    LeftImage,
    RightImage
};
// Initial geometry in twips: left, top, width, height.
struct TwipsRect
{
    double left, top, width, height;
};
TwipsRect initialGeometry(DiagramPart part);
// The diagram for a picked entry. The text label grows downwards when its
// caption wraps; the boxes placed against it take its current height.
AlignDiagram alignDiagram(const QString &entry, std::optional<double> neighbourTextHeight = std::nullopt);

} // namespace image
