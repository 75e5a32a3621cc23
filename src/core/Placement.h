#pragma once

#include <QPointF>
#include <QRect>
#include <QString>

// One structure placed on a map, as a placement file records it.
struct Placement
{
    QPointF position; // canvas pixel of the preview's top-left corner
    QPoint offset;    // smallest x and y of the structure's tiles
    QRect region;     // left and top 0; only width and height are stored
    QString structurePath;
    bool invisible = false;

    bool operator==(const Placement &other) const
    {
        return position == other.position && offset == other.offset && region == other.region &&
               structurePath == other.structurePath && invisible == other.invisible;
    }
};
