#include "MapDocument.h"

#include "MovePlacements.h"
#include "PastePlacements.h"
#include "PlaceStructure.h"
#include "PlacementFile.h"
#include "RelinkFiles.h"
#include "RemovePlacements.h"
#include "ReorderPlacements.h"
#include "ReplaceStructure.h"
#include "SetInvisible.h"
#include "SetPositions.h"
#include "TakeTheirs.h"

#include <QCoreApplication>
#include <QSet>

#include <algorithm>

MapDocument::MapDocument(QObject *parent) : QObject(parent)
{
    m_undoStack.setUndoLimit(undoLimit);
    connect(&m_undoStack, &QUndoStack::cleanChanged, this,
            [this](bool clean) { emit modifiedChanged(m_open && !clean); });
}

MapDocument::~MapDocument()
{
    // Commands may own placements taken off the map; the map owns the rest.
    m_undoStack.clear();
    qDeleteAll(m_placements);
}

void MapDocument::setFileName(const QString &fileName)
{
    if (fileName == m_fileName)
        return;
    m_fileName = fileName;
    emit fileNameChanged(fileName);
}

PlacementDocument MapDocument::content() const
{
    PlacementDocument content;
    content.terrainPath = m_terrainPath;
    content.placements.reserve(m_placements.size());
    for (const Placement *placement : m_placements)
        content.placements.append(*placement);
    return content;
}

void MapDocument::clear()
{
    const bool wasModified = isModified();
    m_undoStack.clear();
    qDeleteAll(std::exchange(m_placements, {}));
    if (wasModified)
        emit modifiedChanged(false);
}

void MapDocument::open(const PlacementDocument &content, const QString &fileName)
{
    clear();
    m_open = true;
    m_terrainPath = content.terrainPath;
    m_placements.reserve(content.placements.size());
    for (const Placement &placement : content.placements)
        m_placements.append(new Placement(placement));
    setFileName(fileName);
    emit reset();
}

void MapDocument::markModified()
{
    if (m_open)
        m_undoStack.resetClean();
}

void MapDocument::close()
{
    clear();
    m_open = false;
    m_terrainPath.clear();
    setFileName(QString());
    emit reset();
}

bool MapDocument::save(const QString &path, QString *error)
{
    const std::optional<QByteArray> bytes = PlacementFile::write(content(), error);
    if (!bytes || !PlacementFile::saveBytes(path, *bytes, error))
        return false;
    setFileName(path);
    m_undoStack.setClean();
    return true;
}

void MapDocument::place(const Placement &placement)
{
    if (m_open)
        m_undoStack.push(new PlaceStructure(this, placement));
}

void MapDocument::setPositions(const QList<std::pair<Placement *, QPointF>> &positions,
                               const QString &text)
{
    const QSet<const Placement *> onMap(m_placements.cbegin(), m_placements.cend());
    QList<std::pair<Placement *, QPointF>> changing;
    for (const auto &change : positions) {
        if (change.first->position != change.second && onMap.contains(change.first))
            changing.append(change);
    }
    if (!changing.isEmpty())
        m_undoStack.push(new SetPositions(this, changing, text));
}

void MapDocument::move(const QList<Placement *> &placements, QPointF delta, int gesture)
{
    if (placements.isEmpty() || delta.isNull())
        return;
    // Kept in drawing order, so that two moves of one set compare equal for merging.
    QList<Placement *> ordered;
    const QSet<Placement *> wanted(placements.cbegin(), placements.cend());
    for (Placement *placement : std::as_const(m_placements)) {
        if (wanted.contains(placement))
            ordered.append(placement);
    }
    if (!ordered.isEmpty())
        m_undoStack.push(new MovePlacements(this, ordered, delta, gesture));
}

void MapDocument::remove(const QList<Placement *> &placements, const QString &text)
{
    const QList<Placement *> removing = present(placements);
    if (!removing.isEmpty())
        m_undoStack.push(new RemovePlacements(this, removing, text));
}

void MapDocument::setInvisible(Placement *placement, bool invisible)
{
    setInvisible(QList<Placement *>{placement}, invisible);
}

void MapDocument::setInvisible(const QList<Placement *> &placements, bool invisible)
{
    QList<Placement *> changing = present(placements);
    changing.removeIf([invisible](const Placement *p) { return p->invisible == invisible; });
    if (!changing.isEmpty())
        m_undoStack.push(new SetInvisible(this, changing, invisible));
}

QList<Placement *> MapDocument::add(const QList<Placement> &placements, const QString &text)
{
    if (!m_open || placements.isEmpty())
        return {};
    auto *command = new PastePlacements(this, placements, text);
    const QList<Placement *> added = command->placements();
    m_undoStack.push(command);
    return added;
}

QList<Placement *> MapDocument::present(const QList<Placement *> &placements) const
{
    const QSet<Placement *> wanted(placements.cbegin(), placements.cend());
    QList<Placement *> found;
    for (Placement *placement : m_placements) {
        if (wanted.contains(placement))
            found.append(placement);
    }
    return found;
}

void MapDocument::pushOrder(const QList<Placement *> &order, const QString &text)
{
    if (order != m_placements)
        m_undoStack.push(new ReorderPlacements(this, order, text));
}

