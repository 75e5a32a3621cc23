// The library folder as a user meets it: the filter above the "Files" tree, its rows following
// files that come and go, a drag from a row; and what a window brings back from the settings an
// earlier one left.

#include "TestSupport.h"
#include "core/LibraryIndex.h"
#include "core/MapSession.h"
#include "core/RadarColours.h"
#include "editor/CanvasView.h"
#include "editor/DirModel.h"
#include "editor/DirView.h"
#include "editor/FileCommands.h"
#include "editor/LibraryPanel.h"
#include "editor/LibraryResults.h"
#include "editor/MainWindow.h"
#include "editor/RecentMapsMenu.h"

#include <QContextMenuEvent>
#include <QDockWidget>
#include <QDrag>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QtTest>

class TestLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        // The file dialog keeps its own state in Qt's settings: away from the user's.
        QStandardPaths::setTestModeEnabled(true);
        TestSupport::openRadarColours(m_dir, m_colours);
        m_lib = QDir::cleanPath(m_dir.filePath(QStringLiteral("lib")));
        for (const QString name : {"lib/Round-Tower.mlt", "lib/walls/tower-gate.mlt",
                                   "lib/walls/wall.MLT", "lib/walls/tower.txt"})
            TestSupport::writeStructure(m_dir, name, {{7, 0, 0, 0}, {9, 2, 1, 0}});
        m_panel.setRadarColours(&m_colours);
        m_panel.setLibraryFolder(m_lib);
        m_panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_panel));
        QTRY_VERIFY(!m_index.isIndexing());
    }

    // Typed text lists the structure files whose names hold it, in any letter case, with their
    // folders; a drag from a row carries what a drag from the tree would.
    void filter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("rows"); // "name in folder"
        QTest::newRow("any case") << "TOWER"
                                  << QStringList{"Round-Tower.mlt in lib",
                                                 "tower-gate.mlt in lib/walls"};
        QTest::newRow("a dash") << "r-g" << QStringList{"tower-gate.mlt in lib/walls"};
        QTest::newRow("suffix in capitals") << "wall" << QStringList{"wall.MLT in lib/walls"};
        QTest::newRow("none") << "keep" << QStringList();
    }

    void filter()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, rows);
        m_panel.filterField()->clear();
        QTest::keyClicks(m_panel.filterField(), text);
        QCOMPARE(shownRows(), rows);
        QVERIFY(m_panel.results()->isVisible() && !m_panel.tree()->isVisible());
        if (rows.isEmpty())
            return;
        const QString path = m_lib + (rows.first().endsWith("walls") ? "/walls/" : "/") +
                             rows.first().section(' ', 0, 0);
        const std::unique_ptr<QMimeData> tree(
            TestSupport::payloadFor(path, m_colours).toMimeData());
        QCOMPARE(dragFirstRow(), tree->data(StructurePayload::mimeType));
        m_panel.filterField()->clear();
        QVERIFY(m_panel.tree()->isVisible());
    }

    // Files and folders that come and go below the library show in the filter's rows, and the
    // look-up by name follows them.
    void keptCurrent()
    {
        QVERIFY(m_index.matching(QStringLiteral("mlt/tower")).isEmpty()); // across two names
        m_panel.filterField()->clear();
        QTest::keyClicks(m_panel.filterField(), QStringLiteral("gate"));
        const QString deep = m_lib + QStringLiteral("/walls/new/deeper");
        QVERIFY(QDir().mkpath(deep));
        TestSupport::writeStructure(m_dir, "lib/walls/new/deeper/GATE.mlt", {{7, 0, 0, 0}});
        QVERIFY(QFile::remove(m_lib + QStringLiteral("/walls/tower-gate.mlt")));
        QTRY_COMPARE(shownRows(), QStringList{"GATE.mlt in lib/walls/new/deeper"});
        QCOMPARE(m_index.pathsNamed(QStringLiteral("gate.mlt")), QStringList{deep + "/GATE.mlt"});
        QVERIFY(QDir(m_lib + QStringLiteral("/walls/new")).removeRecursively());
        QTRY_COMPARE(shownRows(), QStringList());
        QVERIFY(m_index.pathsNamed(QStringLiteral("GATE.mlt")).isEmpty());
    }

    // A second window in the same settings brings back what the first was left with; a recent map
    // that is gone is taken off the list when chosen, and the status bar says so.
    void settingsRoundTrip()
    {
        QSettings settings(m_dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        const QString terrain = TestSupport::writeTerrain(m_dir, "terrain.png", 40, 30);
        QStringList maps;
        for (const QString name : {"kept.xml", "gone.xml"}) {
            maps.prepend(m_dir.filePath(name)); // newest first, as the menu lists them
            QVERIFY(DemoData::writeFile(maps.first(),
                                        "<Map><Image>" + terrain.toUtf8() + "</Image></Map>"));
        }
        {
            MainWindow first;
            first.setSettings(&settings);
            first.show();
            QVERIFY(QTest::qWaitForWindowExposed(&first));
            // "Use as Library Folder" from the tree's context menu on the folder's row (File > Set
            // Library Folder... is the end-to-end test's).
            DirView *tree = first.dirView();
            tree->revealFolder(m_lib);
            QTRY_VERIFY(tree->visualRect(tree->dirModel()->index(m_lib)).isValid());
            const QPoint row = tree->visualRect(tree->dirModel()->index(m_lib)).center();
            TestSupport::ModalScript script({[](QWidget *menu) {
                menu->actions().first()->trigger();
                menu->close();
            }});
            QContextMenuEvent click(QContextMenuEvent::Mouse, row, tree->mapToGlobal(row));
            QApplication::sendEvent(tree->viewport(), &click);
            QCOMPARE(script.seen, QStringList{"QMenu"});
            menuEntry(first, 3, "Show Grid")->trigger();
            for (auto map = maps.crbegin(); map != maps.crend(); ++map)
                first.fileCommands()->openFile(*map);
            first.canvasView()->setScale(4);
            first.findChild<QDockWidget *>("overviewDock")->hide();
            first.findChild<QDockWidget *>("placementsDock")->show();
            QVERIFY(first.close());
        }
        QVERIFY(QFile::remove(maps.first()));
        MainWindow second;
        second.setSettings(&settings);
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&second));
        QCOMPARE(second.canvasView()->scale(), 4);
        QVERIFY(menuEntry(second, 3, "Show Grid")->isChecked());
        QVERIFY(!second.findChild<QDockWidget *>("overviewDock")->isVisible());
        QVERIFY(second.findChild<QDockWidget *>("placementsDock")->isVisible());
        QCOMPARE(second.libraryIndex()->root(), m_lib);
        QCOMPARE(second.dirView()->rootIndex(), second.dirView()->dirModel()->index(m_lib));
        RecentMapsMenu *recent = second.recentMapsMenu();
        QCOMPARE(recent->maps(), maps);
        QCOMPARE(recent->actions().first()->statusTip(), QDir::toNativeSeparators(maps.first()));
        recent->actions().first()->trigger();
        QCOMPARE(recent->maps(), maps.mid(1));
        QVERIFY(second.statusBar()->currentMessage().contains("gone.xml"));
        QVERIFY(!second.session()->document()->isOpen());
    }

