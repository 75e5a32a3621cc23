#pragma once

#include "PlacementDocument.h"
#include "StructureImages.h"

#include <QString>

#include <functional>
#include <optional>

class RadarColours;

// A placement file read to be shown or drawn: the map it records, and the image of each
// distinct structure placed on it, rendered on all cores while the rest of the file is read.
struct LoadedMap
{
    PlacementDocument content;
    StructureImages::Map images;
    // The structures that could not be rendered from their recorded files.
    QList<StructureImages::Key> unrendered;

    // The steps progress counts to: reading takes the first part, rendering the rest.
    static constexpr int progressSteps = 1000;

    // Reads the placement file at path, rendering its structures in colours. progress, when
    // set, is called now and then with the steps done so far, also while they stand still;
    // when it returns false the read stops. Nullopt when the file cannot be opened, is not a
    // placement file, or the read was stopped: then *error says why for a person, naming the
    // file, and is empty when stopped.
    static std::optional<LoadedMap> read(const QString &path, const RadarColours &colours,
                                         QString *error = nullptr,
                                         const std::function<bool(int)> &progress = {});
};
