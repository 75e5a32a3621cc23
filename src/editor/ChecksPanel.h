#pragma once

#include "core/MapCheck.h"

#include <QFutureWatcher>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <memory>

class CanvasView;
class MapSession;
class QLabel;
class QTableView;
class ReportModel;
struct Placement;

// The "Checks" dock's contents: the findings of a check of the map (MapCheck), one row each,
// naming its kind, the placements involved and the cells. A click on a row selects its
// placements and centres the map view on them.
//
// Checks run on a worker thread on a copy of the map, so the window never waits for one. Once
// the map has been checked, every edit made while the dock is shown checks it again (edits in
// quick succession once); edits made while it is hidden are checked when it is shown again.
class ChecksPanel : public QWidget
{
    Q_OBJECT

public:
    // Edits this close together are checked once.
    static constexpr int settleMs = 150;

    ChecksPanel(MapSession *session, CanvasView *view, QWidget *parent = nullptr);
    ~ChecksPanel() override;

    QTableView *table() const { return m_table; }
    // Whether a check is running or waiting to run.
    bool isChecking() const { return m_busy || m_settle.isActive(); }

public slots:
    // Checks the map now (Tools > Check Map).
    void check();

signals:
    // The findings of a check are shown.
    void checked();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void mapChanged();
    void showFindings();
    void selectRow(const QModelIndex &index);

    MapSession *m_session;
    CanvasView *m_view;
    ReportModel *m_model;
    QTableView *m_table;
    QLabel *m_summary;
    QTimer m_settle;
    QFutureWatcher<std::shared_ptr<MapCheck>> m_watcher;
    // The placements of the check running, and of the one shown, in the order it saw them.
    QList<Placement *> m_running;
    QList<Placement *> m_placements;
    std::shared_ptr<const MapCheck> m_shown;
    bool m_busy = false;   // a check runs, or its findings are on their way
    bool m_wanted = false; // the map has been checked: edits check it again
    bool m_stale = false;  // the map changed since the check that runs or is shown
};
