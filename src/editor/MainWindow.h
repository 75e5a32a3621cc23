#pragma once

#include "core/RadarColours.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QSignalMapper>
#include <QTimer>

#include <memory>

class AutoSaver;
class CanvasView;
class ChecksPanel;
class DifferencesPanel;
class DirView;
class EditCommands;
class QLabel;
class FileCommands;
class LibraryIndex;
class LibraryPanel;
class MapSession;
class QAction;
class QDockWidget;
class QMenu;
class QMessageBox;
class QSettings;
class RecentMapsMenu;

// The one window: the map view in the middle, the structure library docked on the right with the
// overview of the whole map below it, the File, Edit, Scale, View and Help menus, and the build
// in the status bar, and the Tools menu's "Checks" and "Differences" docks. It owns the session,
// the open map, and hands it to every view; and the index of the library folder, which it hands
// to the "Files" dock.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~MainWindow() override;

    MapSession *session() const { return m_session.get(); }
    FileCommands *fileCommands() const { return m_fileCommands; }
    CanvasView *canvasView() const { return m_canvasView; }
    AutoSaver *autoSaver() const { return m_autoSaver; }
    DirView *dirView() const;
    LibraryPanel *libraryPanel() const { return m_libraryPanel; }
    LibraryIndex *libraryIndex() const { return m_library.get(); }
    RecentMapsMenu *recentMapsMenu() const { return m_recentMenu; }
    // Takes back what settings hold from an earlier run (the window's geometry and docks, the
    // scale, the View menu's toggles, the library folder, the recent maps, the file dialogs'
    // folders) and keeps it there from now on; the window's own state is written as it closes.
    // Settings must outlive the window. Without settings nothing is remembered.
    void setSettings(QSettings *settings);
    // Roots the "Files" tree at folder and indexes it for the filter; empty for none.
    void setLibraryFolder(const QString &folder);
    // The keys of a command: the platform's own, or the usual ones where it has none.
    static QList<QKeySequence> commandKeys(QKeySequence::StandardKey key);
    static QList<QKeySequence> redoKeys();
    // Every command of the window: the menus' entries and the window's own keys.
    QList<QAction *> commandActions() const;

public slots:
    // Closes the window, asking first about unsaved changes.
    void fileExit();
    // Offers, one after another, the unsaved maps of copies of the program that ended without
    // cleaning up, until one is taken: meant for the start, before any map is open.
    void offerRecovery();
    // Asks for a map cell and centres the view on it.
    void goToCell();
    // Asks for the library folder.
    void chooseLibraryFolder();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void readConfig();
    // Writes the window's geometry, docks, scale and View toggles to the settings.
    void saveSettings();
    QMenu *createFileMenu();
    QMenu *createEditMenu();
    QMenu *createScaleMenu();
    QMenu *createToolsMenu();
    // Asks for a placement file and shows its differences with the open map.
    void compareWithFile();
    QMenu *createHelpMenu();
    void addZoomActions();
    // The title names the map and shows whether it has unsaved changes.
    void updateTitle();
    // "N placements, M selected" in the status bar.
    void updateCounts();
    // Widens a message box's informative text to hold text on one line (as far as the screen
    // allows).
    static void fitToLine(QMessageBox &box, const QString &text);

    RadarColours m_radarColours;
    // Before the session, so that it outlives whatever the session is handed.
    std::unique_ptr<LibraryIndex> m_library;
    QTimer m_findAgain; // missing files looked for again, once the library's index settles
    std::unique_ptr<MapSession> m_session;
    QSettings *m_settings = nullptr;
    FileCommands *m_fileCommands = nullptr;
    EditCommands *m_editCommands = nullptr;
    QLabel *m_countLabel = nullptr;
    CanvasView *m_canvasView = nullptr;
    AutoSaver *m_autoSaver = nullptr;
    QDockWidget *m_filesDock = nullptr;
    LibraryPanel *m_libraryPanel = nullptr;
    RecentMapsMenu *m_recentMenu = nullptr;
    QAction *m_dimAction = nullptr;
    QAction *m_gridAction = nullptr;
    QAction *m_snapAction = nullptr;
    QDockWidget *m_overviewDock = nullptr;
    QDockWidget *m_placementsDock = nullptr;
    QDockWidget *m_missingDock = nullptr;
    QDockWidget *m_checksDock = nullptr;
    QDockWidget *m_differencesDock = nullptr;
    QSignalMapper m_scaleMapper;
};
