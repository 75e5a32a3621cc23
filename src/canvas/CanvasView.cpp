#include "CanvasView.h"

#include "Canvas.h"
#include "CanvasItem.h"
#include "document/FileCommands.h"
#include "document/MapDocument.h"
#include "library/StructurePayload.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QImageReader>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QRubberBand>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int terrainAllocationLimitMiB = TerrainLoader::allocationLimitMiB;

// Writes count source pixels as runs of N copies each; returns the end of what was written.
template <int N> quint32 *fillBlocks(const quint32 *source, int count, quint32 *out)
{
    for (int i = 0; i < count; ++i, out += N) {
        const quint32 pixel = source[i];
        for (int k = 0; k < N; ++k)
            out[k] = pixel;
    }
    return out;
}

quint32 *fillBlocks(const quint32 *source, int count, int n, quint32 *out)
{
    // The usual scales get a loop of their own, which the compiler turns into a few wide stores
    // a pixel.
    switch (n) {
    case 2:
        return fillBlocks<2>(source, count, out);
    case 3:
        return fillBlocks<3>(source, count, out);
    case 4:
        return fillBlocks<4>(source, count, out);
    case 5:
        return fillBlocks<5>(source, count, out);
    case 6:
        return fillBlocks<6>(source, count, out);
    case 8:
        return fillBlocks<8>(source, count, out);
    default:
        for (int i = 0; i < count; ++i)
            out = std::fill_n(out, n, source[i]);
        return out;
    }
}

// Writes the part `area` of the terrain magnified n times into target, the terrain's
// top-left pixel landing at origin: every terrain pixel becomes an n x n block. The area must
// lie within target and within the magnified terrain.
void magnify(const QImage &terrain, int n, QPoint origin, const QRect &area, QImage &target)
{
    uchar *const bits = target.bits();
    const qsizetype stride = target.bytesPerLine();
    const qsizetype rowBytes = qsizetype(area.width()) * 4;
    const int firstColumn = (area.left() - origin.x()) / n;
    const int into = (area.left() - origin.x()) % n; // pixels of the first block left out
    const quint32 *previous = nullptr;
    int previousRow = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *const line = reinterpret_cast<quint32 *>(bits + y * stride) + area.left();
        const int row = (y - origin.y()) / n;
        if (row == previousRow) {
            std::memcpy(line, previous, rowBytes);
            continue;
        }
        const auto *source =
            reinterpret_cast<const quint32 *>(terrain.constScanLine(row)) + firstColumn;
        quint32 *out = line;
        int left = area.width();
        if (into) {
            const int run = std::min(n - into, left);
            out = std::fill_n(out, run, *source++);
            left -= run;
        }
        const int blocks = left / n;
        out = fillBlocks(source, blocks, n, out);
        if (left > blocks * n)
            std::fill_n(out, left - blocks * n, source[blocks]);
        previous = line;
        previousRow = row;
    }
}

} // namespace

CanvasView::CanvasView(QWidget *parent, Qt::WindowFlags flags) : QGraphicsView(parent)
{
    if (flags)
        setWindowFlags(flags);
    m_document = new MapDocument(this);
    m_fileCommands = new FileCommands(this, m_document);
    connect(m_document, &MapDocument::reset, this, &CanvasView::rebuild);
    connect(m_document, &MapDocument::placementsInserted, this, &CanvasView::addItems);
    connect(m_document, &MapDocument::placementsRemoved, this, &CanvasView::removeItems);
    connect(m_document, &MapDocument::placementsMoved, this, &CanvasView::moveItems);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setDragMode(QGraphicsView::NoDrag);
    setTransformationAnchor(QGraphicsView::NoAnchor);
    setResizeAnchor(QGraphicsView::NoAnchor);
    setOptimizationFlags(QGraphicsView::DontSavePainterState);
    // The right button opens the item menu on press; no second menu may follow it.
    setContextMenuPolicy(Qt::PreventContextMenu);
    if (QImageReader::allocationLimit() < terrainAllocationLimitMiB)
        QImageReader::setAllocationLimit(terrainAllocationLimitMiB);
    connect(&m_terrainLoader, &TerrainLoader::rowsReady, this, &CanvasView::showTerrainRows);
    // The status bar follows the pointer, buttons pressed or not.
    viewport()->setMouseTracking(true);
    m_autoScroll.setInterval(16);
    connect(&m_autoScroll, &QTimer::timeout, this, &CanvasView::autoScrollStep);
}

