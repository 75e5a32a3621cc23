#include "Canvas.h"

#include "CanvasItem.h"
#include "core/Placement.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Side of a grid cell in canvas pixels. Structures are mostly a few dozen cells a side, so
// an item lies on one to four cells.
constexpr qreal cellSize = 64;
// An item lying on more cells than this is kept in one list that every query looks at.
constexpr qint64 largeCellCount = 64;
// The magnified pixmaps kept, in KiB.
constexpr int magnifiedCacheKiB = 64 * 1024;
// The largest whole-number scale drawn by magnifying.
constexpr int maximumScale = 64;

quint64 cellKey(int x, int y)
{
    return (quint64(quint32(x)) << 32) | quint32(y);
}

int cellOf(qreal coordinate)
{
    return int(qBound<qreal>(-2e9, std::floor(coordinate / cellSize), 2e9));
}

QRect cellRange(const QRectF &area)
{
    return QRect(QPoint(cellOf(area.left()), cellOf(area.top())),
                 QPoint(cellOf(area.right()), cellOf(area.bottom())));
}

qint64 cellCount(const QRect &cells)
{
    return (qint64(cells.right()) - cells.left() + 1) * (qint64(cells.bottom()) - cells.top() + 1);
}

} // namespace

Canvas::Canvas(const QRectF &rect, QObject *parent)
    : QGraphicsScene(rect, parent), m_magnified(magnifiedCacheKiB)
{
    // The scene itself holds no items: its own index would only cost.
    setItemIndexMethod(QGraphicsScene::NoIndex);
}

Canvas::~Canvas()
{
    const QList<CanvasItem *> items = std::exchange(m_items, {});
    for (CanvasItem *item : items) {
        item->m_canvas = nullptr;
        delete item;
    }
}

QRect Canvas::cellsOf(const QRectF &area) const
{
    const QRect cells = cellRange(area);
    return cellCount(cells) > largeCellCount ? QRect() : cells;
}

void Canvas::insert(CanvasItem *item)
{
    item->m_canvas = this;
    item->m_order = m_nextOrder++;
    m_items.append(item);
    index(item);
    if (item->isVisible())
        repaint(item->canvasRect());
}

void Canvas::remove(CanvasItem *item)
{
    unindex(item);
    if (m_selection.remove(item))
        emit structureSelectionChanged();
    // Items removed are mostly recent ones: a drag leaving the map, a delete after placing.
    const qsizetype at = m_items.lastIndexOf(item);
    if (at >= 0)
        m_items.remove(at);
    item->m_canvas = nullptr;
    if (item->isVisible())
        repaint(item->canvasRect());
}

void Canvas::moved(CanvasItem *item, const QRectF &before)
{
    const QRectF after = item->canvasRect();
    if (item->m_large || cellsOf(after) != item->m_cells) {
        unindex(item);
        index(item);
    }
    if (!item->isVisible())
        return;
    // A step of a drag leaves two overlapping areas: repainted as one rectangle, the painter's
    // clip stays a rectangle, which it draws scaled pixmaps into far faster than a region.
    if (before.intersects(after)) {
        repaint(before.united(after));
    } else {
        repaint(before);
        repaint(after);
    }
}

void Canvas::index(CanvasItem *item)
{
    item->m_cells = cellsOf(item->canvasRect());
    item->m_large = item->m_cells.isNull();
    if (item->m_large) {
        m_large.append(item);
        return;
    }
    for (int y = item->m_cells.top(); y <= item->m_cells.bottom(); ++y) {
        for (int x = item->m_cells.left(); x <= item->m_cells.right(); ++x)
            m_cells[cellKey(x, y)].append(item);
    }
}

void Canvas::unindex(CanvasItem *item)
{
    if (item->m_large) {
        m_large.removeOne(item);
        return;
    }
    for (int y = item->m_cells.top(); y <= item->m_cells.bottom(); ++y) {
        for (int x = item->m_cells.left(); x <= item->m_cells.right(); ++x) {
            const auto found = m_cells.find(cellKey(x, y));
            if (found == m_cells.end())
                continue;
            found->removeOne(item);
            if (found->isEmpty())
                m_cells.erase(found);
        }
    }
}

