#include "MainWindow.h"

#include "BuildLabel.h"
#include "CanvasView.h"
#include "ChecksPanel.h"
#include "DifferencesPanel.h"
#include "DirView.h"
#include "EditCommands.h"
#include "FileCommands.h"
#include "GoToCellDialog.h"
#include "LibraryPanel.h"
#include "MissingFilesPanel.h"
#include "OverviewWidget.h"
#include "PlacementsPanel.h"
#include "RecentMapsMenu.h"
#include "ShortcutsDialog.h"
#include "core/AutoSaver.h"
#include "core/Configuration.h"
#include "core/LibraryIndex.h"
#include "core/MapSession.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>

#include <cmath>

namespace {

const char applicationTitle[] = QT_TRANSLATE_NOOP("MainWindow", "Valdrune Structure Placer");

} // namespace

MainWindow::MainWindow(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags), m_library(std::make_unique<LibraryIndex>()),
      m_session(std::make_unique<MapSession>(&m_radarColours))
{
    readConfig();
    MapDocument *document = m_session->document();
    // Files a map names that are not where it says are looked for in the library too, and
    // looked for again as the library's index grows.
    m_session->setLibrary(
        [library = m_library.get()](const QString &name) { return library->pathsNamed(name); });
    m_findAgain.setSingleShot(true);
    m_findAgain.setInterval(300);
    connect(&m_findAgain, &QTimer::timeout, m_session.get(), &MapSession::findMissingAgain);
    connect(m_library.get(), &LibraryIndex::changed, &m_findAgain, qOverload<>(&QTimer::start));
    m_fileCommands = new FileCommands(m_session.get(), this);

    // How many placements the map holds and how many are selected, then the map cell under the
    // pointer (and the structure there), left of the build.
    m_countLabel = new QLabel(statusBar());
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    statusBar()->addPermanentWidget(m_countLabel, 0);
    auto *pointerLabel = new QLabel(statusBar());
    pointerLabel->setObjectName(QStringLiteral("pointerLabel"));
    statusBar()->addPermanentWidget(pointerLabel, 0);
    auto *buildLabel = new QLabel(buildLabelText(), statusBar());
    statusBar()->addPermanentWidget(buildLabel, 0);

    m_filesDock = new QDockWidget(this);
    m_filesDock->setObjectName(QStringLiteral("filesDock"));
    m_filesDock->setWindowTitle(tr("Files"));
    m_libraryPanel = new LibraryPanel(m_library.get(), m_filesDock);
    m_libraryPanel->setMinimumWidth(260);
    m_filesDock->setWidget(m_libraryPanel);
    DirView *tree = m_libraryPanel->tree();
    connect(tree, &DirView::libraryFolderChosen, this, &MainWindow::setLibraryFolder);

    m_canvasView = new CanvasView(m_session.get(), this);
    m_canvasView->setFileCommands(m_fileCommands);
    setCentralWidget(m_canvasView);

    m_overviewDock = new QDockWidget(this);
    m_overviewDock->setObjectName(QStringLiteral("overviewDock"));
    m_overviewDock->setWindowTitle(tr("Overview"));
    auto *overview = new OverviewWidget(m_session.get(), m_canvasView, m_overviewDock);
    m_overviewDock->setWidget(overview);

    addDockWidget(Qt::RightDockWidgetArea, m_filesDock);
    addDockWidget(Qt::RightDockWidgetArea, m_overviewDock); // below the files
    // The placements' table, on demand: View > Placements.
    m_placementsDock = new QDockWidget(this);
    m_placementsDock->setObjectName(QStringLiteral("placementsDock"));
    m_placementsDock->setWindowTitle(tr("Placements"));
    auto *placements = new PlacementsPanel(m_session.get(), m_canvasView, m_placementsDock);
    m_placementsDock->setWidget(placements);
    addDockWidget(Qt::LeftDockWidgetArea, m_placementsDock);
    m_placementsDock->hide();
    // Opened from the View menu, the table is there to be searched: its filter takes the keys.
    connect(m_placementsDock->toggleViewAction(), &QAction::triggered, placements,
            [placements](bool shown) {
                if (shown)
                    placements->filterField()->setFocus(Qt::ShortcutFocusReason);
            });
    // The files the map names that are not there: shown by itself when a map opens with some.
    m_missingDock = new QDockWidget(this);
    m_missingDock->setObjectName(QStringLiteral("missingFilesDock"));
    m_missingDock->setWindowTitle(tr("Missing Files"));
    auto *missing = new MissingFilesPanel(m_session.get(), m_missingDock);
    m_missingDock->setWidget(missing);
    addDockWidget(Qt::BottomDockWidgetArea, m_missingDock);
    m_missingDock->hide();
    connect(document, &MapDocument::reset, missing, [this, missing] {
        QTimer::singleShot(0, missing, [this, missing] {
            if (!missing->isEmpty())
                m_missingDock->show();
        });
    });
    // The findings of Tools > Check Map and the differences of Tools > Compare With File...,
    // below the map, shown by their commands.
    m_checksDock = new QDockWidget(this);
    m_checksDock->setObjectName(QStringLiteral("checksDock"));
    m_checksDock->setWindowTitle(tr("Checks"));
    m_checksDock->setWidget(new ChecksPanel(m_session.get(), m_canvasView, m_checksDock));
    addDockWidget(Qt::BottomDockWidgetArea, m_checksDock);
    m_checksDock->hide();
    m_differencesDock = new QDockWidget(this);
    m_differencesDock->setObjectName(QStringLiteral("differencesDock"));
    m_differencesDock->setWindowTitle(tr("Differences"));
    m_differencesDock->setWidget(
        new DifferencesPanel(m_session.get(), m_canvasView, m_differencesDock));
    addDockWidget(Qt::BottomDockWidgetArea, m_differencesDock);
    tabifyDockWidget(m_checksDock, m_differencesDock); // one place, a tab each
    m_differencesDock->hide();
    m_autoSaver = new AutoSaver(document, RecoveryStore::defaultFolder(), this);
    m_libraryPanel->setRadarColours(&m_radarColours);

    menuBar()->addMenu(createFileMenu());
    menuBar()->addMenu(createEditMenu());
    menuBar()->addMenu(createScaleMenu());
    QMenu *viewMenu = new QMenu(tr("View"), menuBar());
    viewMenu->addAction(m_filesDock->toggleViewAction());
    viewMenu->addAction(m_overviewDock->toggleViewAction());
    viewMenu->addAction(m_placementsDock->toggleViewAction());
    viewMenu->addAction(m_missingDock->toggleViewAction());
    viewMenu->addAction(m_checksDock->toggleViewAction());
    viewMenu->addAction(m_differencesDock->toggleViewAction());
    viewMenu->addSeparator();
    m_dimAction = viewMenu->addAction(tr("Dim Invisible Structures"));
    m_dimAction->setCheckable(true);
    connect(m_dimAction, &QAction::toggled, m_canvasView, &CanvasView::setDimInvisible);
    connect(m_dimAction, &QAction::toggled, overview, &OverviewWidget::setDimInvisible);
    m_gridAction = viewMenu->addAction(tr("Show Grid"));
    m_gridAction->setCheckable(true);
    connect(m_gridAction, &QAction::toggled, m_canvasView, &CanvasView::setGridShown);
    m_snapAction = viewMenu->addAction(tr("Snap to Grid"));
    m_snapAction->setCheckable(true);
    connect(m_snapAction, &QAction::toggled, m_canvasView, &CanvasView::setSnapToGrid);
    connect(viewMenu->addAction(tr("Grid Size...")), &QAction::triggered, this, [this] {
        bool ok = false;
        const int cells = QInputDialog::getInt(this, tr("Grid Size"), tr("Cells"),
                                               m_canvasView->grid().size(), 1, 1024, 1, &ok);
        if (ok)
            m_canvasView->setGridSize(cells);
    });
    viewMenu->addSeparator();
    QAction *zoomToFit = viewMenu->addAction(tr("Zoom to Fit"));
    zoomToFit->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    connect(zoomToFit, &QAction::triggered, m_canvasView, &CanvasView::zoomToFit);
    QAction *goToCell = viewMenu->addAction(tr("Go to Cell..."));
    goToCell->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    connect(goToCell, &QAction::triggered, this, &MainWindow::goToCell);
    for (QAction *action : {zoomToFit, goToCell}) {
        action->setEnabled(false);
        connect(document, &MapDocument::reset, action,
                [action, document] { action->setEnabled(document->isOpen()); });
    }
    menuBar()->addMenu(viewMenu);
    menuBar()->addMenu(createToolsMenu());
    menuBar()->addMenu(createHelpMenu());

    connect(&m_scaleMapper, &QSignalMapper::mappedInt, m_canvasView, &CanvasView::setScale);
    connect(m_canvasView, &CanvasView::pointerTextChanged, pointerLabel, &QLabel::setText);
    addZoomActions();

    connect(document, &MapDocument::reset, this, &MainWindow::updateTitle);
    connect(document, &MapDocument::reset, this, &MainWindow::updateCounts);
    connect(document, &MapDocument::placementsInserted, this, &MainWindow::updateCounts);
    connect(document, &MapDocument::placementsRemoved, this, &MainWindow::updateCounts,
            Qt::QueuedConnection); // once they are gone
    connect(m_session->selection(), &PlacementSelection::changed, this, &MainWindow::updateCounts);
    connect(document, &MapDocument::fileNameChanged, this, &MainWindow::updateTitle);
    connect(document, &MapDocument::modifiedChanged, this, &QWidget::setWindowModified);
    updateTitle();

    // Start where the user is: the folder the program was started in, inside the whole tree.
    tree->revealFolder(QDir::currentPath());
}