CanvasView::~CanvasView()
{
    endIncoming();
    // The items refer to the document's placements: they go first.
    disconnect(m_document, nullptr, this, nullptr);
    delete m_canvas;
}

void CanvasView::newCanvas(const QString &terrainPath)
{
    PlacementDocument content;
    content.terrainPath = terrainPath;
    m_document->open(content, m_document->fileName());
}

void CanvasView::showTerrain(const QString &terrainPath)
{
    // The map takes the terrain's size from the image's header at once; decoding a large
    // image takes long, so it is read in the background, top to bottom, and its rows are drawn
    // as they arrive. The items of a map being opened are meanwhile placed and can be worked
    // on. An image whose header tells no size comes whole (an unreadable one gives an empty
    // map).
    const QSize size = m_terrainLoader.start(terrainPath);
    m_terrain = m_terrainLoader.readyImage();

    m_canvas = new Canvas(QRectF(0, 0, size.width(), size.height()), this);
    setScene(m_canvas);
    setSceneRect(m_canvas->sceneRect());
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, true);
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
    m_terrainLoader.abandon();
    m_terrain = QImage();
    m_magnified = QImage();
    m_composed = QImage();
    viewport()->update();
}

void CanvasView::showTerrainRows(int from, int to)
{
    m_terrain = m_terrainLoader.readyImage();
    // Only where the new rows show.
    const QRect band =
        viewportTransform().mapRect(QRectF(0, from, m_terrain.width(), to - from)).toAlignedRect();
    viewport()->update(band & viewport()->rect());
    emit terrainRowsRead();
}

void CanvasView::setScale(int factor)
{
    if (factor == 0)
        return;
    const bool changed = factor != m_scale;
    m_scale = factor;
    setTransform(QTransform::fromScale(factor, factor));
    refreshPointer();
    if (changed)
        emit scaleChanged(factor);
}

void CanvasView::zoomTo(int factor, const QPoint &anchor)
{
    factor = qBound(minimumScale, factor, maximumScale);
    if (factor == m_scale)
        return;
    // The cell under the anchor, and how far into it the anchor is: after the change the anchor
    // is as far into the same cell, to the nearest whole pixel within it.
    const QPointF before = mapToScene(anchor);
    const QPointF cell(std::floor(before.x()), std::floor(before.y()));
    const QPointF into = before - cell;
    const QPointF target = cell + QPointF(std::floor(into.x() * factor) / factor,
                                          std::floor(into.y() * factor) / factor);
    setScale(factor);
    const QPointF now = viewportTransform().map(target);
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + qRound(now.x() - anchor.x()));
    verticalScrollBar()->setValue(verticalScrollBar()->value() + qRound(now.y() - anchor.y()));
}

void CanvasView::zoomIn()
{
    zoomTo(m_scale + 1, viewport()->rect().center());
}

