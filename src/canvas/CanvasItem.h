#pragma once

#include <QGraphicsPixmapItem>
#include <QPoint>
#include <QRect>
#include <QString>

class Canvas;

// One structure placed on the map: its preview at a canvas position, plus what the placement
// file records of it. Items of one structure share one pixmap. The canvas owns its items and
// draws them; deleting an item takes it off its canvas.
//
// An item whose structure could not be rendered keeps its data and is drawn as a placeholder
// box of its region's size, so that it can still be seen, moved, deleted and saved.
class CanvasItem : public QGraphicsPixmapItem
{
public:
    // Makes the item on canvas at (0, 0), not yet shown.
    CanvasItem(const QPixmap &pixmap, Canvas *canvas);
    ~CanvasItem() override;

    QRect region;           // left 0, top 0; the structure's extent in cells
    QPoint offset;          // smallest x and y of the structure's tiles
    QString filePath;       // structure file the item was placed from
    bool invisible = false; // recorded flag only: the item is drawn all the same

    Canvas *canvas() const { return m_canvas; }
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

    Canvas *m_canvas = nullptr;
    QRectF m_before;             // bounds before the position change under way
    quint64 m_order = 0;         // placement order on the canvas
    QRect m_cells;               // grid cells the canvas lists the item in
    bool m_large = false;        // listed with the items too large for the grid instead
    mutable quint64 m_visit = 0; // last canvas query that met the item
};
