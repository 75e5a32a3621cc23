#pragma once

#include "core/OverviewImage.h"

#include <QRect>
#include <QRectF>
#include <QTimer>
#include <QWidget>

class CanvasView;
class MapSession;

// The whole map at a glance: terrain and structures scaled to fit, with a frame around the part
// the map view shows. A click or a drag moves the view's centre there.
//
// The picture is drawn anew only when the overview is painted after the map changed: changes
// while it is hidden cost nothing, and a burst of them makes one drawing. The frame is painted
// over the picture and follows the view's scrolling, scale and size without redrawing it.
class OverviewWidget : public QWidget
{
    Q_OBJECT

public:
    OverviewWidget(MapSession *session, CanvasView *view, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    // Draws the placements flagged invisible at half opacity.
    void setDimInvisible(bool dim);
    // How many times the picture of the map has been drawn anew.
    int renderCount() const { return m_renders; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    // The map changed: the picture is drawn anew when it is painted next.
    void invalidate();
    void render();
    // The map's size in cells; empty while no map is open.
    QSize mapSize() const;
    // Where the picture lies in the widget, centred.
    QRectF pictureRect() const;
    // Where the part of the map in view lies in the widget.
    QRect viewFrame(const QRectF &picture) const;
    void centreViewAt(const QPointF &pos);

    MapSession *m_session;
    CanvasView *m_view;  // shows the part of the map framed, and is moved by a click
    QObject *m_viewport; // compared with, never called: it may be going away
    OverviewImage m_overview;
    QTimer m_terrainTimer; // gathers the terrain's bands of rows into one drawing
    bool m_stale = true;
    bool m_dimInvisible = false;
    int m_renders = 0;
};
