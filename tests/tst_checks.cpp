// Checks and comparisons: maps made for each finding and each difference, run through the
// program's --check and --diff and through the window's Tools menu, its docks and Take Theirs.

#include "TestSupport.h"
#include "core/MapDocument.h"
#include "core/MapSession.h"
#include "core/PlacementFile.h"
#include "core/StructureFile.h"
#include "editor/CanvasView.h"
#include "editor/ChecksPanel.h"
#include "editor/DifferencesPanel.h"
#include "editor/MainWindow.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <algorithm>

namespace {

// The lines a report's table shows, as the command line prints them.
QStringList rowsOf(const QTableView *table)
{
    const QAbstractItemModel *model = table->model();
    QStringList lines;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList texts;
        for (int column = 0; column < model->columnCount(); ++column)
            texts << model->index(row, column).data().toString();
        texts.removeAll(QString());
        const QString kind = texts.takeFirst();
        lines << kind + ": " + texts.join(' ');
    }
    return lines;
}

QAction *toolsEntry(MainWindow &window, const QString &text)
{
    for (QAction *menu : window.menuBar()->actions())
        if (menu->text() == "Tools")
            for (QAction *action : menu->menu()->actions())
                if (action->text() == text)
                    return action;
    return nullptr;
}

bool samePlacements(QList<Placement> a, QList<Placement> b)
{
    const auto order = [](const Placement &x, const Placement &y) {
        return std::tuple(x.structurePath, x.position.x(), x.position.y(), x.invisible) <
               std::tuple(y.structurePath, y.position.x(), y.position.y(), y.invisible);
    };
    std::sort(a.begin(), a.end(), order);
    std::sort(b.begin(), b.end(), order);
    return a == b;
}

} // namespace

