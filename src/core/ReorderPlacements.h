#pragma once

#include "MapDocument.h"

#include <QList>
#include <QUndoCommand>

// Puts the map's placements in another drawing order: raised, lowered, brought to the front or
// sent to the back.
class ReorderPlacements : public QUndoCommand
{
public:
    // order holds the map's placements, each once.
    ReorderPlacements(MapDocument *document, const QList<Placement *> &order, const QString &text);
    void redo() override;
    void undo() override;

private:
    MapDocument *m_document;
    QList<Placement *> m_before;
    QList<Placement *> m_after;
};
