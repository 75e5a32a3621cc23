#include "ChecksPanel.h"

#include "CanvasView.h"
#include "ReportModel.h"
#include "core/MapSession.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSet>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

ChecksPanel::ChecksPanel(MapSession *session, CanvasView *view, QWidget *parent)
    : QWidget(parent), m_session(session), m_view(view),
      m_model(new ReportModel({tr("Kind"), tr("Placements"), tr("Cells")}, this)),
      m_table(new QTableView(this)), m_summary(new QLabel(this))
{
    m_summary->setObjectName(QStringLiteral("checksSummary"));
    m_summary->setText(tr("Check the map: Tools > Check Map."));
    m_table->setObjectName(QStringLiteral("checksTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    // The placements take the room; the cells' column is wide enough for its longest text.
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_table->horizontalHeader()->resizeSection(2, m_table->fontMetrics().horizontalAdvance(tr(
                                                      "has 99999 of 99999 cells off the terrain")));
    m_table->setWordWrap(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_summary);
    layout->addWidget(m_table);

    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &ChecksPanel::check);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &ChecksPanel::showFindings);
    MapDocument *document = session->document();
    connect(document, &MapDocument::reset, this, &ChecksPanel::mapChanged);
    connect(document, &MapDocument::placementsInserted, this, &ChecksPanel::mapChanged);
    connect(document, &MapDocument::placementsTaken, this, &ChecksPanel::mapChanged);
    connect(document, &MapDocument::placementsMoved, this, &ChecksPanel::mapChanged);
    connect(document, &MapDocument::placementsChanged, this, &ChecksPanel::mapChanged);
    connect(document, &MapDocument::placementsReordered, this, &ChecksPanel::mapChanged);
    connect(m_table, &QAbstractItemView::clicked, this, &ChecksPanel::selectRow);
    connect(m_table, &QAbstractItemView::activated, this, &ChecksPanel::selectRow);
    // Rows gone through with the keys select too.
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ChecksPanel::selectRow);
}

// A check still running keeps its own copy of the map: it ends by itself, unheard.
ChecksPanel::~ChecksPanel() = default;

void ChecksPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_wanted && m_stale && !m_busy)
        check();
}

void ChecksPanel::mapChanged()
{
    m_stale = true;
    if (m_wanted && isVisible())
        m_settle.start();
}

void ChecksPanel::check()
{
    m_wanted = true;
    m_settle.stop();
    if (m_busy) {
        m_stale = true; // checked again when this one ends
        return;
    }
    m_stale = false;
    const MapDocument *document = m_session->document();
    if (!document->isOpen()) {
        m_running.clear();
        m_placements.clear();
        m_shown.reset();
        m_model->setRows(0, {});
        m_summary->setText(tr("No map is open."));
        emit checked();
        return;
    }
    // The copy is made here, the check of it elsewhere.
    auto check = std::make_shared<MapCheck>(*m_session);
    m_running = document->placements();
    m_summary->setText(tr("Checking..."));
    m_busy = true;
    m_watcher.setFuture(QtConcurrent::run([check] {
        check->run();
        return check;
    }));
}

void ChecksPanel::showFindings()
{
    m_busy = false;
    m_shown = m_watcher.result();
    m_placements = std::exchange(m_running, {});
    const std::shared_ptr<const MapCheck> shown = m_shown;
    m_model->setRows(int(shown->findings().size()), [shown](int row, int column) {
        const MapCheck::Finding &finding = shown->findings().at(row);
        switch (column) {
        case 0:
            return MapCheck::kindName(finding.kind);
        case 1:
            return shown->placementsText(finding);
        default:
            return MapCheck::cellsText(finding);
        }
    });
    const qsizetype count = shown->findings().size();
    m_summary->setText(count == 0   ? tr("No findings.")
                       : count == 1 ? tr("1 finding.")
                                    : tr("%1 findings.").arg(count));
    if (m_stale && isVisible())
        m_settle.start();
    emit checked();
}

void ChecksPanel::selectRow(const QModelIndex &index)
{
    if (!m_shown || !index.isValid() || index.row() >= m_shown->findings().size())
        return;
    const MapCheck::Finding &finding = m_shown->findings().at(index.row());
    // Placements taken off the map since the check are left out.
    const QList<Placement *> &onMap = m_session->document()->placements();
    const QSet<const Placement *> present(onMap.cbegin(), onMap.cend());
    QList<Placement *> placements;
    for (const qsizetype i : m_shown->placementsOf(finding)) {
        if (present.contains(m_placements.at(i)))
            placements.append(m_placements.at(i));
    }
    m_session->selection()->set(placements);
    m_view->centerOn(QRectF(finding.area).center());
}
