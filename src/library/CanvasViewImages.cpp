// The map view's cached structure renderer, used when placements are read from a file.

#include "canvas/CanvasView.h"
#include "library/StructurePreview.h"

QImage *CanvasView::structureImage(const QString &path, QRect region, QPoint offset)
{
    if (QImage *cached = imageCache.object(path))
        return cached;
    QImage image = renderStructureImage(path, region, offset);
    if (image.isNull())
        return nullptr;
    auto *entry = new QImage(std::move(image));
    imageCache.insert(path, entry, 1);
    return entry;
}
