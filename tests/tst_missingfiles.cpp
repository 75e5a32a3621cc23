// Maps that travel: files named by a map that are not where it says are found below the map's
// folder, the folders above it and the library, drawn from there, and relinked on request as
// one step that undo takes back; the saved bytes change only then.

#include "TestSupport.h"
#include "core/FileFinder.h"
#include "core/MapSession.h"
#include "core/PlacementFile.h"
#include "core/RadarColours.h"
#include "editor/MainWindow.h"

#include <QDirIterator>
#include <QDockWidget>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

class TestMissingFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        QStandardPaths::setTestModeEnabled(true);
        TestSupport::openRadarColours(m_dir, m_colours, 3);
        // maps/world holds the map; its structures lie in folders here and there.
        DemoData::Random random(4);
        const QList<DemoData::Tile> tiles = DemoData::rectangleStructure(3, 2, 0, 0, 200, random);
        for (const char *path : {"maps/world/multis/round-tower.mlt", "multis/keep.mlt",
                                 "library/a/shard/multis/gate.mlt", "library/b/gate.mlt",
                                 "elsewhere/deep/multis/round-tower.mlt",
                                 "elsewhere/deep/other/keep.mlt", "elsewhere/gone.mlt"}) {
            QDir(m_dir.path()).mkpath(QFileInfo(path).path());
            TestSupport::writeStructure(m_dir, path, tiles);
        }
        m_terrain = TestSupport::writeTerrain(m_dir, "maps/world/land.png", 64, 48);
    }

    // Each candidate a file test; the most trailing parts in common wins.
    void finder_data()
    {
        QTest::addColumn<QString>("recorded");
        QTest::addColumn<QString>("found"); // below the test's folder
        QTest::newRow("Windows path, below the map") << "C:\\Shard\\multis\\round-tower.mlt"
                                                     << "maps/world/multis/round-tower.mlt";
        QTest::newRow("a folder above the map") << "/home/other/multis/keep.mlt"
                                                << "multis/keep.mlt";
        QTest::newRow("library, most parts shared") << "D:\\Shard\\multis\\gate.mlt"
                                                    << "library/a/shard/multis/gate.mlt";
        QTest::newRow("nowhere") << "/home/other/multis/none.mlt"
                                 << "";
    }

    void finder()
    {
        QFETCH(QString, recorded);
        QFETCH(QString, found);
        const QString library = m_dir.filePath("library");
        const FileFinder finder(m_dir.filePath("maps/world"), [&](const QString &name) {
            QStringList paths;
            QDirIterator files(library, {name}, QDir::Files, QDirIterator::Subdirectories);
            while (files.hasNext())
                paths << files.next();
            return paths;
        });
        QCOMPARE(finder.find(recorded), found.isEmpty() ? QString() : m_dir.filePath(found));
    }

    // A map written elsewhere opens with its structures drawn from where they were found and
    // saves the bytes it was read from; "Use Found Files" relinks them all in one step, which
    // the saved bytes carry and undo takes back. A missing terrain is relinked the same way.
    void useFoundFiles()
    {
        const PlacementDocument written = mapWith("C:\\Maps\\land.png");
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        MapSession &session = *window.session();
        session.setRadarColours(&m_colours);
        QVERIFY(session.openFile(m_map));
        QCOMPARE(*PlacementFile::write(session.document()->content()), m_bytes);
        for (const Placement *placement : session.document()->placements().mid(0, 3))
            QVERIFY(!session.structureImage(StructureImages::Key::of(*placement)).isNull());
        QTRY_VERIFY(window.findChild<QDockWidget *>("missingFilesDock")->isVisible());
        QCOMPARE(rows(window),
                 QStringList({"C:\\Maps\\land.png|terrain|" + m_terrain,
                              "/home/other/multis/keep.mlt|1|" + m_dir.filePath("multis/keep.mlt"),
                              "C:\\Shard\\multis\\round-tower.mlt|2|" +
                                  m_dir.filePath("maps/world/multis/round-tower.mlt"),
                              "X:\\gone.mlt|1|not found"}));

        // Exported (as --export does), the found structures are drawn in their colours.
        const QString picture = m_dir.filePath("map.png");
        QVERIFY(session.exportImage(picture));
        const Placement *keep = session.document()->placements().at(1);
        QCOMPARE(QImage(picture).pixel(keep->position.toPoint()),
                 session.structureImage(StructureImages::Key::of(*keep)).pixel(0, 0));

        button(window, "Use Found Files")->click();
        PlacementDocument relinked = written;
        relinked.terrainPath = m_terrain;
        relinked.placements[0].structurePath = relinked.placements[2].structurePath =
            m_dir.filePath("maps/world/multis/round-tower.mlt");
        relinked.placements[1].structurePath = m_dir.filePath("multis/keep.mlt");
        QCOMPARE(*PlacementFile::write(session.document()->content()),
                 *PlacementFile::write(relinked));
        QTRY_COMPARE(rows(window), QStringList({"X:\\gone.mlt|1|not found"}));
        QCOMPARE(session.terrainSize(), QSize(64, 48));
        session.document()->undoStack()->undo();
        QCOMPARE(*PlacementFile::write(session.document()->content()), m_bytes);
        QTRY_COMPARE(rows(window).size(), 4);
        session.document()->undoStack()->clear();
    }

    // "Locate Folder..." searches a chosen folder and all below it, tells how many it would
    // relink, and relinks them as one step, which the saved bytes carry and undo takes back.
    void locateFolder()
    {
        const PlacementDocument written = mapWith(m_terrain);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        MapSession &session = *window.session();
        QVERIFY(session.openFile(m_map));
        QTRY_VERIFY(window.findChild<QDockWidget *>("missingFilesDock")->isVisible());
        QString question;
        TestSupport::ModalScript script({[&](QWidget *modal) {
                                             TestSupport::acceptFileDialog(
                                                 modal, m_dir.filePath("elsewhere"));
                                         },
                                         [&](QWidget *modal) {
                                             auto *box = qobject_cast<QMessageBox *>(modal);
                                             question = box->text();
                                             box->button(QMessageBox::Yes)->click();
                                         }});
        button(window, "Locate Folder...")->click();
        const QString elsewhere = m_dir.filePath("elsewhere");
        QCOMPARE(question, "3 of the 3 missing files were found below " +
                               QDir::toNativeSeparators(elsewhere) + ". Relink them?");
        PlacementDocument relinked = written;
        relinked.placements[0].structurePath = relinked.placements[2].structurePath =
            elsewhere + "/deep/multis/round-tower.mlt";
        relinked.placements[1].structurePath = elsewhere + "/deep/other/keep.mlt";
        relinked.placements[3].structurePath = elsewhere + "/gone.mlt";
        QCOMPARE(*PlacementFile::write(session.document()->content()),
                 *PlacementFile::write(relinked));
        QCOMPARE(session.document()->undoStack()->count(), 1);
        session.document()->undoStack()->undo();
        QCOMPARE(*PlacementFile::write(session.document()->content()), m_bytes);
        session.document()->undoStack()->clear();
    }

    // A file found nowhere is looked for again as the library's index grows, and drawn from
    // where it turns up.
    void foundInLibraryLater()
    {
        mapWith(m_terrain);
        MainWindow window;
        MapSession &session = *window.session();
        QVERIFY(session.openFile(m_map));
        const Placement *gone = session.document()->placements().at(3);
        QVERIFY(session.structureImage(StructureImages::Key::of(*gone)).isNull());
        QDir(m_dir.path()).mkpath("shelf/x");
        QFile::copy(m_dir.filePath("multis/keep.mlt"), m_dir.filePath("shelf/x/gone.mlt"));
        window.setLibraryFolder(m_dir.filePath("shelf"));
        QTRY_VERIFY(!session.structureImage(StructureImages::Key::of(*gone)).isNull());
        QCOMPARE(session.foundFile("X:\\gone.mlt"), m_dir.filePath("shelf/x/gone.mlt"));
    }

