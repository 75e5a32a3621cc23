#pragma once

#include "core/MapComparison.h"
#include "core/StructureImages.h"

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <memory>

class CanvasView;
class MapSession;
class QLabel;
class QPainter;
class QPushButton;
class QTableView;
class ReportModel;
struct Placement;

// The "Differences" dock's contents: what differs between the open map and another placement
// file (MapComparison, the open map as ours), one row each. While shown, the map view draws the
// other file's placements that differ faded in their colours, and joins each moved placement's
// two places with a line. Selecting rows selects the open map's placements among them and
// centres the view on the current one; "Take Theirs" brings the other file's version of the
// selected rows into the open map, as one step. The rows follow the open map's edits; another
// map made, opened or closed ends the comparison.
class DifferencesPanel : public QWidget
{
    Q_OBJECT

public:
    // Edits this close together compare once.
    static constexpr int settleMs = 150;

    DifferencesPanel(MapSession *session, CanvasView *view, QWidget *parent = nullptr);
    ~DifferencesPanel() override;

    QTableView *table() const { return m_table; }
    // The file compared with; empty before one is.
    const QString &otherFile() const { return m_otherFile; }

    // Reads the placement file at path and compares the open map with it; false with *error
    // saying why, for a person, when it cannot be read (the comparison shown stays).
    bool compareWith(const QString &path, QString *error = nullptr);

public slots:
    // The other file's version of the selected rows, in the open map.
    void takeTheirs();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void compare();
    // No comparison: the map it was made for is gone.
    void forget();
    void mapChanged();
    void selectRows();
    void drawOverlay(QPainter *painter, const QRectF &area) const;
    // Where a difference is on the map, in canvas pixels.
    QRectF areaOf(const MapComparison::Difference &difference) const;

    MapSession *m_session;
    CanvasView *m_view;
    ReportModel *m_model;
    QTableView *m_table;
    QLabel *m_summary;
    QPushButton *m_takeTheirs;
    QTimer m_settle;
    QString m_otherFile;
    QList<Placement> m_theirs;
    StructureImages::Map m_theirImages;
    QHash<StructureImages::Key, QPixmap> m_theirPixmaps;
    std::unique_ptr<MapComparison> m_comparison;
    QList<Placement *> m_ours; // the open map's placements as compared
    bool m_stale = false;
};
