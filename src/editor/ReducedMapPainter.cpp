#include "ReducedMapPainter.h"

#include "Canvas.h"
#include "CanvasItem.h"
#include "MapGrid.h"
#include "core/MapRenderer.h"
#include "core/Placement.h"

#include <QBrush>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr int largestReduction = 64;

// Colour over base at alpha (0 to 255).
QRgb blend(QRgb colour, int alpha, QRgb base)
{
    const auto mix = [alpha](int over, int under) {
        return (over * alpha + under * (255 - alpha) + 127) / 255;
    };
    return qRgb(mix(qRed(colour), qRed(base)), mix(qGreen(colour), qGreen(base)),
                mix(qBlue(colour), qBlue(base)));
}

bool isRgb32(const QImage &image)
{
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32 ||
           image.format() == QImage::Format_ARGB32_Premultiplied;
}

// The view pixel a canvas coordinate lies on. (std::floor is a library call on the processors
// the program is built for, and this runs for every structure in view.)
int pixelOf(qreal coordinate, int k, qreal shift)
{
    const qreal at = coordinate / k + shift;
    const int whole = int(at);
    return whole - (at < whole);
}

} // namespace

int ReducedMapPainter::reductionOf(const QTransform &transform)
{
    const qreal factor = transform.m11();
    if (transform.type() > QTransform::TxScale || factor != transform.m22() || factor <= 0 ||
        factor >= 1)
        return 0;
    const int k = qRound(1 / factor);
    return k >= 2 && k <= largestReduction && qFuzzyCompare(factor * k, 1.0) ? k : 0;
}

void ReducedMapPainter::clear()
{
    m_buffer = QImage();
    m_reduced.clear();
    m_recent.fill(Recent());
}

bool ReducedMapPainter::paint(QPainter *painter, const QRect &area, const QImage &terrain,
                              const QBrush &background, const Canvas *canvas, const MapGrid &grid)
{
    const QTransform world = painter->worldTransform();
    const int k = reductionOf(world);
    if (!k)
        return false;
    const QRect pixels = world.mapRect(QRectF(area)).toAlignedRect();
    if (pixels.isEmpty())
        return true;
    if (m_buffer.width() < pixels.width() || m_buffer.height() < pixels.height())
        m_buffer = QImage(pixels.size().expandedTo(m_buffer.size()), QImage::Format_RGB32);
    if (m_buffer.isNull())
        return false;

    // The terrain cell under each pixel's centre.
    const QRgb fill = background.color().rgb();
    const auto cellOf = [k](int pixel, qreal shift) {
        return int(std::floor((pixel + 0.5 - shift) * k));
    };
    std::vector<int> columns(size_t(pixels.width()));
    for (int i = 0; i < pixels.width(); ++i)
        columns[size_t(i)] = cellOf(pixels.left() + i, world.dx());
    const bool wide = isRgb32(terrain);
    const int terrainWidth = terrain.width();
    for (int j = 0; j < pixels.height(); ++j) {
        auto *line = reinterpret_cast<QRgb *>(m_buffer.scanLine(j));
        const int y = cellOf(pixels.top() + j, world.dy());
        if (y < 0 || y >= terrain.height()) {
            std::fill_n(line, pixels.width(), fill);
            continue;
        }
        const auto *source = reinterpret_cast<const QRgb *>(terrain.constScanLine(y));
        for (int i = 0; i < pixels.width(); ++i) {
            const int x = columns[size_t(i)];
            line[i] = x < 0 || x >= terrainWidth ? fill
                      : wide                     ? source[x] | 0xff000000u
                                                 : terrain.pixel(x, y);
        }
    }

    if (grid.isShown()) {
        QPainter lines(&m_buffer);
        lines.setClipRect(QRect(QPoint(0, 0), pixels.size()));
        lines.setWorldTransform(world * QTransform::fromTranslate(-pixels.left(), -pixels.top()));
        grid.draw(&lines, area);
    }
    if (canvas)
        drawStructures(canvas, area, world, pixels, k);

    painter->save();
    painter->resetTransform();
    painter->drawImage(pixels.topLeft(), m_buffer, QRect(QPoint(0, 0), pixels.size()));
    painter->restore();
    return true;
}

