#include "DirModel.h"

#include "core/NameList.h"

#include <QFile>
#include <QMimeData>

DirModel::DirModel(QObject *parent) : QFileSystemModel(parent)
{
    // The base refuses every drop while read-only; drops here only ever create new files.
    setReadOnly(false);
}

int DirModel::columnCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent);
    return 1;
}

Qt::ItemFlags DirModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags result = QFileSystemModel::flags(index);
    // Renaming is not offered: the tree is for picking structures, not managing files.
    result &= ~Qt::ItemIsEditable;
    if (index.isValid() && isDir(index))
        result |= Qt::ItemIsDropEnabled;
    else
        result &= ~Qt::ItemIsDropEnabled;
    return result;
}

QStringList DirModel::mimeTypes() const
{
    return QFileSystemModel::mimeTypes() << NameList::mimeType;
}

Qt::DropActions DirModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

bool DirModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                               const QModelIndex &parent) const
{
    Q_UNUSED(action);
    // A drop on a file row reaches the model as a drop between the rows of the file's folder
    // (row and column set); only a drop on the folder row itself (-1, -1) is taken.
    return data && data->hasFormat(NameList::mimeType) && row < 0 && column < 0 &&
           parent.isValid() && isDir(parent);
}

bool DirModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                            const QModelIndex &parent)
{
    Q_UNUSED(action);
    if (!data)
        return true;
    const QByteArray bytes = data->data(NameList::mimeType);
    if (bytes.isEmpty() || row >= 0 || column >= 0 || !parent.isValid() || !isDir(parent))
        return true;
    createStructureFiles(filePath(parent), NameList::decode(bytes));
    return true;
}

QStringList DirModel::createStructureFiles(const QString &folder, const QStringList &names)
{
    QStringList created;
    for (const QString &name : names) {
        if (!NameList::isSafeBaseName(name))
            continue;
        QFile file(folder + QLatin1Char('/') + name + QLatin1String(".mlt"));
        // NewOnly: an existing structure file is never opened for writing, so never emptied.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.close();
            created.append(file.fileName());
        }
    }
    return created;
}
