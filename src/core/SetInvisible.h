#pragma once

#include "Placement.h"

#include <QUndoCommand>

// Sets or clears a placement's invisible flag.
class SetInvisible : public QUndoCommand
{
public:
    SetInvisible(Placement *placement, bool invisible);
    void redo() override;
    void undo() override;

private:
    Placement *m_placement;
    bool m_invisible;
};
