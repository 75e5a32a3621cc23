#pragma once

#include "MapDocument.h"

#include <QList>
#include <QUndoCommand>

#include <utility>

// Gives placements another structure file: each keeps its origin cell (where the structure's
// tile (0, 0) lies, its position less its offset) and takes the new structure's offset and
// region.
class ReplaceStructure : public QUndoCommand
{
public:
    ReplaceStructure(MapDocument *document, const QList<Placement *> &placements,
                     const QString &structurePath, QPoint offset, const QRect &region);
    void redo() override;
    void undo() override;

private:
    void apply(bool forward);

    MapDocument *m_document;
    // Each placement with its values before and after.
    QList<std::pair<Placement *, std::pair<Placement, Placement>>> m_changes;
};