template <typename Visit> void Canvas::visitNear(const QRectF &area, Visit visit) const
{
    for (CanvasItem *item : m_large)
        visit(item);
    const QRect cells = cellRange(area);
    if (cellCount(cells) > m_cells.size()) {
        // An area wider than the grid holds: every item is a candidate.
        for (CanvasItem *item : m_items) {
            if (!item->m_large)
                visit(item);
        }
        return;
    }
    for (int y = cells.top(); y <= cells.bottom(); ++y) {
        for (int x = cells.left(); x <= cells.right(); ++x) {
            const auto found = m_cells.constFind(cellKey(x, y));
            if (found == m_cells.cend())
                continue;
            for (CanvasItem *item : *found)
                visit(item);
        }
    }
}

bool Canvas::isWide(const QRectF &rect) const
{
    // An area taking in much of the map, as a view zoomed far out shows: going through every
    // item costs little more than the grid would, and they are in drawing order already.
    return cellCount(cellRange(rect)) * 2 > m_cells.size();
}

QList<CanvasItem *> Canvas::itemsIn(const QRectF &rect) const
{
    QList<CanvasItem *> found;
    if (isWide(rect)) {
        for (CanvasItem *item : m_items) {
            if (item->isVisible() && item->canvasRect().intersects(rect))
                found.append(item);
        }
        return found;
    }
    const quint64 visit = ++m_visit;
    visitNear(rect, [&](CanvasItem *item) {
        if (item->m_visit == visit)
            return;
        item->m_visit = visit;
        if (item->isVisible() && item->canvasRect().intersects(rect))
            found.append(item);
    });
    std::sort(found.begin(), found.end(),
              [](const CanvasItem *a, const CanvasItem *b) { return a->m_order < b->m_order; });
    return found;
}

void Canvas::setOrder(const QList<CanvasItem *> &items)
{
    m_items = items;
    m_nextOrder = 0;
    for (CanvasItem *item : items)
        item->m_order = m_nextOrder++;
    update();
}

QList<CanvasItem *> Canvas::selectedStructures() const
{
    QList<CanvasItem *> items(m_selection.cbegin(), m_selection.cend());
    std::sort(items.begin(), items.end(),
              [](const CanvasItem *a, const CanvasItem *b) { return a->m_order < b->m_order; });
    return items;
}

void Canvas::setSelection(const QList<CanvasItem *> &items)
{
    const QSet<CanvasItem *> selection(items.cbegin(), items.cend());
    if (selection == m_selection)
        return;
    for (CanvasItem *item : std::as_const(m_selection)) {
        if (!selection.contains(item)) {
            item->m_selected = false;
            repaint(item->canvasRect());
        }
    }
    for (CanvasItem *item : selection) {
        if (!item->m_selected) {
            item->m_selected = true;
            repaint(item->canvasRect());
        }
    }
    m_selection = selection;
    emit structureSelectionChanged();
}

void Canvas::setSelected(CanvasItem *item, bool selected)
{
    if (item->m_selected == selected)
        return;
    item->m_selected = selected;
    if (selected)
        m_selection.insert(item);
    else
        m_selection.remove(item);
    repaint(item->canvasRect());
    emit structureSelectionChanged();
}

CanvasItem *Canvas::structureAt(const QPointF &pos) const
{
    CanvasItem *front = nullptr;
    visitNear(QRectF(pos, QSizeF(0, 0)), [&](CanvasItem *item) {
        if ((!front || item->m_order > front->m_order) && item->isVisible() &&
            item->contains(pos - item->pos()))
            front = item;
    });
    return front;
}

void Canvas::repaint(const QRectF &bounds)
{
    update(bounds.adjusted(-1, -1, 1, 1));
}

void Canvas::drawOutline(QPainter *painter, const QTransform &world, const CanvasItem *item) const
{
    // One device pixel wide at every scale, just outside the item's bounds so that even a
    // structure one cell wide stays visible: black, with white dashes over it, to show on any
    // ground. Repaints of an item take in a margin of one canvas pixel for it.
    const QRect box = world.mapRect(item->canvasRect()).toAlignedRect();
    const QRect ring = box.adjusted(-1, -1, 0, 0);
    painter->save();
    painter->resetTransform();
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(Qt::black, 0));
    painter->drawRect(ring);
    painter->setPen(QPen(Qt::white, 0, Qt::DashLine));
    painter->drawRect(ring);
    painter->restore();
}