void MapDocument::raise(const QList<Placement *> &placements)
{
    // From the top down, each selected placement changes places with an unselected one above it.
    const QSet<Placement *> moving(placements.cbegin(), placements.cend());
    QList<Placement *> order = m_placements;
    for (qsizetype i = order.size() - 2; i >= 0; --i) {
        if (moving.contains(order.at(i)) && !moving.contains(order.at(i + 1)))
            order.swapItemsAt(i, i + 1);
    }
    pushOrder(order, QCoreApplication::translate("MapDocument", "Raise"));
}

void MapDocument::lower(const QList<Placement *> &placements)
{
    const QSet<Placement *> moving(placements.cbegin(), placements.cend());
    QList<Placement *> order = m_placements;
    for (qsizetype i = 1; i < order.size(); ++i) {
        if (moving.contains(order.at(i)) && !moving.contains(order.at(i - 1)))
            order.swapItemsAt(i, i - 1);
    }
    pushOrder(order, QCoreApplication::translate("MapDocument", "Lower"));
}

void MapDocument::bringToFront(const QList<Placement *> &placements)
{
    const QSet<Placement *> moving(placements.cbegin(), placements.cend());
    QList<Placement *> order;
    order.reserve(m_placements.size());
    for (Placement *placement : m_placements) {
        if (!moving.contains(placement))
            order.append(placement);
    }
    order += present(placements);
    pushOrder(order, QCoreApplication::translate("MapDocument", "Bring to Front"));
}

void MapDocument::sendToBack(const QList<Placement *> &placements)
{
    const QSet<Placement *> moving(placements.cbegin(), placements.cend());
    QList<Placement *> order = present(placements);
    order.reserve(m_placements.size());
    for (Placement *placement : m_placements) {
        if (!moving.contains(placement))
            order.append(placement);
    }
    pushOrder(order, QCoreApplication::translate("MapDocument", "Send to Back"));
}

void MapDocument::replaceStructure(const QList<Placement *> &placements,
                                   const QString &structurePath, QPoint offset, const QRect &region)
{
    const QList<Placement *> changing = present(placements);
    if (!changing.isEmpty())
        m_undoStack.push(new ReplaceStructure(this, changing, structurePath, offset, region));
}

void MapDocument::relink(const QHash<QString, QString> &paths)
{
    if (!m_open || paths.isEmpty())
        return;
    auto *command = new RelinkFiles(this, paths);
    if (command->isEmpty()) {
        delete command;
        return;
    }
    m_undoStack.push(command);
}

void MapDocument::setTerrainPath(const QString &path)
{
    if (path == m_terrainPath)
        return;
    m_terrainPath = path;
    emit terrainPathChanged(path);
}

void MapDocument::takeTheirs(const QList<Placement *> &removed, const QList<Placement> &added,
                             const QList<std::pair<Placement *, Placement>> &changed)
{
    if (!m_open)
        return;
    const QSet<const Placement *> onMap(m_placements.cbegin(), m_placements.cend());
    const QList<Placement *> removing = present(removed);
    QList<std::pair<Placement *, Placement>> changing;
    for (const auto &change : changed) {
        if (onMap.contains(change.first) && !(*change.first == change.second))
            changing.append(change);
    }
    if (!removing.isEmpty() || !added.isEmpty() || !changing.isEmpty())
        m_undoStack.push(new TakeTheirs(this, removing, added, changing));
}

void MapDocument::reorder(const QList<Placement *> &order)
{
    m_placements = order;
    emit placementsReordered();
}

void MapDocument::insert(const Places &places)
{
    QList<Placement *> inserted;
    inserted.reserve(places.size());
    if (!places.isEmpty() && places.first().first == m_placements.size()) {
        // Placed on top: the usual case, without a pass over the map.
        for (const auto &[index, placement] : places)
            m_placements.append(placement);
    } else {
        QList<Placement *> merged;
        merged.reserve(m_placements.size() + places.size());
        qsizetype from = 0;
        for (const auto &[index, placement] : places) {
            while (merged.size() < index && from < m_placements.size())
                merged.append(m_placements.at(from++));
            merged.append(placement);
        }
        while (from < m_placements.size())
            merged.append(m_placements.at(from++));
        m_placements = std::move(merged);
    }
    for (const auto &slot : places)
        inserted.append(slot.second);
    emit placementsInserted(inserted);
}

MapDocument::Places MapDocument::take(const QList<Placement *> &placements)
{
    emit placementsRemoved(placements);
    Places places;
    if (placements.size() == 1 && !m_placements.isEmpty() &&
        m_placements.last() == placements.first()) {
        // The top one: an undone placing, a structure deleted right after it was placed.
        places.append({m_placements.size() - 1, m_placements.takeLast()});
        emit placementsTaken();
        return places;
    }
    const QSet<Placement *> taken(placements.cbegin(), placements.cend());
    places.reserve(placements.size());
    QList<Placement *> kept;
    kept.reserve(m_placements.size() - placements.size());
    for (qsizetype i = 0; i < m_placements.size(); ++i) {
        Placement *placement = m_placements.at(i);
        if (taken.contains(placement))
            places.append({i, placement});
        else
            kept.append(placement);
    }
    m_placements = std::move(kept);
    emit placementsTaken();
    return places;
}

void MapDocument::translate(const QList<Placement *> &placements, QPointF delta)
{
    for (Placement *placement : placements)
        placement->position += delta;
    emit placementsMoved(placements);
}
