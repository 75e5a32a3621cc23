#include "PastePlacements.h"

PastePlacements::PastePlacements(MapDocument *document, const QList<Placement> &placements,
                                 const QString &text)
    : QUndoCommand(text), m_document(document)
{
    m_placements.reserve(placements.size());
    for (const Placement &placement : placements)
        m_placements.append(new Placement(placement));
}

PastePlacements::~PastePlacements()
{
    if (m_owned)
        qDeleteAll(m_placements);
}

void PastePlacements::redo()
{
    MapDocument::Places places;
    places.reserve(m_placements.size());
    const qsizetype top = m_document->placements().size();
    for (qsizetype i = 0; i < m_placements.size(); ++i)
        places.append({top + i, m_placements.at(i)});
    m_document->insert(places);
    m_owned = false;
}

void PastePlacements::undo()
{
    m_document->take(m_placements);
    m_owned = true;
}
