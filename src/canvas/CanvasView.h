#pragma once

#include <QCache>
#include <QGraphicsView>
#include <QImage>
#include <QPoint>
#include <QString>

#include "TerrainLoader.h"

class Canvas;
class CanvasItem;
struct PlacementDocument;

// The map view: the terrain image as background, the placed structures on it, magnified by a
// whole-number scale. It owns the open document: the map, its terrain image path, the
// placement file it belongs to and whether it has unsaved changes.
class CanvasView : public QGraphicsView
{
    Q_OBJECT

public:
    explicit CanvasView(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~CanvasView() override;

    Canvas *canvas = nullptr;          // the open map; null while none is open
    CanvasItem *currentItem = nullptr; // item being dragged in or grabbed; never dangling
    QString terrainFile;
    QPoint lastPos; // last pointer position in canvas coordinates
    bool modified = false;
    QString documentFile;
    QCache<QString, QImage> imageCache;

    // Replaces the map by a new one made from the terrain image at path.
    void newCanvas(const QString &terrainFile);
    // The structure file's image of region's size with the given offset, cached by path; null
    // when the file cannot be opened or the region is out of bounds. Owned by the cache.
    QImage *structureImage(const QString &path, QRect region, QPoint offset);

    int scale() const { return m_scale; }
    // Whether rows of the map's terrain image are still being read; those read are drawn.
    bool isTerrainLoading() const { return m_terrainLoader.isLoading(); }
    // Viewport position to canvas position, rounding halves upwards.
    QPoint toCanvas(const QPoint &viewportPos) const;
    // Front-most item at a canvas position, or null.
    CanvasItem *itemAt(const QPoint &canvasPos) const;
    // The map as a document (terrain path and placements in placement order).
    PlacementDocument document() const;
    // Writes the map to path; false with *error set when it could not be saved. The previous
    // file stays intact unless the new content was written completely. Leaves the modified
    // flag to the caller.
    bool writePlacementFile(const QString &path, QString *error = nullptr);
    // Replaces the map by the one in the file; false, with the map untouched, when the file
    // cannot be read, is not well-formed or names no terrain image.
    bool readPlacementFile(const QString &path, QString *error = nullptr);
    // Offers to save unsaved changes: false when the user cancelled, or chose to save and
    // the save did not happen, so the command asking should stop.
    bool maybeSave();

public slots:
    void setScale(int factor);
    void fileNew();
    void fileOpen();
    bool fileSave();
    void fileClose();

protected:
    bool viewportEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void drawBackground(QPainter *painter, const QRectF &rect) override;

private:
    void closeCanvas();
    void deleteItem(CanvasItem *item);
    void showItemMenu(CanvasItem *item, const QPoint &globalPos);

    // Paints the exposed terrain magnified by the whole-number scale, one map pixel to an n x n
    // block: much cheaper than a scaled blit for every repaint. Written in place where the
    // painter draws into an image in memory, otherwise into a buffer copied unscaled.
    bool drawMagnifiedTerrain(QPainter *painter, const QRect &exposed);
    bool drawMagnifiedTerrainDirect(QPainter *painter, const QRect &exposed);

    // Draws the terrain's rows from to to - 1, just read.
    void showTerrainRows(int from, int to);

    QImage m_terrain; // the rows of the terrain read so far
    TerrainLoader m_terrainLoader;
    QImage m_magnified; // reused between repaints
    int m_scale = 1;
};
