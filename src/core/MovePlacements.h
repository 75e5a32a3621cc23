#pragma once

#include "MapDocument.h"

#include <QList>
#include <QPointF>

#include <QUndoCommand>

// Moves placements by one offset. Moves of the same placements in one gesture (a drag's steps,
// a run of arrow presses) merge into one step of the history.
class MovePlacements : public QUndoCommand
{
public:
    // Commands of this kind, for merging.
    static constexpr int commandId = 1;

    // placements in drawing order; gesture 0 never merges.
    MovePlacements(MapDocument *document, const QList<Placement *> &placements, QPointF delta,
                   int gesture);
    int id() const override { return commandId; }
    bool mergeWith(const QUndoCommand *command) override;
    void redo() override;
    void undo() override;

private:
    MapDocument *m_document;
    QList<Placement *> m_placements;
    QPointF m_delta;
    int m_gesture;
};
