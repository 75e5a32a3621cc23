#include "DifferencesPanel.h"

#include "CanvasView.h"
#include "ReportModel.h"
#include "core/LoadedMap.h"
#include "core/MapSession.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <utility>

namespace {

QRectF boxOf(const Placement &placement)
{
    return QRectF(placement.position, QSizeF(placement.region.size()));
}

} // namespace

DifferencesPanel::DifferencesPanel(MapSession *session, CanvasView *view, QWidget *parent)
    : QWidget(parent), m_session(session), m_view(view),
      m_model(new ReportModel({tr("Kind"), tr("Placement")}, this)), m_table(new QTableView(this)),
      m_summary(new QLabel(this)), m_takeTheirs(new QPushButton(tr("Take Theirs"), this))
{
    m_summary->setObjectName(QStringLiteral("differencesSummary"));
    m_summary->setWordWrap(true);
    m_table->setObjectName(QStringLiteral("differencesTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);
    m_takeTheirs->setObjectName(QStringLiteral("takeTheirsButton"));
    m_takeTheirs->setEnabled(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_summary);
    layout->addWidget(m_table);
    layout->addWidget(m_takeTheirs);

    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    forget();
    connect(&m_settle, &QTimer::timeout, this, &DifferencesPanel::compare);
    connect(m_takeTheirs, &QPushButton::clicked, this, &DifferencesPanel::takeTheirs);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DifferencesPanel::selectRows);
    MapDocument *document = session->document();
    connect(document, &MapDocument::reset, this, &DifferencesPanel::forget);
    connect(document, &MapDocument::placementsInserted, this, &DifferencesPanel::mapChanged);
    connect(document, &MapDocument::placementsTaken, this, &DifferencesPanel::mapChanged);
    connect(document, &MapDocument::placementsMoved, this, &DifferencesPanel::mapChanged);
    connect(document, &MapDocument::placementsChanged, this, &DifferencesPanel::mapChanged);
}

DifferencesPanel::~DifferencesPanel()
{
    m_view->setOverlay({});
}

bool DifferencesPanel::compareWith(const QString &path, QString *error)
{
    std::optional<LoadedMap> theirs = LoadedMap::read(path, m_session->radarColours(), error);
    if (!theirs)
        return false;
    m_otherFile = path;
    m_theirs = std::move(theirs->content.placements);
    m_theirImages = std::move(theirs->images);
    m_theirPixmaps.clear();
    for (auto it = m_theirImages.cbegin(); it != m_theirImages.cend(); ++it)
        m_theirPixmaps.insert(it.key(), QPixmap::fromImage(it.value()));
    compare();
    return true;
}

void DifferencesPanel::forget()
{
    m_settle.stop();
    m_stale = false;
    m_otherFile.clear();
    m_theirs.clear();
    m_theirImages.clear();
    m_theirPixmaps.clear();
    m_comparison.reset();
    m_ours.clear();
    m_model->setRows(0, {});
    m_takeTheirs->setEnabled(false);
    m_summary->setText(tr("Compare the map with a file: Tools > Compare With File..."));
    m_view->viewport()->update();
}

void DifferencesPanel::mapChanged()
{
    if (m_otherFile.isEmpty())
        return;
    m_stale = true;
    if (isVisible())
        m_settle.start();
}

void DifferencesPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_stale)
        compare();
    m_view->setOverlay(
        [this](QPainter *painter, const QRectF &area) { drawOverlay(painter, area); });
}

void DifferencesPanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_view->setOverlay({});
}

void DifferencesPanel::compare()
{
    m_settle.stop();
    m_stale = false;
    const MapDocument *document = m_session->document();
    m_ours = document->placements();
    m_comparison = std::make_unique<MapComparison>(document->content().placements, m_theirs);
    const MapComparison *comparison = m_comparison.get();
    m_model->setRows(int(comparison->differences().size()), [comparison](int row, int column) {
        const MapComparison::Difference &difference = comparison->differences().at(row);
        return column == 0 ? MapComparison::kindName(difference.kind)
                           : comparison->text(difference);
    });
    const qsizetype count = comparison->differences().size();
    const QString name = QFileInfo(m_otherFile).fileName();
    m_summary->setText(count == 0   ? tr("The same placements as %1.").arg(name)
                       : count == 1 ? tr("1 difference with %1.").arg(name)
                                    : tr("%1 differences with %2.").arg(count).arg(name));
    m_takeTheirs->setEnabled(false);
    m_view->viewport()->update();
}

