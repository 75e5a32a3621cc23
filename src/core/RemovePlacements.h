#pragma once

#include "MapDocument.h"

#include <QUndoCommand>

// Takes placements off the map; they stay in the command, to go back to their places in the
// drawing order when it is undone.
class RemovePlacements : public QUndoCommand
{
public:
    // Named text, or "Delete".
    RemovePlacements(MapDocument *document, const QList<Placement *> &placements,
                     const QString &text = QString());
    ~RemovePlacements() override;
    void redo() override;
    void undo() override;

private:
    MapDocument *m_document;
    QList<Placement *> m_placements;
    MapDocument::Places m_taken; // owned while done
};
