#include "CanvasView.h"

#include "Canvas.h"
#include "CanvasItem.h"
#include "library/StructurePayload.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QImageReader>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int terrainAllocationLimitMiB = TerrainLoader::allocationLimitMiB;

// The whole-number scale n of a transform that only scales by n in both directions and moves
// by whole pixels; 0 for any other transform.
int wholeScale(const QTransform &transform)
{
    const qreal n = transform.m11();
    if (transform.type() > QTransform::TxScale || n != transform.m22() || n != std::floor(n) ||
        n < 1 || n > 64 || transform.dx() != std::floor(transform.dx()) ||
        transform.dy() != std::floor(transform.dy()))
        return 0;
    return int(n);
}

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
    imageCache.setMaxCost(100);
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
}

CanvasView::~CanvasView()
{
    currentItem = nullptr;
    delete canvas;
}

void CanvasView::newCanvas(const QString &terrainPath)
{
    terrainFile = terrainPath;
    closeCanvas();

    // The map takes the terrain's size from the image's header at once; decoding a large
    // image takes long, so it is read in the background, top to bottom, and its rows are drawn
    // as they arrive. The items of a map being opened are meanwhile placed and can be worked
    // on. An image whose header tells no size comes whole (an unreadable one gives an empty
    // map).
    const QSize size = m_terrainLoader.start(terrainPath);
    m_terrain = m_terrainLoader.readyImage();

    canvas = new Canvas(QRectF(0, 0, size.width(), size.height()), this);
    setScene(canvas);
    setSceneRect(canvas->sceneRect());
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, true);
    modified = false;
}

void CanvasView::closeCanvas()
{
    currentItem = nullptr;
    if (!canvas)
        return;
    setScene(nullptr);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, false);
    delete canvas;
    canvas = nullptr;
    m_terrainLoader.abandon();
    m_terrain = QImage();
    m_magnified = QImage();
    viewport()->update();
}

void CanvasView::showTerrainRows(int from, int to)
{
    m_terrain = m_terrainLoader.readyImage();
    // Only where the new rows show.
    const QRect band =
        viewportTransform().mapRect(QRectF(0, from, m_terrain.width(), to - from)).toAlignedRect();
    viewport()->update(band & viewport()->rect());
}

void CanvasView::setScale(int factor)
{
    if (factor == 0)
        return;
    m_scale = factor;
    setTransform(QTransform::fromScale(factor, factor));
}

QPoint CanvasView::toCanvas(const QPoint &viewportPos) const
{
    const QPointF scenePos = mapToScene(viewportPos);
    return QPoint(int(std::floor(scenePos.x() + 0.5)), int(std::floor(scenePos.y() + 0.5)));
}

CanvasItem *CanvasView::itemAt(const QPoint &canvasPos) const
{
    return canvas ? canvas->itemAt(QPointF(canvasPos)) : nullptr;
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
    // Only the exposed part of the terrain, one map pixel to an n x n block.
    if (drawMagnifiedTerrain(painter, exposed))
        return;
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->drawImage(exposed.topLeft(), m_terrain, exposed);
}

bool CanvasView::drawMagnifiedTerrain(QPainter *painter, const QRect &exposed)
{
    if (drawMagnifiedTerrainDirect(painter, exposed))
        return true;

    const QTransform transform = painter->worldTransform();
    const int n = wholeScale(transform);
    if (n < 2)
        return false;

    const QSize size(exposed.width() * n, exposed.height() * n);
    if (m_magnified.format() != m_terrain.format() || m_magnified.width() < size.width() ||
        m_magnified.height() < size.height())
        m_magnified = QImage(size.expandedTo(m_magnified.size()), m_terrain.format());
    if (m_magnified.isNull())
        return false;
    magnify(m_terrain, n, -exposed.topLeft() * n, QRect(QPoint(0, 0), size), m_magnified);

    const QPointF device = transform.map(QPointF(exposed.topLeft()));
    painter->save();
    painter->resetTransform();
    painter->drawImage(QPoint(int(device.x()), int(device.y())), m_magnified,
                       QRect(QPoint(0, 0), size));
    painter->restore();
    return true;
}

