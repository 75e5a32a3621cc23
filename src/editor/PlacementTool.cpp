#include "PlacementTool.h"

#include "Canvas.h"
#include "CanvasItem.h"
#include "CanvasView.h"
#include "core/MapSession.h"
#include "core/StructurePayload.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

PlacementTool::PlacementTool(CanvasView *view, MapSession *session)
    : QObject(view), m_view(view), m_session(session)
{
    m_autoScroll.setInterval(16);
    connect(&m_autoScroll, &QTimer::timeout, this, &PlacementTool::autoScrollStep);
}

PlacementTool::~PlacementTool()
{
    endIncoming();
}

Qt::MouseButton PlacementTool::gestureButton() const
{
    switch (m_gesture) {
    case Gesture::None:
        return Qt::NoButton;
    case Gesture::Pan:
        return m_panButton;
    default:
        return Qt::LeftButton;
    }
}

void PlacementTool::mousePressEvent(QMouseEvent *event)
{
    m_keyRun = false;
    Canvas *canvas = m_view->canvas();
    if (!canvas)
        return;
    // One gesture at a time: a press while one is under way ends it. Either another button
    // joined in (a right click during a drag) or the gesture's own release never arrived.
    if (m_gesture != Gesture::None)
        endGesture(false);
    const QPoint viewportPos = event->position().toPoint();
    const QPoint pos = m_view->toCanvas(viewportPos);
    const bool pan =
        event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && m_spaceHeld);
    if (pan) {
        m_gesture = Gesture::Pan;
        m_panButton = event->button();
        m_pressViewport = viewportPos;
        m_view->viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() == Qt::RightButton) {
        if (CanvasItem *item = m_view->structureAt(pos))
            showItemMenu(item, event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    CanvasItem *item = m_view->structureAt(pos);
    PlacementSelection *selection = m_session->selection();
    if (event->modifiers() & Qt::ControlModifier) {
        // Adds or takes out one structure; the press moves nothing.
        if (item) {
            auto *placement = const_cast<Placement *>(item->placement());
            selection->setSelected(placement, !selection->contains(placement));
        }
        m_gesture = Gesture::Ignored;
        return;
    }
    m_pressPos = m_lastPos = pos;
    m_pressViewport = viewportPos;
    if (item) {
        // A press on a selected structure grabs the whole selection.
        if (!selection->contains(item->placement()))
            selection->set(placementsOf({item}));
        m_gesture = Gesture::Grab;
        m_grabbed = item;
    } else {
        selection->clear();
        m_gesture = Gesture::RubberBand;
        if (!m_rubberBand)
            m_rubberBand = new QRubberBand(QRubberBand::Rectangle, m_view->viewport());
        m_rubberBand->setGeometry(QRect(m_pressViewport, QSize()));
        m_rubberBand->show();
    }
}

void PlacementTool::mouseMoveEvent(QMouseEvent *event)
{
    Canvas *canvas = m_view->canvas();
    if (!canvas || m_gesture == Gesture::None)
        return;
    if (!(event->buttons() & gestureButton())) {
        // Released where the view did not see it.
        endGesture(false);
        return;
    }
    const QPoint pointer = event->position().toPoint();
    // Ctrl held lets what is moved off the grid.
    m_snapHeldOff = event->modifiers() & Qt::ControlModifier;
    switch (m_gesture) {
    case Gesture::Pan: {
        const QPoint delta = pointer - m_pressViewport;
        m_pressViewport = pointer;
        m_view->scrollBy(-delta);
        break;
    }
    case Gesture::Grab:
        followPointer();
        updateAutoScroll();
        break;
    case Gesture::RubberBand: {
        const QRect band = QRect(m_pressViewport, pointer).normalized();
        m_rubberBand->setGeometry(band);
        m_session->selection()->set(
            placementsOf(canvas->itemsIn(m_view->mapToScene(band).boundingRect())));
        break;
    }
    default:
        break;
    }
}

void PlacementTool::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_gesture != Gesture::None && event->button() == gestureButton())
        endGesture(true);
}