MainWindow::~MainWindow()
{
    // The views and the recovery follow the session: they go before it, and the window hears no
    // more of it.
    delete m_autoSaver;
    delete m_overviewDock;
    delete m_placementsDock;
    delete m_missingDock;
    delete m_checksDock;
    delete m_differencesDock;
    delete m_canvasView;
    m_session->document()->disconnect(this);
}

void MainWindow::updateTitle()
{
    const MapDocument *document = m_session->document();
    if (!document->isOpen()) {
        setWindowTitle(tr(applicationTitle));
        setWindowModified(false);
        return;
    }
    const QString name = document->fileName().isEmpty()
                             ? tr("Untitled")
                             : QFileInfo(document->fileName()).fileName();
    setWindowTitle(tr("%1[*] \u2014 %2").arg(name, tr(applicationTitle)));
    setWindowModified(document->isModified());
}

DirView *MainWindow::dirView() const
{
    return m_libraryPanel->tree();
}

void MainWindow::setSettings(QSettings *settings)
{
    m_settings = settings;
    m_fileCommands->setSettings(settings);
    m_recentMenu->setSettings(settings);
    if (!settings)
        return;
    restoreGeometry(settings->value(QStringLiteral("window/geometry")).toByteArray());
    restoreState(settings->value(QStringLiteral("window/state")).toByteArray());
    const int scale = settings->value(QStringLiteral("view/scale"), 1).toInt();
    if (scale >= CanvasView::minimumScale && scale <= CanvasView::maximumScale)
        m_canvasView->setScale(scale);
    m_dimAction->setChecked(settings->value(QStringLiteral("view/dimInvisible")).toBool());
    m_gridAction->setChecked(settings->value(QStringLiteral("view/showGrid")).toBool());
    m_snapAction->setChecked(settings->value(QStringLiteral("view/snapToGrid")).toBool());
    if (const int grid = settings->value(QStringLiteral("view/gridSize")).toInt(); grid > 0)
        m_canvasView->setGridSize(grid);
    // A library folder gone since leaves the tree as it starts without one.
    const QString library = settings->value(QStringLiteral("library/folder")).toString();
    if (!library.isEmpty() && QFileInfo(library).isDir())
        m_libraryPanel->setLibraryFolder(library);
}

