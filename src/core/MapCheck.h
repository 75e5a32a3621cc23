#pragma once

#include "Placement.h"
#include "StructureImages.h"

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

class MapSession;

// What a map should not hold when it goes to the game: structures whose opaque cells share map
// cells (the transparent parts of their boxes do not count), the same structure placed twice
// on the same cell (stacked copies, not also reported as overlapping), structures wholly or
// partly off the terrain, and structures whose file could not be loaded.
//
// A check works on a copy of the map taken where it is edited, so that it can run on any
// thread. Its findings come in a stable order: overlaps, stacked copies, structures off the
// terrain, missing ones, each kind in the drawing order of the placements involved.
class MapCheck
{
public:
    enum class Kind { Overlap, Stacked, OffTerrain, Missing };

    struct Finding
    {
        Kind kind = Kind::Overlap;
        // The cells shared (overlap) or off the terrain, and the structure's opaque cells (off
        // the terrain); 0 where they do not apply.
        int cells = 0;
        int ofCells = 0;
        // The map cells concerned: those shared by an overlap, the box of the structure else.
        QRect area;
        // The placements involved, in drawing order: see placementsOf().
        qsizetype first = 0;
        qsizetype count = 0;
    };

    // The map given: its placements in drawing order, the images they are drawn with (a
    // structure without one is missing) and the terrain's size (empty: nothing is off it).
    MapCheck(const QList<Placement> &placements, const StructureImages::Map &images,
             QSize terrainSize);
    // The session's map as it is now: what a structure is drawn with is what it is checked by.
    explicit MapCheck(const MapSession &session);

    // Finds what there is to find; the findings are empty before.
    void run();

    const QList<Placement> &placements() const { return m_placements; }
    const QList<Finding> &findings() const { return m_findings; }
    // The indices of the placements involved in a finding.
    QList<qsizetype> placementsOf(const Finding &finding) const;

    // "overlap", "stacked", "off-terrain" or "missing".
    static QString kindName(Kind kind);
    // "cottage.mlt at 120,45": the file's name and the position as the file records it.
    static QString describe(const Placement &placement);
    // The placements of a finding, "a and b" or "a, b and c".
    QString placementsText(const Finding &finding) const;
    // What the finding says of the cells ("share 12 cells"); empty for the kinds without.
    static QString cellsText(const Finding &finding);
    // The finding on one line: "overlap: cottage.mlt at 120,45 and tower.mlt at 124,47 share
    // 12 cells".
    QString line(const Finding &finding) const;

private:
    QList<Placement> m_placements;
    StructureImages::Map m_images;
    QSize m_terrainSize;
    QList<Finding> m_findings;
    QList<qsizetype> m_involved; // the placements of the findings, one run each
};
