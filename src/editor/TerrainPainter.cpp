#include "TerrainPainter.h"

#include "Canvas.h"
#include "MapGrid.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cstring>

namespace {

// Writes count source pixels as runs of N copies each; returns the end of what was written.
template <int N> quint32 *fillBlocks(const quint32 *source, int count, quint32 *out)
{
    for (int i = 0; i < count; ++i, out += N) {
        const quint32 pixel = source[i];
        for (int k = 0; k < N; ++k)
            out[k] = pixel;
    }
    return out;
}

quint32 *fillBlocks(const quint32 *source, int count, int n, quint32 *out)
{
    // The usual scales get a loop of their own, which the compiler turns into a few wide stores
    // a pixel.
    switch (n) {
    case 2:
        return fillBlocks<2>(source, count, out);
    case 3:
        return fillBlocks<3>(source, count, out);
    case 4:
        return fillBlocks<4>(source, count, out);
    case 5:
        return fillBlocks<5>(source, count, out);
    case 6:
        return fillBlocks<6>(source, count, out);
    case 8:
        return fillBlocks<8>(source, count, out);
    default:
        for (int i = 0; i < count; ++i)
            out = std::fill_n(out, n, source[i]);
        return out;
    }
}

// Writes the part `area` of the terrain magnified n times into target, the terrain's
// top-left pixel landing at origin: every terrain pixel becomes an n x n block. The area must
// lie within target and within the magnified terrain.
void magnify(const QImage &terrain, int n, QPoint origin, const QRect &area, QImage &target)
{
    uchar *const bits = target.bits();
    const qsizetype stride = target.bytesPerLine();
    const qsizetype rowBytes = qsizetype(area.width()) * 4;
    const int firstColumn = (area.left() - origin.x()) / n;
    const int into = (area.left() - origin.x()) % n; // pixels of the first block left out
    const quint32 *previous = nullptr;
    int previousRow = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *const line = reinterpret_cast<quint32 *>(bits + y * stride) + area.left();
        const int row = (y - origin.y()) / n;
        if (row == previousRow) {
            std::memcpy(line, previous, rowBytes);
            continue;
        }
        const auto *source =
            reinterpret_cast<const quint32 *>(terrain.constScanLine(row)) + firstColumn;
        quint32 *out = line;
        int left = area.width();
        if (into) {
            const int run = std::min(n - into, left);
            out = std::fill_n(out, run, *source++);
            left -= run;
        }
        const int blocks = left / n;
        out = fillBlocks(source, blocks, n, out);
        if (left > blocks * n)
            std::fill_n(out, left - blocks * n, source[blocks]);
        previous = line;
        previousRow = row;
    }
}

} // namespace

TerrainPainter::Drawn TerrainPainter::draw(QPainter *painter, const QRect &exposed,
                                           const QImage &terrain, const Canvas *canvas)
{
    if (Canvas::wholeScale(painter->worldTransform()) < 2)
        return Drawn::Nothing;
    // Magnified, the structures are laid on the terrain first, at one pixel per cell: they
    // cover the map a few times over, and drawing each of them n x n times larger would cost
    // that many times the pixels, from magnified copies too large to stay in the processor's
    // caches.
    if (canvas && compose(terrain, canvas, exposed) &&
        drawScaled(painter, exposed, m_composed, exposed.topLeft()))
        return Drawn::TerrainAndStructures;
    return drawScaled(painter, exposed, terrain, QPoint(0, 0)) ? Drawn::Terrain : Drawn::Nothing;
}

bool TerrainPainter::paint(QPainter *painter, const QRect &area, const QImage &terrain,
                           const QBrush &background, const Canvas *canvas, const MapGrid &grid)
{
    if (m_reduced.paint(painter, area, terrain, background, canvas, grid))
        return true;
    // While a map is shown the viewport is not filled before painting (that would cost a
    // second pass over every pixel): what the terrain does not cover, or the rows of it not
    // yet read, is filled here.
    const QRect exposed = terrain.isNull() ? QRect() : area & terrain.rect();
    if (exposed != area) {
        for (const QRect &part : QRegion(area).subtracted(exposed))
            painter->fillRect(part, background);
    }
    if (exposed.isEmpty())
        return false;
    // Structures are laid on the terrain before it is magnified only where the terrain is all
    // there is to draw under them.
    const Canvas *under = exposed == area && !grid.isShown() ? canvas : nullptr;
    switch (draw(painter, exposed, terrain, under)) {
    case Drawn::TerrainAndStructures:
        return true;
    case Drawn::Terrain:
        break;
    case Drawn::Nothing:
        painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter->drawImage(exposed.topLeft(), terrain, exposed);
        break;
    }
    if (grid.isShown())
        grid.draw(painter, exposed);
    return false;
}