private:
    // Writes the map: two round towers, a keep and a file found nowhere, all recorded as on
    // another machine, on the terrain at terrainPath.
    PlacementDocument mapWith(const QString &terrainPath)
    {
        const auto at = [](int x, const QString &path) {
            return Placement{QPointF(x, 5), QPoint(), QRect(0, 0, 3, 2), path, false};
        };
        PlacementDocument map{
            terrainPath,
            {at(1, "C:\\Shard\\multis\\round-tower.mlt"), at(9, "/home/other/multis/keep.mlt"),
             at(17, "C:\\Shard\\multis\\round-tower.mlt"), at(25, "X:\\gone.mlt")}};
        m_map = m_dir.filePath("maps/world/map.xml");
        m_bytes = *PlacementFile::write(map);
        DemoData::writeFile(m_map, m_bytes);
        return map;
    }

    static QStringList rows(MainWindow &window)
    {
        QStringList rows;
        auto *list = window.findChild<QTreeWidget *>("missingFiles");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = list->topLevelItem(i);
            rows << item->text(0) + '|' + item->text(1) + '|' + item->text(2);
        }
        return rows;
    }

    static QPushButton *button(MainWindow &window, const QString &text)
    {
        for (QPushButton *button : window.findChildren<QPushButton *>())
            if (button->text() == text)
                return button;
        return nullptr;
    }

    QTemporaryDir m_dir;
    RadarColours m_colours;
    QString m_terrain;
    QString m_map;
    QByteArray m_bytes;
};

QTEST_MAIN(TestMissingFiles)
#include "tst_missingfiles.moc"
