#include "StructurePreview.h"

namespace {

bool withinExtent(int width, int height)
{
    return width > 0 && height > 0 && width <= StructureFile::maximumExtent &&
           height <= StructureFile::maximumExtent;
}

QImage paintedImage(const StructureFile &structure, const RadarColours &colours, const QSize &size,
                    const QPoint &offset)
{
    QImage image(size, StructurePreview::format);
    if (image.isNull())
        return image;
    image.fill(0);
    StructurePreview::paint(structure, image, offset,
                            [&colours](quint16 id) { return colours.colourWord(id); });
    return image;
}

} // namespace

bool renderStructurePreview(const QString &path, const RadarColours &colours, QImage &image,
                            QPoint &offset, QRect &region)
{
    StructureFile structure;
    if (!structure.load(path) || structure.isEmpty())
        return false;
    const QRect extent = structure.region();
    if (!withinExtent(extent.width(), extent.height()))
        return false;
    QImage painted = paintedImage(structure, colours, extent.size(), structure.offset());
    if (painted.isNull())
        return false;
    image = std::move(painted);
    offset = structure.offset();
    region = extent;
    return true;
}

QImage renderStructureImage(const QString &path, const RadarColours &colours, const QRect &region,
                            const QPoint &offset)
{
    if (!withinExtent(region.width(), region.height()))
        return QImage();
    StructureFile structure;
    if (!structure.load(path))
        return QImage();
    return paintedImage(structure, colours, region.size(), offset);
}
