#include "MapGrid.h"

#include "core/Placement.h"

#include <QPainter>
#include <QPen>

#include <cmath>

QPointF MapGrid::snapCorrection(const Placement &placement, QPointF delta) const
{
    if (!m_snaps)
        return QPointF();
    const QPointF origin = placement.position - QPointF(placement.offset) + delta;
    return QPointF(std::round(origin.x() / m_size) * m_size,
                   std::round(origin.y() / m_size) * m_size) -
           origin;
}

void MapGrid::draw(QPainter *painter, const QRect &area) const
{
    // Dark and half transparent, so that any ground shows through.
    painter->save();
    painter->setPen(QPen(QColor(0, 0, 0, 110), 0));
    const auto firstLine = [this](int from) {
        return int(std::ceil(double(from) / m_size)) * m_size;
    };
    for (int x = firstLine(area.left()); x <= area.right() + 1; x += m_size)
        painter->drawLine(QPointF(x, area.top()), QPointF(x, area.bottom() + 1));
    for (int y = firstLine(area.top()); y <= area.bottom() + 1; y += m_size)
        painter->drawLine(QPointF(area.left(), y), QPointF(area.right() + 1, y));
    painter->restore();
}
