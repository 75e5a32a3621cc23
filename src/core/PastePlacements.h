#pragma once

#include "MapDocument.h"

#include <QList>
#include <QUndoCommand>

// Puts new placements on top of the map in one step: pasted, or copies of others. Undone, the
// command keeps them, so that redo brings back the very same objects.
class PastePlacements : public QUndoCommand
{
public:
    PastePlacements(MapDocument *document, const QList<Placement> &placements, const QString &text);
    ~PastePlacements() override;
    // The placements the command puts on the map.
    const QList<Placement *> &placements() const { return m_placements; }
    void redo() override;
    void undo() override;

private:
    MapDocument *m_document;
    QList<Placement *> m_placements;
    bool m_owned = true;
};