void CanvasView::zoomOut()
{
    zoomTo(m_scale - 1, viewport()->rect().center());
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

void CanvasView::setPointer(const QPoint &viewportPos)
{
    m_pointer = viewportPos;
    m_pointerInside = true;
    QString text;
    QPoint cell;
    if (cellAt(viewportPos, &cell)) {
        text = QStringLiteral("%1, %2").arg(cell.x()).arg(cell.y());
        if (const CanvasItem *item = m_canvas->itemAt(mapToScene(viewportPos)))
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
        zoomTo(m_scale + steps, event->position().toPoint());
    event->accept();
}

void CanvasView::updateAutoScroll()
{
    QPoint speed;
    if (m_canvas && (m_gesture == Gesture::Grab || m_incomingItem)) {
        // Within the margin the speed grows towards the edge; beyond it (a move can leave the
        // viewport) it is the fastest.
        const auto along = [](int pos, int low, int high) {
            if (pos < low + autoScrollMargin)
                return -(autoScrollMargin - std::max(pos - low, 0));
            if (pos > high - autoScrollMargin)
                return autoScrollMargin - std::max(high - pos, 0);
            return 0;
        };
        const QRect area = viewport()->rect();
        speed = QPoint(along(m_pointer.x(), area.left(), area.right()),
                       along(m_pointer.y(), area.top(), area.bottom()));
    }
    m_autoScrollSpeed = speed;
    if (speed.isNull())
        m_autoScroll.stop();
    else if (!m_autoScroll.isActive())
        m_autoScroll.start();
}

void CanvasView::autoScrollStep()
{
    if (!m_canvas || (m_gesture != Gesture::Grab && !m_incomingItem)) {
        m_autoScroll.stop();
        return;
    }
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + m_autoScrollSpeed.x());
    verticalScrollBar()->setValue(verticalScrollBar()->value() + m_autoScrollSpeed.y());
    followPointer();
}

void CanvasView::followPointer()
{
    const QPoint pos = toCanvas(m_pointer);
    const QPoint step = pos - m_lastPos;
    if (step.isNull())
        return;
    if (m_gesture == Gesture::Grab) {
        for (CanvasItem *item : m_canvas->selectedItems())
            item->moveBy(step.x(), step.y());
    } else if (m_incomingItem) {
        m_incomingItem->moveBy(step.x(), step.y());
    }
    m_lastPos = pos;
}

QPoint CanvasView::toCanvas(const QPoint &viewportPos) const
{
    const QPointF scenePos = mapToScene(viewportPos);
    return QPoint(int(std::floor(scenePos.x() + 0.5)), int(std::floor(scenePos.y() + 0.5)));
}

CanvasItem *CanvasView::itemAt(const QPoint &canvasPos) const
{
    return m_canvas ? m_canvas->itemAt(QPointF(canvasPos)) : nullptr;
}

void CanvasView::drawBackground(QPainter *painter, const QRectF &rect)
{
    // While a map is shown the viewport is not filled before painting (that would cost a
    // second pass over every pixel): what the terrain does not cover, or the rows of it not
    // yet read, is filled here.
    const QRect area = rect.toAlignedRect();
    const QRect exposed = m_terrain.isNull() ? QRect() : area & m_terrain.rect();
    if (exposed != area) {
        const QBrush background = viewport()->palette().brush(viewport()->backgroundRole());
        for (const QRect &part : QRegion(area).subtracted(exposed))
            painter->fillRect(part, background);
    }
    if (exposed.isEmpty())
        return;
    // Only the exposed part of the map, one map pixel to an n x n block. Magnified, the
    // structures are laid on the terrain first, at one pixel per cell: they cover the map a few
    // times over, and drawing each of them n x n times larger would cost that many times the
    // pixels, from magnified copies too large to stay in the processor's caches.
    if (Canvas::wholeScale(painter->worldTransform()) >= 2 && composeStructures(exposed)) {
        if (drawMagnifiedTerrain(painter, exposed, m_composed, exposed.topLeft())) {
            m_canvas->leaveItemsOut();
            return;
        }
    }
    if (drawMagnifiedTerrain(painter, exposed, m_terrain, QPoint(0, 0)))
        return;
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->drawImage(exposed.topLeft(), m_terrain, exposed);
}

bool CanvasView::composeStructures(const QRect &exposed)
{
    if (!m_canvas || m_terrain.format() != QImage::Format_RGB32)
        return false;
    if (m_composed.width() < exposed.width() || m_composed.height() < exposed.height())
        m_composed = QImage(exposed.size().expandedTo(m_composed.size()), QImage::Format_RGB32);
    if (m_composed.isNull())
        return false;
    const qsizetype rowBytes = qsizetype(exposed.width()) * 4;
    for (int y = 0; y < exposed.height(); ++y)
        std::memcpy(m_composed.scanLine(y),
                    m_terrain.constScanLine(exposed.top() + y) + qsizetype(exposed.left()) * 4,
                    rowBytes);
    QPainter painter(&m_composed);
    painter.translate(-exposed.topLeft());
    return m_canvas->drawItemsUnscaled(&painter, exposed);
}

bool CanvasView::drawMagnifiedTerrain(QPainter *painter, const QRect &exposed, const QImage &source,
                                      QPoint sourceAt)
{
    if (drawMagnifiedTerrainDirect(painter, exposed, source, sourceAt))
        return true;

    const QTransform transform = painter->worldTransform();
    const int n = Canvas::wholeScale(transform);
    if (n < 2)
        return false;

    const QSize size(exposed.width() * n, exposed.height() * n);
    if (m_magnified.format() != source.format() || m_magnified.width() < size.width() ||
        m_magnified.height() < size.height())
        m_magnified = QImage(size.expandedTo(m_magnified.size()), source.format());
    if (m_magnified.isNull())
        return false;
    magnify(source, n, (sourceAt - exposed.topLeft()) * n, QRect(QPoint(0, 0), size), m_magnified);

    const QPointF device = transform.map(QPointF(exposed.topLeft()));
    painter->save();
    painter->resetTransform();
    painter->drawImage(QPoint(int(device.x()), int(device.y())), m_magnified,
                       QRect(QPoint(0, 0), size));
    painter->restore();
    return true;
}

bool CanvasView::drawMagnifiedTerrainDirect(QPainter *painter, const QRect &exposed,
                                            const QImage &source, QPoint sourceAt)
{
    // Where the painter draws straight into an image in memory (the raster backing store of
    // the window, or an image being rendered to) and nothing would be blended, the magnified
    // terrain is written there in place: one pass over the pixels instead of two.
    QPaintEngine *engine = painter->paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || painter->hasClipping() ||
        painter->opacity() != 1.0 ||
        painter->compositionMode() != QPainter::CompositionMode_SourceOver ||
        source.format() != QImage::Format_RGB32)
        return false;
    auto *target = dynamic_cast<QImage *>(engine->paintDevice());
    if (!target || !target->isDetached() ||
        (target->format() != QImage::Format_RGB32 && target->format() != QImage::Format_ARGB32 &&
         target->format() != QImage::Format_ARGB32_Premultiplied))
        return false;
    const QTransform transform = painter->deviceTransform();
    const int n = Canvas::wholeScale(transform);
    if (n < 2)
        return false;

    const QPoint origin(int(transform.dx()), int(transform.dy()));
    const QRect area = QRect(origin + exposed.topLeft() * n, exposed.size() * n) & target->rect();
    QRegion region(area);
    const QRegion clip = engine->systemClip();
    if (!clip.isEmpty())
        region &= clip;
    for (const QRect &part : region)
        magnify(source, n, origin + sourceAt * n, part, *target);
    return true;
}

