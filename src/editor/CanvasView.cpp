#include "CanvasView.h"

#include "Canvas.h"
#include "CanvasItem.h"
#include "FileCommands.h"
#include "PlacementTool.h"
#include "core/MapSession.h"

#include <QDir>
#include <QHelpEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

CanvasView::CanvasView(MapSession *session, QWidget *parent)
    : QGraphicsView(parent), m_session(session), m_tool(new PlacementTool(this, session))
{
    MapDocument *document = session->document();
    connect(document, &MapDocument::reset, this, &CanvasView::rebuild);
    connect(document, &MapDocument::placementsInserted, this, &CanvasView::addItems);
    connect(document, &MapDocument::placementsRemoved, this, &CanvasView::removeItems);
    connect(document, &MapDocument::placementsMoved, this, &CanvasView::moveItems);
    connect(document, &MapDocument::placementsChanged, this, &CanvasView::changeItems);
    connect(document, &MapDocument::placementsReordered, this, &CanvasView::reorderItems);
    connect(session->selection(), &PlacementSelection::changed, this, &CanvasView::showSelection);
    connect(session, &MapSession::terrainRowsRead, this, &CanvasView::showTerrainRows);
    connect(session, &MapSession::terrainReplaced, this, &CanvasView::rebuild);
    connect(session, &MapSession::structureImagesChanged, this, [this](const QSet<QString> &paths) {
        // Drawn from files found since: their placements' items are made anew.
        m_pixmaps.clear();
        QList<Placement *> changed;
        for (Placement *placement : m_session->document()->placements()) {
            if (paths.contains(placement->structurePath))
                changed.append(placement);
        }
        changeItems(changed);
    });
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setDragMode(QGraphicsView::NoDrag);
    setTransformationAnchor(QGraphicsView::NoAnchor);
    setResizeAnchor(QGraphicsView::NoAnchor);
    setOptimizationFlags(QGraphicsView::DontSavePainterState);
    // The right button opens the item menu on press; no second menu may follow it.
    setContextMenuPolicy(Qt::PreventContextMenu);
    // The status bar follows the pointer, buttons pressed or not.
    viewport()->setMouseTracking(true);
    if (document->isOpen())
        rebuild();
}

CanvasView::~CanvasView()
{
    // The items refer to the document's placements, and the tool's to its own: they go first.
    delete m_tool;
    disconnect(m_session->document(), nullptr, this, nullptr);
    delete m_canvas;
}

void CanvasView::closeCanvas()
{
    m_items.clear();
    if (!m_canvas)
        return;
    setScene(nullptr);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, false);
    delete m_canvas;
    m_canvas = nullptr;
    m_terrainPainter.clear();
    viewport()->update();
}

void CanvasView::rebuild()
{
    m_tool->cancel();
    closeCanvas();
    m_pixmaps.clear();
    m_pixmapsByImage.clear();
    emit placementSelectionChanged(false);
    if (!m_session->document()->isOpen()) {
        refreshPointer();
        return;
    }
    const QSize size = m_session->terrainSize();
    m_canvas = new Canvas(QRectF(0, 0, size.width(), size.height()), this);
    m_canvas->setDimInvisible(m_dimInvisible);
    setScene(m_canvas);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, true);
    const QList<Placement *> &placements = m_session->document()->placements();
    m_items.reserve(placements.size());
    for (Placement *placement : placements)
        makeItem(placement);
    // The map shows from its terrain's top-left corner, whatever lies beyond it.
    m_reach = m_canvas->sceneRect();
    reachItems(m_canvas->allItems());
    setSceneRect(m_reach);
    scrollBy(mapFromScene(QPointF(0, 0)));
    refreshPointer();
}

QPixmap CanvasView::pixmapOf(const Placement &placement)
{
    const StructureImages::Key key = StructureImages::Key::of(placement);
    auto found = m_pixmaps.find(key);
    if (found == m_pixmaps.end()) {
        // Structures relinked to another name keep their image, and so their items.
        const QImage image = m_session->structureImage(key);
        auto same = m_pixmapsByImage.find(image.cacheKey());
        if (same == m_pixmapsByImage.end())
            same = m_pixmapsByImage.insert(image.cacheKey(), QPixmap::fromImage(image));
        found = m_pixmaps.insert(key, *same);
    }
    return *found;
}

CanvasItem *CanvasView::makeItem(Placement *placement)
{
    auto *item = new CanvasItem(placement, pixmapOf(*placement), m_canvas, true);
    m_items.insert(placement, item);
    return item;
}

