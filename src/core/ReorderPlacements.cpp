#include "ReorderPlacements.h"

ReorderPlacements::ReorderPlacements(MapDocument *document, const QList<Placement *> &order,
                                     const QString &text)
    : QUndoCommand(text), m_document(document), m_before(document->placements()), m_after(order)
{
}

void ReorderPlacements::redo()
{
    m_document->reorder(m_after);
}

void ReorderPlacements::undo()
{
    m_document->reorder(m_before);
}
