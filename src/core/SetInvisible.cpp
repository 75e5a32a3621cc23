#include "SetInvisible.h"

#include <QCoreApplication>

SetInvisible::SetInvisible(MapDocument *document, const QList<Placement *> &placements,
                           bool invisible)
    : QUndoCommand(invisible ? QCoreApplication::translate("SetInvisible", "Invisible")
                             : QCoreApplication::translate("SetInvisible", "Visible")),
      m_document(document), m_placements(placements), m_invisible(invisible)
{
}

void SetInvisible::redo()
{
    for (Placement *placement : std::as_const(m_placements))
        placement->invisible = m_invisible;
    emit m_document->placementsChanged(m_placements);
}

void SetInvisible::undo()
{
    for (Placement *placement : std::as_const(m_placements))
        placement->invisible = !m_invisible;
    emit m_document->placementsChanged(m_placements);
}