void MainWindow::saveSettings()
{
    if (!m_settings)
        return;
    m_settings->setValue(QStringLiteral("window/geometry"), saveGeometry());
    m_settings->setValue(QStringLiteral("window/state"), saveState());
    m_settings->setValue(QStringLiteral("view/scale"), m_canvasView->scale());
    m_settings->setValue(QStringLiteral("view/dimInvisible"), m_dimAction->isChecked());
    m_settings->setValue(QStringLiteral("view/showGrid"), m_gridAction->isChecked());
    m_settings->setValue(QStringLiteral("view/snapToGrid"), m_snapAction->isChecked());
    m_settings->setValue(QStringLiteral("view/gridSize"), m_canvasView->grid().size());
}

void MainWindow::setLibraryFolder(const QString &folder)
{
    m_libraryPanel->setLibraryFolder(folder);
    if (m_settings)
        m_settings->setValue(QStringLiteral("library/folder"), m_library->root());
}

void MainWindow::chooseLibraryFolder()
{
    const QString start = m_library->root().isEmpty() ? QDir::currentPath() : m_library->root();
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Set Library Folder"), start);
    if (!folder.isEmpty())
        setLibraryFolder(folder);
}

void MainWindow::readConfig()
{
    Configuration::openRadarColours(QCoreApplication::applicationDirPath(), m_radarColours);
}

