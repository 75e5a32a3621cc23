#include "PlacementsPanel.h"

#include "CanvasView.h"
#include "PlacementsFilter.h"
#include "PlacementsModel.h"
#include "core/MapSession.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

PlacementsPanel::PlacementsPanel(MapSession *session, CanvasView *view, QWidget *parent)
    : QWidget(parent), m_session(session), m_view(view),
      m_model(new PlacementsModel(session, this)), m_proxy(new PlacementsFilter(m_model, this)),
      m_filter(new QLineEdit(this)), m_table(new QTableView(this))
{
    m_filter->setObjectName(QStringLiteral("placementsFilter"));
    m_filter->setPlaceholderText(tr("Filter by structure"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, m_proxy, &PlacementsFilter::setText);

    m_table->setObjectName(QStringLiteral("placementsTable"));
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(PlacementsModel::Order, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    m_table->verticalHeader()->hide();
    // Rows of one height: a table of a hundred thousand rows never measures them.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_filter);
    layout->addWidget(m_table);

    connect(session->selection(), &PlacementSelection::changed, this,
            &PlacementsPanel::showSelection);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PlacementsPanel::takeSelection);
    // A filter or a sort shows the rows anew: their selection with them.
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, &PlacementsPanel::showSelection);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &PlacementsPanel::showSelection);
    connect(m_table, &QAbstractItemView::activated, this, &PlacementsPanel::centreOn);
    connect(m_table, &QAbstractItemView::doubleClicked, this, &PlacementsPanel::centreOn);
}

void PlacementsPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showSelection();
}

void PlacementsPanel::showSelection()
{
    // Hidden, the table need not follow: it catches up when shown.
    if (m_syncing || !isVisible())
        return;
    // Runs of neighbouring rows make one range each: selecting many rows stays one call.
    const QSet<const Placement *> &selected = m_session->selection()->members();
    const bool sameRows = m_proxy->sortColumn() < 0 && m_proxy->rowCount() == m_model->rowCount();
    QList<int> rows;
    rows.reserve(selected.size());
    for (const Placement *placement : selected) {
        const int row = m_model->rowOf(placement);
        if (row < 0)
            continue;
        if (sameRows) {
            rows.append(row);
        } else if (const QModelIndex shown = m_proxy->mapFromSource(m_model->index(row, 0));
                   shown.isValid()) {
            rows.append(shown.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    const int last = m_proxy->columnCount() - 1;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows.at(j + 1) == rows.at(j) + 1)
            ++j;
        selection.append(
            QItemSelectionRange(m_proxy->index(rows.at(i), 0), m_proxy->index(rows.at(j), last)));
        i = j + 1;
    }
    m_syncing = true;
    m_table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
}

void PlacementsPanel::takeSelection()
{
    if (m_syncing)
        return;
    QList<Placement *> placements;
    for (const QModelIndex &shown : m_table->selectionModel()->selectedRows())
        placements.append(m_model->placementAt(m_proxy->mapToSource(shown).row()));
    m_syncing = true;
    m_session->selection()->set(placements);
    m_syncing = false;
}

void PlacementsPanel::centreOn(const QModelIndex &index)
{
    if (index.column() != PlacementsModel::Order && index.column() != PlacementsModel::Structure)
        return; // the other columns edit
    const Placement *placement = m_model->placementAt(m_proxy->mapToSource(index).row());
    if (placement)
        m_view->centerOn(placement->position +
                         QPointF(placement->region.width(), placement->region.height()) / 2);
}
