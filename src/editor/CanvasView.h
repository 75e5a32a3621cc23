#pragma once

#include "MapGrid.h"
#include "TerrainPainter.h"
#include "core/StructureImages.h"

#include <QGraphicsView>
#include <QHash>
#include <QPixmap>
#include <QPoint>
#include <QRectF>
#include <QString>

#include <functional>

class Canvas;
class CanvasItem;
class FileCommands;
class MapSession;
class PlacementTool;
struct Placement;

// The map view: the session's map, its terrain as background and the placed structures on it,
// magnified by a whole-number scale or, zoomed out, reduced to one view pixel for k x k cells. It
// keeps its canvas in step with the document and hands what the user does with the pointer and the
// keys to its tool.
//
// The area it scrolls over takes in the terrain and every placement, with a margin, so that a
// structure moved off the terrain can still be seen and brought back.
class CanvasView : public QGraphicsView
{
    Q_OBJECT

public:
    // The magnifications the Scale menu offers and zooming steps through.
    static constexpr int minimumScale = 1;
    static constexpr int maximumScale = 6;
    // Zooming out goes on below scale 1 to 1/2, 1/4 and 1/8; fitting a large map in a small
    // view may go further, down to 1/maximumReduction.
    static constexpr int steppedReduction = 8;
    static constexpr int maximumReduction = 64;
    // Cells beyond the outermost placements that the view still scrolls to.
    static constexpr int placementMargin = 32;

    explicit CanvasView(MapSession *session, QWidget *parent = nullptr);
    ~CanvasView() override;

    MapSession *session() const { return m_session; }
    // The File menu's slots go to these.
    void setFileCommands(FileCommands *commands) { m_fileCommands = commands; }
    // The map shown; null while no map is open.
    Canvas *canvas() const { return m_canvas; }

    // The grid: drawn in thin lines between the terrain and the structures while shown; while
    // snapping, what is dropped, moved, pasted or duplicated lands with its origin cell on it.
    const MapGrid &grid() const { return m_grid; }

    // The whole-number scale; 0 while zoomed out below 1.
    int scale() const { return m_reduction > 1 ? 0 : m_scale; }
    // View pixels per map cell: the scale, or 1/k zoomed out.
    qreal zoom() const { return m_reduction > 1 ? 1.0 / m_reduction : m_scale; }
    // Zooms to factor (a scale, or 1/k below 1: other factors are taken to the nearest such),
    // keeping the map cell under the viewport position anchor where it is (as far as the map's
    // edges allow).
    void zoomTo(qreal factor, const QPoint &anchor);
    // Scrolls the map by delta viewport pixels.
    void scrollBy(QPoint delta);

    // The map cell drawn at a viewport position; false off the terrain.
    bool cellAt(const QPoint &viewportPos, QPoint *cell) const;
    // Viewport position to canvas position, rounding halves upwards.
    QPoint toCanvas(const QPoint &viewportPos) const;
    // The front-most structure at a canvas position, or null.
    CanvasItem *structureAt(const QPoint &canvasPos) const;
    // The session's selection, which the map outlines.
    bool hasSelection() const;
    // The selected placements, in drawing order.
    QList<Placement *> selectedPlacements() const;

    // The pointer over the viewport, and what the status bar tells about it: its map cell, and
    // the file of the structure under it; empty off the map.
    QPoint pointerPos() const { return m_pointer; }
    bool isPointerOver() const { return m_pointerInside; }
    void setPointer(const QPoint &viewportPos);
    QString pointerText() const { return m_pointerText; }
    // What is drawn above the map, in canvas pixels, by whoever shows something on it (the
    // differences with another file); empty draws nothing.
    using Overlay = std::function<void(QPainter *painter, const QRectF &area)>;
    void setOverlay(const Overlay &overlay);

public slots:
    void setGridSize(int cells);
    void setGridShown(bool shown);
    void setSnapToGrid(bool snaps);
    // Draws the placements flagged invisible at half opacity.
    void setDimInvisible(bool dim);
    void setScale(int factor);
    // One scale up or down, around the viewport's centre.
    void zoomIn();
    void zoomOut();
    // The largest zoom that shows the whole map, centred.
    void zoomToFit();
    void fileNew();
    void fileOpen();
    bool fileSave();
    void fileClose();
    void deleteSelection();

signals:
    void placementSelectionChanged(bool hasSelection);
    // The whole-number scale changed; 0 once zoomed out below 1.
    void scaleChanged(int factor);
    // Any change of zoom().
    void zoomChanged(qreal factor);
    void pointerTextChanged(const QString &text);

protected:
    bool viewportEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusOutEvent(QFocusEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void drawBackground(QPainter *painter, const QRectF &rect) override;
    void drawForeground(QPainter *painter, const QRectF &rect) override;

private:
    // Keeping the canvas in step with the document.
    void rebuild();
    void closeCanvas();
    void addItems(const QList<Placement *> &placements);
    void removeItems(const QList<Placement *> &placements);
    void moveItems(const QList<Placement *> &placements);
    void changeItems(const QList<Placement *> &placements);
    void reorderItems();
    void showSelection();
    CanvasItem *makeItem(Placement *placement);
    QPixmap pixmapOf(const Placement &placement);
    // Draws the terrain's rows from to to - 1, just read.
    void showTerrainRows(int from, int to);
    // Takes the area of these items into the area scrolled over.
    void reachItems(const QList<CanvasItem *> &items);
    void refreshPointer(); // the map changed under the pointer
    void clearPointer();
    void applyZoom(int scale, int reduction);
    // The zoom of the given number of steps through the stepped levels from the present one.
    qreal steppedZoom(int steps) const;

    MapSession *m_session;
    FileCommands *m_fileCommands = nullptr;
    PlacementTool *m_tool;
    Canvas *m_canvas = nullptr;
    QHash<const Placement *, CanvasItem *> m_items;
    QHash<StructureImages::Key, QPixmap> m_pixmaps;
    QHash<qint64, QPixmap> m_pixmapsByImage; // by the image's cache key
    QRectF m_reach;                          // the area scrolled over, in canvas pixels
    TerrainPainter m_terrainPainter;
    int m_scale = 1;     // while m_reduction is 1
    int m_reduction = 1; // k, zoomed out to 1/k
    MapGrid m_grid;
    bool m_dimInvisible = false;
    int m_wheelZoom = 0; // Ctrl+wheel turns not yet making a whole step
    QPoint m_pointer;
    bool m_pointerInside = false;
    QString m_pointerText;
    Overlay m_overlay;
};