bool CanvasView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Leave)
        clearPointer();
    if (event->type() == QEvent::ToolTip && m_canvas) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (CanvasItem *item = itemAt(toCanvas(help->pos()))) {
            QToolTip::showText(help->globalPos(), item->toolTipText());
            // The scene's own tooltip handling would hide it again: none of its items has one.
            return true;
        }
    }
    return QGraphicsView::viewportEvent(event);
}

bool CanvasView::hasSelection() const
{
    return m_canvas && m_canvas->hasSelection();
}

QList<Placement *> CanvasView::selectedPlacements() const
{
    QList<Placement *> placements;
    if (!m_canvas)
        return placements;
    for (CanvasItem *item : m_canvas->selectedItems()) {
        if (item != m_incomingItem)
            placements.append(const_cast<Placement *>(item->placement()));
    }
    return placements;
}

void CanvasView::mousePressEvent(QMouseEvent *event)
{
    m_keyRun = false;
    if (!m_canvas)
        return;
    const QPoint pos = toCanvas(event->position().toPoint());
    const bool pan =
        event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && m_spaceHeld);
    if (pan && m_gesture == Gesture::None) {
        m_gesture = Gesture::Pan;
        m_pressViewport = event->position().toPoint();
        viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() == Qt::RightButton) {
        if (CanvasItem *item = itemAt(pos))
            showItemMenu(item, event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton || m_gesture != Gesture::None)
        return;
    CanvasItem *item = itemAt(pos);
    if (event->modifiers() & Qt::ControlModifier) {
        // Adds or takes out one structure; the press moves nothing.
        if (item)
            m_canvas->setSelected(item, !item->isSelectedOnCanvas());
        m_gesture = Gesture::Ignored;
        return;
    }
    m_pressPos = m_lastPos = pos;
    m_pressViewport = event->position().toPoint();
    if (item) {
        // A press on a selected structure grabs the whole selection.
        if (!item->isSelectedOnCanvas())
            m_canvas->setSelection({item});
        m_gesture = Gesture::Grab;
    } else {
        m_canvas->setSelection({});
        m_gesture = Gesture::RubberBand;
        if (!m_rubberBand)
            m_rubberBand = new QRubberBand(QRubberBand::Rectangle, viewport());
        m_rubberBand->setGeometry(QRect(m_pressViewport, QSize()));
        m_rubberBand->show();
    }
}

