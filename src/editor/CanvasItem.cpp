#include "CanvasItem.h"

#include "Canvas.h"
#include "core/MapRenderer.h"
#include "core/Placement.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include <cmath>

CanvasItem::CanvasItem(const Placement *placement, const QPixmap &pixmap, Canvas *canvas,
                       bool shown)
    : m_pos(placement->position), m_pixmapKey(pixmap.cacheKey()), m_placement(placement),
      m_placeholder(pixmap.isNull()), m_visible(shown),
      m_bounds(pixmap.isNull() ? QRectF(MapRenderer::placeholderRect(placement->region))
                               : QRectF(QPointF(0, 0), pixmap.deviceIndependentSize())),
      m_pixmap(pixmap)
{
    if (canvas)
        canvas->insert(this);
}

CanvasItem::~CanvasItem()
{
    if (m_canvas)
        m_canvas->remove(this);
}

void CanvasItem::setPos(const QPointF &pos)
{
    if (pos == m_pos)
        return;
    const QRectF before = canvasRect();
    m_pos = pos;
    if (m_canvas)
        m_canvas->moved(this, before);
}

void CanvasItem::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    if (m_canvas)
        m_canvas->repaint(canvasRect());
}

QString CanvasItem::structureName() const
{
    const QString &path = m_placement->structurePath;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString CanvasItem::toolTipText() const
{
    return structureName() + QLatin1Char(' ') +
           (m_placement->invisible ? QCoreApplication::translate("CanvasItem", "  Invisible=True")
                                   : QCoreApplication::translate("CanvasItem", "Invisible=False"));
}

bool CanvasItem::contains(const QPointF &point) const
{
    if (!boundingRect().contains(point))
        return false;
    if (isPlaceholder())
        return true;
    // The pixel under the point, where the pixmap's mask is set: half opaque or more.
    const QImage image = m_pixmap.toImage();
    const int x = int(std::floor(point.x()));
    const int y = int(std::floor(point.y()));
    return image.valid(x, y) && qAlpha(image.pixel(x, y)) >= 128;
}

void CanvasItem::paint(QPainter *painter, const QRectF &exposed) const
{
    if (!isPlaceholder()) {
        // Only the pixels that show: a magnified pixmap costs in proportion to what is drawn,
        // and a repaint exposes just a corner of most of the items it meets.
        const QRect part = exposed.toAlignedRect() & m_pixmap.rect();
        if (!part.isEmpty())
            painter->drawPixmap(part.topLeft(), m_pixmap, part);
        return;
    }
    MapRenderer::drawPlaceholder(painter, MapRenderer::placeholderRect(m_placement->region));
}