QList<QKeySequence> MainWindow::commandKeys(QKeySequence::StandardKey key)
{
    // Some platforms bind no key to Save As or Quit (Windows, X11 without a desktop's
    // theme): those get the keys most editors use.
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    if (keys.isEmpty() && key == QKeySequence::SaveAs)
        keys << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S);
    if (keys.isEmpty() && key == QKeySequence::Quit)
        keys << QKeySequence(Qt::CTRL | Qt::Key_Q);
    return keys;
}

QMenu *MainWindow::createFileMenu()
{
    auto *menu = new QMenu(tr("File"), this);
    const auto add = [this, menu](const QString &text, QKeySequence::StandardKey key, auto slot) {
        QAction *action = menu->addAction(text);
        action->setShortcuts(commandKeys(key));
        connect(action, &QAction::triggered, m_fileCommands, slot);
        return action;
    };
    add(tr("New"), QKeySequence::New, &FileCommands::newMap);
    add(tr("Open"), QKeySequence::Open, &FileCommands::open);
    m_recentMenu = new RecentMapsMenu(menu);
    menu->addMenu(m_recentMenu);
    connect(m_fileCommands, &FileCommands::mapFileUsed, m_recentMenu, &RecentMapsMenu::add);
    connect(m_recentMenu, &RecentMapsMenu::openRequested, this, [this](const QString &path) {
        if (m_fileCommands->maybeSave())
            m_fileCommands->openFile(path);
    });
    connect(m_recentMenu, &RecentMapsMenu::gone, this, [this](const QString &path) {
        statusBar()->showMessage(tr("%1 is no longer there; it was taken off Open Recent")
                                     .arg(QDir::toNativeSeparators(path)));
    });
    add(tr("Close"), QKeySequence::Close, &FileCommands::close);
    menu->addSeparator();
    add(tr("Save"), QKeySequence::Save, &FileCommands::save);
    add(tr("Save As..."), QKeySequence::SaveAs, &FileCommands::saveAs);
    // A map command without a key of its own, on only while a map is open.
    QAction *exportImage = menu->addAction(tr("Export Image..."));
    connect(exportImage, &QAction::triggered, m_fileCommands, &FileCommands::exportImage);
    MapDocument *document = m_session->document();
    exportImage->setEnabled(document->isOpen());
    connect(document, &MapDocument::reset, exportImage,
            [exportImage, document] { exportImage->setEnabled(document->isOpen()); });
    menu->addSeparator();
    connect(menu->addAction(tr("Set Library Folder...")), &QAction::triggered, this,
            &MainWindow::chooseLibraryFolder);
    menu->addSeparator();
    QAction *exit = menu->addAction(tr("Exit"));
    exit->setShortcuts(commandKeys(QKeySequence::Quit));
    connect(exit, &QAction::triggered, this, &MainWindow::fileExit);
    return menu;
}

QMenu *MainWindow::createEditMenu()
{
    auto *menu = new QMenu(tr("Edit"), this);
    // The history's own actions: their texts name the command they take back or do again.
    QUndoStack *history = m_session->document()->undoStack();
    QAction *undo = history->createUndoAction(menu, tr("Undo"));
    undo->setShortcuts(QKeySequence::Undo);
    QAction *redo = history->createRedoAction(menu, tr("Redo"));
    redo->setShortcuts(redoKeys());
    // Their texts change with the step; the list of keys names them plainly.
    undo->setProperty("commandName", tr("Undo"));
    redo->setProperty("commandName", tr("Redo"));
    menu->addAction(undo);
    menu->addAction(redo);
    menu->addSeparator();
    m_editCommands = new EditCommands(m_session.get(), m_canvasView, dirView(), statusBar(), this);
    m_editCommands->addClipboardActions(menu);
    menu->addSeparator();
    QAction *remove = menu->addAction(tr("Delete"));
    // The Delete key alone: the platform's sequence for it may hold Ctrl+D, which duplicates.
    remove->setShortcut(QKeySequence(Qt::Key_Delete));
    remove->setEnabled(false);
    connect(remove, &QAction::triggered, m_canvasView, &CanvasView::deleteSelection);
    connect(m_canvasView, &CanvasView::placementSelectionChanged, remove, &QAction::setEnabled);
    menu->addSeparator();
    m_editCommands->addSelectionActions(menu);
    return menu;
}

