// The main window's menus and their keys, and what the Edit menu does. What the File menu's
// entries do is tested with the File commands; the Scale menu, in the end-to-end test.

#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/RadarColours.h"
#include "canvas/Canvas.h"
#include "canvas/CanvasView.h"
#include "document/MapDocument.h"
#include "library/StructurePayload.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>

#include <algorithm>
#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        m_terrain = TestSupport::writeTerrain(m_dir, "terrain.png", 160, 120);
        const QList<DemoData::Tile> tiles = {{300, 0, 0, 0}, {301, 1, 0, 0}, {302, 1, 1, 0}};
        m_tower = TestSupport::payloadFor(TestSupport::writeStructure(m_dir, "tower.mlt", tiles),
                                          RadarColours());
    }

    void init()
    {
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window->canvasView()->document()->undoStack()->setClean(); // nothing left to ask about
        m_window.reset();
    }

    // One line per menu: its title, then its entries, "-" for a separator, "[ ]" or "[x]" after
    // a checkable one and "(off)" after a disabled one; and the platform's keys for each command.
    void menus()
    {
        QStringList lines;
        for (const QAction *menu : m_window->menuBar()->actions()) {
            lines << menu->text() + ':';
            for (const QAction *action : menu->menu()->actions())
                lines.last() += ' ' + (action->isSeparator() ? "-" : action->text()) +
                                (!action->isCheckable() ? ""
                                 : action->isChecked()  ? "[x]"
                                                        : "[ ]") +
                                (action->isEnabled() ? "" : "(off)");
        }
        QCOMPARE(lines, (QStringList{"File: New Open Close - Save Save As... - Exit",
                                     "Edit: Undo(off) Redo(off) - Delete(off)",
                                     "Scale: 1[x] 2[ ] 3[ ] 4[ ] 5[ ] 6[ ]", "View: Files[x]"}));
        const QList<QKeySequence::StandardKey> keys = {
            QKeySequence::New,  QKeySequence::Open,   QKeySequence::Close,
            QKeySequence::Save, QKeySequence::SaveAs, QKeySequence::Quit,
            QKeySequence::Undo, QKeySequence::Redo,   QKeySequence::Delete};
        const QList<QAction *> entries = entriesOf(0) + entriesOf(1);
        for (int i = 0; i < keys.size(); ++i) // the platform's own, else the usual ones
            QVERIFY(entries[i]->shortcuts() == MainWindow::commandKeys(keys[i]) &&
                    !entries[i]->shortcuts().isEmpty());
        // The title, and the build as the compiler dates it, in the status bar.
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Valdrune Structure Placer"));
        const QRegularExpression build(
            "^Build: [A-Z][a-z]{2} [ 0-9]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$");
        const QList<QLabel *> labels = m_window->statusBar()->findChildren<QLabel *>();
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(),
                            [&](const QLabel *l) { return build.match(l->text()).hasMatch(); }));
    }

    // Undo names the step it takes back; Delete acts on the selection and is on only while there
    // is one. (The end-to-end test presses the keys of all three.)
    void editMenu()
    {
        CanvasView &view = *m_window->canvasView();
        const QList<QAction *> edit = entriesOf(1);
        view.newCanvas(m_terrain);
        TestSupport::dragIn(view, m_tower, QPoint(30, 40));
        TestSupport::dragIn(view, m_tower, QPoint(60, 40));
        QVERIFY(!edit[2]->isEnabled());
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(31, 41));
        QVERIFY(edit[2]->isEnabled());
        QTest::keyClick(m_window.get(), Qt::Key_Delete);
        QCOMPARE(view.document()->placements().size(), 1);
        QVERIFY(!edit[2]->isEnabled());
        QCOMPARE(edit[0]->text(), QStringLiteral("Undo Delete"));
    }

private:
    QList<QAction *> entriesOf(int menu) const
    {
        QList<QAction *> entries = m_window->menuBar()->actions().at(menu)->menu()->actions();
        entries.removeIf([](const QAction *action) { return action->isSeparator(); });
        return entries;
    }

    QTemporaryDir m_dir;
    QString m_terrain;
    StructurePayload m_tower;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
