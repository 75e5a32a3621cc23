#pragma once

#include <QSortFilterProxyModel>

class PlacementsModel;

// The Placements table's rows as shown: those whose structure path holds the filter text (in
// any letter case), sorted by a column. It reads the placements themselves rather than their
// cells' values, and leaves the drawing order as it is rather than sorting by it: a table of a
// hundred thousand rows answers a keystroke at once.
class PlacementsFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit PlacementsFilter(PlacementsModel *model, QObject *parent = nullptr);

    void setText(const QString &text);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    PlacementsModel *m_model;
    QString m_text;
};
