#pragma once

#include <QGraphicsPixmapItem>
#include <QPoint>
#include <QRect>
#include <QString>

class Canvas;
struct Placement;

// The picture of one placement on the map: the structure's preview at the placement's
// position. The item refers to its placement, which belongs to the document (or, for a
// structure still being dragged in, to the view). Items of one structure share one pixmap. The
// canvas owns its items and draws them; deleting an item takes it off its canvas.
//
// An item whose structure could not be rendered keeps its data and is drawn as a placeholder
// box of its region's size, so that it can still be seen, moved, deleted and saved.
class CanvasItem : public QGraphicsPixmapItem
{
public:
    // Makes the item on canvas at the placement's position, shown or not yet shown.
    CanvasItem(const Placement *placement, const QPixmap &pixmap, Canvas *canvas,
               bool shown = false);
    ~CanvasItem() override;

    const Placement *placement() const { return m_placement; }
    Canvas *canvas() const { return m_canvas; }
    // Whether the item is part of its canvas's selection.
    bool isSelectedOnCanvas() const { return m_selected; }
    // The item's bounds in canvas coordinates.
    QRectF canvasRect() const { return boundingRect().translated(pos()); }
    bool isPlaceholder() const { return pixmap().isNull(); }
    // The tooltip: the structure file's name and the flag.
    QString toolTipText() const;

    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    bool contains(const QPointF &point) const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    friend class Canvas;
    QRectF placeholderRect() const;

    const Placement *m_placement;
    Canvas *m_canvas = nullptr;
    bool m_selected = false;
    QRectF m_before;             // bounds before the position change under way
    quint64 m_order = 0;         // placement order on the canvas
    QRect m_cells;               // grid cells the canvas lists the item in
    bool m_large = false;        // listed with the items too large for the grid instead
    mutable quint64 m_visit = 0; // last canvas query that met the item
};