void PlacementTool::endGesture(bool commit)
{
    const Gesture gesture = std::exchange(m_gesture, Gesture::None);
    m_autoScroll.stop();
    if (m_rubberBand)
        m_rubberBand->hide();
    if (gesture == Gesture::Pan)
        setIdleCursor();
    Canvas *canvas = m_view->canvas();
    if (gesture != Gesture::Grab || !canvas)
        return;
    const QPointF delta =
        m_grabbed ? snapped(*m_grabbed->placement(), m_lastPos - m_pressPos) : QPointF();
    m_lastPos = m_pressPos;
    m_grabbed = nullptr;
    if (delta.isNull())
        return;
    if (commit) {
        // The items are where the document is about to put them.
        m_session->document()->move(m_view->selectedPlacements(), delta);
    } else {
        for (CanvasItem *item : canvas->selectedStructures())
            item->setPos(item->placement()->position);
    }
}

void PlacementTool::cancel()
{
    endIncoming();
    if (m_gesture == Gesture::Grab)
        endGesture(false);
}

void PlacementTool::setIdleCursor()
{
    if (m_spaceHeld)
        m_view->viewport()->setCursor(Qt::OpenHandCursor);
    else
        m_view->viewport()->unsetCursor();
}

bool PlacementTool::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_gesture == Gesture::Grab) {
        endGesture(false);
        m_gesture = Gesture::Ignored; // the rest of the drag moves nothing
        return true;
    }
    if (event->key() == Qt::Key_Space) {
        // Held, it turns the left button into a hand that pans the map.
        if (!event->isAutoRepeat()) {
            m_spaceHeld = true;
            if (m_gesture == Gesture::None)
                m_view->viewport()->setCursor(Qt::OpenHandCursor);
        }
        return true;
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
        return false;
    default:
        m_keyRun = false;
        return false;
    }
    if (!m_view->hasSelection() || m_gesture != Gesture::None)
        return false; // the view scrolls
    // Shift: a grid step while snapping, else ten cells.
    const int cells = !(event->modifiers() & Qt::ShiftModifier) ? 1
                      : m_view->grid().snaps()                  ? m_view->grid().size()
                                                                : 10;
    moveSelectionBy(step * cells);
    return true;
}

bool PlacementTool::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Space || event->isAutoRepeat())
        return false;
    m_spaceHeld = false;
    if (m_gesture != Gesture::Pan)
        m_view->viewport()->unsetCursor();
    return true;
}

void PlacementTool::moveSelectionBy(QPoint step)
{
    if (!m_keyRun) {
        ++m_keyGesture;
        m_keyRun = true;
    }
    m_session->document()->move(m_view->selectedPlacements(), step, m_keyGesture);
}

void PlacementTool::focusOut()
{
    m_keyRun = false;
    if (m_spaceHeld && m_gesture != Gesture::Pan)
        m_view->viewport()->unsetCursor();
    m_spaceHeld = false;
}

void PlacementTool::showItemMenu(CanvasItem *item, const QPoint &globalPos)
{
    auto *placement = const_cast<Placement *>(item->placement());
    MapDocument *document = m_session->document();
    QMenu menu;
    QAction *deleteAction = menu.addAction(tr("Delete"));
    QAction *invisibleAction = menu.addAction(tr("Invisible"));
    invisibleAction->setCheckable(true);
    invisibleAction->setChecked(placement->invisible);

    // An entry activated through its action (keyboard, accessibility tools) counts like a
    // click: exec() only reports the entries chosen with the pointer or Return.
    QAction *chosen = nullptr;
    connect(&menu, &QMenu::triggered, &menu, [&chosen](QAction *action) { chosen = action; });
    // The placement may leave the map while the menu is open (an undo by its shortcut).
    bool gone = false;
    const auto watch = connect(
        document, &MapDocument::placementsRemoved, &menu,
        [&](const QList<Placement *> &removed) { gone = gone || removed.contains(placement); });
    if (QAction *clicked = menu.exec(globalPos))
        chosen = clicked;
    disconnect(watch);
    if (gone || !document->placements().contains(placement))
        return;
    if (chosen == deleteAction)
        document->remove({placement});
    else if (chosen == invisibleAction)
        document->setInvisible(placement, invisibleAction->isChecked());
}

