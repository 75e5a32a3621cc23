#include "ReportModel.h"

ReportModel::ReportModel(const QStringList &headers, QObject *parent)
    : QAbstractTableModel(parent), m_headers(headers)
{
}

void ReportModel::setRows(int rows, const Text &text)
{
    beginResetModel();
    m_rows = rows;
    m_text = text;
    endResetModel();
}

int ReportModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ReportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant ReportModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    return m_text(index.row(), index.column());
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers.at(section);
    return QVariant();
}