void CanvasView::mouseMoveEvent(QMouseEvent *event)
{
    setPointer(event->position().toPoint());
    if (!m_canvas)
        return;
    if (m_gesture == Gesture::Pan) {
        const QPoint delta = m_pointer - m_pressViewport;
        m_pressViewport = m_pointer;
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta.x());
        verticalScrollBar()->setValue(verticalScrollBar()->value() - delta.y());
        return;
    }
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if (m_gesture == Gesture::Grab) {
        followPointer();
        updateAutoScroll();
    } else if (m_gesture == Gesture::RubberBand) {
        const QRect band = QRect(m_pressViewport, event->position().toPoint()).normalized();
        m_rubberBand->setGeometry(band);
        const QRectF area = mapToScene(band).boundingRect();
        m_canvas->setSelection(m_canvas->itemsIn(area));
    }
}

void CanvasView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_gesture == Gesture::Pan) {
        if (!(event->buttons() & (Qt::LeftButton | Qt::MiddleButton))) {
            m_gesture = Gesture::None;
            if (m_spaceHeld)
                viewport()->setCursor(Qt::OpenHandCursor);
            else
                viewport()->unsetCursor();
        }
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (m_gesture == Gesture::Grab)
        endGrab(true);
    if (m_rubberBand)
        m_rubberBand->hide();
    m_gesture = Gesture::None;
}

void CanvasView::endGrab(bool commit)
{
    const QPoint delta = m_lastPos - m_pressPos;
    m_gesture = commit ? Gesture::None : Gesture::Ignored;
    m_autoScroll.stop();
    if (delta.isNull() || !m_canvas)
        return;
    if (commit) {
        // The items are where the document is about to put them.
        m_document->move(selectedPlacements(), delta);
    } else {
        for (CanvasItem *item : m_canvas->selectedItems())
            item->setPos(item->placement()->position);
    }
    m_lastPos = m_pressPos;
}

