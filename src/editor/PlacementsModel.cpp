#include "PlacementsModel.h"

#include "core/MapSession.h"

#include <QFileInfo>

PlacementsModel::PlacementsModel(MapSession *session, QObject *parent)
    : QAbstractTableModel(parent), m_session(session)
{
    MapDocument *document = session->document();
    // Rows come and go in whole: the table starts over, cheaper than telling each row.
    const auto begin = [this] { beginResetModel(); };
    const auto end = [this] {
        m_missing.clear();
        m_rows.clear();
        endResetModel();
    };
    connect(document, &MapDocument::reset, this, [begin, end] { begin(), end(); });
    connect(document, &MapDocument::placementsInserted, this, [begin, end] { begin(), end(); });
    connect(document, &MapDocument::placementsReordered, this, [begin, end] { begin(), end(); });
    connect(document, &MapDocument::placementsRemoved, this, begin);
    connect(document, &MapDocument::placementsTaken, this, end);
    connect(document, &MapDocument::placementsMoved, this, &PlacementsModel::changedAll);
    connect(document, &MapDocument::placementsChanged, this, &PlacementsModel::changedAll);
}

void PlacementsModel::changedAll()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

Placement *PlacementsModel::placementAt(int row) const
{
    const QList<Placement *> &placements = m_session->document()->placements();
    return row >= 0 && row < placements.size() ? placements.at(row) : nullptr;
}

int PlacementsModel::rowOf(const Placement *placement) const
{
    if (m_rows.isEmpty()) {
        const QList<Placement *> &all = m_session->document()->placements();
        m_rows.reserve(all.size());
        for (int row = 0; row < all.size(); ++row)
            m_rows.insert(all.at(row), row);
    }
    return m_rows.value(placement, -1);
}

int PlacementsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_session->document()->placements().size());
}

int PlacementsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

bool PlacementsModel::isMissing(const QString &path) const
{
    auto found = m_missing.constFind(path);
    if (found == m_missing.cend())
        found = m_missing.insert(path, !QFileInfo(path).isFile());
    return *found;
}

QVariant PlacementsModel::data(const QModelIndex &index, int role) const
{
    const Placement *placement = placementAt(index.row());
    if (!placement)
        return QVariant();
    switch (index.column()) {
    case Order:
        return role == Qt::DisplayRole ? QVariant(index.row() + 1) : QVariant();
    case Structure:
        if (role == Qt::DisplayRole) {
            const QString name = QFileInfo(placement->structurePath).fileName();
            return isMissing(placement->structurePath) ? tr("%1 (missing)").arg(name) : name;
        }
        if (role == Qt::ToolTipRole)
            return placement->structurePath;
        return QVariant();
    case X:
    case Y:
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return qRound(index.column() == X ? placement->position.x() : placement->position.y());
        return QVariant();
    case Invisible:
        if (role == Qt::CheckStateRole)
            return placement->invisible ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::DisplayRole) // also what the column sorts by
            return placement->invisible ? 1 : 0;
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant PlacementsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case Order:
        return tr("#");
    case Structure:
        return tr("Structure");
    case X:
        return tr("X");
    case Y:
        return tr("Y");
    case Invisible:
        return tr("Invisible");
    default:
        return QVariant();
    }
}

Qt::ItemFlags PlacementsModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == X || index.column() == Y)
        flags |= Qt::ItemIsEditable;
    if (index.column() == Invisible)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool PlacementsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    Placement *placement = placementAt(index.row());
    if (!placement)
        return false;
    // The edited row's value goes to every selected row when it is one of them.
    const PlacementSelection *selection = m_session->selection();
    const QList<Placement *> targets =
        selection->contains(placement) ? selection->placements() : QList<Placement *>{placement};
    MapDocument *document = m_session->document();
    if (index.column() == Invisible && role == Qt::CheckStateRole) {
        document->setInvisible(targets, value.toInt() == Qt::Checked);
        return true;
    }
    if ((index.column() != X && index.column() != Y) || role != Qt::EditRole)
        return false;
    bool ok = false;
    const int coordinate = value.toInt(&ok);
    if (!ok)
        return false;
    QList<std::pair<Placement *, QPointF>> positions;
    for (Placement *target : targets) {
        QPointF position = target->position;
        (index.column() == X ? position.rx() : position.ry()) = coordinate;
        positions.append({target, position});
    }
    document->setPositions(positions, index.column() == X ? tr("Set X") : tr("Set Y"));
    return true;
}