void TerrainPainter::clear()
{
    m_magnified = QImage();
    m_composed = QImage();
    m_reduced.clear();
}

bool TerrainPainter::compose(const QImage &terrain, const Canvas *canvas, const QRect &exposed)
{
    if (terrain.format() != QImage::Format_RGB32)
        return false;
    if (m_composed.width() < exposed.width() || m_composed.height() < exposed.height())
        m_composed = QImage(exposed.size().expandedTo(m_composed.size()), QImage::Format_RGB32);
    if (m_composed.isNull())
        return false;
    const qsizetype rowBytes = qsizetype(exposed.width()) * 4;
    for (int y = 0; y < exposed.height(); ++y)
        std::memcpy(m_composed.scanLine(y),
                    terrain.constScanLine(exposed.top() + y) + qsizetype(exposed.left()) * 4,
                    rowBytes);
    QPainter painter(&m_composed);
    painter.translate(-exposed.topLeft());
    return canvas->drawItemsUnscaled(&painter, exposed);
}

bool TerrainPainter::drawScaled(QPainter *painter, const QRect &exposed, const QImage &source,
                                QPoint sourceAt)
{
    if (drawDirect(painter, exposed, source, sourceAt))
        return true;

    const QTransform transform = painter->worldTransform();
    const int n = Canvas::wholeScale(transform);
    if (n < 2)
        return false;

    const QSize size(exposed.width() * n, exposed.height() * n);
    if (m_magnified.format() != source.format() || m_magnified.width() < size.width() ||
        m_magnified.height() < size.height())
        m_magnified = QImage(size.expandedTo(m_magnified.size()), source.format());
    if (m_magnified.isNull())
        return false;
    magnify(source, n, (sourceAt - exposed.topLeft()) * n, QRect(QPoint(0, 0), size), m_magnified);

    const QPointF device = transform.map(QPointF(exposed.topLeft()));
    painter->save();
    painter->resetTransform();
    painter->drawImage(QPoint(int(device.x()), int(device.y())), m_magnified,
                       QRect(QPoint(0, 0), size));
    painter->restore();
    return true;
}

bool TerrainPainter::drawDirect(QPainter *painter, const QRect &exposed, const QImage &source,
                                QPoint sourceAt)
{
    // Where the painter draws straight into an image in memory (the raster backing store of
    // the window, or an image being rendered to) and nothing would be blended, the magnified
    // terrain is written there in place: one pass over the pixels instead of two.
    QPaintEngine *engine = painter->paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || painter->hasClipping() ||
        painter->opacity() != 1.0 ||
        painter->compositionMode() != QPainter::CompositionMode_SourceOver ||
        source.format() != QImage::Format_RGB32)
        return false;
    auto *target = dynamic_cast<QImage *>(engine->paintDevice());
    if (!target || !target->isDetached() ||
        (target->format() != QImage::Format_RGB32 && target->format() != QImage::Format_ARGB32 &&
         target->format() != QImage::Format_ARGB32_Premultiplied))
        return false;
    const QTransform transform = painter->deviceTransform();
    const int n = Canvas::wholeScale(transform);
    if (n < 2)
        return false;

    const QPoint origin(int(transform.dx()), int(transform.dy()));
    const QRect area = QRect(origin + exposed.topLeft() * n, exposed.size() * n) & target->rect();
    QRegion region(area);
    const QRegion clip = engine->systemClip();
    if (!clip.isEmpty())
        region &= clip;
    for (const QRect &part : region)
        magnify(source, n, origin + sourceAt * n, part, *target);
    return true;
}
