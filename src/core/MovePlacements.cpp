#include "MovePlacements.h"

#include <QCoreApplication>

MovePlacements::MovePlacements(MapDocument *document, const QList<Placement *> &placements,
                               QPointF delta, int gesture)
    : QUndoCommand(QCoreApplication::translate("MovePlacements", "Move")), m_document(document),
      m_placements(placements), m_delta(delta), m_gesture(gesture)
{
}

bool MovePlacements::mergeWith(const QUndoCommand *command)
{
    const auto *other = static_cast<const MovePlacements *>(command);
    if (m_gesture == 0 || other->m_gesture != m_gesture || other->m_placements != m_placements)
        return false;
    m_delta += other->m_delta;
    return true;
}

void MovePlacements::redo()
{
    m_document->translate(m_placements, m_delta);
}

void MovePlacements::undo()
{
    m_document->translate(m_placements, -m_delta);
}
