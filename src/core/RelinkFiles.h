#pragma once

#include "MapDocument.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUndoCommand>

#include <utility>

// Gives every placement whose structure file is one of the old paths the new path it maps to,
// and the terrain too where its path is one: the next save writes the new paths, and undo gives
// the old ones back, each to the placements that had it.
class RelinkFiles : public QUndoCommand
{
public:
    RelinkFiles(MapDocument *document, const QHash<QString, QString> &paths);
    // Whether nothing on the map names any of the old paths.
    bool isEmpty() const { return m_placements.isEmpty() && m_terrain.first.isEmpty(); }
    void redo() override;
    void undo() override;

private:
    MapDocument *m_document;
    QHash<QString, QString> m_paths;
    // Each placement relinked, with its old path.
    QList<std::pair<Placement *, QString>> m_placements;
    std::pair<QString, QString> m_terrain; // old and new; empty when the terrain stays
};
