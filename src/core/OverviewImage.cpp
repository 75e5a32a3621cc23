#include "OverviewImage.h"

#include "MapRenderer.h"

#include <algorithm>

namespace {

// A premultiplied pixel laid over an opaque one.
QRgb over(QRgb pixel, QRgb background)
{
    const int rest = 255 - qAlpha(pixel);
    return qRgb(qRed(pixel) + qRed(background) * rest / 255,
                qGreen(pixel) + qGreen(background) * rest / 255,
                qBlue(pixel) + qBlue(background) * rest / 255);
}

// Whether the image's pixels are QRgb values as they are, alpha in the top byte.
bool isRgb32(const QImage &image)
{
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32 ||
           image.format() == QImage::Format_ARGB32_Premultiplied;
}

QRgb blend(QRgb colour, int alpha, QRgb background)
{
    const int rest = 255 - alpha;
    return qRgb((qRed(colour) * alpha + qRed(background) * rest) / 255,
                (qGreen(colour) * alpha + qGreen(background) * rest) / 255,
                (qBlue(colour) * alpha + qBlue(background) * rest) / 255);
}

} // namespace

QSize OverviewImage::fittedSize(const QSize &mapSize, const QSize &box)
{
    if (mapSize.isEmpty() || box.isEmpty())
        return QSize();
    const qint64 mapWidth = mapSize.width(), mapHeight = mapSize.height();
    // Whichever side of the box the map meets first, at the nearest whole pixel on the other.
    if (qint64(box.width()) * mapHeight <= qint64(box.height()) * mapWidth) {
        const qint64 height = (2 * mapHeight * box.width() + mapWidth) / (2 * mapWidth);
        return QSize(box.width(), int(std::clamp<qint64>(height, 1, box.height())));
    }
    const qint64 width = (2 * mapWidth * box.height() + mapHeight) / (2 * mapHeight);
    return QSize(int(std::clamp<qint64>(width, 1, box.width())), box.height());
}

void OverviewImage::Axis::make(int mapCells, int length)
{
    // Pixel i covers the map from i * mapLength / length up to (i + 1) * mapLength / length,
    // and shows the cell at its middle.
    mapLength = mapCells;
    sample.resize(size_t(length));
    for (qint64 i = 0; i < length; ++i)
        sample[size_t(i)] = int((2 * i + 1) * mapLength / (2 * qint64(length)));
}

bool OverviewImage::Axis::span(qint64 from, qint64 to, int *firstPixel, int *lastPixel) const
{
    from = std::max<qint64>(from, 0);
    to = std::min(to, mapLength);
    if (from >= to)
        return false;
    const qint64 length = qint64(sample.size());
    *firstPixel = int(from * length / mapLength);
    *lastPixel = int((to * length + mapLength - 1) / mapLength) - 1;
    return true;
}

void OverviewImage::begin(const QSize &mapSize, const QSize &box, const QImage &terrain,
                          QRgb background)
{
    const QSize size = fittedSize(mapSize, box);
    if (size.isEmpty()) {
        m_image = QImage();
        m_bits = nullptr;
        return;
    }
    if (m_image.size() != size)
        m_image = QImage(size, QImage::Format_RGB32);
    m_bits = m_image.bits();
    m_stride = m_image.bytesPerLine();
    m_x.make(mapSize.width(), size.width());
    m_y.make(mapSize.height(), size.height());

    const bool wide = isRgb32(terrain);
    const bool premultiplied = terrain.format() == QImage::Format_ARGB32_Premultiplied;
    const int columns = std::min(terrain.width(), mapSize.width());
    for (int j = 0; j < size.height(); ++j) {
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(j));
        const int y = m_y.sample[size_t(j)];
        if (y >= terrain.height()) {
            std::fill_n(line, size.width(), background);
            continue;
        }
        const auto *source = reinterpret_cast<const QRgb *>(terrain.constScanLine(y));
        for (int i = 0; i < size.width(); ++i) {
            const int x = m_x.sample[size_t(i)];
            if (x >= columns)
                line[i] = background;
            else if (!wide)
                line[i] = over(qPremultiply(terrain.pixel(x, y)), background);
            else
                line[i] = premultiplied ? over(source[x], background) : source[x] | 0xFF000000u;
        }
    }
}

OverviewImage::Sprite::Sprite(const QImage &preview)
    : m_image(isRgb32(preview) ? preview
                               : preview.convertToFormat(QImage::Format_ARGB32_Premultiplied)),
      m_bits(m_image.constBits()), m_stride(m_image.bytesPerLine()), m_width(m_image.width()),
      m_height(m_image.height())
{
}

void OverviewImage::drawStructure(const QPoint &position, const Sprite &preview, bool dimmed)
{
    const qint64 left = position.x(), top = position.y();
    int firstColumn, lastColumn, firstRow, lastRow;
    if (!m_bits || !preview.m_bits ||
        !m_x.span(left, left + preview.m_width, &firstColumn, &lastColumn) ||
        !m_y.span(top, top + preview.m_height, &firstRow, &lastRow))
        return;
    // The structure's cells on the map; a pixel shows the one of them nearest to its centre.
    const int lowX = int(std::max<qint64>(left, 0) - left);
    const int highX = int(std::min<qint64>(left + preview.m_width, m_x.mapLength) - 1 - left);
    const int lowY = int(std::max<qint64>(top, 0) - top);
    const int highY = int(std::min<qint64>(top + preview.m_height, m_y.mapLength) - 1 - top);
    for (int j = firstRow; j <= lastRow; ++j) {
        const int y = std::clamp(int(m_y.sample[size_t(j)] - top), lowY, highY);
        const auto *source = reinterpret_cast<const QRgb *>(preview.m_bits + y * preview.m_stride);
        auto *line = reinterpret_cast<QRgb *>(m_bits + j * m_stride);
        for (int i = firstColumn; i <= lastColumn; ++i) {
            const QRgb pixel = source[std::clamp(int(m_x.sample[size_t(i)] - left), lowX, highX)];
            if (qAlpha(pixel) >= 128)
                line[i] = dimmed ? blend(pixel, 128, line[i]) : pixel | 0xFF000000u;
        }
    }
}

void OverviewImage::drawPlaceholder(const QRect &box)
{
    int firstColumn, lastColumn, firstRow, lastRow;
    if (!m_bits ||
        !m_x.span(box.left(), qint64(box.left()) + box.width(), &firstColumn, &lastColumn) ||
        !m_y.span(box.top(), qint64(box.top()) + box.height(), &firstRow, &lastRow))
        return;
    for (int j = firstRow; j <= lastRow; ++j) {
        auto *line = reinterpret_cast<QRgb *>(m_bits + j * m_stride);
        for (int i = firstColumn; i <= lastColumn; ++i)
            line[i] =
                blend(MapRenderer::placeholderFill, qAlpha(MapRenderer::placeholderFill), line[i]);
    }
}
