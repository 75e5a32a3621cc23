#pragma once

#include <QGraphicsView>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QTimer>

#include "TerrainLoader.h"
#include "library/StructureImages.h"

#include <memory>

class Canvas;
class CanvasItem;
class FileCommands;
class MapDocument;
class QRubberBand;
class RadarColours;
struct Placement;

// The map view: the terrain image as background, the placed structures on it, magnified by a
// whole-number scale. It shows the open document and turns what the user does with the
// pointer and the keys into the document's commands: structures dragged in from the library,
// moved, selected, deleted and flagged.
class CanvasView : public QGraphicsView
{
    Q_OBJECT

public:
    explicit CanvasView(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~CanvasView() override;

    MapDocument *document() const { return m_document; }
    FileCommands *fileCommands() const { return m_fileCommands; }
    // The map shown; null while no map is open.
    Canvas *canvas() const { return m_canvas; }
    // What structures are rendered with; null renders every tile black.
    const RadarColours *radarColours() const { return m_radarColours; }
    void setRadarColours(const RadarColours *colours) { m_radarColours = colours; }

    // The preview images the map's structures are drawn with: a placement without one is
    // drawn as a placeholder box.
    void setStructureImages(const StructureImages::Map &images);
    // The same, as the map shows them now: structures dropped since included.
    StructureImages::Map structureImages() const;

    // Replaces the map by a new, empty one made from the terrain image at path.
    void newCanvas(const QString &terrainFile);

    // The magnifications the Scale menu offers and zooming steps through.
    static constexpr int minimumScale = 1;
    static constexpr int maximumScale = 6;
    // How near the viewport's edge (in pixels) a drag or a move starts scrolling the map.
    static constexpr int autoScrollMargin = 24;

    int scale() const { return m_scale; }
    // Sets the scale, keeping the map cell under the viewport position anchor where it is (as
    // far as the map's edges allow).
    void zoomTo(int factor, const QPoint &anchor);
    // The map cell drawn at a viewport position; false off the map.
    bool cellAt(const QPoint &viewportPos, QPoint *cell) const;
    // What the status bar tells about the pointer: its map cell, and the file of the structure
    // under it; empty off the map.
    QString pointerText() const { return m_pointerText; }
    // Whether rows of the map's terrain image are still being read; those read are drawn.
    bool isTerrainLoading() const { return m_terrainLoader.isLoading(); }
    // The rows of the map's terrain read so far, from the top, at full width; null while none.
    const QImage &terrain() const { return m_terrain; }
    // Viewport position to canvas position, rounding halves upwards.
    QPoint toCanvas(const QPoint &viewportPos) const;
    // Front-most item at a canvas position, or null.
    CanvasItem *itemAt(const QPoint &canvasPos) const;
    bool hasSelection() const;
    // The selected placements, in drawing order.
    QList<Placement *> selectedPlacements() const;

public slots:
    void setScale(int factor);
    // One scale up or down, around the viewport's centre.
    void zoomIn();
    void zoomOut();
    void fileNew();
    void fileOpen();
    bool fileSave();
    bool fileSaveAs();
    void fileClose();
    void fileExportImage();
    void deleteSelection();

signals:
    void selectionChanged(bool hasSelection);
    void scaleChanged(int factor);
    void pointerTextChanged(const QString &text);
    // More rows of the terrain have been read (terrain()).
    void terrainRowsRead();

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

private:
    // Makes the map for the terrain image at path: its size at once, its pixels as they are
    // read.
    void showTerrain(const QString &terrainPath);
    void closeCanvas();
    void showItemMenu(CanvasItem *item, const QPoint &globalPos);
    // Keeping the map in step with the document.
    void rebuild();
    void addItems(const QList<Placement *> &placements);
    void removeItems(const QList<Placement *> &placements);
    void moveItems(const QList<Placement *> &placements);
    CanvasItem *makeItem(Placement *placement);
    // Ends a drag of the selection: commits the move, or puts the items back.
    void endGrab(bool commit);
    void endIncoming();
    void moveSelectionBy(QPoint step);

    MapDocument *m_document;
    FileCommands *m_fileCommands;
    const RadarColours *m_radarColours = nullptr;
    Canvas *m_canvas = nullptr;
    QHash<const Placement *, CanvasItem *> m_items;
    QHash<StructureImages::Key, QPixmap> m_structurePixmaps;

    // Pointer work under way.
    enum class Gesture { None, Grab, RubberBand, Pan, Ignored };
    Gesture m_gesture = Gesture::None;
    QPoint m_pressPos;      // canvas position of the press
    QPoint m_lastPos;       // last pointer position in canvas coordinates
    QPoint m_pressViewport; // viewport position of the press
    QRubberBand *m_rubberBand = nullptr;
    // A structure being dragged in from the library: not on the map until it is dropped.
    std::unique_ptr<Placement> m_incoming;
    CanvasItem *m_incomingItem = nullptr;
    int m_keyGesture = 0; // arrow presses in a row merge into one move
    bool m_keyRun = false;
    bool m_spaceHeld = false; // the left button pans while Space is held
    int m_wheelZoom = 0;      // Ctrl+wheel turns not yet making a whole step

    // The pointer: where it is over the viewport, and what the status bar says about it.
    void setPointer(const QPoint &viewportPos);
    void refreshPointer(); // the map changed under it
    void clearPointer();
    QPoint m_pointer;
    bool m_pointerInside = false;
    QString m_pointerText;

    // Scrolls the map while a drag or a move holds the pointer near the viewport's edge,
    // faster nearer it; what is dragged follows the pointer.
    void updateAutoScroll();
    void autoScrollStep();
    void followPointer();
    QTimer m_autoScroll;
    QPoint m_autoScrollSpeed; // pixels a step

    // Paints the exposed terrain magnified by the whole-number scale, one map pixel to an n x n
    // block: much cheaper than a scaled blit for every repaint. Written in place where the
    // painter draws into an image in memory, otherwise into a buffer copied unscaled.
    // The source is the terrain, or the part of the map composed from it, its top-left corner
    // at canvas position sourceAt.
    bool drawMagnifiedTerrain(QPainter *painter, const QRect &exposed, const QImage &source,
                              QPoint sourceAt);
    bool drawMagnifiedTerrainDirect(QPainter *painter, const QRect &exposed, const QImage &source,
                                    QPoint sourceAt);
    // Lays the structures over the exposed part of the terrain, unscaled, in m_composed; false
    // when they cannot all be drawn so.
    bool composeStructures(const QRect &exposed);

    // Draws the terrain's rows from to to - 1, just read.
    void showTerrainRows(int from, int to);

    QImage m_terrain; // the rows of the terrain read so far
    TerrainLoader m_terrainLoader;
    QImage m_magnified; // reused between repaints
    QImage m_composed;  // likewise
    int m_scale = 1;
};
