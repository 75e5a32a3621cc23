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

namespace {
// The fewest view pixels between two lines drawn.
constexpr qreal minimumSpacing = 4;
} // namespace

void MapGrid::draw(QPainter *painter, const QRect &area) const
{
    // Dark and half transparent, so that any ground shows through.
    painter->save();
    painter->setPen(QPen(QColor(0, 0, 0, 110), 0));
    // Zoomed out, lines closer than a few pixels would cover the ground: only every so many are
    // drawn.
    const qreal spacing = m_size * painter->worldTransform().m11();
    const int step =
        spacing < minimumSpacing ? m_size * int(std::ceil(minimumSpacing / spacing)) : m_size;
    const auto firstLine = [step](int from) { return int(std::ceil(double(from) / step)) * step; };
    for (int x = firstLine(area.left()); x <= area.right() + 1; x += step)
        painter->drawLine(QPointF(x, area.top()), QPointF(x, area.bottom() + 1));
    for (int y = firstLine(area.top()); y <= area.bottom() + 1; y += step)
        painter->drawLine(QPointF(area.left(), y), QPointF(area.right() + 1, y));
    painter->restore();
}
