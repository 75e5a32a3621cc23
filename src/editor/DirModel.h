#pragma once

#include <QFileSystemModel>

// The file system as folders and structure files, one column: the name. Dropping a list of
// structure names ("korvath/multi") on a folder creates an empty structure file per name.
class DirModel : public QFileSystemModel
{
    Q_OBJECT

public:
    explicit DirModel(QObject *parent = nullptr);

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

    // Creates folder/name.mlt for each name that is safe and whose file does not exist yet;
    // an existing file keeps its content. Returns the files created.
    static QStringList createStructureFiles(const QString &folder, const QStringList &names);
};
