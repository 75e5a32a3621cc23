#include "PlaceStructure.h"

#include <QCoreApplication>

PlaceStructure::PlaceStructure(MapDocument *document, const Placement &placement)
    : QUndoCommand(QCoreApplication::translate("PlaceStructure", "Place")), m_document(document),
      m_placement(new Placement(placement))
{
}

PlaceStructure::~PlaceStructure()
{
    if (m_owned)
        delete m_placement;
}

void PlaceStructure::redo()
{
    m_document->insert({{m_document->placements().size(), m_placement}});
    m_owned = false;
}

void PlaceStructure::undo()
{
    m_document->take({m_placement});
    m_owned = true;
}
