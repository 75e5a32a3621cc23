#include "MainWindow.h"

#include "BuildLabel.h"
#include "Configuration.h"
#include "canvas/CanvasView.h"
#include "library/DirView.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

#include <iostream>

MainWindow::MainWindow(QWidget *parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
    setWindowTitle(QStringLiteral("Valdrune Structure Placer"));

    auto *buildLabel = new QLabel(buildLabelText(), statusBar());
    statusBar()->addPermanentWidget(buildLabel, 0);

    filesDock = new QDockWidget(this);
    filesDock->setObjectName(QStringLiteral("filesDock"));
    filesDock->setWindowTitle(QStringLiteral("Files"));
    auto *tree = new DirView(filesDock);
    tree->setMinimumWidth(260);
    filesDock->setWidget(tree);

    canvasView = new CanvasView(this);
    setCentralWidget(canvasView);

    addDockWidget(Qt::RightDockWidgetArea, filesDock);

    readConfig();
    tree->setRadarColours(&m_radarColours);
    canvasView->setRadarColours(&m_radarColours);

    menuBar()->addMenu(createFileMenu());
    menuBar()->addMenu(createScaleMenu());
    QMenu *viewMenu = new QMenu(QStringLiteral("View"), menuBar());
    viewMenu->addAction(filesDock->toggleViewAction());
    menuBar()->addMenu(viewMenu);

    connect(&scaleMapper, &QSignalMapper::mappedInt, canvasView, &CanvasView::setScale);

    // Start where the user is: the folder the program was started in, inside the whole tree.
    tree->revealFolder(QDir::currentPath());
}

MainWindow::~MainWindow() = default;

DirView *MainWindow::dirView() const
{
    return qobject_cast<DirView *>(filesDock->widget());
}

void MainWindow::readConfig()
{
    const Configuration config =
        Configuration::read(Configuration::pathNextTo(QCoreApplication::applicationDirPath()));
    switch (config.status) {
    case Configuration::CannotOpen:
        std::cout << "Unable to open xml file" << std::endl;
        return;
    case Configuration::NotWellFormed:
        std::cout << "error setting content" << std::endl;
        return;
    case Configuration::Ok:
        break;
    }
    if (config.hasRadarFile)
        m_radarColours.open(config.radarFilePath);
}

QMenu *MainWindow::createFileMenu()
{
    auto *menu = new QMenu(QStringLiteral("File"), this);
    const auto addFileAction = [menu](const QString &text) {
        auto *action = new QAction(text, menu);
        menu->addAction(action);
        return action;
    };
    actionNew = addFileAction(QStringLiteral("New"));
    connect(actionNew, &QAction::triggered, canvasView, &CanvasView::fileNew);
    actionOpen = addFileAction(QStringLiteral("Open"));
    connect(actionOpen, &QAction::triggered, canvasView, &CanvasView::fileOpen);
    actionClose = addFileAction(QStringLiteral("Close"));
    connect(actionClose, &QAction::triggered, canvasView, &CanvasView::fileClose);
    menu->addSeparator();
    actionSave = addFileAction(QStringLiteral("Save"));
    connect(actionSave, &QAction::triggered, canvasView, &CanvasView::fileSave);
    menu->addSeparator();
    actionExit = addFileAction(QStringLiteral("Exit"));
    connect(actionExit, &QAction::triggered, this, &MainWindow::fileExit);
    return menu;
}

QMenu *MainWindow::createScaleMenu()
{
    auto *menu = new QMenu(QStringLiteral("Scale"), menuBar());
    auto *group = new QActionGroup(menu);
    for (int n = 1; n <= 6; ++n) {
        auto *action = new QAction(QString::number(n), group);
        group->addAction(action);
        action->setCheckable(true);
        action->setChecked(n == 1);
        connect(action, &QAction::triggered, &scaleMapper, qOverload<>(&QSignalMapper::map));
        scaleMapper.setMapping(action, n);
    }
    menu->addActions(group->actions());
    return menu;
}

void MainWindow::fileExit()
{
    if (canvasView->fileSave())
        close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (canvasView->maybeSave())
        event->accept();
    else
        event->ignore();
}