bool CanvasView::drawMagnifiedTerrainDirect(QPainter *painter, const QRect &exposed)
{
    // Where the painter draws straight into an image in memory (the raster backing store of
    // the window, or an image being rendered to) and nothing would be blended, the magnified
    // terrain is written there in place: one pass over the pixels instead of two.
    QPaintEngine *engine = painter->paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || painter->hasClipping() ||
        painter->opacity() != 1.0 ||
        painter->compositionMode() != QPainter::CompositionMode_SourceOver ||
        m_terrain.format() != QImage::Format_RGB32)
        return false;
    auto *target = dynamic_cast<QImage *>(engine->paintDevice());
    if (!target || !target->isDetached() ||
        (target->format() != QImage::Format_RGB32 && target->format() != QImage::Format_ARGB32 &&
         target->format() != QImage::Format_ARGB32_Premultiplied))
        return false;
    const QTransform transform = painter->deviceTransform();
    const int n = wholeScale(transform);
    if (n < 2)
        return false;

    const QPoint origin(int(transform.dx()), int(transform.dy()));
    const QRect area = QRect(origin + exposed.topLeft() * n, exposed.size() * n) & target->rect();
    QRegion region(area);
    const QRegion clip = engine->systemClip();
    if (!clip.isEmpty())
        region &= clip;
    for (const QRect &part : region)
        magnify(m_terrain, n, origin, part, *target);
    return true;
}

bool CanvasView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && canvas) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (CanvasItem *item = itemAt(toCanvas(help->pos()))) {
            QToolTip::showText(help->globalPos(), item->toolTipText());
            // The scene's own tooltip handling would hide it again: none of its items has one.
            return true;
        }
    }
    return QGraphicsView::viewportEvent(event);
}

void CanvasView::mousePressEvent(QMouseEvent *event)
{
    if (!canvas)
        return;
    const QPoint pos = toCanvas(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        if (CanvasItem *item = itemAt(pos)) {
            currentItem = item;
            lastPos = pos;
        } else {
            currentItem = nullptr;
        }
    } else if (event->button() == Qt::RightButton) {
        if (CanvasItem *item = itemAt(pos))
            showItemMenu(item, event->globalPosition().toPoint());
    }
}

void CanvasView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !canvas || !currentItem)
        return;
    const QPoint pos = toCanvas(event->position().toPoint());
    modified = true;
    currentItem->moveBy(pos.x() - lastPos.x(), pos.y() - lastPos.y());
    lastPos = pos;
}

void CanvasView::showItemMenu(CanvasItem *item, const QPoint &globalPos)
{
    QMenu menu;
    QAction *deleteAction = menu.addAction(QStringLiteral("Delete"));
    QAction *invisibleAction = menu.addAction(QStringLiteral("Invisible"));
    invisibleAction->setCheckable(true);
    invisibleAction->setChecked(item->invisible);

    // An entry activated through its action (keyboard, accessibility tools) counts like a
    // click: exec() only reports the entries chosen with the pointer or Return.
    QAction *chosen = nullptr;
    connect(&menu, &QMenu::triggered, &menu, [&chosen](QAction *action) { chosen = action; });
    if (QAction *clicked = menu.exec(globalPos))
        chosen = clicked;
    if (chosen == deleteAction) {
        modified = true;
        deleteItem(item);
    } else if (chosen == invisibleAction) {
        item->invisible = invisibleAction->isChecked();
        modified = true;
    }
}

void CanvasView::deleteItem(CanvasItem *item)
{
    if (item == currentItem)
        currentItem = nullptr;
    delete item;
}

void CanvasView::dragEnterEvent(QDragEnterEvent *event)
{
    currentItem = nullptr;
    if (!canvas) {
        event->ignore();
        return;
    }
    const std::optional<StructurePayload> payload =
        StructurePayload::fromMimeData(event->mimeData());
    if (!payload) {
        event->ignore();
        return;
    }
    auto *item = new CanvasItem(QPixmap::fromImage(payload->image), canvas);
    item->offset = payload->offset;
    item->filePath = payload->path;
    item->region = payload->region;

    const QPoint pos = toCanvas(event->position().toPoint());
    lastPos = pos;
    item->setPos(pos);
    item->show();
    currentItem = item;
    event->acceptProposedAction();
}

void CanvasView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!canvas || !currentItem) {
        event->ignore();
        return;
    }
    const QPoint pos = toCanvas(event->position().toPoint());
    currentItem->moveBy(pos.x() - lastPos.x(), pos.y() - lastPos.y());
    lastPos = pos;
    modified = true;
    event->acceptProposedAction();
}

void CanvasView::dragLeaveEvent(QDragLeaveEvent *event)
{
    Q_UNUSED(event);
    if (canvas && currentItem)
        deleteItem(currentItem);
}

void CanvasView::dropEvent(QDropEvent *event)
{
    if (!canvas || !currentItem) {
        event->ignore();
        return;
    }
    const QPoint pos = toCanvas(event->position().toPoint());
    currentItem->moveBy(pos.x() - lastPos.x(), pos.y() - lastPos.y());
    modified = true;
    currentItem = nullptr;
    event->acceptProposedAction();
}
