#include "RemovePlacements.h"

#include <QCoreApplication>

#include <utility>

RemovePlacements::RemovePlacements(MapDocument *document, const QList<Placement *> &placements,
                                   const QString &text)
    : QUndoCommand(text.isEmpty() ? QCoreApplication::translate("RemovePlacements", "Delete")
                                  : text),
      m_document(document), m_placements(placements)
{
}

RemovePlacements::~RemovePlacements()
{
    for (const auto &[index, placement] : m_taken)
        delete placement;
}

void RemovePlacements::redo()
{
    m_taken = m_document->take(m_placements);
}

void RemovePlacements::undo()
{
    m_document->insert(std::exchange(m_taken, {}));
}
