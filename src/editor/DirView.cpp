#include "DirView.h"

#include "DirModel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

DirView::DirView(QWidget *parent) : QTreeView(parent)
{
    m_model = new DirModel(this);
    m_model->setRootPath(QDir::rootPath());
    setModel(m_model);
    m_model->setNameFilters(QStringList() << QStringLiteral("*.mlt"));
    m_model->setNameFilterDisables(false);
    m_model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    setDragEnabled(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHeaderHidden(true);

    // Name lists dropped from other applications reach the model through the viewport, on
    // the row under the pointer; the view widget itself takes no drops.
    setDragDropMode(QAbstractItemView::DragDrop);
    setAcceptDrops(false);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropOverwriteMode(true);
    setDefaultDropAction(Qt::CopyAction);

    // Rows arrive folder by folder and batch by batch, and are sorted later still.
    m_revealTimer.setSingleShot(true);
    m_revealTimer.setInterval(0);
    connect(&m_revealTimer, &QTimer::timeout, this, &DirView::continueReveal);
    const auto revealAgain = [this] {
        if (!m_revealFolder.isEmpty())
            m_revealTimer.start();
    };
    connect(m_model, &QFileSystemModel::directoryLoaded, this, revealAgain);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, revealAgain);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, revealAgain);
    // Scrolling, by wheel or on a scroll bar, is the user's choice of where to look.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &DirView::stopReveal);
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, &DirView::stopReveal);
}

void DirView::refreshDir(QModelIndex index)
{
    // The model watches the disk itself; re-reading a folder only needs it to be fetched.
    if (index.isValid() && m_model->canFetchMore(index))
        m_model->fetchMore(index);
}

void DirView::setRadarColours(const RadarColours *colours)
{
    m_previews.setRadarColours(colours);
}

void DirView::setRootFolder(const QString &folder)
{
    stopReveal();
    const QString root = folder.isEmpty() ? QDir::rootPath() : folder;
    m_model->setRootPath(root);
    setRootIndex(folder.isEmpty() ? QModelIndex() : m_model->index(root));
}

void DirView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid() || !m_model->isDir(index))
        return;
    const QString folder = m_model->filePath(index);
    QMenu menu(this);
    connect(menu.addAction(tr("Use as Library Folder")), &QAction::triggered, this,
            [this, folder] { emit libraryFolderChosen(folder); });
    menu.exec(event->globalPos());
}

void DirView::revealFolder(const QString &folder)
{
    m_revealFolder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    continueReveal();
}

void DirView::stopReveal()
{
    m_revealFolder.clear();
    m_revealTimer.stop();
}

void DirView::continueReveal()
{
    if (m_revealFolder.isEmpty())
        return;
    const QModelIndex target = m_model->index(m_revealFolder);
    if (!target.isValid()) {
        stopReveal();
        return;
    }
    for (QModelIndex up = target; up.isValid(); up = up.parent())
        expand(up);
    if (currentIndex() != target)
        setCurrentIndex(target);
    scrollTo(target, QAbstractItemView::PositionAtTop);
}

bool DirView::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeView::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = indexAt(help->pos());
    const QFileInfo info = index.isValid() ? m_model->fileInfo(index) : QFileInfo();
    if (!info.isFile() || info.suffix().compare(QLatin1String("mlt"), Qt::CaseInsensitive) != 0)
        return QTreeView::viewportEvent(event);
    QToolTip::showText(help->globalPos(), m_previews.toolTip(info.absoluteFilePath()), viewport(),
                       visualRect(index));
    return true;
}

void DirView::mousePressEvent(QMouseEvent *event)
{
    stopReveal();
    m_pressPos = event->position().toPoint();
    QTreeView::mousePressEvent(event);
}

void DirView::keyPressEvent(QKeyEvent *event)
{
    stopReveal();
    QTreeView::keyPressEvent(event);
}

void DirView::dragEnterEvent(QDragEnterEvent *event)
{
    // A drag over the tree scrolls it to where the user points.
    stopReveal();
    QTreeView::dragEnterEvent(event);
}

void DirView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (event->buttons() & Qt::LeftButton) {
        const QModelIndexList selected = selectedIndexes();
        const QModelIndex index = indexAt(pos);
        if (selected.size() == 1 && index.isValid() && index == selected.first() &&
            m_model->fileInfo(index).isFile() &&
            (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance())
            m_previews.startDrag(this, m_model->fileInfo(index).absoluteFilePath());
    }
    QAbstractItemView::mouseMoveEvent(event);
}

QString DirView::currentStructurePath() const
{
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !m_model->fileInfo(index).isFile())
        return QString();
    return m_model->fileInfo(index).absoluteFilePath();
}

void DirView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTreeView::currentChanged(current, previous);
    emit currentStructureChanged();
}

void DirView::startDrag(Qt::DropActions supportedActions)
{
    Q_UNUSED(supportedActions);
}
