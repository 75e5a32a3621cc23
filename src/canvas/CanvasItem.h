#pragma once

#include <QGraphicsPixmapItem>
#include <QPoint>
#include <QRect>
#include <QString>

// One structure placed on the map: its preview at a canvas position, plus what the placement
// file records of it. Items of one structure share one pixmap.
//
// An item whose structure could not be rendered keeps its data and is drawn as a placeholder
// box of its region's size, so that it can still be seen, moved, deleted and saved.
class CanvasItem : public QGraphicsPixmapItem
{
public:
    enum { Type = UserType + 1 };

    // Makes the item on canvas at (0, 0), not yet shown.
    CanvasItem(const QPixmap &pixmap, QGraphicsScene *canvas);

    QRect region;           // left 0, top 0; the structure's extent in cells
    QPoint offset;          // smallest x and y of the structure's tiles
    QString filePath;       // structure file the item was placed from
    bool invisible = false; // recorded flag only: the item is drawn all the same

    bool isPlaceholder() const { return pixmap().isNull(); }
    // The tooltip: the structure file's name and the flag.
    QString toolTipText() const;

    int type() const override { return Type; }
    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    bool contains(const QPointF &point) const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    QRectF placeholderRect() const;
};
