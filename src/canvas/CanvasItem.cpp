#include "CanvasItem.h"

#include "Canvas.h"
#include "document/Placement.h"

#include <QPainter>

namespace {

// Placeholders of absurd regions are drawn no larger than this many cells a side.
constexpr int placeholderLimit = 65536;

} // namespace

CanvasItem::CanvasItem(const Placement *placement, const QPixmap &pixmap, Canvas *canvas,
                       bool shown)
    : QGraphicsPixmapItem(pixmap), m_placement(placement)
{
    // Items are made shown: made hidden and shown afterwards, every item of a map being
    // opened would pass through the visibility change twice.
    if (!shown)
        setVisible(false);
    setPos(placement->position);
    setShapeMode(QGraphicsPixmapItem::MaskShape);
    setFlag(QGraphicsItem::ItemSendsGeometryChanges);
    if (canvas)
        canvas->insert(this);
}

CanvasItem::~CanvasItem()
{
    if (m_canvas)
        m_canvas->remove(this);
}

QVariant CanvasItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (m_canvas) {
        if (change == ItemPositionChange)
            m_before = canvasRect();
        else if (change == ItemPositionHasChanged)
            m_canvas->moved(this, m_before);
        else if (change == ItemVisibleHasChanged)
            m_canvas->repaint(canvasRect());
    }
    return QGraphicsPixmapItem::itemChange(change, value);
}

QString CanvasItem::toolTipText() const
{
    const QString &path = m_placement->structurePath;
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return name + QLatin1Char(' ') +
           (m_placement->invisible ? QStringLiteral("  Invisible=True")
                                   : QStringLiteral("Invisible=False"));
}

QRectF CanvasItem::placeholderRect() const
{
    const int width = qBound(1, m_placement->region.width(), placeholderLimit);
    const int height = qBound(1, m_placement->region.height(), placeholderLimit);
    return QRectF(0, 0, width, height);
}

QRectF CanvasItem::boundingRect() const
{
    return isPlaceholder() ? placeholderRect() : QGraphicsPixmapItem::boundingRect();
}

QPainterPath CanvasItem::shape() const
{
    if (!isPlaceholder())
        return QGraphicsPixmapItem::shape();
    QPainterPath path;
    path.addRect(placeholderRect());
    return path;
}

bool CanvasItem::contains(const QPointF &point) const
{
    return isPlaceholder() ? placeholderRect().contains(point)
                           : QGraphicsPixmapItem::contains(point);
}

void CanvasItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    if (!isPlaceholder()) {
        QGraphicsPixmapItem::paint(painter, option, widget);
        return;
    }
    const QRectF box = placeholderRect();
    painter->save();
    painter->setPen(QPen(QColor(200, 0, 120), 0));
    painter->setBrush(QColor(255, 0, 160, 90));
    painter->drawRect(box);
    painter->drawLine(box.topLeft(), box.bottomRight());
    painter->drawLine(box.topRight(), box.bottomLeft());
    painter->restore();
}
