#pragma once

#include "MapDocument.h"

#include <QList>
#include <QUndoCommand>

// Sets or clears the invisible flag of placements whose flag differs.
class SetInvisible : public QUndoCommand
{
public:
    SetInvisible(MapDocument *document, const QList<Placement *> &placements, bool invisible);
    void redo() override;
    void undo() override;

private:
    MapDocument *m_document;
    QList<Placement *> m_placements;
    bool m_invisible;
};
