#pragma once

#include "image/imagefragment.h"

#include <QString>

namespace surface {
class EditSurface;
}

// The one road by which a picture goes into the page: Insert Image's OK and
// a picture file dropped on the window both take it.
namespace image {

// A picture file as a drop brings it: its full path, and its size where the
// picture can be read, so that a save makes the path relative and the page
// keeps its layout while the picture loads.
ImageFields pictureFile(const QString &path);

// Composes the picture and puts it into the page: in place of a selected
// object (a picture clicked on is replaced, inside its link if it has one),
// else at the selection. False when the fields name no picture file and
// nothing was composed; a paste the page refuses is not reported.
bool insertPicture(surface::EditSurface *surface, const ImageFields &fields, const QString &alignPiece = {});

} // namespace image