void PlacementTool::updateAutoScroll()
{
    QPoint speed;
    if (m_view->canvas() && (m_gesture == Gesture::Grab || m_incomingItem)) {
        // Within the margin the speed grows towards the edge; beyond it (a move can leave the
        // viewport) it is the fastest.
        const auto along = [](int pos, int low, int high) {
            if (pos < low + autoScrollMargin)
                return -(autoScrollMargin - std::max(pos - low, 0));
            if (pos > high - autoScrollMargin)
                return autoScrollMargin - std::max(high - pos, 0);
            return 0;
        };
        const QRect area = m_view->viewport()->rect();
        const QPoint pointer = m_view->pointerPos();
        speed = QPoint(along(pointer.x(), area.left(), area.right()),
                       along(pointer.y(), area.top(), area.bottom()));
    }
    m_autoScrollSpeed = speed;
    if (speed.isNull())
        m_autoScroll.stop();
    else if (!m_autoScroll.isActive())
        m_autoScroll.start();
}

void PlacementTool::autoScrollStep()
{
    if (!m_view->canvas() || (m_gesture != Gesture::Grab && !m_incomingItem)) {
        m_autoScroll.stop();
        return;
    }
    m_view->scrollBy(m_autoScrollSpeed);
    followPointer();
}

QList<Placement *> PlacementTool::placementsOf(const QList<CanvasItem *> &items) const
{
    QList<Placement *> placements;
    placements.reserve(items.size());
    for (const CanvasItem *item : items) {
        if (item != m_incomingItem)
            placements.append(const_cast<Placement *>(item->placement()));
    }
    return placements;
}

QPointF PlacementTool::snapped(const Placement &anchor, QPoint delta) const
{
    if (m_snapHeldOff)
        return delta;
    return QPointF(delta) + m_view->grid().snapCorrection(anchor, delta);
}

void PlacementTool::followPointer()
{
    const QPoint pos = m_view->toCanvas(m_view->pointerPos());
    m_lastPos = pos;
    if (m_gesture == Gesture::Grab && m_grabbed) {
        const QPointF moved = snapped(*m_grabbed->placement(), pos - m_pressPos);
        for (CanvasItem *item : m_view->canvas()->selectedStructures())
            item->setPos(item->placement()->position + moved);
    } else if (m_incomingItem) {
        m_incomingItem->setPos(m_incoming->position + snapped(*m_incoming, pos - m_pressPos));
    }
}

void PlacementTool::dragEnterEvent(QDragEnterEvent *event)
{
    endIncoming();
    Canvas *canvas = m_view->canvas();
    const std::optional<StructurePayload> payload =
        canvas ? StructurePayload::fromMimeData(event->mimeData()) : std::nullopt;
    if (!payload) {
        event->ignore();
        return;
    }
    const QPoint pos = m_view->toCanvas(event->position().toPoint());
    m_incoming = std::make_unique<Placement>();
    m_incoming->position = pos;
    m_incoming->offset = payload->offset;
    m_incoming->structurePath = payload->path;
    m_incoming->region = payload->region;
    m_incomingItem =
        new CanvasItem(m_incoming.get(), QPixmap::fromImage(payload->image), canvas, true);
    m_pressPos = m_lastPos = pos;
    m_incomingItem->setPos(m_incoming->position + snapped(*m_incoming, QPoint())); // on the grid
    event->acceptProposedAction();
}

void PlacementTool::dragMoveEvent(QDragMoveEvent *event)
{
    if (!m_view->canvas() || !m_incomingItem) {
        event->ignore();
        return;
    }
    m_view->setPointer(event->position().toPoint());
    followPointer();
    updateAutoScroll();
    event->acceptProposedAction();
}

void PlacementTool::dragLeave()
{
    endIncoming();
}

void PlacementTool::endIncoming()
{
    m_autoScroll.stop();
    delete m_incomingItem;
    m_incomingItem = nullptr;
    m_incoming.reset();
}

void PlacementTool::dropEvent(QDropEvent *event)
{
    if (!m_view->canvas() || !m_incomingItem) {
        event->ignore();
        return;
    }
    const QPoint pos = m_view->toCanvas(event->position().toPoint());
    Placement placement = *m_incoming;
    placement.position = m_incoming->position + snapped(*m_incoming, pos - m_pressPos);
    m_session->addStructureImage(StructureImages::Key::of(placement),
                                 m_incomingItem->pixmap().toImage());
    endIncoming();
    MapDocument *document = m_session->document();
    document->place(placement);
    // What was dropped is what the keys act on next.
    if (!document->placements().isEmpty())
        m_session->selection()->set({document->placements().constLast()});
    m_view->setFocus(Qt::MouseFocusReason);
    event->acceptProposedAction();
}
