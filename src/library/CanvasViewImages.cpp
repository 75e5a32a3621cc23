// The map view's cached structure renderer, used when placements are read from a file.

#include "canvas/CanvasView.h"
#include "library/StructurePreview.h"

void CanvasView::setRadarColours(const RadarColours *colours)
{
    m_radarColours = colours;
    imageCache.clear();
}

QImage *CanvasView::structureImage(const QString &path, QRect region, QPoint offset)
{
    if (QImage *cached = imageCache.object(path))
        return cached;
    const RadarColours closed;
    QImage image =
        renderStructureImage(path, m_radarColours ? *m_radarColours : closed, region, offset);
    if (image.isNull())
        return nullptr;
    auto *entry = new QImage(std::move(image));
    imageCache.insert(path, entry, 1);
    return entry;
}
