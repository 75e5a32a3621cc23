#include "LibraryResults.h"

#include "LibraryResultsModel.h"
#include "LibraryRowDelegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

LibraryResults::LibraryResults(QWidget *parent) : QTreeView(parent)
{
    m_model = new LibraryResultsModel(this);
    setModel(m_model);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemDelegate(new LibraryRowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(0, QHeaderView::Interactive);
    header()->resizeSection(0, 140);
}

void LibraryResults::setRadarColours(const RadarColours *colours)
{
    m_previews.setRadarColours(colours);
}

bool LibraryResults::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeView::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString path = m_model->path(index);
    if (path.isEmpty())
        return QTreeView::viewportEvent(event);
    QToolTip::showText(help->globalPos(), m_previews.toolTip(path), viewport(), visualRect(index));
    return true;
}

void LibraryResults::mousePressEvent(QMouseEvent *event)
{
    m_pressPos = event->position().toPoint();
    QTreeView::mousePressEvent(event);
}

void LibraryResults::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (event->buttons() & Qt::LeftButton) {
        const QModelIndex index = indexAt(pos);
        if (index.isValid() && index.row() == currentIndex().row() &&
            (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance())
            m_previews.startDrag(this, m_model->path(index));
    }
    QAbstractItemView::mouseMoveEvent(event);
}

void LibraryResults::startDrag(Qt::DropActions supportedActions)
{
    Q_UNUSED(supportedActions);
}
