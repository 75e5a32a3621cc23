#include "DirView.h"

#include "DirModel.h"
#include "StructurePayload.h"
#include "StructurePreview.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

DirView::DirView(QWidget *parent) : QTreeView(parent)
{
    dirModel = new DirModel(this);
    dirModel->setRootPath(QDir::rootPath());
    setModel(dirModel);
    dirModel->setNameFilters(QStringList() << QStringLiteral("*.mlt"));
    dirModel->setNameFilterDisables(false);
    dirModel->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
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
    connect(dirModel, &QFileSystemModel::directoryLoaded, this, revealAgain);
    connect(dirModel, &QAbstractItemModel::rowsInserted, this, revealAgain);
    connect(dirModel, &QAbstractItemModel::layoutChanged, this, revealAgain);
    // Scrolling, by wheel or on a scroll bar, is the user's choice of where to look.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &DirView::stopReveal);
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, &DirView::stopReveal);
}

void DirView::refreshDir(QModelIndex index)
{
    // The model watches the disk itself; re-reading a folder only needs it to be fetched.
    if (index.isValid() && dirModel->canFetchMore(index))
        dirModel->fetchMore(index);
}

void DirView::setRadarColours(const RadarColours *colours)
{
    m_radarColours = colours;
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
    const QModelIndex target = dirModel->index(m_revealFolder);
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

void DirView::mousePressEvent(QMouseEvent *event)
{
    stopReveal();
    pressPos = event->position().toPoint();
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
            dirModel->fileInfo(index).isFile() &&
            (pos - pressPos).manhattanLength() >= QApplication::startDragDistance())
            startStructureDrag(dirModel->fileInfo(index).absoluteFilePath());
    }
    QAbstractItemView::mouseMoveEvent(event);
}

void DirView::startDrag(Qt::DropActions supportedActions)
{
    Q_UNUSED(supportedActions);
}

void DirView::startStructureDrag(const QString &path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    StructurePayload payload;
    payload.path = path;
    const RadarColours closed;
    if (!renderStructurePreview(path, m_radarColours ? *m_radarColours : closed, payload.image,
                                payload.offset, payload.region)) {
        QApplication::restoreOverrideCursor();
        return;
    }
    auto *drag = new QDrag(this);
    drag->setMimeData(payload.toMimeData());
    drag->exec(Qt::CopyAction);
    QApplication::restoreOverrideCursor();
}