void ReducedMapPainter::drawStructures(const Canvas *canvas, const QRect &area,
                                       const QTransform &world, const QRect &pixels, int k)
{
    // First where each structure goes, in bands of the buffer's rows; then band by band, each
    // small enough to stay in the processor's caches while its structures are laid on it.
    // Within a band the structures keep their drawing order.
    const QRect bounds(QPoint(0, 0), pixels.size());
    const qreal shiftX = world.dx() - pixels.left();
    const qreal shiftY = world.dy() - pixels.top();
    m_bands.resize(size_t((pixels.height() + bandRows - 1) / bandRows));
    for (std::vector<Stamp> &band : m_bands)
        band.clear();
    const auto add = [&](const Stamp &stamp) {
        const QRect part = stamp.box & bounds;
        if (part.isEmpty())
            return;
        for (int band = part.top() / bandRows; band <= part.bottom() / bandRows; ++band)
            m_bands[size_t(band)].push_back(stamp);
    };
    // Structures are laid on whole pixels, up to one pixel before where they lie: those just
    // beyond the area may reach into it.
    const QRectF reach = QRectF(area).adjusted(-k, -k, k, k);
    const bool dims = canvas->dimsInvisible();
    if (m_recentReduction != k) {
        m_recent.fill(Recent());
        m_recentReduction = k;
    }
    canvas->forEachIn(reach, [&](const CanvasItem *item) {
        const bool dimmed = dims && item->placement()->invisible;
        if (item->isPlaceholder()) {
            const QRectF box = item->canvasRect();
            const int left = pixelOf(box.left(), k, shiftX);
            const int top = pixelOf(box.top(), k, shiftY);
            add({QRect(QPoint(left, top),
                       QPoint(std::max(pixelOf(box.right(), k, shiftX) - 1, left),
                              std::max(pixelOf(box.bottom(), k, shiftY) - 1, top))),
                 nullptr, dimmed});
            return;
        }
        const qint64 key = item->pixmapKey();
        Recent &recent = m_recent[size_t((key ^ (key >> 32)) & (m_recent.size() - 1))];
        if (recent.key != key)
            recent = Recent{key, &reduced(item->pixmap(), k)};
        const QPoint at(pixelOf(item->pos().x(), k, shiftX), pixelOf(item->pos().y(), k, shiftY));
        add({QRect(at, recent.reduced->size), recent.reduced, dimmed});
    });

    uchar *const bits = m_buffer.bits();
    const qsizetype stride = m_buffer.bytesPerLine();
    const int placeholderAlpha = qAlpha(MapRenderer::placeholderFill);
    for (size_t band = 0; band < m_bands.size(); ++band) {
        const QRect rows = bounds & QRect(0, int(band) * bandRows, bounds.width(), bandRows);
        for (const Stamp &stamp : m_bands[band]) {
            const QRect part = stamp.box & rows;
            for (int y = part.top(); y <= part.bottom(); ++y) {
                auto *out = reinterpret_cast<QRgb *>(bits + y * stride);
                if (!stamp.sprite) {
                    const int alpha = placeholderAlpha / (stamp.dimmed ? 2 : 1);
                    for (int x = part.left(); x <= part.right(); ++x)
                        out[x] = blend(MapRenderer::placeholderFill, alpha, out[x]);
                    continue;
                }
                const QRgb *in = stamp.sprite->bits + (y - stamp.box.top()) * stamp.sprite->stride -
                                 stamp.box.left();
                if (stamp.dimmed) {
                    for (int x = part.left(); x <= part.right(); ++x) {
                        if (qAlpha(in[x]))
                            out[x] = blend(in[x], 128, out[x]);
                    }
                    continue;
                }
                // Without a branch for each pixel: the clear ones keep what is there.
                for (int x = part.left(); x <= part.right(); ++x)
                    out[x] = qAlpha(in[x]) ? in[x] : out[x];
            }
        }
    }
}

const ReducedMapPainter::Reduced &ReducedMapPainter::reduced(const QPixmap &pixmap, int k)
{
    const qint64 key = pixmap.cacheKey() * (largestReduction + 1) + k;
    const auto found = m_reduced.find(key);
    if (found != m_reduced.end())
        return found->second;
    const QImage source = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage made((source.width() + k - 1) / k, (source.height() + k - 1) / k, QImage::Format_ARGB32);
    made.fill(Qt::transparent);
    // Distances in half cells, so that centres are whole numbers.
    for (int by = 0; by < made.height(); ++by) {
        const int centreY = 2 * by * k + k;
        auto *out = reinterpret_cast<QRgb *>(made.scanLine(by));
        for (int bx = 0; bx < made.width(); ++bx) {
            const int centreX = 2 * bx * k + k;
            qint64 nearest = std::numeric_limits<qint64>::max();
            for (int y = by * k; y < std::min((by + 1) * k, source.height()); ++y) {
                const auto *row = reinterpret_cast<const QRgb *>(source.constScanLine(y));
                for (int x = bx * k; x < std::min((bx + 1) * k, source.width()); ++x) {
                    if (qAlpha(row[x]) < 128)
                        continue;
                    const qint64 dx = 2 * x + 1 - centreX;
                    const qint64 dy = 2 * y + 1 - centreY;
                    if (dx * dx + dy * dy < nearest) {
                        nearest = dx * dx + dy * dy;
                        out[bx] = row[x] | 0xff000000u;
                    }
                }
            }
        }
    }
    Reduced &entry = m_reduced[key];
    entry.image = made;
    entry.size = made.size();
    entry.bits = reinterpret_cast<const QRgb *>(entry.image.constBits());
    entry.stride = entry.image.bytesPerLine() / qsizetype(sizeof(QRgb));
    return entry;
}
