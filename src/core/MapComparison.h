#pragma once

#include "Placement.h"

#include <QList>
#include <QString>

// What differs between two versions of a map's placements, ours and theirs, the terrain aside.
//
// Placements pair up in three rounds: the same structure (file, offset and region) at the same
// recorded position with the same flag is unchanged; then the same structure at the same
// position with the other flag is changed; then what is left of each structure pairs up nearest
// first (ties broken by drawing order) and has moved. What is left after that is only in ours
// (removed) or only in theirs (added).
//
// The differences come in a stable order: removed, added, moved, changed, each kind in the
// drawing order of ours (of theirs for the added).
class MapComparison
{
public:
    enum class Kind { Removed, Added, Moved, Changed };

    struct Difference
    {
        Kind kind = Kind::Removed;
        qsizetype ours = -1;   // into ours(); -1 for the added
        qsizetype theirs = -1; // into theirs(); -1 for the removed
    };

    MapComparison(const QList<Placement> &ours, const QList<Placement> &theirs);

    const QList<Placement> &ours() const { return m_ours; }
    const QList<Placement> &theirs() const { return m_theirs; }
    const QList<Difference> &differences() const { return m_differences; }

    // "removed", "added", "moved" or "changed".
    static QString kindName(Kind kind);
    // What the difference says after its kind: "cottage.mlt at 120,45", "cottage.mlt from
    // 120,45 to 130,45", "cottage.mlt at 120,45 now invisible".
    QString text(const Difference &difference) const;
    // The difference on one line: its kind, a colon and its text.
    QString line(const Difference &difference) const;

private:
    QList<Placement> m_ours;
    QList<Placement> m_theirs;
    QList<Difference> m_differences;
};
