#include "DirView.h"

#include "DirModel.h"
#include "core/StructurePayload.h"
#include "core/StructurePreview.h"

#include <QApplication>
#include <QBuffer>
#include <QDrag>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace {

// Tooltip previews are at most this large a side; smaller ones are magnified a whole number of
// times towards half of it, so that a structure of a few cells can be made out.
constexpr int toolTipSide = 256;
// The tooltips kept, in KiB: an image of the largest size takes a few hundred.
constexpr int toolTipCacheKiB = 16 * 1024;

QImage toolTipImage(const QImage &preview)
{
    const int side = std::max(preview.width(), preview.height());
    if (side > toolTipSide) {
        const auto fit = [side](int length) {
            return std::max(1, (length * toolTipSide + side / 2) / side);
        };
        return preview.scaled(fit(preview.width()), fit(preview.height()), Qt::IgnoreAspectRatio,
                              Qt::SmoothTransformation);
    }
    const int factor = std::max(1, toolTipSide / 2 / side);
    return preview.scaled(preview.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

DirView::DirView(QWidget *parent) : QTreeView(parent), m_toolTips(toolTipCacheKiB)
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
    m_radarColours = colours;
    m_toolTips.clear();
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
    QToolTip::showText(help->globalPos(), structureToolTip(info.absoluteFilePath()), viewport(),
                       visualRect(index));
    return true;
}

QString DirView::structureToolTip(const QString &path)
{
    const QFileInfo file(path); // afresh: the model's may be older than the file
    if (const ToolTip *kept = m_toolTips.object(path)) {
        if (kept->modified == file.lastModified() && kept->size == file.size())
            return kept->text;
    }
    const RadarColours closed;
    QImage preview;
    QPoint offset;
    QRect region;
    QString reason;
    auto *tip = new ToolTip{file.lastModified(), file.size(), QString()};
    const QString name = file.fileName().toHtmlEscaped();
    if (!renderStructurePreview(path, m_radarColours ? *m_radarColours : closed, preview, offset,
                                region, &reason)) {
        tip->text = tr("<qt>%1 cannot be rendered: %2</qt>").arg(name, reason.toHtmlEscaped());
    } else {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        toolTipImage(preview).save(&buffer, "PNG");
        const QString caption =
            tr("%1  %2 x %3 cells")
                .arg(name, QString::number(region.width()), QString::number(region.height()));
        tip->text = QStringLiteral("<qt><p style=\"white-space:pre\">%1</p>"
                                   "<p><img src=\"data:image/png;base64,%2\"></p></qt>")
                        .arg(caption, QString::fromLatin1(png.toBase64()));
    }
    const QString text = tip->text;
    m_toolTips.insert(path, tip, int(text.size() / 512) + 1);
    return text;
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
            startStructureDrag(m_model->fileInfo(index).absoluteFilePath());
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
