#include "MapRenderer.h"

#include "PngEncoder.h"

#include <QCoreApplication>
#include <QPainter>
#include <QSaveFile>

#include <array>
#include <cstring>
#include <future>

QRect MapRenderer::placeholderRect(const QRect &region)
{
    return QRect(0, 0, qBound(1, region.width(), placeholderLimit),
                 qBound(1, region.height(), placeholderLimit));
}

void MapRenderer::drawPlaceholder(QPainter *painter, const QRect &box)
{
    const QRectF area(box);
    painter->save();
    painter->setPen(QPen(QColor::fromRgb(placeholderOutline), 0));
    painter->setBrush(QColor::fromRgba(placeholderFill));
    painter->drawRect(area);
    painter->drawLine(area.topLeft(), area.bottomRight());
    painter->drawLine(area.topRight(), area.bottomLeft());
    painter->restore();
}

MapRenderer::MapRenderer(const QImage &terrain)
    : m_terrain(terrain.convertToFormat(
          terrain.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32))
{
}

MapRenderer::MapRenderer(const QImage &terrain, const QList<Placement *> &placements,
                         const StructureImages::Map &images)
    : MapRenderer(terrain)
{
    m_stamps.reserve(size_t(placements.size()));
    for (const Placement *placement : placements)
        add(*placement, images);
}

MapRenderer::MapRenderer(const QImage &terrain, const QList<Placement> &placements,
                         const StructureImages::Map &images)
    : MapRenderer(terrain)
{
    m_stamps.reserve(size_t(placements.size()));
    for (const Placement &placement : placements)
        add(placement, images);
}

void MapRenderer::add(const Placement &placement, const StructureImages::Map &images)
{
    Stamp stamp;
    stamp.pos = placement.position;
    stamp.image = images.value(StructureImages::Key::of(placement));
    if (stamp.image.isNull())
        stamp.box = placeholderRect(placement.region);
    // Everything drawn lies within a pixel of the image or the box.
    const QSize size = stamp.image.isNull() ? stamp.box.size() : stamp.image.size();
    stamp.bounds = QRectF(stamp.pos, QSizeF(size)).adjusted(-1, -1, 1, 1);
    m_stamps.push_back(std::move(stamp));
}

void MapRenderer::render(QImage &band, int top) const
{
    const int rows = qMin(band.height(), m_terrain.height() - top);
    const qsizetype bytes = qsizetype(m_terrain.width()) * 4;
    for (int y = 0; y < rows; ++y)
        std::memcpy(band.scanLine(y), m_terrain.constScanLine(top + y), size_t(bytes));
    const QRectF area(0, top, band.width(), band.height());
    QPainter painter(&band);
    for (const Stamp &stamp : m_stamps) {
        if (!stamp.bounds.intersects(area))
            continue;
        painter.setTransform(QTransform::fromTranslate(stamp.pos.x(), stamp.pos.y() - top));
        if (stamp.image.isNull())
            drawPlaceholder(&painter, stamp.box);
        else
            painter.drawImage(QPoint(0, 0), stamp.image);
    }
}

QImage MapRenderer::render() const
{
    QImage image(size(), format());
    if (!image.isNull())
        render(image, 0);
    return image;
}

bool MapRenderer::writePng(const QString &path, QString *error,
                           const std::function<bool(int)> &progress) const
{
    const auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_terrain.isNull())
        return failed(QCoreApplication::translate("MapRenderer", "The map is empty."));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    PngEncoder encoder(&file);
    const int height = m_terrain.height();
    // Two buffers: the next band is drawn on another thread while this one is encoded.
    std::array<QImage, 2> buffers;
    for (QImage &buffer : buffers)
        buffer = QImage(m_terrain.width(), qMin(bandRows, height), format());
    QString why;
    if (buffers[1].isNull())
        return failed(QCoreApplication::translate("MapRenderer", "Out of memory."));
    if (!encoder.begin(size(), format() != QImage::Format_RGB32, &why))
        return failed(why);
    // The rows of a band, fewer for the last one, in its buffer.
    const auto band = [&](int top) {
        QImage &buffer = buffers[size_t(top / bandRows % 2)];
        return QImage(buffer.bits(), buffer.width(), qMin(bandRows, height - top),
                      buffer.bytesPerLine(), buffer.format());
    };
    const auto drawn = [this, band](int top) {
        return std::async(std::launch::async,
                          [this, top, rows = band(top)]() mutable { render(rows, top); });
    };
    // Whatever ends the loop, the band being drawn is waited for as its future goes.
    std::future<void> next = drawn(0);
    for (int top = 0; top < height; top += bandRows) {
        next.get();
        if (top + bandRows < height)
            next = drawn(top + bandRows);
        const QImage rows = band(top);
        if (!encoder.write(rows, &why))
            return failed(why);
        if (progress && !progress(top + rows.height())) {
            file.cancelWriting();
            return failed(QString());
        }
    }
    if (!encoder.end(&why) || !file.commit())
        return failed(file.error() != QFileDevice::NoError ? file.errorString() : why);
    return true;
}
