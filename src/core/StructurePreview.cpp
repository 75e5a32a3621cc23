#include "StructurePreview.h"

#include <QCoreApplication>

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
                            QPoint &offset, QRect &region, QString *reason)
{
    QString problem;
    if (!reason)
        reason = &problem;
    StructureFile structure;
    if (!structure.load(path, reason))
        return false;
    if (structure.isEmpty()) {
        *reason =
            QCoreApplication::translate("StructurePreview", "the file holds no whole tile record");
        return false;
    }
    const QRect extent = structure.region();
    if (!withinExtent(extent.width(), extent.height())) {
        *reason =
            QCoreApplication::translate(
                "StructurePreview", "the structure spans %1 x %2 cells, more than %3 either way")
                .arg(extent.width())
                .arg(extent.height())
                .arg(StructureFile::maximumExtent);
        return false;
    }
    QImage painted = paintedImage(structure, colours, extent.size(), structure.offset());
    if (painted.isNull()) {
        *reason = QCoreApplication::translate("StructurePreview",
                                              "there is not enough memory for its image");
        return false;
    }
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