void CanvasView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_gesture == Gesture::Grab) {
        endGrab(false);
        return;
    }
    if (event->key() == Qt::Key_Space) {
        // Held, it turns the left button into a hand that pans the map.
        if (!event->isAutoRepeat()) {
            m_spaceHeld = true;
            if (m_gesture == Gesture::None)
                viewport()->setCursor(Qt::OpenHandCursor);
        }
        return;
    }
    QPoint step;
    switch (event->key()) {
    case Qt::Key_Left:
        step = QPoint(-1, 0);
        break;
    case Qt::Key_Right:
        step = QPoint(1, 0);
        break;
    case Qt::Key_Up:
        step = QPoint(0, -1);
        break;
    case Qt::Key_Down:
        step = QPoint(0, 1);
        break;
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        QGraphicsView::keyPressEvent(event);
        return;
    default:
        m_keyRun = false;
        QGraphicsView::keyPressEvent(event);
        return;
    }
    if (!hasSelection() || m_gesture != Gesture::None) {
        QGraphicsView::keyPressEvent(event); // scrolls
        return;
    }
    const int cells = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
    moveSelectionBy(step * cells);
}

void CanvasView::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Space || event->isAutoRepeat()) {
        QGraphicsView::keyReleaseEvent(event);
        return;
    }
    m_spaceHeld = false;
    if (m_gesture != Gesture::Pan)
        viewport()->unsetCursor();
}

void CanvasView::moveSelectionBy(QPoint step)
{
    if (!m_keyRun) {
        ++m_keyGesture;
        m_keyRun = true;
    }
    m_document->move(selectedPlacements(), step, m_keyGesture);
}

void CanvasView::focusOutEvent(QFocusEvent *event)
{
    m_keyRun = false;
    if (m_spaceHeld && m_gesture != Gesture::Pan)
        viewport()->unsetCursor();
    m_spaceHeld = false;
    QGraphicsView::focusOutEvent(event);
}

void CanvasView::deleteSelection()
{
    if (m_gesture == Gesture::Grab)
        endGrab(false);
    m_document->remove(selectedPlacements());
}

void CanvasView::showItemMenu(CanvasItem *item, const QPoint &globalPos)
{
    auto *placement = const_cast<Placement *>(item->placement());
    QMenu menu;
    QAction *deleteAction = menu.addAction(QStringLiteral("Delete"));
    QAction *invisibleAction = menu.addAction(QStringLiteral("Invisible"));
    invisibleAction->setCheckable(true);
    invisibleAction->setChecked(placement->invisible);

    // An entry activated through its action (keyboard, accessibility tools) counts like a
    // click: exec() only reports the entries chosen with the pointer or Return.
    QAction *chosen = nullptr;
    connect(&menu, &QMenu::triggered, &menu, [&chosen](QAction *action) { chosen = action; });
    // The placement may leave the map while the menu is open (an undo by its shortcut).
    bool gone = false;
    const auto watch = connect(
        m_document, &MapDocument::placementsRemoved, &menu,
        [&](const QList<Placement *> &removed) { gone = gone || removed.contains(placement); });
    if (QAction *clicked = menu.exec(globalPos))
        chosen = clicked;
    disconnect(watch);
    if (gone || !m_document->placements().contains(placement))
        return;
    if (chosen == deleteAction)
        m_document->remove({placement});
    else if (chosen == invisibleAction)
        m_document->setInvisible(placement, invisibleAction->isChecked());
}

void CanvasView::setStructureImages(const StructureImages::Map &images)
{
    m_structurePixmaps.clear();
    for (auto it = images.cbegin(); it != images.cend(); ++it)
        m_structurePixmaps.insert(it.key(), QPixmap::fromImage(it.value()));
}

StructureImages::Map CanvasView::structureImages() const
{
    StructureImages::Map images;
    images.reserve(m_structurePixmaps.size());
    for (auto it = m_structurePixmaps.cbegin(); it != m_structurePixmaps.cend(); ++it)
        images.insert(it.key(), it.value().toImage());
    return images;
}

CanvasItem *CanvasView::makeItem(Placement *placement)
{
    const QPixmap pixmap = m_structurePixmaps.value(StructureImages::Key::of(*placement));
    auto *item = new CanvasItem(placement, pixmap, m_canvas, true);
    m_items.insert(placement, item);
    return item;
}

