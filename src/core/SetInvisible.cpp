#include "SetInvisible.h"

SetInvisible::SetInvisible(Placement *placement, bool invisible)
    : QUndoCommand(invisible ? QStringLiteral("Invisible") : QStringLiteral("Visible")),
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
