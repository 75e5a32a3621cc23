#include "RelinkFiles.h"

#include <QCoreApplication>

RelinkFiles::RelinkFiles(MapDocument *document, const QHash<QString, QString> &paths)
    : m_document(document)
{
    for (auto it = paths.cbegin(); it != paths.cend(); ++it) {
        if (it.key() != it.value())
            m_paths.insert(it.key(), it.value());
    }
    for (Placement *placement : document->placements()) {
        if (m_paths.contains(placement->structurePath))
            m_placements.append({placement, placement->structurePath});
    }
    const auto terrain = m_paths.constFind(document->terrainPath());
    if (terrain != m_paths.cend())
        m_terrain = {terrain.key(), terrain.value()};
    setText(QCoreApplication::translate("RelinkFiles", "Relink %n File(s)", nullptr,
                                        int(m_paths.size())));
}

void RelinkFiles::redo()
{
    QList<Placement *> changed;
    changed.reserve(m_placements.size());
    for (const auto &[placement, old] : std::as_const(m_placements)) {
        placement->structurePath = m_paths.value(old);
        changed.append(placement);
    }
    emit m_document->structurePathsChanged(m_paths);
    if (!m_terrain.second.isEmpty())
        m_document->setTerrainPath(m_terrain.second);
    if (!changed.isEmpty())
        emit m_document->placementsChanged(changed);
}

void RelinkFiles::undo()
{
    QList<Placement *> changed;
    changed.reserve(m_placements.size());
    QHash<QString, QString> back;
    for (const auto &[placement, old] : std::as_const(m_placements)) {
        placement->structurePath = old;
        changed.append(placement);
    }
    for (auto it = m_paths.cbegin(); it != m_paths.cend(); ++it)
        back.insert(it.value(), it.key());
    emit m_document->structurePathsChanged(back);
    if (!m_terrain.first.isEmpty())
        m_document->setTerrainPath(m_terrain.first);
    if (!changed.isEmpty())
        emit m_document->placementsChanged(changed);
}