void CanvasView::reachItems(const QList<CanvasItem *> &items)
{
    QRectF reach = m_reach;
    const QRectF terrain = m_canvas->sceneRect();
    for (const CanvasItem *item : items) {
        const QRectF bounds = item->canvasRect();
        if (!terrain.contains(bounds))
            reach |= bounds.adjusted(-placementMargin, -placementMargin, placementMargin,
                                     placementMargin);
    }
    if (reach == m_reach)
        return;
    m_reach = reach;
    setSceneRect(reach);
}

void CanvasView::addItems(const QList<Placement *> &placements)
{
    if (!m_canvas)
        return;
    QList<CanvasItem *> added;
    added.reserve(placements.size());
    for (Placement *placement : placements)
        added.append(makeItem(placement));
    reachItems(added);
    refreshPointer();
    // Placements that come back (an undone delete) take their old places in the drawing
    // order; new ones go on top.
    const QList<Placement *> &all = m_session->document()->placements();
    const qsizetype first = all.size() - placements.size();
    if (first < 0 || all.mid(first) != placements)
        reorderItems();
}

void CanvasView::removeItems(const QList<Placement *> &placements)
{
    if (!m_canvas)
        return;
    if (m_tool->isMoving())
        m_tool->cancel();
    for (const Placement *placement : placements)
        delete m_items.take(placement);
    refreshPointer();
}

void CanvasView::moveItems(const QList<Placement *> &placements)
{
    if (!m_canvas)
        return;
    if (m_tool->isMoving())
        m_tool->cancel();
    QList<CanvasItem *> moved;
    moved.reserve(placements.size());
    for (const Placement *placement : placements) {
        if (CanvasItem *item = m_items.value(placement)) {
            item->setPos(placement->position);
            moved.append(item);
        }
    }
    reachItems(moved);
    refreshPointer();
}

void CanvasView::changeItems(const QList<Placement *> &placements)
{
    if (!m_canvas)
        return;
    if (m_tool->isMoving())
        m_tool->cancel();
    // A structure replaced draws from another image (or another placeholder box), and may lie
    // elsewhere: its item is made anew, in its place in the drawing order.
    QList<CanvasItem *> remade;
    for (Placement *placement : placements) {
        CanvasItem *item = m_items.value(placement);
        if (!item)
            continue;
        if (item->pos() == placement->position && !item->isPlaceholder() &&
            item->pixmapKey() == pixmapOf(*placement).cacheKey()) {
            if (m_dimInvisible) // its flag may have changed
                m_canvas->update(item->canvasRect());
            continue;
        }
        delete item;
        remade.append(makeItem(placement));
    }
    if (remade.isEmpty())
        return;
    reorderItems();
    showSelection();
    reachItems(remade);
    refreshPointer();
}

void CanvasView::reorderItems()
{
    if (!m_canvas)
        return;
    const QList<Placement *> &all = m_session->document()->placements();
    QList<CanvasItem *> order;
    order.reserve(all.size() + 1);
    for (const Placement *placement : all)
        order.append(m_items.value(placement));
    if (CanvasItem *incoming = m_tool->incomingItem())
        order.append(incoming);
    m_canvas->setOrder(order);
}

void CanvasView::showSelection()
{
    if (m_canvas) {
        const QSet<const Placement *> &selected = m_session->selection()->members();
        QList<CanvasItem *> items;
        items.reserve(selected.size());
        for (const Placement *placement : selected) {
            if (CanvasItem *item = m_items.value(placement))
                items.append(item);
        }
        m_canvas->setSelection(items);
    }
    emit placementSelectionChanged(hasSelection());
}

void CanvasView::showTerrainRows(int from, int to)
{
    // Only where the new rows show.
    const QRect band = viewportTransform()
                           .mapRect(QRectF(0, from, m_session->terrain().width(), to - from))
                           .toAlignedRect();
    viewport()->update(band & viewport()->rect());
}

void CanvasView::setScale(int factor)
{
    if (factor < minimumScale || factor > maximumScale)
        return;
    applyZoom(factor, 1);
}

void CanvasView::applyZoom(int scale, int reduction)
{
    const bool scaleChange = (reduction > 1 ? 0 : scale) != this->scale();
    const bool change = scale != m_scale || reduction != m_reduction;
    m_scale = scale;
    m_reduction = reduction;
    const qreal factor = zoom();
    setTransform(QTransform::fromScale(factor, factor));
    refreshPointer();
    if (scaleChange)
        emit scaleChanged(this->scale());
    if (change)
        emit zoomChanged(factor);
}

