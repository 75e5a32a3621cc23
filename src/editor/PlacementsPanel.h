#pragma once

#include <QWidget>

class CanvasView;
class MapSession;
class PlacementsFilter;
class PlacementsModel;
class QLineEdit;
class QTableView;

// The "Placements" dock's contents: the map's placements in a table that sorts by any column,
// with a filter on the structure's path above it. The table's selection is the session's
// selection, both ways; a double-click centres the map view on the placement.
class PlacementsPanel : public QWidget
{
    Q_OBJECT

public:
    PlacementsPanel(MapSession *session, CanvasView *view, QWidget *parent = nullptr);

    QLineEdit *filterField() const { return m_filter; }
    QTableView *table() const { return m_table; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The session's selection shown in the table, and the table's taken as the session's.
    void showSelection();
    void takeSelection();
    void centreOn(const QModelIndex &index);

    MapSession *m_session;
    CanvasView *m_view;
    PlacementsModel *m_model;
    PlacementsFilter *m_proxy;
    QLineEdit *m_filter;
    QTableView *m_table;
    bool m_syncing = false;
};
