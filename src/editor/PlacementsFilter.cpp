#include "PlacementsFilter.h"

#include "PlacementsModel.h"
#include "core/Placement.h"

PlacementsFilter::PlacementsFilter(PlacementsModel *model, QObject *parent)
    : QSortFilterProxyModel(parent), m_model(model)
{
    setSourceModel(model);
}

void PlacementsFilter::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    // Rows shown anew in one change of layout: most of them come or go with a keystroke, and
    // telling the table of each run of them would cost far more than filtering.
    invalidate();
}

void PlacementsFilter::sort(int column, Qt::SortOrder order)
{
    // The model's own order is the drawing order.
    QSortFilterProxyModel::sort(
        column == PlacementsModel::Order && order == Qt::AscendingOrder ? -1 : column, order);
}

bool PlacementsFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (m_text.isEmpty())
        return true;
    const Placement *placement = m_model->placementAt(sourceRow);
    return placement && placement->structurePath.contains(m_text, Qt::CaseInsensitive);
}

bool PlacementsFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const Placement *a = m_model->placementAt(left.row());
    const Placement *b = m_model->placementAt(right.row());
    if (!a || !b)
        return false;
    switch (left.column()) {
    case PlacementsModel::Structure:
        return a->structurePath < b->structurePath;
    case PlacementsModel::X:
        return a->position.x() < b->position.x();
    case PlacementsModel::Y:
        return a->position.y() < b->position.y();
    case PlacementsModel::Invisible:
        return a->invisible < b->invisible;
    default:
        return left.row() < right.row();
    }
}