void CanvasView::zoomTo(qreal factor, const QPoint &anchor)
{
    if (!(factor > 0))
        return;
    int scale = 1;
    int reduction = 1;
    if (factor >= 1)
        scale = qBound(minimumScale, qRound(factor), maximumScale);
    else
        reduction = qBound(1, qRound(1 / factor), maximumReduction);
    factor = reduction > 1 ? 1.0 / reduction : scale;
    if (factor == zoom())
        return;
    // The cell under the anchor, and how far into it the anchor is: after the change the anchor
    // is as far into the same cell, to the nearest whole pixel within it.
    const QPointF before = mapToScene(anchor);
    const QPointF cell(std::floor(before.x()), std::floor(before.y()));
    const QPointF into = before - cell;
    const QPointF target = factor >= 1 ? cell + QPointF(std::floor(into.x() * factor) / factor,
                                                        std::floor(into.y() * factor) / factor)
                                       : before;
    applyZoom(scale, reduction);
    const QPointF now = viewportTransform().map(target);
    scrollBy(QPoint(qRound(now.x() - anchor.x()), qRound(now.y() - anchor.y())));
}

qreal CanvasView::steppedZoom(int steps) const
{
    // 1/8, 1/4, 1/2, then 1 to 6.
    QList<qreal> levels;
    for (int k = steppedReduction; k > 1; k /= 2)
        levels.append(1.0 / k);
    for (int n = minimumScale; n <= maximumScale; ++n)
        levels.append(n);
    qreal factor = zoom();
    for (; steps > 0; --steps) {
        const auto above = std::upper_bound(levels.cbegin(), levels.cend(), factor);
        if (above != levels.cend())
            factor = *above;
    }
    for (; steps < 0; ++steps) {
        const auto below = std::lower_bound(levels.cbegin(), levels.cend(), factor);
        if (below != levels.cbegin())
            factor = *(below - 1);
    }
    return factor;
}

void CanvasView::zoomToFit()
{
    if (!m_canvas)
        return;
    const QSizeF map = m_reach.size();
    const QSize room = viewport()->size();
    const qreal fits = std::min(room.width() / map.width(), room.height() / map.height());
    // The largest whole scale or reduction 1/k no larger than what fits.
    const qreal factor = fits >= 1 ? std::floor(std::min<qreal>(fits, maximumScale))
                                   : 1.0 / std::min<qreal>(std::ceil(1 / fits), maximumReduction);
    zoomTo(factor, viewport()->rect().center());
    centerOn(m_reach.center());
}

void CanvasView::scrollBy(QPoint delta)
{
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + delta.x());
    verticalScrollBar()->setValue(verticalScrollBar()->value() + delta.y());
}

void CanvasView::zoomIn()
{
    zoomTo(steppedZoom(1), viewport()->rect().center());
}

void CanvasView::zoomOut()
{
    zoomTo(steppedZoom(-1), viewport()->rect().center());
}

bool CanvasView::cellAt(const QPoint &viewportPos, QPoint *cell) const
{
    if (!m_canvas)
        return false;
    const QPointF scenePos = mapToScene(viewportPos);
    const QPoint at(int(std::floor(scenePos.x())), int(std::floor(scenePos.y())));
    if (!m_canvas->sceneRect().toAlignedRect().contains(at))
        return false;
    *cell = at;
    return true;
}

QPoint CanvasView::toCanvas(const QPoint &viewportPos) const
{
    const QPointF scenePos = mapToScene(viewportPos);
    return QPoint(int(std::floor(scenePos.x() + 0.5)), int(std::floor(scenePos.y() + 0.5)));
}

CanvasItem *CanvasView::structureAt(const QPoint &canvasPos) const
{
    return m_canvas ? m_canvas->structureAt(QPointF(canvasPos)) : nullptr;
}

bool CanvasView::hasSelection() const
{
    return !m_session->selection()->isEmpty();
}

QList<Placement *> CanvasView::selectedPlacements() const
{
    return m_session->selection()->placements();
}

void CanvasView::setPointer(const QPoint &viewportPos)
{
    m_pointer = viewportPos;
    m_pointerInside = true;
    QString text;
    QPoint cell;
    if (cellAt(viewportPos, &cell)) {
        text = QStringLiteral("%1, %2").arg(cell.x()).arg(cell.y());
        if (const CanvasItem *item = m_canvas->structureAt(mapToScene(viewportPos)))
            text += QStringLiteral("  ") + item->structureName();
    }
    if (text == m_pointerText)
        return;
    m_pointerText = text;
    emit pointerTextChanged(text);
}

void CanvasView::refreshPointer()
{
    if (m_pointerInside)
        setPointer(m_pointer);
}

void CanvasView::clearPointer()
{
    m_pointerInside = false;
    if (m_pointerText.isEmpty())
        return;
    m_pointerText.clear();
    emit pointerTextChanged(m_pointerText);
}

