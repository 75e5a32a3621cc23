#pragma once

#include "MapDocument.h"

#include <QUndoCommand>

// Puts a new placement on top of the map: a structure dropped there. Undone, the command keeps
// the placement, so that redo brings back the very same object.
class PlaceStructure : public QUndoCommand
{
public:
    PlaceStructure(MapDocument *document, const Placement &placement);
    ~PlaceStructure() override;
    void redo() override;
    void undo() override;

private:
    MapDocument *m_document;
    Placement *m_placement;
    bool m_owned = true;
};
