#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>

#include <vector>

// A whole map scaled to fit a box, keeping its aspect ratio: the terrain with the structures on
// it, later structures in front of earlier ones.
//
// Each pixel shows the map cell under its centre, so that the terrain and the structures keep
// their own colours at any scale. A structure smaller than a pixel would mostly be missed that
// way: where a structure lies on a pixel, the pixel shows the structure's cell nearest to the
// pixel's centre instead, so that nothing placed is lost from sight.
class OverviewImage
{
public:
    // The size of the overview of a map of mapSize cells within box: as large as fits, at least
    // one pixel a side; empty for an empty map or box.
    static QSize fittedSize(const QSize &mapSize, const QSize &box);

    // Starts anew on a map of mapSize cells, as large as fits within box: the terrain's rows
    // from the top (those it lacks in background), no structures yet.
    void begin(const QSize &mapSize, const QSize &box, const QImage &terrain, QRgb background);
    // A structure's preview ready to be drawn many times: its pixels, which the image it was
    // made from keeps.
    class Sprite
    {
    public:
        Sprite() = default;
        // The image is converted first where its pixels are not QRgb values.
        explicit Sprite(const QImage &preview);
        // Made from no image: the structure has no preview.
        bool isNull() const { return !m_bits; }

    private:
        friend class OverviewImage;
        QImage m_image;
        const uchar *m_bits = nullptr;
        qsizetype m_stride = 0;
        int m_width = 0;
        int m_height = 0;
    };

    // Draws a structure's preview with its top-left cell at position: its opaque pixels only.
    // Dimmed, it is laid at half opacity over what is there.
    void drawStructure(const QPoint &position, const Sprite &preview, bool dimmed = false);
    // Draws the box that stands in for a structure without a preview, as the map tints it.
    void drawPlaceholder(const QRect &box);

    // RGB32; null before begin() or for an empty map or box.
    const QImage &image() const { return m_image; }

private:
    // One direction of the overview: which map cell each pixel shows, and which pixels map
    // cells lie on.
    struct Axis
    {
        void make(int mapCells, int length);
        // The pixels the map cells from to to - 1 lie on; false when there are none.
        bool span(qint64 from, qint64 to, int *firstPixel, int *lastPixel) const;

        std::vector<int> sample; // by pixel
        qint64 mapLength = 0;
    };

    QImage m_image;
    uchar *m_bits = nullptr; // of m_image, detached
    qsizetype m_stride = 0;
    Axis m_x;
    Axis m_y;
};
