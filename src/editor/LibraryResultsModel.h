#pragma once

#include "core/LibraryIndex.h"

#include <QAbstractTableModel>

// The structure files the library's filter found, one row each: the file's name, then its
// folder as seen from the library folder's parent ("towers/round" below the library "towers").
class LibraryResultsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    // Shows entries, found below the library folder root.
    void setEntries(const QList<LibraryIndex::Entry> &entries, const QString &root);
    // The path of the file of a row; empty for none.
    QString path(const QModelIndex &index) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QList<LibraryIndex::Entry> m_entries;
    qsizetype m_shownFrom = 0; // where the folder's name starts that is shown for the root
};
