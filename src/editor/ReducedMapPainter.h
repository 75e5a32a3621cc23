#pragma once

#include <QImage>
#include <QRect>
#include <QRgb>
#include <QSize>

#include <array>
#include <unordered_map>
#include <vector>

class Canvas;
class MapGrid;
class QBrush;
class QPainter;
class QPixmap;
class QTransform;

// Paints the map view zoomed out below scale 1, where one view pixel stands for k x k map cells.
//
// Drawn through the painter, each of the many thousands of structures such a view shows would
// cost a transformed blit, and a structure smaller than k cells could fall between the pixels
// sampled and vanish. Instead the exposed part is composed in a buffer of view pixels: each
// pixel shows the terrain cell under its centre, and each structure is laid on that from a copy
// reduced once per structure and reduction, where each pixel shows the opaque cell of its k x k
// block nearest the block's centre. A structure keeps its colours and never shrinks to nothing.
class ReducedMapPainter
{
public:
    // The reduction k of a transform that only scales by 1/k in both directions, k from 2 to
    // 64; 0 for any other transform.
    static int reductionOf(const QTransform &transform);

    // Paints area (canvas pixels): the terrain, background where it has no rows, the grid while
    // shown and the canvas's structures over them. False, having drawn nothing, where the
    // painter does not reduce.
    bool paint(QPainter *painter, const QRect &area, const QImage &terrain,
               const QBrush &background, const Canvas *canvas, const MapGrid &grid);
    // Lets the buffer and the reduced structures go.
    void clear();

private:
    // A structure's pixmap reduced k times: opaque pixels where it shows, clear elsewhere.
    struct Reduced
    {
        QImage image;
        const QRgb *bits = nullptr;
        qsizetype stride = 0; // in pixels
        QSize size;
    };
    const Reduced &reduced(const QPixmap &pixmap, int k);
    void drawStructures(const Canvas *canvas, const QRect &area, const QTransform &world,
                        const QRect &pixels, int k);

    QImage m_buffer;
    // By pixmap and reduction; entries stay where they are while others are added.
    std::unordered_map<qint64, Reduced> m_reduced;
    // The last found for each of a few hundred hashes of the pixmap: a look-up for each of the
    // structures in view costs more than drawing most of them.
    struct Recent
    {
        qint64 key = -1;
        const Reduced *reduced = nullptr;
    };
    std::array<Recent, 1024> m_recent;
    // A structure to be laid on the buffer: its box there, and what it is drawn from (a
    // placeholder box where nothing).
    struct Stamp
    {
        QRect box;
        const Reduced *sprite;
        bool dimmed;
    };
    static constexpr int bandRows = 32;
    std::vector<std::vector<Stamp>> m_bands;
    int m_recentReduction = 0;
};
