// The main window as it opens: title, build label, the library dock, the menus, and what the
// Scale and View menus do. What the File menu's entries do is tested with the File commands.

#include "TestSupport.h"
#include "app/MainWindow.h"
#include "canvas/Canvas.h"
#include "canvas/CanvasItem.h"
#include "canvas/CanvasView.h"
#include "library/DirView.h"
#include "library/StructurePayload.h"
#include "library/StructurePreview.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QGraphicsItem>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace {

// One line per menu: its title, then its entries, "-" for a separator, "[ ]" or "[x]" after
// a checkable one, its shortcut in brackets and "(off)" after a disabled one.
QStringList describeMenus(const QMenuBar &bar)
{
    QStringList lines;
    for (const QAction *menu : bar.actions()) {
        QString line = menu->text() + ':';
        for (const QAction *action : menu->menu()->actions()) {
            line += ' ' + (action->isSeparator() ? QStringLiteral("-") : action->text());
            if (action->isCheckable())
                line += action->isChecked() ? "[x]" : "[ ]";
            if (!action->shortcut().isEmpty())
                line += '(' + action->shortcut().toString() + ')';
            if (!action->isEnabled())
                line += "(off)";
        }
        lines << line;
    }
    return lines;
}

QList<QAction *> menuEntries(const MainWindow &window, int menu)
{
    QList<QAction *> entries = window.menuBar()->actions().at(menu)->menu()->actions();
    entries.removeIf([](const QAction *action) { return action->isSeparator(); });
    return entries;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout();
    void scaleMenu();
    void viewMenuHidesAndShowsTheDock();

private:
    QTemporaryDir m_dir;
    RadarColours m_colours;
    QString m_terrain;
    StructurePayload m_tower;
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QApplication::setQuitOnLastWindowClosed(false);
    TestSupport::openRadarColours(m_dir, m_colours);
    m_terrain = TestSupport::writeTerrain(m_dir, "terrain.png", 160, 120);
    const QList<DemoData::Tile> tiles = {{300, 0, 0, 0}, {301, 1, 0, 0}, {302, 1, 1, 0}};
    m_tower.path = TestSupport::writeStructure(m_dir, "tower.mlt", tiles);
    QVERIFY(renderStructurePreview(m_tower.path, m_colours, m_tower.image, m_tower.offset,
                                   m_tower.region));
}

void TestMainWindow::init()
{
    m_window = std::make_unique<MainWindow>();
    m_window->resize(800, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestMainWindow::cleanup()
{
    m_window->canvasView->modified = false; // nothing left to ask about
    m_window.reset();
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainWindow::layout()
{
    MainWindow &window = *m_window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Valdrune Structure Placer"));
    QCOMPARE(window.centralWidget(), window.canvasView);
    QCOMPARE(window.filesDock->windowTitle(), QStringLiteral("Files"));
    QCOMPARE(window.dockWidgetArea(window.filesDock), Qt::RightDockWidgetArea);
    QVERIFY(window.filesDock->isVisible());
    QVERIFY(qobject_cast<DirView *>(window.filesDock->widget()));
    QCOMPARE(window.dirView(), window.filesDock->widget());

    QCOMPARE(describeMenus(*window.menuBar()),
             (QStringList{"File: New Open Close - Save - Exit",
                          "Scale: 1[x] 2[ ] 3[ ] 4[ ] 5[ ] 6[ ]", "View: Files[x]"}));
    QCOMPARE(menuEntries(window, 0),
             (QList<QAction *>{window.actionNew, window.actionOpen, window.actionClose,
                               window.actionSave, window.actionExit}));

    // The build, as the compiler dates it, stays in view while the status bar shows a message.
    QLabel *label = nullptr;
    for (QLabel *candidate : window.statusBar()->findChildren<QLabel *>()) {
        if (candidate->text().startsWith("Build"))
            label = candidate;
    }
    QVERIFY(label);
    const QRegularExpression build("^Build: [A-Z][a-z]{2} [ 0-9]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$");
    QVERIFY2(build.match(label->text()).hasMatch(), qPrintable(label->text()));
    window.statusBar()->showMessage("Loading");
    QVERIFY(label->isVisible());
}

void TestMainWindow::scaleMenu()
{
    CanvasView &view = *m_window->canvasView;
    QCOMPARE(view.scale(), 1);
    const QList<QAction *> entries = menuEntries(*m_window, 1);
    entries[2]->trigger();
    // The scale chosen before a map exists applies to it.
    view.newCanvas(m_terrain);
    QCOMPARE(view.scale(), 3);
    const std::unique_ptr<QMimeData> data(m_tower.toMimeData());
    QDragEnterEvent enter(QPoint(30, 45), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(view.viewport(), &enter);
    QDropEvent drop(QPointF(30, 45), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(view.viewport(), &drop);
    QCOMPARE(view.canvas->allItems().size(), 1);
    const CanvasItem *item = view.canvas->allItems().first();

    // Up, down, to 1 and to the scale already chosen: only the chosen entry is checked, and
    // the structure stays where it lies on the map.
    for (const int n : {6, 1, 4, 4, 2}) {
        entries[n - 1]->trigger();
        for (const QAction *entry : entries)
            QCOMPARE(entry->isChecked(), entry == entries[n - 1]);
        QCOMPARE(view.scale(), n);
        QCOMPARE(view.transform(), QTransform::fromScale(n, n));
        QCOMPARE(item->pos(), QPointF(10, 15));
        QCOMPARE(view.mapFromScene(item->pos()), QPoint(10 * n, 15 * n));
    }
}

void TestMainWindow::viewMenuHidesAndShowsTheDock()
{
    QDockWidget *dock = m_window->filesDock;
    QAction *files = menuEntries(*m_window, 2).first();
    files->trigger();
    QVERIFY(!dock->isVisible());
    QVERIFY(!files->isChecked());
    files->trigger();
    QVERIFY(dock->isVisible());
    QVERIFY(files->isChecked());
    QCOMPARE(m_window->dockWidgetArea(dock), Qt::RightDockWidgetArea);

    // The dock's own close button keeps the entry in step.
    dock->close();
    QVERIFY(!files->isChecked());
    files->trigger();
    QVERIFY(dock->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
