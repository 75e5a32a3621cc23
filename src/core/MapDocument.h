#pragma once

#include "Placement.h"
#include "PlacementDocument.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QUndoStack>

// The open map as a document: the terrain image it was made from, the placement file it
// belongs to, the structures placed on it in drawing order (later ones in front) and the undo
// history of every change to them.
//
// Placements live at stable addresses: views refer to them by pointer. A placement taken off
// the map by a command (a delete, an undone placing) stays alive in that command, so undo and
// redo bring back the very same object. "Modified" is the history not being at the state last
// made, opened or saved.
class MapDocument : public QObject
{
    Q_OBJECT

public:
    // Commands kept for undo; older ones are forgotten.
    static constexpr int undoLimit = 1000;

    explicit MapDocument(QObject *parent = nullptr);
    ~MapDocument() override;

    // Whether a map is open at all.
    bool isOpen() const { return m_open; }
    const QString &terrainPath() const { return m_terrainPath; }
    // The placement file that Save writes; empty until the map has one.
    const QString &fileName() const { return m_fileName; }
    void setFileName(const QString &fileName);
    bool isModified() const { return m_open && !m_undoStack.isClean(); }
    QUndoStack *undoStack() { return &m_undoStack; }

    // In drawing order.
    const QList<Placement *> &placements() const { return m_placements; }
    // The map as a placement file records it.
    PlacementDocument content() const;

    // Starts over on a map with the given content and file name, unmodified and with no
    // history; the views rebuild themselves (reset()).
    void open(const PlacementDocument &content, const QString &fileName = QString());
    // Counts the map as changed since its file was written, with no step of the history at the
    // file's state: a map brought back from a recovery file.
    void markModified();
    // No map at all.
    void close();
    // Writes the map to path. On success the map counts as saved there: the file name becomes
    // path and the map unmodified. On failure the previous file stays intact, *error says why,
    // and nothing else changes.
    bool save(const QString &path, QString *error = nullptr);

    // The commands, each one step on the undo stack. Lists of placements may be in any order;
    // placements not on the map are left out.
    void place(const Placement &placement);
    // Consecutive moves with the same non-zero gesture of the same placements make one step.
    void move(const QList<Placement *> &placements, QPointF delta, int gesture = 0);
    // Puts each placement given at its own position, as one step named text.
    void setPositions(const QList<std::pair<Placement *, QPointF>> &positions, const QString &text);
    // A step named text, "Delete" unless given.
    void remove(const QList<Placement *> &placements, const QString &text = QString());
    void setInvisible(Placement *placement, bool invisible);
    void setInvisible(const QList<Placement *> &placements, bool invisible);
    // Puts copies of placements on top of the map, in their order, as one step named text;
    // returns them as they are on the map.
    QList<Placement *> add(const QList<Placement> &placements, const QString &text);
    // The drawing order of the placements given: one place up or down past the placements
    // around them, or in front of or behind all the others, keeping their own order.
    void raise(const QList<Placement *> &placements);
    void lower(const QList<Placement *> &placements);
    void bringToFront(const QList<Placement *> &placements);
    void sendToBack(const QList<Placement *> &placements);
    // See ReplaceStructure.
    void replaceStructure(const QList<Placement *> &placements, const QString &structurePath,
                          QPoint offset, const QRect &region);
    // See RelinkFiles. Nothing when no placement or terrain names a path given.
    void relink(const QHash<QString, QString> &paths);
    // See TakeTheirs; placements not on the map are left out, and nothing happens when
    // nothing is left.
    void takeTheirs(const QList<Placement *> &removed, const QList<Placement> &added,
                    const QList<std::pair<Placement *, Placement>> &changed);

signals:
    // The whole map was replaced (open, close).
    void reset();
    // Placements came onto the map, at their places in the drawing order.
    void placementsInserted(const QList<Placement *> &placements);
    // Placements are about to be taken off the map; still valid while this is handled.
    void placementsRemoved(const QList<Placement *> &placements);
    // The placements announced by placementsRemoved are off the map now.
    void placementsTaken();
    void placementsMoved(const QList<Placement *> &placements);
    // Placements changed in place: their flag, or their structure and with it their position.
    void placementsChanged(const QList<Placement *> &placements);
    // The drawing order changed; the same placements are on the map.
    void placementsReordered();
    // The files named by paths' keys are named by their values now (a relink or its undo);
    // placementsChanged follows with the placements that name them.
    void structurePathsChanged(const QHash<QString, QString> &paths);
    // The map's terrain is another image file now.
    void terrainPathChanged(const QString &path);
    void modifiedChanged(bool modified);
    void fileNameChanged(const QString &fileName);

private:
    // The commands change the map through the functions below.
    friend class PlaceStructure;
    friend class PastePlacements;
    friend class MovePlacements;
    friend class RemovePlacements;
    friend class ReorderPlacements;
    friend class SetInvisible;
    friend class SetPositions;
    friend class ReplaceStructure;
    friend class RelinkFiles;
    friend class TakeTheirs;

    // The placements at the given places of the drawing order afterwards, sorted by place.
    using Places = QList<std::pair<qsizetype, Placement *>>;
    void insert(const Places &places);
    Places take(const QList<Placement *> &placements);
    void translate(const QList<Placement *> &placements, QPointF delta);
    void reorder(const QList<Placement *> &order);
    // The placements given that are on the map, in drawing order.
    QList<Placement *> present(const QList<Placement *> &placements) const;
    // Pushes a reordering when order differs from the map's.
    void pushOrder(const QList<Placement *> &order, const QString &text);
    void clear();
    void setTerrainPath(const QString &path);

    QUndoStack m_undoStack;
    QList<Placement *> m_placements; // owned
    QString m_terrainPath;
    QString m_fileName;
    bool m_open = false;
};
