#pragma once

#include "Placement.h"

#include <QList>
#include <QString>

// A map: the terrain image it was made from and the structures placed on it.
struct PlacementDocument
{
    QString terrainPath;
    QList<Placement> placements;

    bool operator==(const PlacementDocument &other) const
    {
        return terrainPath == other.terrainPath && placements == other.placements;
    }
};
