#pragma once

#include <QPixmap>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>

class Canvas;
class QPainter;
struct Placement;

// The picture of one placement on the map: the structure's preview at the placement's
// position. The item refers to its placement, which belongs to the document (or, for a
// structure still being dragged in, to the view). Items of one structure share one pixmap. The
// canvas owns its items, indexes and draws them; deleting an item takes it off its canvas.
//
// Items are plain objects rather than scene items: a map holds a hundred thousand of them, and
// each costs what its few fields cost. A point hits an item where its pixmap is opaque.
//
// An item whose structure could not be rendered keeps its data and is drawn as a placeholder
// box of its region's size, so that it can still be seen, moved, deleted and saved.
class CanvasItem
{
public:
    // Makes the item on canvas at the placement's position, shown or not yet shown.
    CanvasItem(const Placement *placement, const QPixmap &pixmap, Canvas *canvas,
               bool shown = false);
    ~CanvasItem();
    CanvasItem(const CanvasItem &) = delete;
    CanvasItem &operator=(const CanvasItem &) = delete;

    const Placement *placement() const { return m_placement; }
    Canvas *canvas() const { return m_canvas; }
    const QPixmap &pixmap() const { return m_pixmap; }
    // The pixmap's cache key: the same for the items of one structure.
    qint64 pixmapKey() const { return m_pixmapKey; }
    bool isPlaceholder() const { return m_placeholder; }

    // The position of the item's top-left corner on the canvas.
    QPointF pos() const { return m_pos; }
    void setPos(const QPointF &pos);
    void setPos(qreal x, qreal y) { setPos(QPointF(x, y)); }
    void moveBy(qreal dx, qreal dy) { setPos(m_pos + QPointF(dx, dy)); }
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);
    // Whether the item is part of its canvas's selection.
    bool isSelectedOnCanvas() const { return m_selected; }

    // The item's bounds in its own coordinates, and on the canvas.
    QRectF boundingRect() const { return m_bounds; }
    QRectF canvasRect() const { return m_bounds.translated(m_pos); }
    // Whether a point in the item's own coordinates hits it.
    bool contains(const QPointF &point) const;
    // Draws the part of the item within exposed, in its own coordinates, with its top-left
    // corner at the painter's origin.
    void paint(QPainter *painter, const QRectF &exposed) const;

    // The name of the structure's file, without its folder.
    QString structureName() const;
    // The tooltip: the structure file's name and the flag.
    QString toolTipText() const;

private:
    friend class Canvas;

    // What drawing the items of a whole map reads comes first, in as few cache lines as can be.
    QPointF m_pos;
    qint64 m_pixmapKey;
    const Placement *m_placement;
    bool m_placeholder;
    bool m_visible = true;
    bool m_selected = false;
    bool m_large = false; // listed with the items too large for the grid instead
    QRectF m_bounds;      // kept: asked for again and again, by every query of the canvas
    QPixmap m_pixmap;
    Canvas *m_canvas = nullptr;
    quint64 m_order = 0;         // placement order on the canvas
    mutable quint64 m_visit = 0; // last canvas query that met the item
    QRect m_cells;               // grid cells the canvas lists the item in
};
