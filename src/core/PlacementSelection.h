#pragma once

#include <QList>
#include <QObject>
#include <QSet>

class MapDocument;
struct Placement;

// The placements the editing commands act on: chosen on the map, in a list or by a command, and
// shown as such by every view. Placements leave it as they leave the map, and a map made,
// opened or closed starts with none. The selection is never saved.
class PlacementSelection : public QObject
{
    Q_OBJECT

public:
    explicit PlacementSelection(MapDocument *document, QObject *parent = nullptr);

    bool isEmpty() const { return m_placements.isEmpty(); }
    qsizetype size() const { return m_placements.size(); }
    bool contains(const Placement *placement) const { return m_placements.contains(placement); }
    // In drawing order.
    QList<Placement *> placements() const;
    // In no order: cheaper where the order does not matter.
    const QSet<const Placement *> &members() const { return m_placements; }

    // Of placements on the map.
    void set(const QList<Placement *> &placements);
    void setSelected(Placement *placement, bool selected);
    void clear() { set({}); }

signals:
    void changed();

private:
    void forget(const QList<Placement *> &placements);
    void changedNow();

    MapDocument *m_document;
    QSet<const Placement *> m_placements;
    // placements(), kept until the selection or the drawing order changes.
    mutable QList<Placement *> m_ordered;
    mutable bool m_orderedValid = true;
};
