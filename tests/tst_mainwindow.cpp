// The main window as it opens: title, build label, the library dock, the menus and what
// their entries do to the map view, and File > Exit.

#include "TestSupport.h"
#include "app/MainWindow.h"
#include "canvas/CanvasItem.h"
#include "canvas/CanvasView.h"
#include "library/DirView.h"
#include "library/StructurePayload.h"
#include "library/StructurePreview.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QGraphicsScene>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

using TestSupport::ModalScript;

ModalScript::Answer saveAs(const QString &path)
{
    return [path](QWidget *modal) {
        // Typed into the name field, which selecting a file leaves alone while it has focus.
        if (auto *edit = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        TestSupport::acceptFileDialog(modal, path);
    };
}

QStringList entryTexts(const QList<QAction *> &actions)
{
    QStringList texts;
    for (const QAction *action : actions)
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

QMenu *menuTitled(const MainWindow &window, const QString &title)
{
    for (QAction *action : window.menuBar()->actions()) {
        if (action->text() == title)
            return action->menu();
    }
    return nullptr;
}

// Drops a structure at a viewport position of the map view, as the library tree's drag does.
void dropStructure(CanvasView &view, const StructurePayload &payload, QPoint pos)
{
    const std::unique_ptr<QMimeData> data(payload.toMimeData());
    QDragEnterEvent enter(pos, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drop);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void titleAndBuildLabel();
    void filesDockOnTheRight();
    void menuBar();
    void fileMenuEntries();
    void scaleMenuAtStart();
    void scaleEntry_data();
    void scaleEntry();
    void scalingKeepsItemsInPlace();
    void viewMenuHidesAndShowsTheDock();
    void exit_data();
    void exit();

private:
    QTemporaryDir m_dir;
    QString m_terrain;
    StructurePayload m_tower;
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QApplication::setQuitOnLastWindowClosed(false);
    TestSupport::openRadarColours(m_dir);
    m_terrain = TestSupport::writeTerrain(m_dir, QStringLiteral("terrain.png"), 160, 120);
    const QList<DemoData::Tile> tiles = {{300, 0, 0, 0}, {301, 1, 0, 0}, {302, 1, 1, 0}};
    m_tower.path = TestSupport::writeStructure(m_dir, QStringLiteral("tower.mlt"), tiles);
    QVERIFY(renderStructurePreview(m_tower.path, m_tower.image, m_tower.offset, m_tower.region));
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
    if (m_window)
        m_window->canvasView->modified = false; // nothing left to ask about
    m_window.reset();
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainWindow::titleAndBuildLabel()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Valdrune Structure Placer"));

    const QRegularExpression build(
        QStringLiteral("^Build: [A-Z][a-z]{2} [ 0-9]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    QLabel *label = nullptr;
    for (QLabel *candidate : m_window->statusBar()->findChildren<QLabel *>()) {
        if (candidate->text().startsWith(QLatin1String("Build")))
            label = candidate;
    }
    QVERIFY(label);
    QVERIFY2(build.match(label->text()).hasMatch(), qPrintable(label->text()));
    QVERIFY(label->isVisible());
    // A permanent widget stays in view while the status bar shows a message.
    m_window->statusBar()->showMessage(QStringLiteral("Loading"));
    QVERIFY(label->isVisible());
    QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("Loading"));
}

void TestMainWindow::filesDockOnTheRight()
{
    QDockWidget *dock = m_window->filesDock;
    QVERIFY(dock);
    QCOMPARE(dock->windowTitle(), QStringLiteral("Files"));
    QCOMPARE(m_window->dockWidgetArea(dock), Qt::RightDockWidgetArea);
    QVERIFY(qobject_cast<DirView *>(dock->widget()));
    QCOMPARE(m_window->dirView(), dock->widget());
    QVERIFY(dock->isVisible());
    QCOMPARE(m_window->centralWidget(), m_window->canvasView);
}

void TestMainWindow::menuBar()
{
    QCOMPARE(
        entryTexts(m_window->menuBar()->actions()),
        (QStringList{QStringLiteral("File"), QStringLiteral("Scale"), QStringLiteral("View")}));
}

void TestMainWindow::fileMenuEntries()
{
    QMenu *file = menuTitled(*m_window, QStringLiteral("File"));
    QVERIFY(file);
    const QList<QAction *> actions = file->actions();
    QCOMPARE(entryTexts(actions), (QStringList{"New", "Open", "Close", "-", "Save", "-", "Exit"}));
    QCOMPARE(actions[0], m_window->actionNew);
    QCOMPARE(actions[1], m_window->actionOpen);
    QCOMPARE(actions[2], m_window->actionClose);
    QCOMPARE(actions[4], m_window->actionSave);
    QCOMPARE(actions[6], m_window->actionExit);
    for (const QAction *action : actions) {
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(!action->isCheckable());
        QVERIFY(action->isEnabled());
    }
}

void TestMainWindow::scaleMenuAtStart()
{
    QMenu *scale = menuTitled(*m_window, QStringLiteral("Scale"));
    QVERIFY(scale);
    const QList<QAction *> actions = scale->actions();
    QCOMPARE(entryTexts(actions), (QStringList{"1", "2", "3", "4", "5", "6"}));
    QActionGroup *group = actions.first()->actionGroup();
    QVERIFY(group);
    QVERIFY(group->isExclusive());
    for (const QAction *action : actions) {
        QCOMPARE(action->actionGroup(), group);
        QVERIFY(action->isCheckable());
        QCOMPARE(action->isChecked(), action->text() == QLatin1String("1"));
    }
    QCOMPARE(m_window->canvasView->scale(), 1);
    QVERIFY(m_window->canvasView->transform().isIdentity());
}

void TestMainWindow::scaleEntry_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");

    QTest::newRow("1 to 4") << 1 << 4;
    QTest::newRow("1 to 6") << 1 << 6;
    QTest::newRow("3 to 2") << 3 << 2;
    QTest::newRow("5 to 1") << 5 << 1;
    QTest::newRow("4 again") << 4 << 4;
}

void TestMainWindow::scaleEntry()
{
    QFETCH(int, from);
    QFETCH(int, to);

    const QList<QAction *> actions = menuTitled(*m_window, QStringLiteral("Scale"))->actions();
    actions[from - 1]->trigger();
    QCOMPARE(m_window->canvasView->scale(), from);

    QSignalSpy mapped(&m_window->scaleMapper, &QSignalMapper::mappedInt);
    actions[to - 1]->trigger();
    QCOMPARE(mapped.size(), 1);
    QCOMPARE(mapped.first().first().toInt(), to);
    for (const QAction *action : actions)
        QCOMPARE(action->isChecked(), action->text() == QString::number(to));
    QCOMPARE(m_window->canvasView->scale(), to);
    QCOMPARE(m_window->canvasView->transform(), QTransform::fromScale(to, to));
}

void TestMainWindow::scalingKeepsItemsInPlace()
{
    CanvasView &view = *m_window->canvasView;
    const QList<QAction *> actions = menuTitled(*m_window, QStringLiteral("Scale"))->actions();
    actions[2]->trigger();
    // The scale chosen before a map exists applies to it.
    view.newCanvas(m_terrain);
    QCOMPARE(view.scale(), 3);
    dropStructure(view, m_tower, QPoint(30, 45));
    QCOMPARE(view.canvas->items().size(), 1);
    QGraphicsItem *item = view.canvas->items().first();
    QCOMPARE(item->pos(), QPointF(10, 15));
    for (const int n : {6, 1, 6, 2}) {
        actions[n - 1]->trigger();
        QCOMPARE(item->pos(), QPointF(10, 15));
        QCOMPARE(view.mapFromScene(item->pos()), QPoint(10 * n, 15 * n));
    }
}

void TestMainWindow::viewMenuHidesAndShowsTheDock()
{
    QMenu *viewMenu = menuTitled(*m_window, QStringLiteral("View"));
    QVERIFY(viewMenu);
    QCOMPARE(viewMenu->actions().size(), 1);
    QAction *files = viewMenu->actions().first();
    QCOMPARE(files, m_window->filesDock->toggleViewAction());
    QCOMPARE(files->text(), QStringLiteral("Files"));
    QVERIFY(files->isCheckable());
    QVERIFY(files->isChecked());

    files->trigger();
    QVERIFY(!m_window->filesDock->isVisible());
    QVERIFY(!files->isChecked());
    files->trigger();
    QVERIFY(m_window->filesDock->isVisible());
    QVERIFY(files->isChecked());
    QCOMPARE(m_window->dockWidgetArea(m_window->filesDock), Qt::RightDockWidgetArea);

    // The dock's own close button keeps the entry in step.
    m_window->filesDock->close();
    QVERIFY(!files->isChecked());
    files->trigger();
    QVERIFY(m_window->filesDock->isVisible());
}

void TestMainWindow::exit_data()
{
    QTest::addColumn<QString>("state");  // "none", "unchanged", "unsaved", "unsaved, named"
    QTest::addColumn<QString>("answer"); // Save as: empty to cancel, else a file name
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<bool>("closed");

    const QStringList dialog{QStringLiteral("QFileDialog")};
    QTest::newRow("no map") << "none" << QString() << QStringList() << true;
    QTest::newRow("nothing unsaved") << "unchanged" << QString() << QStringList() << true;
    QTest::newRow("unsaved, Save as cancelled") << "unsaved" << QString() << dialog << false;
    QTest::newRow("unsaved, name chosen") << "unsaved"
                                          << "exit.xml" << dialog << true;
    QTest::newRow("unsaved, named: saved without a question")
        << "unsaved, named" << QString() << QStringList() << true;
}

void TestMainWindow::exit()
{
    QFETCH(QString, state);
    QFETCH(QString, answer);
    QFETCH(QStringList, seen);
    QFETCH(bool, closed);

    CanvasView &view = *m_window->canvasView;
    const QString named = m_dir.filePath(QStringLiteral("named.xml"));
    QFile::remove(named);
    if (state != QLatin1String("none"))
        view.newCanvas(m_terrain);
    if (state.startsWith(QLatin1String("unsaved")))
        dropStructure(view, m_tower, QPoint(20, 20));
    if (state == QLatin1String("unsaved, named"))
        view.documentFile = named;
    QCOMPARE(view.modified, state.startsWith(QLatin1String("unsaved")));

    const QString target = m_dir.filePath(answer);
    ModalScript script(answer.isEmpty() ? QList<ModalScript::Answer>{}
                                        : QList<ModalScript::Answer>{saveAs(target)});
    m_window->actionExit->trigger();
    QCOMPARE(script.seen, seen);
    QCOMPARE(m_window->isVisible(), !closed);
    if (!closed) {
        QVERIFY(view.modified);
        QVERIFY(view.documentFile.isEmpty());
        QCOMPARE(view.canvas->items().size(), 1);
    }
    if (!answer.isEmpty())
        QVERIFY(QFile::exists(target));
    QCOMPARE(QFile::exists(named), state == QLatin1String("unsaved, named"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
