#pragma once

#include "Placement.h"
#include "StructureImages.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>

#include <functional>
#include <vector>

class QPainter;

// Draws a map as the map view shows it at scale 1, one pixel a map cell: the terrain image,
// then each placement's structure image with its top-left corner at the placement's position,
// in drawing order, later ones in front. A placement whose structure has no image shows as a
// placeholder box of its region's size. The invisible flag is data only: it changes nothing
// drawn. The map view draws its placeholders with the same functions.
class MapRenderer
{
public:
    // Placeholders of absurd regions are drawn no larger than this many cells a side.
    static constexpr int placeholderLimit = 65536;
    // The box standing in for a structure of that region, its top-left corner at the origin.
    static QRect placeholderRect(const QRect &region);
    // The box's fill (a translucent pink) and outline.
    static constexpr QRgb placeholderFill = qRgba(255, 0, 160, 90);
    static constexpr QRgb placeholderOutline = qRgb(200, 0, 120);
    // Draws the box; its outline takes in the pixels just right of and below it.
    static void drawPlaceholder(QPainter *painter, const QRect &box);

    // Rows are drawn and written this many at a time.
    static constexpr int bandRows = 64;

    // The map of that terrain and those placements, drawn with those images. What is drawn is
    // taken at once: the placements may change or go afterwards.
    MapRenderer(const QImage &terrain, const QList<Placement *> &placements,
                const StructureImages::Map &images);
    MapRenderer(const QImage &terrain, const QList<Placement> &placements,
                const StructureImages::Map &images);

    QSize size() const { return m_terrain.size(); }
    // RGB32 for an opaque terrain, premultiplied ARGB32 for one with alpha.
    QImage::Format format() const { return m_terrain.format(); }
    // Draws the map's rows from top on into band, an image of the map's width and format.
    void render(QImage &band, int top) const;
    QImage render() const;

    // Writes the map to a PNG file through a QSaveFile, band by band: a failure leaves no file
    // behind and a file of that name as it was. progress, when set, is called with the rows
    // written after each band; when it returns false the write stops. False with *error saying
    // why for a person, or empty when stopped.
    bool writePng(const QString &path, QString *error = nullptr,
                  const std::function<bool(int)> &progress = {}) const;

private:
    // One placement as drawn: its image, or its placeholder box where it has none.
    struct Stamp
    {
        QPointF pos;
        QImage image;
        QRect box;
        QRectF bounds; // on the map, all pixels drawn included
    };

    explicit MapRenderer(const QImage &terrain);
    void add(const Placement &placement, const StructureImages::Map &images);

    QImage m_terrain;
    std::vector<Stamp> m_stamps; // in drawing order
};
