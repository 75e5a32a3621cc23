#pragma once

#include <QPointF>
#include <QRect>
#include <QString>

#include <cmath>

// One structure placed on a map, as a placement file records it.
struct Placement
{
    QPointF position; // canvas pixel of the preview's top-left corner
    QPoint offset;    // smallest x and y of the structure's tiles
    QRect region;     // left and top 0; only width and height are stored
    QString structurePath;
    bool invisible = false;

    // The position as the placement file records it: each coordinate truncated toward zero
    // (one far beyond any map read as 0, as the file would write it).
    QPoint recordedPosition() const
    {
        const auto recorded = [](double value) {
            const double truncated = std::trunc(value);
            return truncated > -2147483648.0 && truncated < 2147483648.0 ? int(truncated) : 0;
        };
        return QPoint(recorded(position.x()), recorded(position.y()));
    }

    bool operator==(const Placement &other) const
    {
        return position == other.position && offset == other.offset && region == other.region &&
               structurePath == other.structurePath && invisible == other.invisible;
    }
};
