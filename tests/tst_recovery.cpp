// Recovery files: kept while a map has unsaved changes and gone once it has none, never touched
// by another running copy, and offered at the start when a copy ended without cleaning up.

#include "TestSupport.h"
#include "app/MainWindow.h"
#include "canvas/CanvasView.h"
#include "document/AutoSaver.h"
#include "document/FileCommands.h"
#include "document/MapDocument.h"
#include "document/PlacementFile.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QMessageBox>
#include <QTest>

#include <memory>

namespace {

Placement placementAt(int x, int y)
{
    return {QPointF(x, y), QPoint(-3, -2), QRect(0, 0, 4, 3), QStringLiteral("/s/tower.mlt")};
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

} // namespace

class TestRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath("data")));
        m_folder = RecoveryStore::defaultFolder();
        QVERIFY(m_folder.startsWith(m_dir.path()));
        m_map = {TestSupport::writeTerrain(m_dir, "terrain.png", 80, 60),
                 {placementAt(5, 6), placementAt(40, 30)}};
    }
    void init() { QVERIFY(QDir(m_folder).removeRecursively()); }

    // Written an interval after a change, even amid a stream of changes, with the map's bytes;
    // gone when the map has no unsaved changes any more, and when the program ends.
    void autosave_data()
    {
        QTest::addColumn<QString>("end");
        for (const char *end : {"save", "close", "new", "open", "undo", "exit", "stream"})
            QTest::newRow(end) << QString::fromLatin1(end);
    }
    void autosave()
    {
        QFETCH(QString, end);
        MapDocument document;
        auto saver = std::make_unique<AutoSaver>(&document, m_folder);
        saver->setInterval(100);
        const QString mapPath = saver->store().mapPath();
        document.open(m_map, m_dir.filePath("map.xml"));
        document.place(placementAt(70, 50));
        QElapsedTimer clock;
        clock.start();
        while (end == "stream" && !QFile::exists(mapPath) && clock.elapsed() < 3000) {
            document.move({document.placements().first()}, QPointF(1, 0));
            QTest::qWait(20);
        }
        QVERIFY(end != "stream" || QFile::exists(mapPath));
        QTRY_COMPARE(bytesOf(mapPath), *PlacementFile::write(document.content()));

        if (end == "save" || end == "stream")
            QVERIFY(document.save(m_dir.filePath("saved.xml")));
        else if (end == "close")
            document.close();
        else if (end == "new" || end == "open")
            document.open(end == "new" ? PlacementDocument{m_map.terrainPath, {}} : m_map);
        else if (end == "undo")
            document.undoStack()->undo();
        else
            saver.reset();
        const QStringList left =
            saver ? QStringList{QFileInfo(mapPath).baseName() + ".lock"} : QStringList();
        QTRY_COMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), left);
    }

    // Each orphan ("map" belonging to map.xml, "unsaved" to no file, "live" held by a running
    // copy, "bad sidecar", "bad map") offered newest first until one is taken; "seen" the boxes
    // that show ("ask N", "warn N"), "kept" whether each orphan's files remain.
    void recover_data()
    {
        QTest::addColumn<QStringList>("orphans");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("taken");
        QTest::newRow("Yes") << QStringList{"map"} << QStringList{"Yes"} << QStringList{"ask 0"}
                             << "0" << 0;
        QTest::newRow("No") << QStringList{"unsaved"} << QStringList{"No"} << QStringList{"ask 0"}
                            << "0" << -1;
        QTest::newRow("unreadable sidecar") << QStringList{"bad sidecar"} << QStringList{"OK"}
                                            << QStringList{"warn 0"} << "1" << -1;
        QTest::newRow("unreadable map") << QStringList{"bad map"} << QStringList{"Yes", "OK"}
                                        << QStringList{"ask 0", "warn 0"} << "1" << -1;
        QTest::newRow("running copy") << QStringList{"live", "unsaved"} << QStringList{"Yes"}
                                      << QStringList{"ask 1"} << "10" << 1;
        QTest::newRow("several") << QStringList{"unsaved", "map", "map"} << QStringList{"No", "Yes"}
                                 << QStringList{"ask 0", "ask 1"} << "001" << 1;
    }
    void recover()
    {
        QFETCH(QStringList, orphans);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, seen);
        QFETCH(QString, kept);
        QFETCH(int, taken);
        const QString original = m_dir.filePath("map.xml");
        const QDateTime saved(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC);
        PlacementDocument edited = m_map;
        edited.placements.append(placementAt(70, 50));

        // Files as a copy that ended in a crash leaves them, the first the newest.
        RecoveryStore live(m_folder);
        QStringList paths, texts;
        for (qsizetype i = 0; i < orphans.size(); ++i) {
            const QString &kind = orphans[i];
            const QString name = kind == "map" ? original : "";
            paths << (kind == "live" ? live.mapPath() : m_folder + QString("/c%1.xml").arg(i));
            if (kind == "live") {
                live.write(edited, name);
                live.waitForDone();
            } else {
                const QString sidecar = "{\"fileName\": \"" + name + "\", \"saved\": \"" +
                                        saved.toString(Qt::ISODate) + "\"}";
                QVERIFY(DemoData::writeFile(
                    paths[i], kind == "bad map" ? "<Valdrune>" : *PlacementFile::write(edited)));
                QVERIFY(DemoData::writeFile(paths[i].chopped(4) + ".json",
                                            kind == "bad sidecar" ? "{" : sidecar.toUtf8()));
            }
            QFile file(paths[i]);
            QVERIFY(file.open(QIODevice::Append) &&
                    file.setFileTime(saved.addSecs(-i), QFileDevice::FileModificationTime));
            texts << "Recover unsaved changes?|The changes to " +
                         (name.isEmpty() ? "an unsaved map" : QDir::toNativeSeparators(name)) +
                         " were kept for recovery on " +
                         QLocale().toString(saved.toLocalTime(), QLocale::ShortFormat) + '.';
        }

        MainWindow window;
        window.show();
        QStringList boxes;
        QList<TestSupport::ModalScript::Answer> script;
        for (const QString &answer : answers)
            script << [&, answer](QWidget *modal) {
                auto *box = qobject_cast<QMessageBox *>(modal);
                QVERIFY(box);
                boxes << box->text() + '|' + box->informativeText();
                for (QAbstractButton *button : box->buttons())
                    if (button->text().remove('&') == answer)
                        button->click();
            };
        TestSupport::ModalScript modals(script);
        window.offerRecovery();
        QCOMPARE(modals.seen.size(), seen.size());
        for (qsizetype i = 0; i < seen.size(); ++i) {
            const int orphan = seen[i].back().digitValue();
            if (seen[i].startsWith("ask"))
                QCOMPARE(boxes[i], texts[orphan]);
            else
                QVERIFY(boxes[i].startsWith("The recovery file " +
                                            QDir::toNativeSeparators(paths[orphan]) +
                                            " could not be read; it is kept.\n"));
        }
        for (qsizetype i = 0; i < orphans.size(); ++i)
            QCOMPARE(QFile::exists(paths[i]), kept[i] == '1');

        // Taken, the map is as it was left, unsaved, and Save writes it to its own file.
        MapDocument &document = *window.canvasView()->document();
        QCOMPARE(document.isOpen(), taken >= 0);
        if (taken < 0)
            return;
        QCOMPARE(document.content(), edited);
        QVERIFY(document.isModified());
        QCOMPARE(document.fileName(), orphans[taken] == "map" ? original : QString());
        if (document.fileName().isEmpty())
            return document.undoStack()->setClean();
        QVERIFY(window.canvasView()->fileSave());
        QCOMPARE(bytesOf(original), *PlacementFile::write(edited));
    }

private:
    QTemporaryDir m_dir;
    QString m_folder;
    PlacementDocument m_map;
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