class TestChecks : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_terrain;

    // A map from "name x,y" words ("!" after the position: flagged invisible) on a 64 x 64
    // terrain: ell (3 x 3, only its top row and left column opaque), block (2 x 2), bar
    // (100 x 1) and gone (no file).
    QString writeMap(const QString &name, const QString &words)
    {
        const QStringList list = words.split(' ', Qt::SkipEmptyParts);
        PlacementDocument map{m_terrain, {}};
        for (int i = 0; i + 1 < list.size(); i += 2) {
            Placement placement;
            placement.structurePath = m_dir.filePath(list[i] + ".mlt");
            StructureFile structure;
            structure.load(placement.structurePath);
            placement.offset = structure.offset();
            placement.region = structure.isEmpty() ? QRect(0, 0, 3, 3) : structure.region();
            QString at = list[i + 1];
            placement.invisible = at.endsWith('!');
            at.remove('!');
            placement.position = QPointF(at.section(',', 0, 0).toInt(), at.section(',', 1).toInt());
            map.placements << placement;
        }
        const QString path = m_dir.filePath(name);
        DemoData::writeFile(path, *PlacementFile::write(map));
        return path;
    }

    // The program's exit code and standard output lines.
    std::pair<int, QStringList> run(const QStringList &arguments)
    {
        QProcess program;
        program.start(VALDRUNE_PROGRAM, arguments);
        program.waitForFinished(60000);
        return {program.exitCode(),
                QString::fromUtf8(program.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)};
    }

    static bool activate(MainWindow &window)
    {
        window.resize(1000, 700);
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        qputenv("XDG_DATA_HOME", m_dir.filePath("data").toUtf8()); // recovery files
        m_terrain = TestSupport::writeTerrain(m_dir, "terrain.png", 64, 64);
        const auto cells = [](QList<QPoint> points) {
            QList<DemoData::Tile> tiles;
            for (const QPoint &p : points)
                tiles << DemoData::Tile{1, qint16(p.x()), qint16(p.y()), 0};
            return tiles;
        };
        TestSupport::writeStructure(m_dir, "ell.mlt",
                                    cells({{0, 0}, {1, 0}, {2, 0}, {0, 1}, {0, 2}}));
        TestSupport::writeStructure(m_dir, "block.mlt", cells({{0, 0}, {1, 0}, {0, 1}, {1, 1}}));
        QList<QPoint> bar;
        for (int x = 0; x < 100; ++x)
            bar << QPoint(x, 0);
        TestSupport::writeStructure(m_dir, "bar.mlt", cells(bar));
    }

    void check_data()
    {
        QTest::addColumn<QString>("map");
        QTest::addColumn<QStringList>("findings");
        QTest::newRow("overlap by one opaque cell")
            << "ell 10,10 block 12,9"
            << QStringList{"overlap: ell.mlt at 10,10 and block.mlt at 12,9 share 1 cell"};
        QTest::newRow("boxes meeting in transparent cells")
            << "ell 30,30 block 31,31" << QStringList();
        QTest::newRow("stacked copies, one overlapping another placement")
            << "block 40,40 block 41,41 block 40,40"
            << QStringList{"overlap: block.mlt at 40,40 and block.mlt at 41,41 share 1 cell",
                           "stacked: block.mlt at 40,40 and block.mlt at 40,40"};
        QTest::newRow("off the terrain by one cell")
            << "ell 20,62"
            << QStringList{"off-terrain: ell.mlt at 20,62 has 1 of 5 cells off the terrain"};
        QTest::newRow("a structure wider than 64 cells")
            << "bar -30,5 block 50,4"
            << QStringList{"overlap: bar.mlt at -30,5 and block.mlt at 50,4 share 2 cells",
                           "off-terrain: bar.mlt at -30,5 has 36 of 100 cells off the terrain"};
        QTest::newRow("missing file") << "gone 5,50" << QStringList{"missing: gone.mlt at 5,50"};
    }

    void check()
    {
        QFETCH(QString, map);
        QFETCH(QStringList, findings);
        const QString path = writeMap("check.xml", map);
        QCOMPARE(run({"--check", path}), std::pair(findings.isEmpty() ? 0 : 1, findings));

        MainWindow window;
        QVERIFY(window.session()->openFile(path));
        QVERIFY(activate(window));
        QTest::keyClick(&window, Qt::Key_F7);
        auto *panel = window.findChild<ChecksPanel *>();
        QVERIFY(panel->isVisible());
        QTRY_VERIFY(!panel->isChecking());
        QCOMPARE(rowsOf(panel->table()), findings);
        if (findings.isEmpty())
            return;
        // A click on a finding selects its placements; an edit checks the map again.
        const QRect first = panel->table()->visualRect(panel->table()->model()->index(0, 1));
        QTest::mouseClick(panel->table()->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(window.session()->selection()->size(), findings.first().count(" at "));
        window.session()->document()->remove(window.session()->selection()->placements());
        QTRY_VERIFY(!panel->isChecking());
        QCOMPARE(rowsOf(panel->table()), QStringList());
    }

    void compare_data()
    {
        QTest::addColumn<QString>("ours");
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<QStringList>("differences");
        QTest::newRow("an addition, a removal and a move")
            << "block 1,1 ell 10,10 block 30,30"
            << "block 1,1 block 34,30 bar 0,40"
            << QStringList{"removed: ell.mlt at 10,10", "added: bar.mlt at 0,40",
                           "moved: block.mlt from 30,30 to 34,30"};
        QTest::newRow("moves paired nearest first")
            << "block 0,0 block 20,0"
            << "block 21,0 block 1,0"
            << QStringList{"moved: block.mlt from 0,0 to 1,0",
                           "moved: block.mlt from 20,0 to 21,0"};
        QTest::newRow("a flag") << "block 5,5 ell 5,5!"
                                << "block 5,5! ell 5,5!"
                                << QStringList{"changed: block.mlt at 5,5 now invisible"};
        QTest::newRow("a stacked copy taken away")
            << "block 5,5 block 5,5!"
            << "block 5,5!" << QStringList{"removed: block.mlt at 5,5"};
        QTest::newRow("the same placements in another order")
            << "block 1,1 ell 2,2 block 1,1!"
            << "ell 2,2 block 1,1! block 1,1" << QStringList();
    }

    void compare()
    {
        QFETCH(QString, ours);
        QFETCH(QString, theirs);
        QFETCH(QStringList, differences);
        const QString oursPath = writeMap("ours.xml", ours);
        const QString theirsPath = writeMap("theirs.xml", theirs);
        const auto placementsIn = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? PlacementFile::read(file)->placements
                                                  : QList<Placement>();
        };
        const QList<Placement> original = placementsIn(oursPath);
        QCOMPARE(run({"--diff", oursPath, theirsPath}),
                 std::pair(differences.isEmpty() ? 0 : 1, differences));

        MainWindow window;
        QVERIFY(window.session()->openFile(oursPath));
        QVERIFY(activate(window));
        {
            TestSupport::ModalScript script(
                {[&](QWidget *dialog) { TestSupport::acceptFileDialog(dialog, theirsPath); }});
            toolsEntry(window, "Compare With File...")->trigger();
        }
        auto *panel = window.findChild<DifferencesPanel *>();
        QVERIFY(panel->isVisible());
        QCOMPARE(rowsOf(panel->table()), differences);
        // Placements only there show faded over the terrain, in their colour (black here).
        CanvasView *view = window.canvasView();
        QTRY_VERIFY(!window.session()->isTerrainLoading());
        const QImage shown = view->viewport()->grab().toImage();
        for (const QString &line : differences.filter("added: ")) {
            const QStringList at = line.section(" at ", 1).split(',');
            const QPoint cell(at[0].toInt(), at[1].toInt());
            const QRgb pixel = shown.pixel(view->mapFromScene(QPointF(cell)));
            QVERIFY(pixel != QImage(m_terrain).pixel(cell) && qGray(pixel) > 0);
        }
        // Every row selected selects the placements here; every row taken is the other file,
        // saved; and one step back is this one.
        QTest::keyClick(panel->table(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(window.session()->selection()->size(),
                 differences.size() - differences.filter("added: ").size());
        QTest::mouseClick(panel->findChild<QPushButton *>("takeTheirsButton"), Qt::LeftButton);
        QCOMPARE(rowsOf(panel->table()), QStringList());
        MapDocument *document = window.session()->document();
        QVERIFY(document->save(oursPath));
        QVERIFY(samePlacements(placementsIn(oursPath), placementsIn(theirsPath)));
        document->undoStack()->undo();
        QVERIFY(samePlacements(document->content().placements, original));
    }

    // A map that cannot be read stops either command with 2.
    void unreadableMaps()
    {
        const QString garbage = TestSupport::writeBytes(m_dir, "not a map", ".xml");
        const QString map = writeMap("fine.xml", "block 1,1");
        QCOMPARE(run({"--check", garbage}).first, 2);
        QCOMPARE(run({"--diff", map, garbage}).first, 2);
        QCOMPARE(run({"--diff", garbage, map}).first, 2);
    }
};

QTEST_MAIN(TestChecks)
#include "tst_checks.moc"
