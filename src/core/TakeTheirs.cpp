#include "TakeTheirs.h"

#include <QCoreApplication>

#include <utility>

TakeTheirs::TakeTheirs(MapDocument *document, const QList<Placement *> &removed,
                       const QList<Placement> &added,
                       const QList<std::pair<Placement *, Placement>> &changed)
    : QUndoCommand(QCoreApplication::translate("TakeTheirs", "Take Theirs")), m_document(document),
      m_removed(removed)
{
    for (const Placement &placement : added)
        m_added.append(new Placement(placement));
    for (const auto &[placement, after] : changed)
        m_changes.append({placement, {*placement, after}});
}

TakeTheirs::~TakeTheirs()
{
    for (const auto &[index, placement] : m_taken)
        delete placement;
    if (m_addedOwned)
        qDeleteAll(m_added);
}

void TakeTheirs::redo()
{
    change(true);
    if (!m_removed.isEmpty())
        m_taken = m_document->take(m_removed);
    if (!m_added.isEmpty()) {
        MapDocument::Places places;
        const qsizetype top = m_document->placements().size();
        for (qsizetype i = 0; i < m_added.size(); ++i)
            places.append({top + i, m_added.at(i)});
        m_document->insert(places);
    }
    m_addedOwned = false;
}

void TakeTheirs::undo()
{
    if (!m_added.isEmpty())
        m_document->take(m_added);
    m_addedOwned = true;
    if (!m_taken.isEmpty())
        m_document->insert(std::exchange(m_taken, {}));
    change(false);
}

void TakeTheirs::change(bool forward)
{
    if (m_changes.isEmpty())
        return;
    QList<Placement *> changed;
    for (const auto &[placement, values] : std::as_const(m_changes)) {
        *placement = forward ? values.second : values.first;
        changed.append(placement);
    }
    emit m_document->placementsChanged(changed);
}
