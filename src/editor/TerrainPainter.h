#pragma once

#include "ReducedMapPainter.h"

#include <QImage>
#include <QPoint>
#include <QRect>

class Canvas;
class MapGrid;
class QBrush;
class QPainter;

// Paints the map view's background: the terrain, its grid, and what lies around the terrain or
// is not yet read. Magnified by the painter's whole-number scale, one map pixel becomes an n x n
// block: much cheaper than a scaled blit for every repaint. Written in place where the painter
// draws into an image in memory, otherwise into a buffer copied unscaled. The buffers are kept
// between repaints. Zoomed out below scale 1, the whole map is composed by a ReducedMapPainter.
class TerrainPainter
{
public:
    // Paints area (canvas pixels). True when the canvas's structures were laid on the terrain
    // with it, so that they need not be drawn again.
    bool paint(QPainter *painter, const QRect &area, const QImage &terrain,
               const QBrush &background, const Canvas *canvas, const MapGrid &grid);

    enum class Drawn { Nothing, Terrain, TerrainAndStructures };

    // Draws exposed (canvas pixels, within the terrain) at scales of 2 and more, with the
    // canvas's structures laid on the terrain first where they can all be drawn so; Nothing at
    // other scales, where the caller draws it.
    Drawn draw(QPainter *painter, const QRect &exposed, const QImage &terrain,
               const Canvas *canvas);
    // Lets the buffers go.
    void clear();

private:
    // Lays the structures over the exposed part of the terrain, unscaled, in m_composed; false
    // when they cannot all be drawn so.
    bool compose(const QImage &terrain, const Canvas *canvas, const QRect &exposed);
    // The source is the terrain, or the part of the map composed from it, its top-left corner
    // at canvas position sourceAt.
    bool drawScaled(QPainter *painter, const QRect &exposed, const QImage &source, QPoint sourceAt);
    bool drawDirect(QPainter *painter, const QRect &exposed, const QImage &source, QPoint sourceAt);

    QImage m_magnified;
    QImage m_composed;
    ReducedMapPainter m_reduced;
};
