#pragma once

#include <QPointF>
#include <QRect>

class QPainter;
struct Placement;

// The map's grid: its step in cells, whether it is drawn, and whether what is placed snaps to it
// (its origin cell, where its structure's tile 0, 0 lies, on a grid point).
class MapGrid
{
public:
    static constexpr int defaultSize = 8;

    int size() const { return m_size; }
    void setSize(int cells) { m_size = qMax(1, cells); }
    bool isShown() const { return m_shown; }
    void setShown(bool shown) { m_shown = shown; }
    bool snaps() const { return m_snaps; }
    void setSnaps(bool snaps) { m_snaps = snaps; }

    // How far a placement moved by delta goes on so that its origin cell lands on the nearest
    // grid point; nothing while the grid does not snap.
    QPointF snapCorrection(const Placement &placement, QPointF delta = QPointF()) const;
    // Draws the lines crossing area (canvas cells) one device pixel wide at every scale.
    void draw(QPainter *painter, const QRect &area) const;

private:
    int m_size = defaultSize;
    bool m_shown = false;
    bool m_snaps = false;
};
