#include "image/insertpicture.h"

#include "surface/editsurface.h"

#include <QImageReader>
#include <QSize>

namespace image {

ImageFields pictureFile(const QString &path)
{
    ImageFields fields;
    fields.imageFile = path;
    if (const QSize size = QImageReader(path).size(); size.isValid()) {
        fields.width = QString::number(size.width());
        fields.height = QString::number(size.height());
    }
    return fields;
}

bool insertPicture(surface::EditSurface *surface, const ImageFields &fields, const QString &alignPiece)
{
    const std::optional<QString> fragment = composeImage(fields, alignPiece);
    if (!fragment)
        return false;
    const surface::Selection selection = surface->DOM().selection();
    if (std::optional<surface::ControlRange> picture = selection.createControlRange())
        picture->pasteHTML(*fragment);
    else if (std::optional<surface::TextRange> range = selection.createRange())
        range->pasteHTML(*fragment);
    return true;
}

} // namespace image
