#pragma once

#include "RadarColours.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QSignalMapper>

class AutoSaver;
class CanvasView;
class DirView;
class QAction;
class QDockWidget;
class QMenu;

// The one window: the map view in the middle, the structure library docked on the right with the
// overview of the whole map below it, the File, Edit, Scale and View menus, and the build in the
// status bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~MainWindow() override;

    CanvasView *canvasView() const { return m_canvasView; }
    AutoSaver *autoSaver() const { return m_autoSaver; }
    DirView *dirView() const;
    // The keys of a command: the platform's own, or the usual ones where it has none.
    static QList<QKeySequence> commandKeys(QKeySequence::StandardKey key);

public slots:
    void fileExit();
    // Offers, one after another, the unsaved maps of copies of the program that ended without
    // cleaning up, until one is taken: meant for the start, before any map is open.
    void offerRecovery();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void readConfig();
    QMenu *createFileMenu();
    QMenu *createEditMenu();
    QMenu *createScaleMenu();
    void addZoomActions();

    RadarColours m_radarColours;
    CanvasView *m_canvasView = nullptr;
    AutoSaver *m_autoSaver = nullptr;
    QDockWidget *m_filesDock = nullptr;
    QDockWidget *m_overviewDock = nullptr;
    QSignalMapper m_scaleMapper;
};
