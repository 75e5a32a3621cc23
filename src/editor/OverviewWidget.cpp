#include "OverviewWidget.h"

#include "CanvasView.h"
#include "core/MapRenderer.h"
#include "core/MapSession.h"

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

OverviewWidget::OverviewWidget(MapSession *session, CanvasView *view, QWidget *parent)
    : QWidget(parent), m_session(session), m_view(view), m_viewport(view->viewport())
{
    setMinimumSize(64, 64);
    setCursor(Qt::CrossCursor);
    MapDocument *document = session->document();
    connect(document, &MapDocument::reset, this, &OverviewWidget::invalidate);
    connect(document, &MapDocument::placementsInserted, this, &OverviewWidget::invalidate);
    connect(session, &MapSession::terrainReplaced, this, &OverviewWidget::invalidate);
    connect(session, &MapSession::structureImagesChanged, this, &OverviewWidget::invalidate);
    connect(document, &MapDocument::placementsRemoved, this, &OverviewWidget::invalidate);
    connect(document, &MapDocument::placementsMoved, this, &OverviewWidget::invalidate);
    connect(document, &MapDocument::placementsChanged, this, &OverviewWidget::invalidate);
    connect(document, &MapDocument::placementsReordered, this, &OverviewWidget::invalidate);

    // A large terrain arrives in many bands: a few drawings a second show it coming in.
    m_terrainTimer.setSingleShot(true);
    m_terrainTimer.setInterval(terrainInterval);
    connect(&m_terrainTimer, &QTimer::timeout, this, &OverviewWidget::invalidate);
    connect(session, &MapSession::terrainRowsRead, this, [this] {
        if (!isVisible())
            m_stale = true;
        else if (!m_terrainTimer.isActive())
            m_terrainTimer.start();
    });

    // The frame follows the view; the picture stays as it is.
    const auto moveFrame = [this] { update(); };
    connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this, moveFrame);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, moveFrame);
    connect(view, &CanvasView::zoomChanged, this, moveFrame);
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

void OverviewWidget::setDimInvisible(bool dim)
{
    m_dimInvisible = dim;
    invalidate();
}

QSize OverviewWidget::mapSize() const
{
    return m_session->document()->isOpen() ? m_session->terrainSize() : QSize();
}

void OverviewWidget::render()
{
    m_stale = false;
    if (!m_session->document()->isOpen())
        return;
    m_overview.begin(mapSize(), deviceSize(this), m_session->terrain(),
                     palette().color(QPalette::Dark).rgb());
    QHash<StructureImages::Key, OverviewImage::Sprite> sprites;
    for (const Placement *placement : m_session->document()->placements()) {
        const StructureImages::Key key = StructureImages::Key::of(*placement);
        auto sprite = sprites.find(key);
        if (sprite == sprites.end())
            sprite = sprites.insert(key, OverviewImage::Sprite(m_session->structureImage(key)));
        if (sprite->isNull()) {
            const QRect box = MapRenderer::placeholderRect(placement->region);
            m_overview.drawPlaceholder(box.translated(placement->position.toPoint()));
            continue;
        }
        m_overview.drawStructure(placement->position.toPoint(), *sprite,
                                 m_dimInvisible && placement->invisible);
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
    const QRectF map(QPointF(0, 0), mapSize());
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
    if (mapSize().isEmpty())
        return;
    if (m_stale ||
        m_overview.image().size() != OverviewImage::fittedSize(mapSize(), deviceSize(this)))
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
    const QRectF picture = pictureRect();
    if (mapSize().isEmpty() || picture.isEmpty())
        return;
    const QRectF map(QPointF(0, 0), mapSize());
    const QPointF at((pos.x() - picture.left()) * map.width() / picture.width(),
                     (pos.y() - picture.top()) * map.height() / picture.height());
    m_view->centerOn(
        QPointF(std::clamp(at.x(), 0.0, map.width()), std::clamp(at.y(), 0.0, map.height())));
}
