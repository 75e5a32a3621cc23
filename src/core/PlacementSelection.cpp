#include "PlacementSelection.h"

#include "MapDocument.h"

PlacementSelection::PlacementSelection(MapDocument *document, QObject *parent)
    : QObject(parent), m_document(document)
{
    connect(document, &MapDocument::reset, this, &PlacementSelection::clear);
    connect(document, &MapDocument::placementsRemoved, this, &PlacementSelection::forget);
    connect(document, &MapDocument::placementsReordered, this, [this] { m_orderedValid = false; });
}

void PlacementSelection::changedNow()
{
    m_orderedValid = false;
    emit changed();
}

QList<Placement *> PlacementSelection::placements() const
{
    if (m_orderedValid)
        return m_ordered;
    m_ordered.clear();
    if (!m_placements.isEmpty()) {
        m_ordered.reserve(m_placements.size());
        for (Placement *placement : m_document->placements()) {
            if (m_placements.contains(placement))
                m_ordered.append(placement);
        }
    }
    m_orderedValid = true;
    return m_ordered;
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
    changedNow();
}

void PlacementSelection::setSelected(Placement *placement, bool selected)
{
    if (contains(placement) == selected)
        return;
    if (selected)
        m_placements.insert(placement);
    else
        m_placements.remove(placement);
    changedNow();
}

void PlacementSelection::forget(const QList<Placement *> &placements)
{
    bool gone = false;
    for (const Placement *placement : placements)
        gone = m_placements.remove(placement) || gone;
    if (gone)
        changedNow();
}
