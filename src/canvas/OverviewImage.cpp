#include "OverviewImage.h"

#include <algorithm>

namespace {

// The map's placeholder boxes are tinted with this colour at this opacity (of 255).
constexpr QRgb placeholderTint = 0xFF00A0;
constexpr int placeholderAlpha = 90;

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

void OverviewImage::begin(const QSize &mapSize, const QSize &box, const QImage &terrain,
                          QRgb background)
{
    const QSize size = fittedSize(mapSize, box);
    m_map = mapSize;
    if (size.isEmpty()) {
        m_image = QImage();
        return;
    }
    if (m_image.size() != size)
        m_image = QImage(size, QImage::Format_RGB32);
    const auto samples = [](std::vector<int> &sample, qint64 mapLength, qint64 length) {
        sample.resize(size_t(length));
        for (qint64 i = 0; i < length; ++i)
            sample[size_t(i)] = int((2 * i + 1) * mapLength / (2 * length));
    };
    samples(m_sampleX, mapSize.width(), size.width());
    samples(m_sampleY, mapSize.height(), size.height());

    const bool wide = isRgb32(terrain);
    const bool premultiplied = terrain.format() == QImage::Format_ARGB32_Premultiplied;
    const int columns = std::min(terrain.width(), mapSize.width());
    for (int j = 0; j < size.height(); ++j) {
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(j));
        const int y = m_sampleY[size_t(j)];
        if (y >= terrain.height()) {
            std::fill_n(line, size.width(), background);
            continue;
        }
        const auto *source = reinterpret_cast<const QRgb *>(terrain.constScanLine(y));
        for (int i = 0; i < size.width(); ++i) {
            const int x = m_sampleX[size_t(i)];
            if (x >= columns)
                line[i] = background;
            else if (!wide)
                line[i] = over(qPremultiply(terrain.pixel(x, y)), background);
            else
                line[i] = premultiplied ? over(source[x], background) : source[x] | 0xFF000000u;
        }
    }
}

bool OverviewImage::span(qint64 from, qint64 to, qint64 mapLength, qint64 length, int *first,
                         int *last)
{
    from = std::max<qint64>(from, 0);
    to = std::min(to, mapLength);
    if (from >= to)
        return false;
    // Overview column i shows the map cells from i * mapLength / length up to, not including,
    // (i + 1) * mapLength / length.
    *first = int(from * length / mapLength);
    *last = int((to * length + mapLength - 1) / mapLength) - 1;
    return true;
}

void OverviewImage::drawStructure(const QPoint &position, const QImage &preview)
{
    if (m_image.isNull() || preview.isNull())
        return;
    const qint64 left = position.x(), top = position.y();
    int firstColumn, lastColumn, firstRow, lastRow;
    if (!span(left, left + preview.width(), m_map.width(), m_image.width(), &firstColumn,
              &lastColumn) ||
        !span(top, top + preview.height(), m_map.height(), m_image.height(), &firstRow, &lastRow))
        return;
    const QImage converted =
        isRgb32(preview) ? preview : preview.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // The structure's cells on the map; a pixel shows the one of them nearest to its centre.
    const int lowX = int(std::max<qint64>(left, 0) - left);
    const int highX = int(std::min<qint64>(left + preview.width(), m_map.width()) - 1 - left);
    const int lowY = int(std::max<qint64>(top, 0) - top);
    const int highY = int(std::min<qint64>(top + preview.height(), m_map.height()) - 1 - top);
    for (int j = firstRow; j <= lastRow; ++j) {
        const int y = std::clamp(int(m_sampleY[size_t(j)] - top), lowY, highY);
        const auto *source = reinterpret_cast<const QRgb *>(converted.constScanLine(y));
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(j));
        for (int i = firstColumn; i <= lastColumn; ++i) {
            const QRgb pixel = source[std::clamp(int(m_sampleX[size_t(i)] - left), lowX, highX)];
            if (qAlpha(pixel) >= 128)
                line[i] = pixel | 0xFF000000u;
        }
    }
}

void OverviewImage::drawPlaceholder(const QRect &box)
{
    int firstColumn, lastColumn, firstRow, lastRow;
    if (m_image.isNull() ||
        !span(box.left(), qint64(box.left()) + box.width(), m_map.width(), m_image.width(),
              &firstColumn, &lastColumn) ||
        !span(box.top(), qint64(box.top()) + box.height(), m_map.height(), m_image.height(),
              &firstRow, &lastRow))
        return;
    for (int j = firstRow; j <= lastRow; ++j) {
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(j));
        for (int i = firstColumn; i <= lastColumn; ++i)
            line[i] = blend(placeholderTint, placeholderAlpha, line[i]);
    }
}
