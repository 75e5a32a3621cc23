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
    // The structure file's whole path, for filtering.
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit PlacementsModel(MapSession *session, QObject *parent = nullptr);

    Placement *placementAt(int row) const;
    // The row of each placement given that is on the map.
    QList<int> rowsOf(const QList<Placement *> &placements) const;

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
    mutable QHash<QString, bool> m_missing; // by path, looked at once
};
