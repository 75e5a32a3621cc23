#pragma once

#include "MapDocument.h"

#include <QList>
#include <QUndoCommand>

#include <utility>

// Puts placements at positions of their own: typed in, or aligned on one coordinate.
class SetPositions : public QUndoCommand
{
public:
    // Each placement with its new position.
    SetPositions(MapDocument *document, const QList<std::pair<Placement *, QPointF>> &positions,
                 const QString &text);
    void redo() override;
    void undo() override;

private:
    void apply(bool forward);

    MapDocument *m_document;
    QList<Placement *> m_placements;
    QList<QPointF> m_before;
    QList<QPointF> m_after;
};
