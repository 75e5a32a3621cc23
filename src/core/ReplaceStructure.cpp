#include "ReplaceStructure.h"

#include <QCoreApplication>

ReplaceStructure::ReplaceStructure(MapDocument *document, const QList<Placement *> &placements,
                                   const QString &structurePath, QPoint offset, const QRect &region)
    : QUndoCommand(QCoreApplication::translate("ReplaceStructure", "Replace Structure")),
      m_document(document)
{
    m_changes.reserve(placements.size());
    for (Placement *placement : placements) {
        Placement after = *placement;
        after.position += QPointF(offset - placement->offset);
        after.offset = offset;
        after.region = region;
        after.structurePath = structurePath;
        m_changes.append({placement, {*placement, after}});
    }
}

void ReplaceStructure::redo()
{
    apply(true);
}

void ReplaceStructure::undo()
{
    apply(false);
}

void ReplaceStructure::apply(bool forward)
{
    QList<Placement *> changed;
    changed.reserve(m_changes.size());
    for (const auto &[placement, values] : std::as_const(m_changes)) {
        *placement = forward ? values.second : values.first;
        changed.append(placement);
    }
    emit m_document->placementsChanged(changed);
}
