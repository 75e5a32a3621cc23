#pragma once

#include "MapDocument.h"

#include <QList>
#include <QUndoCommand>

#include <utility>

// Brings another version's placements into the map as one step: placements only in this one
// taken off, placements only in the other put on top, and placements both have given the other
// version's position, flag and structure. Placements taken off or undone stay in the command,
// so that undo and redo bring back the very same objects.
class TakeTheirs : public QUndoCommand
{
public:
    TakeTheirs(MapDocument *document, const QList<Placement *> &removed,
               const QList<Placement> &added,
               const QList<std::pair<Placement *, Placement>> &changed);
    ~TakeTheirs() override;
    void redo() override;
    void undo() override;

private:
    void change(bool forward);

    MapDocument *m_document;
    QList<Placement *> m_removed;
    MapDocument::Places m_taken; // owned while done
    QList<Placement *> m_added;  // owned while undone
    bool m_addedOwned = true;
    // Each placement with its values before and after.
    QList<std::pair<Placement *, std::pair<Placement, Placement>>> m_changes;
};
