#pragma once

#include "RadarColours.h"

#include <QMainWindow>
#include <QSignalMapper>

class CanvasView;
class DirView;
class QAction;
class QDockWidget;
class QMenu;

// The one window: the map view in the middle, the structure library docked on the right, the
// File, Scale and View menus, and the build in the status bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~MainWindow() override;

    CanvasView *canvasView = nullptr;
    QAction *actionNew = nullptr;
    QAction *actionOpen = nullptr;
    QAction *actionClose = nullptr;
    QAction *actionSave = nullptr;
    QAction *actionExit = nullptr;
    QDockWidget *filesDock = nullptr;
    QSignalMapper scaleMapper;

    DirView *dirView() const;

public slots:
    void fileExit();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void readConfig();
    QMenu *createFileMenu();
    QMenu *createScaleMenu();

    // Named by the configuration; the map view and the library tree render with it.
    RadarColours m_radarColours;
};
