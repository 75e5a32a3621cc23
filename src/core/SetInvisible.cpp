#include "SetInvisible.h"

#include <QCoreApplication>

SetInvisible::SetInvisible(Placement *placement, bool invisible)
    : QUndoCommand(invisible ? QCoreApplication::translate("SetInvisible", "Invisible")
                             : QCoreApplication::translate("SetInvisible", "Visible")),
      m_placement(placement), m_invisible(invisible)
{
}

void SetInvisible::redo()
{
    m_placement->invisible = m_invisible;
}

void SetInvisible::undo()
{
    m_placement->invisible = !m_invisible;
}