void CanvasView::scrollContentsBy(int dx, int dy)
{
    QGraphicsView::scrollContentsBy(dx, dy);
    refreshPointer();
}

void CanvasView::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QGraphicsView::wheelEvent(event);
        return;
    }
    // A notch is 120; finer wheels and touchpads add up to whole steps.
    m_wheelZoom += event->angleDelta().y();
    const int steps = m_wheelZoom / 120;
    m_wheelZoom -= steps * 120;
    if (steps)
        zoomTo(steppedZoom(steps), event->position().toPoint());
    event->accept();
}

void CanvasView::drawBackground(QPainter *painter, const QRectF &rect)
{
    const QBrush background = viewport()->palette().brush(viewport()->backgroundRole());
    if (m_terrainPainter.paint(painter, rect.toAlignedRect(), m_session->terrain(), background,
                               m_canvas, m_grid) &&
        m_canvas)
        m_canvas->leaveItemsOut();
}

void CanvasView::drawForeground(QPainter *painter, const QRectF &rect)
{
    // The canvas draws its items with a transform of its own, which it leaves behind.
    painter->save();
    QGraphicsView::drawForeground(painter, rect);
    painter->restore();
    if (m_overlay && m_canvas)
        m_overlay(painter, rect);
}

void CanvasView::setOverlay(const Overlay &overlay)
{
    m_overlay = overlay;
    viewport()->update();
}

void CanvasView::setGridSize(int cells)
{
    m_grid.setSize(cells);
    viewport()->update();
}

void CanvasView::setSnapToGrid(bool snaps)
{
    m_grid.setSnaps(snaps);
}

void CanvasView::setDimInvisible(bool dim)
{
    m_dimInvisible = dim;
    if (m_canvas)
        m_canvas->setDimInvisible(dim);
}

void CanvasView::setGridShown(bool shown)
{
    m_grid.setShown(shown);
    viewport()->update();
}

bool CanvasView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Leave)
        clearPointer();
    if (event->type() == QEvent::ToolTip && m_canvas) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (CanvasItem *item = structureAt(toCanvas(help->pos()))) {
            QString text = item->toolTipText();
            const QString &path = item->placement()->structurePath;
            if (m_session->isStructureMissing(path)) {
                const QString found = m_session->foundFile(path);
                text += QLatin1Char('\n') +
                        (found.isEmpty()
                             ? tr("The file is missing: %1").arg(QDir::toNativeSeparators(path))
                             : tr("The file is missing: %1\nDrawn from %2")
                                   .arg(QDir::toNativeSeparators(path),
                                        QDir::toNativeSeparators(found)));
            }
            QToolTip::showText(help->globalPos(), text);
            // The scene's own tooltip handling would hide it again: none of its items has one.
            return true;
        }
    }
    return QGraphicsView::viewportEvent(event);
}

void CanvasView::mousePressEvent(QMouseEvent *event)
{
    m_tool->mousePressEvent(event);
}

void CanvasView::mouseMoveEvent(QMouseEvent *event)
{
    setPointer(event->position().toPoint());
    m_tool->mouseMoveEvent(event);
}

void CanvasView::mouseReleaseEvent(QMouseEvent *event)
{
    m_tool->mouseReleaseEvent(event);
}

void CanvasView::keyPressEvent(QKeyEvent *event)
{
    if (!m_tool->keyPressEvent(event))
        QGraphicsView::keyPressEvent(event);
}

void CanvasView::keyReleaseEvent(QKeyEvent *event)
{
    if (!m_tool->keyReleaseEvent(event))
        QGraphicsView::keyReleaseEvent(event);
}

void CanvasView::focusOutEvent(QFocusEvent *event)
{
    m_tool->focusOut();
    QGraphicsView::focusOutEvent(event);
}

void CanvasView::dragEnterEvent(QDragEnterEvent *event)
{
    m_tool->dragEnterEvent(event);
}

void CanvasView::dragMoveEvent(QDragMoveEvent *event)
{
    m_tool->dragMoveEvent(event);
}

void CanvasView::dragLeaveEvent(QDragLeaveEvent *)
{
    m_tool->dragLeave();
}

void CanvasView::dropEvent(QDropEvent *event)
{
    m_tool->dropEvent(event);
}

void CanvasView::deleteSelection()
{
    m_tool->cancel();
    m_session->document()->remove(selectedPlacements());
}

void CanvasView::fileNew()
{
    m_fileCommands->newMap();
}

void CanvasView::fileOpen()
{
    m_fileCommands->open();
}

bool CanvasView::fileSave()
{
    return m_fileCommands->save();
}

void CanvasView::fileClose()
{
    m_fileCommands->close();
}
