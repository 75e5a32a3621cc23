#include "LibraryResultsModel.h"

#include <QDir>

void LibraryResultsModel::setEntries(const QList<LibraryIndex::Entry> &entries, const QString &root)
{
    beginResetModel();
    m_entries = entries;
    const qsizetype slash = root.lastIndexOf(QLatin1Char('/'), root.size() - 2);
    m_shownFrom = slash < 0 ? 0 : slash + 1;
    endResetModel();
}

QString LibraryResultsModel::path(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return QString();
    return m_entries.at(index.row()).path();
}

int LibraryResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int LibraryResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant LibraryResultsModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_entries.size())
        return QVariant();
    const LibraryIndex::Entry &entry = m_entries.at(index.row());
    if (index.column() == 0)
        return entry.name;
    return QDir::toNativeSeparators(entry.folder.mid(m_shownFrom));
}

QVariant LibraryResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return section == 0 ? tr("Name") : tr("Folder");
}
