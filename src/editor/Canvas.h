#pragma once

#include "CanvasItem.h"

#include <QCache>
#include <QGraphicsScene>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QSet>
#include <QTransform>

// The map: a scene of the terrain's size holding the placed structures.
//
// Structures are not scene items of their own: the scene's bookkeeping walks every top-level
// item after any change, so with thousands of placements each step of a drag would cost in
// proportion to the map. The canvas keeps its items in placement order with a grid index of
// its own and draws them itself; moving, showing or removing one repaints just its area.
// Later items are drawn in front of earlier ones.
class Canvas : public QGraphicsScene
{
    Q_OBJECT

public:
    // The whole-number scale n (1 to 64) of a transform that only scales by n in both
    // directions and moves by whole pixels; 0 for any other transform.
    static int wholeScale(const QTransform &transform);

    explicit Canvas(const QRectF &rect, QObject *parent = nullptr);
    ~Canvas() override; // deletes its items

    // Every item, in placement order.
    const QList<CanvasItem *> &allItems() const { return m_items; }
    // The front-most shown item whose shape holds the canvas position, or null.
    CanvasItem *structureAt(const QPointF &pos) const;
    // The shown items whose bounds meet rect, back to front.
    QList<CanvasItem *> itemsIn(const QRectF &rect) const;
    // Calls visit with each of those, back to front, without listing them first; for an area
    // taking in much of the map, with every shown item.
    template <typename Visit> void forEachIn(const QRectF &rect, Visit visit) const
    {
        if (!isWide(rect)) {
            for (const CanvasItem *item : itemsIn(rect))
                visit(item);
            return;
        }
        // The items lie all over memory: each is asked for a little before it is needed.
        constexpr qsizetype ahead = 8;
        const qsizetype count = m_items.size();
        for (qsizetype i = 0; i < count; ++i) {
#if defined(__GNUC__)
            if (i + ahead < count) {
                const char *next = reinterpret_cast<const char *>(m_items[i + ahead]);
                __builtin_prefetch(next);
                __builtin_prefetch(next + 63);
            }
#endif
            const CanvasItem *item = m_items[i];
            if (item->isVisible())
                visit(item);
        }
    }
    // Puts the items, all of them the canvas's own, in this drawing order.
    void setOrder(const QList<CanvasItem *> &items);

    // Draws the shown items meeting area in drawing order, one pixel per canvas pixel, into a
    // painter that maps canvas positions to whole device pixels unscaled. False, having drawn
    // nothing, when one of them is drawn otherwise at other scales (a placeholder box, an item
    // between whole cells): only drawing at the final scale gets those right.
    bool drawItemsUnscaled(QPainter *painter, const QRect &area) const;
    // The next drawForeground draws just the selection outlines: the items are in the
    // background already.
    void leaveItemsOut()
    {
        m_itemsLeftOut = true;
    }

    // Whether items of placements flagged invisible are drawn at half opacity.
    void setDimInvisible(bool dim);
    bool dimsInvisible() const
    {
        return m_dimInvisible;
    }

    // The selection: items drawn with an outline, that the editing commands act on.
    QList<CanvasItem *> selectedStructures() const; // in placement order
    bool hasSelection() const
    {
        return !m_selection.isEmpty();
    }
    void setSelection(const QList<CanvasItem *> &items);
    void setSelected(CanvasItem *item, bool selected);

signals:
    void structureSelectionChanged();

protected:
    void drawForeground(QPainter *painter, const QRectF &rect) override;

private:
    friend class CanvasItem;
    void insert(CanvasItem *item);
    void remove(CanvasItem *item);
    // The item's bounds changed from before: index it anew and repaint both areas.
    void moved(CanvasItem *item, const QRectF &before);

    // Whether an area is better searched through every item than through the grid.
    bool isWide(const QRectF &rect) const;
    // Cells of the grid an area lies on; empty for areas indexed as large.
    QRect cellsOf(const QRectF &area) const;
    void index(CanvasItem *item);
    void unindex(CanvasItem *item);
    // Calls visit for each item indexed where area lies, an item possibly more than once.
    template <typename Visit> void visitNear(const QRectF &area, Visit visit) const;

    // Whether the item is drawn at half opacity.
    bool isDimmed(const CanvasItem *item) const;
    // Repaints an item's bounds and the selection outline around them.
    void repaint(const QRectF &bounds);
    // Draws the outline of a selected item the world transform shows, the painter's own
    // transform reset.
    void drawOutline(QPainter *painter, const QTransform &world, const CanvasItem *item) const;
    // The pixmap magnified scale times, from a cache bounded in bytes; null for a pixmap too
    // large to keep.
    const QPixmap *magnified(const QPixmap &pixmap, int scale) const;

    QList<CanvasItem *> m_items;
    QSet<CanvasItem *> m_selection;
    QHash<quint64, QList<CanvasItem *>> m_cells;
    QList<CanvasItem *> m_large; // items covering too many cells to list in each
    quint64 m_nextOrder = 0;
    bool m_itemsLeftOut = false;
    bool m_dimInvisible = false;
    mutable quint64 m_visit = 0;                 // marks items already met in one query
    mutable QCache<qint64, QPixmap> m_magnified; // by pixmap and scale, costs in KiB
};