void MainWindow::goToCell()
{
    if (!m_session->document()->isOpen())
        return;
    const QPointF middle = m_canvasView->mapToScene(m_canvasView->viewport()->rect().center());
    GoToCellDialog dialog(QPoint(int(std::floor(middle.x())), int(std::floor(middle.y()))),
                          m_canvasView->sceneRect().toAlignedRect(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_canvasView->centerOn(QPointF(dialog.cell()) + QPointF(0.5, 0.5));
}

void MainWindow::updateCounts()
{
    const MapDocument *document = m_session->document();
    m_countLabel->setText(document->isOpen()
                              ? tr("%n placements, ", nullptr, int(document->placements().size())) +
                                    tr("%n selected", nullptr, int(m_session->selection()->size()))
                              : QString());
}

QMenu *MainWindow::createScaleMenu()
{
    auto *menu = new QMenu(tr("Scale"), menuBar());
    auto *group = new QActionGroup(menu);
    // Zoomed out below 1, none of the scales is checked.
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int n = CanvasView::minimumScale; n <= CanvasView::maximumScale; ++n) {
        auto *action = new QAction(QString::number(n), group);
        group->addAction(action);
        action->setCheckable(true);
        action->setChecked(n == 1);
        connect(action, &QAction::triggered, &m_scaleMapper, qOverload<>(&QSignalMapper::map));
        // Choosing the scale in use keeps it checked.
        connect(action, &QAction::triggered, action, [action] { action->setChecked(true); });
        m_scaleMapper.setMapping(action, n);
    }
    menu->addActions(group->actions());
    // The check follows the scale however it changes (the keys, the wheel).
    connect(m_canvasView, &CanvasView::scaleChanged, group, [group](int factor) {
        const QList<QAction *> actions = group->actions();
        if (factor >= 1 && factor <= actions.size())
            actions.at(factor - 1)->setChecked(true);
        else if (QAction *checked = group->checkedAction())
            checked->setChecked(false);
    });
    return menu;
}

QMenu *MainWindow::createToolsMenu()
{
    auto *menu = new QMenu(tr("Tools"), menuBar());
    QAction *check = menu->addAction(tr("Check Map"));
    check->setShortcut(QKeySequence(Qt::Key_F7));
    connect(check, &QAction::triggered, this, [this] {
        m_checksDock->show();
        m_checksDock->raise();
        static_cast<ChecksPanel *>(m_checksDock->widget())->check();
    });
    QAction *compare = menu->addAction(tr("Compare With File..."));
    connect(compare, &QAction::triggered, this, &MainWindow::compareWithFile);
    MapDocument *document = m_session->document();
    for (QAction *action : {check, compare}) {
        action->setEnabled(document->isOpen());
        connect(document, &MapDocument::reset, action,
                [action, document] { action->setEnabled(document->isOpen()); });
    }
    return menu;
}

void MainWindow::compareWithFile()
{
    if (!m_session->document()->isOpen())
        return;
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Compare With File"), QFileInfo(m_session->document()->fileName()).path(),
        tr("Placement files (*.xml);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    auto *panel = static_cast<DifferencesPanel *>(m_differencesDock->widget());
    if (!panel->compareWith(path, &error)) {
        QMessageBox::warning(this, tr("Compare failed"), error);
        return;
    }
    m_differencesDock->show();
    m_differencesDock->raise();
}

QMenu *MainWindow::createHelpMenu()
{
    auto *menu = new QMenu(tr("Help"), menuBar());
    connect(menu->addAction(tr("Keyboard Shortcuts")), &QAction::triggered, this, [this] {
        ShortcutsDialog dialog(commandActions(), this);
        dialog.exec();
    });
    connect(menu->addAction(tr("About Valdrune Structure Placer")), &QAction::triggered, this,
            [this] {
                QMessageBox::about(this, tr("About Valdrune Structure Placer"),
                                   tr("<h3>Valdrune Structure Placer %1</h3>"
                                      "<p>Lays out multi-tile structures on a world map.</p>"
                                      "<p>%2<br>Qt %3 (built with Qt %4)</p>")
                                       .arg(QStringLiteral(VALDRUNE_VERSION), buildLabelText(),
                                            QString::fromLatin1(qVersion()),
                                            QStringLiteral(QT_VERSION_STR)));
            });
    connect(menu->addAction(tr("About Qt")), &QAction::triggered, qApp, &QApplication::aboutQt);
    return menu;
}

QList<QAction *> MainWindow::commandActions() const
{
    // The menus' entries, their submenus' too, then the window's own keys.
    QList<QAction *> actions;
    QList<QAction *> pending = menuBar()->actions();
    while (!pending.isEmpty()) {
        QAction *action = pending.takeFirst();
        if (QMenu *menu = action->menu())
            pending = menu->actions() + pending;
        else if (!action->isSeparator())
            actions << action;
    }
    return actions + this->actions();
}

void MainWindow::addZoomActions()
{
    // Keys of the window rather than menu entries: Ctrl++ (or Ctrl+=, unshifted on most
    // keyboards) and Ctrl+- step the scale around the middle of the map view.
    auto *zoomIn = new QAction(tr("Zoom In"), this);
    zoomIn->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(zoomIn, &QAction::triggered, m_canvasView, &CanvasView::zoomIn);
    auto *zoomOut = new QAction(tr("Zoom Out"), this);
    zoomOut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    connect(zoomOut, &QAction::triggered, m_canvasView, &CanvasView::zoomOut);
    addActions({zoomIn, zoomOut});
}

QList<QKeySequence> MainWindow::redoKeys()
{
    // Ctrl+Y as well, where the platform's own keys for Redo leave it out.
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Redo);
    const QKeySequence ctrlY(Qt::CTRL | Qt::Key_Y);
    if (!keys.contains(ctrlY))
        keys << ctrlY;
    return keys;
}

void MainWindow::fileExit()
{
    // Through the close event, which asks about unsaved changes as every way out does.
    close();
}

void MainWindow::offerRecovery()
{
    RecoveryStore &store = m_autoSaver->store();
    MapDocument *document = m_session->document();
    for (const RecoveryStore::Orphan &orphan : store.orphans()) {
        QString error = orphan.error;
        if (error.isEmpty()) {
            const QString map = orphan.fileName.isEmpty()
                                    ? tr("an unsaved map")
                                    : QDir::toNativeSeparators(orphan.fileName);
            QMessageBox question(QMessageBox::Question, tr("Recover"),
                                 tr("Recover unsaved changes?"), QMessageBox::Yes | QMessageBox::No,
                                 this);
            question.setDefaultButton(QMessageBox::Yes);
            // The name never breaks: the box is as wide as it needs.
            question.setInformativeText(
                tr("The changes to %1 were kept for recovery on %2.")
                    .arg(QStringLiteral("<span style=\"white-space:pre\">%1</span>")
                             .arg(map.toHtmlEscaped()),
                         QLocale().toString(orphan.saved.toLocalTime(), QLocale::ShortFormat)));
            fitToLine(question, map);
            if (question.exec() != QMessageBox::Yes) {
                store.remove(orphan);
                continue;
            }
            if (m_fileCommands->readPlacementFile(orphan.mapPath, &error)) {
                // Saving writes to the map's own file, and this copy's recovery file takes over.
                document->setFileName(orphan.fileName);
                document->markModified();
                store.adopt(orphan);
                return;
            }
            if (error.isEmpty()) // the user cancelled the reading
                continue;
        }
        QMessageBox::warning(this, tr("Recovery failed"),
                             tr("The recovery file %1 could not be read; it is kept.\n%2")
                                 .arg(QDir::toNativeSeparators(orphan.mapPath), error));
    }
}

void MainWindow::fitToLine(QMessageBox &box, const QString &text)
{
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    if (!label)
        return;
    const QFontMetrics metrics = label->fontMetrics();
    int width = metrics.horizontalAdvance(text) + metrics.averageCharWidth();
    if (const QScreen *screen = box.screen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    label->setMinimumWidth(width);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_fileCommands->maybeSave()) {
        saveSettings();
        event->accept();
    } else {
        event->ignore();
    }
}
