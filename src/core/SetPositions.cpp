#include "SetPositions.h"

SetPositions::SetPositions(MapDocument *document,
                           const QList<std::pair<Placement *, QPointF>> &positions,
                           const QString &text)
    : QUndoCommand(text), m_document(document)
{
    for (const auto &[placement, position] : positions) {
        m_placements.append(placement);
        m_before.append(placement->position);
        m_after.append(position);
    }
}

void SetPositions::redo()
{
    apply(true);
}

void SetPositions::undo()
{
    apply(false);
}

void SetPositions::apply(bool forward)
{
    for (qsizetype i = 0; i < m_placements.size(); ++i)
        m_placements.at(i)->position = (forward ? m_after : m_before).at(i);
    emit m_document->placementsMoved(m_placements);
}