void CanvasView::rebuild()
{
    endIncoming();
    m_gesture = Gesture::None;
    m_autoScroll.stop();
    if (m_rubberBand)
        m_rubberBand->hide();
    closeCanvas();
    emit selectionChanged(false);
    if (!m_document->isOpen()) {
        m_structurePixmaps.clear();
        refreshPointer();
        return;
    }
    showTerrain(m_document->terrainPath());
    m_items.reserve(m_document->placements().size());
    for (Placement *placement : m_document->placements())
        makeItem(placement);
    connect(m_canvas, &Canvas::selectionChanged, this,
            [this] { emit selectionChanged(hasSelection()); });
    refreshPointer();
}

void CanvasView::addItems(const QList<Placement *> &placements)
{
    if (!m_canvas)
        return;
    for (Placement *placement : placements)
        makeItem(placement);
    refreshPointer();
    // Placements that come back (an undone delete) take their old places in the drawing
    // order; new ones go on top.
    const QList<Placement *> &all = m_document->placements();
    const qsizetype first = all.size() - placements.size();
    if (first >= 0 && all.mid(first) == placements)
        return;
    QList<CanvasItem *> order;
    order.reserve(all.size() + 1);
    for (const Placement *placement : all)
        order.append(m_items.value(placement));
    if (m_incomingItem)
        order.append(m_incomingItem);
    m_canvas->setOrder(order);
}

void CanvasView::removeItems(const QList<Placement *> &placements)
{
    if (!m_canvas)
        return;
    if (m_gesture == Gesture::Grab)
        endGrab(false);
    for (const Placement *placement : placements)
        delete m_items.take(placement);
    refreshPointer();
}

void CanvasView::moveItems(const QList<Placement *> &placements)
{
    if (!m_canvas)
        return;
    if (m_gesture == Gesture::Grab)
        endGrab(false);
    for (const Placement *placement : placements) {
        if (CanvasItem *item = m_items.value(placement))
            item->setPos(placement->position);
    }
    refreshPointer();
}

void CanvasView::dragEnterEvent(QDragEnterEvent *event)
{
    endIncoming();
    if (!m_canvas) {
        event->ignore();
        return;
    }
    const std::optional<StructurePayload> payload =
        StructurePayload::fromMimeData(event->mimeData());
    if (!payload) {
        event->ignore();
        return;
    }
    const QPoint pos = toCanvas(event->position().toPoint());
    m_incoming = std::make_unique<Placement>();
    m_incoming->position = pos;
    m_incoming->offset = payload->offset;
    m_incoming->structurePath = payload->path;
    m_incoming->region = payload->region;
    m_incomingItem =
        new CanvasItem(m_incoming.get(), QPixmap::fromImage(payload->image), m_canvas, true);
    m_lastPos = pos;
    event->acceptProposedAction();
}

void CanvasView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!m_canvas || !m_incomingItem) {
        event->ignore();
        return;
    }
    setPointer(event->position().toPoint());
    followPointer();
    updateAutoScroll();
    event->acceptProposedAction();
}

void CanvasView::dragLeaveEvent(QDragLeaveEvent *event)
{
    Q_UNUSED(event);
    endIncoming();
}

void CanvasView::endIncoming()
{
    m_autoScroll.stop();
    delete m_incomingItem;
    m_incomingItem = nullptr;
    m_incoming.reset();
}

void CanvasView::dropEvent(QDropEvent *event)
{
    if (!m_canvas || !m_incomingItem) {
        event->ignore();
        return;
    }
    const QPoint pos = toCanvas(event->position().toPoint());
    Placement placement = *m_incoming;
    placement.position = m_incomingItem->pos() + QPointF(pos - m_lastPos);
    m_structurePixmaps.insert(StructureImages::Key::of(placement), m_incomingItem->pixmap());
    endIncoming();
    m_document->place(placement);
    event->acceptProposedAction();
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

bool CanvasView::fileSaveAs()
{
    return m_fileCommands->saveAs();
}

void CanvasView::fileClose()
{
    m_fileCommands->close();
}

void CanvasView::fileExportImage()
{
    m_fileCommands->exportImage();
}