void DifferencesPanel::selectRows()
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    m_takeTheirs->setEnabled(!rows.isEmpty());
    if (!m_comparison || rows.isEmpty())
        return;
    const QList<Placement *> &onMap = m_session->document()->placements();
    const QSet<const Placement *> present(onMap.cbegin(), onMap.cend());
    QList<Placement *> placements;
    for (const QModelIndex &row : rows) {
        const MapComparison::Difference &difference = m_comparison->differences().at(row.row());
        if (difference.ours >= 0 && present.contains(m_ours.at(difference.ours)))
            placements.append(m_ours.at(difference.ours));
    }
    m_session->selection()->set(placements);
    const QModelIndex current = m_table->currentIndex();
    if (current.isValid() && m_table->selectionModel()->isRowSelected(current.row()))
        m_view->centerOn(areaOf(m_comparison->differences().at(current.row())).center());
}

QRectF DifferencesPanel::areaOf(const MapComparison::Difference &difference) const
{
    QRectF area;
    if (difference.ours >= 0)
        area = boxOf(m_comparison->ours().at(difference.ours));
    if (difference.theirs >= 0)
        area = area.united(boxOf(m_theirs.at(difference.theirs)));
    return area;
}

void DifferencesPanel::takeTheirs()
{
    if (!m_comparison)
        return;
    if (m_stale)
        compare(); // the rows must name the map as it is
    QList<Placement *> removed;
    QList<Placement> added;
    QList<std::pair<Placement *, Placement>> changed;
    for (const QModelIndex &row : m_table->selectionModel()->selectedRows()) {
        const MapComparison::Difference &difference = m_comparison->differences().at(row.row());
        if (difference.theirs >= 0) {
            // Drawn with the other file's image of the structure, where this map has none.
            const Placement &theirs = m_theirs.at(difference.theirs);
            const StructureImages::Key key = StructureImages::Key::of(theirs);
            if (m_session->structureImage(key).isNull())
                m_session->addStructureImage(key, m_theirImages.value(key));
        }
        if (difference.ours < 0)
            added.append(m_theirs.at(difference.theirs));
        else if (difference.theirs < 0)
            removed.append(m_ours.at(difference.ours));
        else
            changed.append({m_ours.at(difference.ours), m_theirs.at(difference.theirs)});
    }
    m_session->document()->takeTheirs(removed, added, changed);
    compare();
}

void DifferencesPanel::drawOverlay(QPainter *painter, const QRectF &area) const
{
    if (!m_comparison || m_stale)
        return;
    painter->save();
    QPen line(QColor(220, 40, 160));
    line.setCosmetic(true);
    line.setWidth(2);
    for (const MapComparison::Difference &difference : m_comparison->differences()) {
        if (difference.theirs < 0 || difference.kind == MapComparison::Kind::Changed)
            continue;
        const Placement &theirs = m_theirs.at(difference.theirs);
        const QRectF box = boxOf(theirs);
        if (difference.kind == MapComparison::Kind::Moved) {
            const QRectF from = boxOf(m_comparison->ours().at(difference.ours));
            if (area.intersects(box.united(from))) {
                painter->setOpacity(1);
                painter->setPen(line);
                painter->drawLine(from.center(), box.center());
            }
        }
        if (!area.intersects(box))
            continue;
        painter->setOpacity(0.4);
        const QPixmap pixmap = m_theirPixmaps.value(StructureImages::Key::of(theirs));
        if (pixmap.isNull())
            painter->fillRect(box, QColor(255, 0, 255));
        else
            painter->drawPixmap(theirs.position, pixmap);
    }
    painter->restore();
}
