#include "PlacementSelection.h"

#include "MapDocument.h"

PlacementSelection::PlacementSelection(MapDocument *document, QObject *parent)
    : QObject(parent), m_document(document)
{
    connect(document, &MapDocument::reset, this, &PlacementSelection::clear);
    connect(document, &MapDocument::placementsRemoved, this, &PlacementSelection::forget);
}

QList<Placement *> PlacementSelection::placements() const
{
    QList<Placement *> selected;
    if (m_placements.isEmpty())
        return selected;
    selected.reserve(m_placements.size());
    for (Placement *placement : m_document->placements()) {
        if (m_placements.contains(placement))
            selected.append(placement);
    }
    return selected;
}

void PlacementSelection::set(const QList<Placement *> &placements)
{
    QSet<const Placement *> wanted;
    wanted.reserve(placements.size());
    for (const Placement *placement : placements)
        wanted.insert(placement);
    if (wanted == m_placements)
        return;
    m_placements = std::move(wanted);
    emit changed();
}

void PlacementSelection::setSelected(Placement *placement, bool selected)
{
    if (contains(placement) == selected)
        return;
    if (selected)
        m_placements.insert(placement);
    else
        m_placements.remove(placement);
    emit changed();
}

void PlacementSelection::forget(const QList<Placement *> &placements)
{
    bool changedNow = false;
    for (const Placement *placement : placements)
        changedNow = m_placements.remove(placement) || changedNow;
    if (changedNow)
        emit changed();
}
