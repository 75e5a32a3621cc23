#pragma once

#include "core/Placement.h"

#include <QObject>
#include <QPoint>
#include <QTimer>

#include <memory>

class CanvasItem;
class CanvasView;
class MapSession;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMouseEvent;
class QRubberBand;

// What the pointer and the keys do on the map, turned into the document's commands: a click
// selects (Ctrl adds or takes out), a drag moves the selection or draws a rubber band, the
// middle button or Space with the left button pans, the arrows move the selection, Escape puts a
// drag back, the right button opens a structure's menu, and structures dragged in from the
// library are placed where they are let go. While something is dragged near the view's edge the
// map scrolls under it.
//
// A gesture belongs to the button that started it and ends when that button is no longer held,
// whether or not its release reached the view (a menu or another window may take it): a gesture
// whose end was not seen puts back what it moved.
class PlacementTool : public QObject
{
    Q_OBJECT

public:
    // How near the viewport's edge (in pixels) a drag or a move starts scrolling the map.
    static constexpr int autoScrollMargin = 24;

    PlacementTool(CanvasView *view, MapSession *session);
    ~PlacementTool() override;

    // Whether a drag of the selection is under way.
    bool isMoving() const { return m_gesture == Gesture::Grab; }
    // The structure being dragged in from the library, not yet on the map; null when none.
    CanvasItem *incomingItem() const { return m_incomingItem; }

    void mousePressEvent(QMouseEvent *event);
    void mouseMoveEvent(QMouseEvent *event);
    void mouseReleaseEvent(QMouseEvent *event);
    // False when the key is not the tool's: the view handles it (scrolling with the arrows).
    bool keyPressEvent(QKeyEvent *event);
    bool keyReleaseEvent(QKeyEvent *event);
    void focusOut();
    void dragEnterEvent(QDragEnterEvent *event);
    void dragMoveEvent(QDragMoveEvent *event);
    void dragLeave();
    void dropEvent(QDropEvent *event);

    // Ends whatever is under way, putting back what was dragged: the map is about to change
    // under the tool (rebuilt, or the placements being dragged moved or removed by a command).
    void cancel();

private:
    enum class Gesture { None, Grab, RubberBand, Pan, Ignored };
    // The button a gesture under way belongs to.
    Qt::MouseButton gestureButton() const;
    void endGesture(bool commit);
    void endIncoming();
    void showItemMenu(CanvasItem *item, const QPoint &globalPos);
    void moveSelectionBy(QPoint step);
    void setIdleCursor();

    // Scrolls the map while a drag or a move holds the pointer near the viewport's edge,
    // faster nearer it; what is dragged follows the pointer.
    void updateAutoScroll();
    void autoScrollStep();
    void followPointer();
    // The placements of the map's items (a structure being dragged in has none).
    QList<Placement *> placementsOf(const QList<CanvasItem *> &items) const;
    // How far what is dragged moves for the pointer's delta: as far, or so that the anchor's
    // origin cell lands on the grid while the view snaps to it.
    QPointF snapped(const Placement &anchor, QPoint delta) const;

    CanvasView *m_view;
    MapSession *m_session;
    Gesture m_gesture = Gesture::None;
    Qt::MouseButton m_panButton = Qt::NoButton;
    QPoint m_pressPos;      // canvas position of the press
    QPoint m_lastPos;       // last pointer position in canvas coordinates
    QPoint m_pressViewport; // viewport position of the press, or of the pan's last step
    QRubberBand *m_rubberBand = nullptr;
    CanvasItem *m_grabbed = nullptr; // the structure a drag of the selection took hold of
    bool m_snapHeldOff = false;      // Ctrl held during the move
    // A structure being dragged in from the library: not on the map until it is dropped.
    std::unique_ptr<Placement> m_incoming;
    CanvasItem *m_incomingItem = nullptr;
    int m_keyGesture = 0; // arrow presses in a row merge into one move
    bool m_keyRun = false;
    bool m_spaceHeld = false; // the left button pans while Space is held
    QTimer m_autoScroll;
    QPoint m_autoScrollSpeed; // pixels a step
};
