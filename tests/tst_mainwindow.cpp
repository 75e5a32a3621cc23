// The main window as it opens: title, build label, the library dock, the menus and their keys,
// and what the Edit and Scale menus do. What the File menu's entries do is tested with the
// File commands.

#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/RadarColours.h"
#include "canvas/Canvas.h"
#include "canvas/CanvasItem.h"
#include "canvas/CanvasView.h"
#include "document/MapDocument.h"
#include "library/DirView.h"
#include "library/StructurePayload.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace {

// One line per menu: its title, then its entries, "-" for a separator, "[ ]" or "[x]" after
// a checkable one and "(off)" after a disabled one.
QStringList describeMenus(const QMenuBar &bar)
{
    QStringList lines;
    for (const QAction *menu : bar.actions()) {
        QString line = menu->text() + ':';
        for (const QAction *action : menu->menu()->actions()) {
            line += ' ' + (action->isSeparator() ? QStringLiteral("-") : action->text());
            if (action->isCheckable())
                line += action->isChecked() ? "[x]" : "[ ]";
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
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
        m_terrain = TestSupport::writeTerrain(m_dir, "terrain.png", 160, 120);
        const QList<DemoData::Tile> tiles = {{300, 0, 0, 0}, {301, 1, 0, 0}, {302, 1, 1, 0}};
        m_tower = TestSupport::payloadFor(TestSupport::writeStructure(m_dir, "tower.mlt", tiles),
                                          RadarColours());
    }

    void init()
    {
        m_window = std::make_unique<MainWindow>();
        m_window->resize(800, 600);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        // Nothing left to ask about.
        m_window->canvasView()->document()->undoStack()->setClean();
        m_window.reset();
        QVERIFY(!QApplication::activeModalWidget());
    }

    void layout()
    {
        MainWindow &window = *m_window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Valdrune Structure Placer"));
        QCOMPARE(window.centralWidget(), window.canvasView());
        auto *dock = window.findChild<QDockWidget *>("filesDock");
        QCOMPARE(dock->windowTitle(), QStringLiteral("Files"));
        QCOMPARE(window.dockWidgetArea(dock), Qt::RightDockWidgetArea);
        QVERIFY(dock->isVisible());
        QCOMPARE(window.dirView(), dock->widget());

        QCOMPARE(describeMenus(*window.menuBar()),
                 (QStringList{"File: New Open Close - Save Save As... - Exit",
                              "Edit: Undo(off) Redo(off) - Delete(off)",
                              "Scale: 1[x] 2[ ] 3[ ] 4[ ] 5[ ] 6[ ]", "View: Files[x]"}));
        // The platform's keys for each command.
        const QList<QKeySequence::StandardKey> keys = {
            QKeySequence::New,  QKeySequence::Open,   QKeySequence::Close,
            QKeySequence::Save, QKeySequence::SaveAs, QKeySequence::Quit,
            QKeySequence::Undo, QKeySequence::Redo,   QKeySequence::Delete};
        QList<QAction *> entries = menuEntries(window, 0) + menuEntries(window, 1);
        for (int i = 0; i < keys.size(); ++i) {
            const QList<QKeySequence> own = QKeySequence::keyBindings(keys[i]);
            QCOMPARE(entries[i]->shortcuts(),
                     own.isEmpty() ? MainWindow::commandKeys(keys[i]) : own);
            QVERIFY(!entries[i]->shortcuts().isEmpty());
        }

        // The build, as the compiler dates it, stays in view while the status bar shows a
        // message.
        QLabel *label = nullptr;
        for (QLabel *candidate : window.statusBar()->findChildren<QLabel *>()) {
            if (candidate->text().startsWith("Build"))
                label = candidate;
        }
        QVERIFY(label);
        const QRegularExpression build(
            "^Build: [A-Z][a-z]{2} [ 0-9]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$");
        QVERIFY2(build.match(label->text()).hasMatch(), qPrintable(label->text()));
        window.statusBar()->showMessage("Loading");
        QVERIFY(label->isVisible());
    }

    // Undo and Redo name the step they take back or do again; Delete acts on the selection and
    // is on only while there is one. All three work from their keys.
    void editMenu()
    {
        CanvasView &view = *m_window->canvasView();
        const QList<QAction *> edit = menuEntries(*m_window, 1);
        view.newCanvas(m_terrain);
        TestSupport::dragIn(view, m_tower, QPoint(30, 40));
        TestSupport::dragIn(view, m_tower, QPoint(60, 40));
        QCOMPARE(edit[0]->text(), QStringLiteral("Undo Place"));
        QVERIFY(edit[0]->isEnabled() && !edit[1]->isEnabled() && !edit[2]->isEnabled());

        QTest::keySequence(m_window.get(), QKeySequence::Undo);
        QCOMPARE(view.canvas()->allItems().size(), 1);
        QCOMPARE(edit[1]->text(), QStringLiteral("Redo Place"));
        QTest::keySequence(m_window.get(), QKeySequence::Redo);
        QCOMPARE(view.canvas()->allItems().size(), 2);

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(31, 41));
        QVERIFY(edit[2]->isEnabled());
        QTest::keyClick(m_window.get(), Qt::Key_Delete);
        QCOMPARE(view.document()->content().placements.size(), 1);
        QCOMPARE(view.document()->placements().first()->position, QPointF(60, 40));
        QVERIFY(!edit[2]->isEnabled());
        QCOMPARE(edit[0]->text(), QStringLiteral("Undo Delete"));
        edit[0]->trigger();
        QCOMPARE(view.document()->placements().first()->position, QPointF(30, 40));
        QVERIFY(!edit[2]->isEnabled());

        // A new map starts a new history.
        view.newCanvas(m_terrain);
        QVERIFY(!edit[0]->isEnabled() && !edit[1]->isEnabled());
    }

    void scaleMenu()
    {
        CanvasView &view = *m_window->canvasView();
        QCOMPARE(view.scale(), 1);
        const QList<QAction *> entries = menuEntries(*m_window, 2);
        entries[2]->trigger();
        // The scale chosen before a map exists applies to it.
        view.newCanvas(m_terrain);
        QCOMPARE(view.scale(), 3);
        TestSupport::dragIn(view, m_tower, QPoint(30, 45));
        QCOMPARE(view.canvas()->allItems().size(), 1);
        const CanvasItem *item = view.canvas()->allItems().first();

        // Up, down, to 1 and to the scale already chosen: only the chosen entry is checked,
        // and the structure stays where it lies on the map.
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

private:
    QTemporaryDir m_dir;
    QString m_terrain;
    StructurePayload m_tower;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
