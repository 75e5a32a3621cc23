#pragma once

#include "RadarColours.h"
#include "StructureFile.h"

#include <QImage>

// Flat previews of structures seen from above: one pixel per occupied cell in the radar
// colour of its top tile, transparent elsewhere.
namespace StructurePreview {

constexpr QImage::Format format = QImage::Format_ARGB32_Premultiplied;

// Paints the top tiles of a structure into image, cell (x, y) at pixel (x - offset.x,
// y - offset.y); cells outside the image are skipped. wordOf maps a tile id to its colour word.
template <typename WordOf>
void paint(const StructureFile &structure, QImage &image, const QPoint &offset, WordOf wordOf);

} // namespace StructurePreview

// Renders the structure file at path with the extent of its own records in the given radar
// colours. False, with the outputs untouched and *reason telling the user why, when the file
// cannot be opened, holds no whole record, or spans more than StructureFile::maximumExtent
// cells in x or y.
bool renderStructurePreview(const QString &path, const RadarColours &colours, QImage &image,
                            QPoint &offset, QRect &region, QString *reason = nullptr);

// Renders the structure file at path into an image of region's size with the given offset.
// Null when the file cannot be opened or the size is not within 1 .. maximumExtent.
QImage renderStructureImage(const QString &path, const RadarColours &colours, const QRect &region,
                            const QPoint &offset);

template <typename WordOf>
void StructurePreview::paint(const StructureFile &structure, QImage &image, const QPoint &offset,
                             WordOf wordOf)
{
    const int width = image.width();
    const int height = image.height();
    uchar *bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const auto &tiles = structure.topTiles();
    for (auto it = tiles.cbegin(); it != tiles.cend(); ++it) {
        // The offset may come from a placement file: far from any cell, int would overflow.
        const qint64 px = qint64(StructureFile::cellX(it.key())) - offset.x();
        const qint64 py = qint64(StructureFile::cellY(it.key())) - offset.y();
        if (px < 0 || py < 0 || px >= width || py >= height)
            continue;
        const quint16 word = wordOf(StructureFile::tileId(it.value()));
        reinterpret_cast<QRgb *>(bits + py * stride)[px] = RadarColours::pixelFromWord(word);
    }
}
