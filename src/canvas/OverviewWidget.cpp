#include "OverviewWidget.h"

#include "Canvas.h"
#include "CanvasItem.h"
#include "CanvasView.h"
#include "document/MapDocument.h"

#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <cmath>

namespace {

// How long the terrain's bands of rows are gathered before the picture shows them.
constexpr int terrainInterval = 100;

// The widget's size in device pixels: what the picture is drawn at.
QSize deviceSize(const QWidget *widget)
{
    return (QSizeF(widget->size()) * widget->devicePixelRatioF()).toSize();
}

} // namespace

OverviewWidget::OverviewWidget(CanvasView *view, QWidget *parent)
    : QWidget(parent), m_view(view), m_viewport(view->viewport())
{
    setMinimumSize(64, 64);
    setCursor(Qt::CrossCursor);
    MapDocument *document = view->document();
    connect(document, &MapDocument::reset, this, &OverviewWidget::invalidate);
    connect(document, &MapDocument::placementsInserted, this, &OverviewWidget::invalidate);
    connect(document, &MapDocument::placementsRemoved, this, &OverviewWidget::invalidate);
    connect(document, &MapDocument::placementsMoved, this, &OverviewWidget::invalidate);

    // A large terrain arrives in many bands: a few drawings a second show it coming in.
    m_terrainTimer.setSingleShot(true);
    m_terrainTimer.setInterval(terrainInterval);
    connect(&m_terrainTimer, &QTimer::timeout, this, &OverviewWidget::invalidate);
    connect(view, &CanvasView::terrainRowsRead, this, [this] {
        if (!isVisible())
            m_stale = true;
        else if (!m_terrainTimer.isActive())
            m_terrainTimer.start();
    });

    // The frame follows the view; the picture stays as it is.
    const auto moveFrame = [this] { update(); };
    connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this, moveFrame);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, moveFrame);
    connect(view, &CanvasView::scaleChanged, this, moveFrame);
    view->viewport()->installEventFilter(this);
}

QSize OverviewWidget::sizeHint() const
{
    return QSize(256, 256);
}

bool OverviewWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport && event->type() == QEvent::Resize)
        update();
    return QWidget::eventFilter(watched, event);
}

void OverviewWidget::invalidate()
{
    m_stale = true;
    update(); // nothing while hidden: showing paints anyway
}

void OverviewWidget::render()
{
    m_stale = false;
    const Canvas *canvas = m_view->canvas();
    if (!canvas)
        return;
    m_overview.begin(canvas->sceneRect().size().toSize(), deviceSize(this), m_view->terrain(),
                     palette().color(QPalette::Dark).rgb());
    // The map's items rather than the document's placements: they hold the previews, in the
    // same drawing order.
    QHash<qint64, OverviewImage::Sprite> sprites; // by pixmap
    for (const CanvasItem *item : canvas->allItems()) {
        if (!item->isVisible())
            continue;
        const QPixmap &pixmap = item->pixmap();
        if (pixmap.isNull()) {
            m_overview.drawPlaceholder(item->canvasRect().toAlignedRect());
            continue;
        }
        const qint64 key = pixmap.cacheKey();
        auto sprite = sprites.find(key);
        if (sprite == sprites.end())
            sprite = sprites.insert(key, OverviewImage::Sprite(pixmap.toImage()));
        m_overview.drawStructure(item->pos().toPoint(), *sprite);
    }
    ++m_renders;
}

QRectF OverviewWidget::pictureRect() const
{
    const qreal ratio = devicePixelRatioF();
    const QSize box = deviceSize(this);
    const QSize picture = m_overview.image().size();
    const QPoint origin((box.width() - picture.width()) / 2, (box.height() - picture.height()) / 2);
    return QRectF(QPointF(origin) / ratio, QSizeF(picture) / ratio);
}

QRect OverviewWidget::viewFrame(const QRectF &picture) const
{
    const QRectF map = m_view->canvas()->sceneRect();
    const QRectF shown =
        m_view->mapToScene(m_view->viewport()->rect()).boundingRect().intersected(map);
    if (shown.isEmpty())
        return QRect();
    const qreal kx = picture.width() / map.width(), ky = picture.height() / map.height();
    const QPointF from = picture.topLeft() + QPointF(shown.left() * kx, shown.top() * ky);
    const QPointF to = picture.topLeft() + QPointF(shown.right() * kx, shown.bottom() * ky);
    const int left = int(std::floor(from.x())), top = int(std::floor(from.y()));
    return QRect(QPoint(left, top), QPoint(std::max(left, int(std::ceil(to.x())) - 1),
                                           std::max(top, int(std::ceil(to.y())) - 1)));
}

void OverviewWidget::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!m_view->canvas())
        return;
    if (m_stale || m_overview.image().size() !=
                       OverviewImage::fittedSize(m_view->canvas()->sceneRect().size().toSize(),
                                                 deviceSize(this)))
        render();
    if (m_overview.image().isNull())
        return;
    const QRectF picture = pictureRect();
    painter.drawImage(picture, m_overview.image());

    // One pixel of white with one of black around it, to show on any ground.
    const QRect frame = viewFrame(picture);
    if (frame.isNull())
        return;
    const auto ring = [&painter](const QRect &r, const QColor &colour) {
        painter.fillRect(QRect(r.topLeft(), QSize(r.width(), 1)), colour);
        painter.fillRect(QRect(r.bottomLeft(), QSize(r.width(), 1)), colour);
        painter.fillRect(QRect(r.topLeft(), QSize(1, r.height())), colour);
        painter.fillRect(QRect(r.topRight(), QSize(1, r.height())), colour);
    };
    ring(frame.adjusted(-1, -1, 1, 1), Qt::black);
    ring(frame, Qt::white);
}

void OverviewWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        centreViewAt(event->position());
}

void OverviewWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        centreViewAt(event->position());
}

void OverviewWidget::centreViewAt(const QPointF &pos)
{
    const Canvas *canvas = m_view->canvas();
    const QRectF picture = pictureRect();
    if (!canvas || picture.isEmpty())
        return;
    const QRectF map = canvas->sceneRect();
    const QPointF at((pos.x() - picture.left()) * map.width() / picture.width(),
                     (pos.y() - picture.top()) * map.height() / picture.height());
    m_view->centerOn(
        QPointF(std::clamp(at.x(), 0.0, map.width()), std::clamp(at.y(), 0.0, map.height())));
}