void Canvas::setDimInvisible(bool dim)
{
    if (dim == m_dimInvisible)
        return;
    m_dimInvisible = dim;
    update();
}

bool Canvas::isDimmed(const CanvasItem *item) const
{
    return m_dimInvisible && item->placement()->invisible;
}

int Canvas::wholeScale(const QTransform &transform)
{
    const qreal n = transform.m11();
    if (transform.type() > QTransform::TxScale || n != transform.m22() || n != std::floor(n) ||
        n < 1 || n > maximumScale || transform.dx() != std::floor(transform.dx()) ||
        transform.dy() != std::floor(transform.dy()))
        return 0;
    return int(n);
}

const QPixmap *Canvas::magnified(const QPixmap &pixmap, int scale) const
{
    const qint64 key = pixmap.cacheKey() * (maximumScale + 1) + scale;
    if (const QPixmap *found = m_magnified.object(key))
        return found;
    auto *made = new QPixmap(QPixmap::fromImage(pixmap.toImage().scaled(
        pixmap.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    const qint64 kib = qint64(made->width()) * made->height() * made->depth() / 8 / 1024 + 1;
    // Too large a share of the cache is drawn magnified on the fly instead.
    if (made->isNull() || kib > m_magnified.maxCost() / 8) {
        delete made;
        return nullptr;
    }
    m_magnified.insert(key, made, kib);
    return made;
}

bool Canvas::drawItemsUnscaled(QPainter *painter, const QRect &area) const
{
    const QList<CanvasItem *> items = itemsIn(QRectF(area));
    for (const CanvasItem *item : items) {
        if (item->isPlaceholder() || item->pos() != QPointF(item->pos().toPoint()))
            return false;
    }
    for (const CanvasItem *item : items) {
        const QPoint at = item->pos().toPoint();
        const QRect part = area & QRect(at, item->pixmap().size());
        if (part.isEmpty())
            continue;
        painter->setOpacity(isDimmed(item) ? 0.5 : 1.0);
        painter->drawPixmap(part.topLeft(), item->pixmap(), part.translated(-at));
    }
    painter->setOpacity(1.0);
    return true;
}

void Canvas::drawForeground(QPainter *painter, const QRectF &rect)
{
    if (m_itemsLeftOut) {
        m_itemsLeftOut = false;
        const QTransform world = painter->worldTransform();
        for (CanvasItem *item : m_selection) {
            if (item->isVisible() && item->canvasRect().intersects(rect.adjusted(-1, -1, 1, 1)))
                drawOutline(painter, world, item);
        }
        QGraphicsScene::drawForeground(painter, rect);
        return;
    }
    // Under the view's whole-number scales, an item is drawn from its pixmap magnified once,
    // in device pixels: drawing it magnified on the fly costs several times as much, and a
    // drag repaints the same few items over and over.
    // At scale 1 the pixmap itself is drawn the same way, sparing a change of the painter's
    // transform for each of the thousands of items a zoomed-out view shows.
    const QTransform world = painter->worldTransform();
    const int n = wholeScale(world);
    const bool whole = n >= 1;
    const QRect exposed = world.mapRect(rect).toAlignedRect();
    if (whole)
        painter->setWorldTransform(QTransform());
    for (CanvasItem *item : itemsIn(rect.adjusted(-1, -1, 1, 1))) {
        const QPointF pos = item->pos();
        painter->setOpacity(isDimmed(item) ? 0.5 : 1.0);
        const QPixmap *big = !whole || item->isPlaceholder() || pos != QPointF(pos.toPoint())
                                 ? nullptr
                             : n == 1 ? &item->pixmap()
                                      : magnified(item->pixmap(), n);
        if (big) {
            const QPoint at = world.map(pos).toPoint();
            const QRect part = exposed & QRect(at, big->size());
            if (!part.isEmpty())
                painter->drawPixmap(part.topLeft(), *big, part.translated(-at));
        } else {
            painter->setWorldTransform(QTransform(world).translate(pos.x(), pos.y()));
            item->paint(painter, rect.translated(-pos));
            painter->setWorldTransform(whole ? QTransform() : world);
        }
        painter->setOpacity(1.0);
        if (item->m_selected)
            drawOutline(painter, world, item);
    }
    painter->setWorldTransform(world);
    QGraphicsScene::drawForeground(painter, rect);
}