private:
    // The filter's rows, "name in folder".
    QStringList shownRows() const
    {
        QStringList rows;
        const QAbstractItemModel *model = m_panel.results()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->index(row, 0).data().toString() + " in " +
                        model->index(row, 1).data().toString();
        return rows;
    }

    // Presses on the filter's first row and moves along it until a drag starts; its payload.
    QByteArray dragFirstRow()
    {
        LibraryResults *results = m_panel.results();
        const QPoint press = results->visualRect(results->model()->index(0, 0)).center();
        QTest::mousePress(results->viewport(), Qt::LeftButton, Qt::NoModifier, press);
        const QPoint move = press + QPoint(QApplication::startDragDistance(), 0);
        QTest::mouseMove(results->viewport(), move);
        QByteArray payload;
        // The offscreen platform ends each drag at once, leaving it to be deleted later.
        for (QDrag *drag : results->findChildren<QDrag *>(Qt::FindDirectChildrenOnly)) {
            payload = drag->mimeData()->data(StructurePayload::mimeType);
            delete drag;
        }
        QTest::mouseRelease(results->viewport(), Qt::LeftButton, Qt::NoModifier, move);
        return payload;
    }

    static QAction *menuEntry(MainWindow &window, int menu, const QString &text)
    {
        for (QAction *action : window.menuBar()->actions().at(menu)->menu()->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }

    QTemporaryDir m_dir;
    RadarColours m_colours;
    QString m_lib;
    LibraryIndex m_index;
    LibraryPanel m_panel{&m_index};
};

QTEST_MAIN(TestLibrary)
#include "tst_library.moc"
