#pragma once

#include <QAbstractTableModel>
#include <QHash>

class MapSession;
struct Placement;

// The map's placements as a table, in drawing order: "#", "Structure" (the file's name, its
// whole path in the tooltip, marked when the file is missing), "X", "Y" and "Invisible". A view
// of the document, holding no copy of the placements. X, Y and Invisible can be edited; an edit
// of a selected placement sets that value for the whole selection, as one step.
class PlacementsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Order, Structure, X, Y, Invisible, ColumnCount };

    explicit PlacementsModel(MapSession *session, QObject *parent = nullptr);

    Placement *placementAt(int row) const;
    // The row of a placement on the map, -1 for any other.
    int rowOf(const Placement *placement) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    void changedAll();
    bool isMissing(const QString &path) const;

    MapSession *m_session;
    mutable QHash<QString, bool> m_missing;       // by path, looked at once
    mutable QHash<const Placement *, int> m_rows; // made when first asked, until rows change
};
