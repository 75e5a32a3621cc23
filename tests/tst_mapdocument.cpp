// The map as a document: its commands, their undo and redo, the modified state and saving.

#include "document/MapDocument.h"
#include "document/PlacementFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

Placement placementAt(int x, int y, const QString &path = QStringLiteral("/s/tower.mlt"))
{
    Placement placement;
    placement.position = QPointF(x, y);
    placement.offset = QPoint(-x % 7, y % 5);
    placement.region = QRect(0, 0, 4 + x % 3, 3);
    placement.structurePath = path;
    return placement;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestMapDocument : public QObject
{
    Q_OBJECT

private slots:
    // Any mix of commands, undos and redos leaves the document, and the file it saves, exactly
    // as the same map built directly; the history walks back and forth through the same states.
    void historyMatchesMapsBuiltDirectly_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u})
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }
    void historyMatchesMapsBuiltDirectly()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        QTemporaryDir dir;
        MapDocument document;
        PlacementDocument start;
        start.terrainPath = QStringLiteral("/maps/terrain.png");
        for (int i = 0; i < 6; ++i)
            start.placements.append(placementAt(10 * i, 3 * i));
        document.open(start, QStringLiteral("old.xml"));

        QList<PlacementDocument> states{start};
        qsizetype at = 0;
        const auto pick = [&](int most) {
            QList<Placement *> chosen;
            for (Placement *placement : document.placements()) {
                if (int(random.bounded(most + 1)) == 0)
                    chosen.prepend(placement); // any order
            }
            return chosen;
        };
        for (int step = 0; step < 300; ++step) {
            PlacementDocument expected = states.at(at);
            const int n = int(document.placements().size());
            switch (random.bounded(7)) {
            case 0: {
                const Placement placement = placementAt(int(random.bounded(500)), step);
                document.place(placement);
                expected.placements.append(placement);
                break;
            }
            case 1: {
                const QList<Placement *> chosen = pick(2);
                const QPointF delta(int(random.bounded(21)) - 10, int(random.bounded(5)));
                document.move(chosen, delta);
                for (int i = 0; i < n; ++i) {
                    if (chosen.contains(document.placements().at(i)))
                        expected.placements[i].position += chosen.isEmpty() ? QPointF() : delta;
                }
                if (chosen.isEmpty() || delta.isNull())
                    continue;
                break;
            }
            case 2: {
                const QList<Placement *> chosen = pick(3);
                if (chosen.isEmpty())
                    continue;
                for (int i = n - 1; i >= 0; --i) {
                    if (chosen.contains(document.placements().at(i)))
                        expected.placements.removeAt(i);
                }
                document.remove(chosen);
                break;
            }
            case 3: {
                if (n == 0)
                    continue;
                const int i = int(random.bounded(n));
                expected.placements[i].invisible = !expected.placements[i].invisible;
                document.setInvisible(document.placements().at(i),
                                      expected.placements[i].invisible);
                break;
            }
            case 4:
            case 5:
                if (at == 0)
                    continue;
                document.undoStack()->undo();
                QCOMPARE(document.content(), states.at(--at));
                continue;
            default:
                if (at + 1 == states.size())
                    continue;
                document.undoStack()->redo();
                QCOMPARE(document.content(), states.at(++at));
                continue;
            }
            states.resize(++at);
            states.append(expected);
            QCOMPARE(document.content(), expected);
            QCOMPARE(document.undoStack()->index(), at);
        }

        QVERIFY(document.save(dir.filePath(QStringLiteral("map.xml"))));
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("map.xml"))),
                 *PlacementFile::write(states.at(at)));
        QCOMPARE(document.fileName(), dir.filePath(QStringLiteral("map.xml")));
        QVERIFY(!document.isModified());
    }

    // Undoing a delete brings back the very same placements, in their old drawing order.
    void undoneDeleteRestoresPlacementsInOrder()
    {
        MapDocument document;
        PlacementDocument content;
        for (int i = 0; i < 8; ++i)
            content.placements.append(placementAt(i, i));
        document.open(content);
        const QList<Placement *> before = document.placements();
        QSignalSpy inserted(&document, &MapDocument::placementsInserted);

        document.remove({before[6], before[1], before[2], before[7]});
        QCOMPARE(document.placements(),
                 (QList<Placement *>{before[0], before[3], before[4], before[5]}));
        document.undoStack()->undo();
        QCOMPARE(document.placements(), before);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.at(0).at(0).value<QList<Placement *>>(),
                 (QList<Placement *>{before[1], before[2], before[6], before[7]}));
    }

    // Modified is the history away from the state last opened or saved.
    void modifiedFollowsTheHistory()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("m.xml"));
        MapDocument document;
        QVERIFY(!document.isModified());
        document.place(placementAt(1, 1)); // no map: nothing happens
        QCOMPARE(document.undoStack()->count(), 0);

        document.open(PlacementDocument{QStringLiteral("t.png"), {placementAt(1, 2)}});
        QSignalSpy modified(&document, &MapDocument::modifiedChanged);
        Placement *first = document.placements().first();
        document.setInvisible(first, true);
        QVERIFY(document.isModified());
        document.undoStack()->undo();
        QVERIFY(!document.isModified());
        document.undoStack()->redo();
        QVERIFY(document.save(path));
        QVERIFY(!document.isModified());
        document.move({first}, QPointF(3, 0));
        QVERIFY(document.isModified());
        document.undoStack()->undo();
        QVERIFY(!document.isModified());
        document.undoStack()->undo(); // before the save
        QVERIFY(document.isModified());
        QCOMPARE(modified.size(), 7);

        // A failed save changes nothing: the old file stays, the map stays modified.
        const QByteArray saved = fileBytes(path);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        QString error;
        QVERIFY(!document.save(dir.filePath(QStringLiteral("folder")), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(document.isModified());
        QCOMPARE(document.fileName(), path);
        QCOMPARE(fileBytes(path), saved);

        // New history with every map.
        document.open(PlacementDocument{QStringLiteral("u.png"), {}});
        QVERIFY(!document.isModified());
        QCOMPARE(document.undoStack()->count(), 0);
        QVERIFY(document.fileName().isEmpty());
    }

    // The history is bounded; a big map still moves and comes back as one step.
    void boundedHistoryAndBigMaps()
    {
        MapDocument document;
        PlacementDocument content;
        for (int i = 0; i < 100000; ++i)
            content.placements.append(
                placementAt(i % 1000, i / 1000, QStringLiteral("/s/%1").arg(i % 200)));
        document.open(content);
        const QList<Placement *> some = document.placements().mid(500, 10000);
        document.move(some, QPointF(2, 3));
        QCOMPARE(document.undoStack()->count(), 1);
        for (int i = 0; i < MapDocument::undoLimit + 20; ++i)
            document.setInvisible(document.placements().at(i), true);
        QCOMPARE(document.undoStack()->count(), MapDocument::undoLimit);
        while (document.undoStack()->canUndo())
            document.undoStack()->undo();
        QVERIFY(document.isModified()); // the saved state was forgotten
        PlacementDocument expected = content;
        for (int i = 500; i < 10500; ++i)
            expected.placements[i].position += QPointF(2, 3);
        for (int i = 0; i < 20; ++i)
            expected.placements[i].invisible = true;
        QCOMPARE(document.content(), expected);
    }
};

QTEST_GUILESS_MAIN(TestMapDocument)
#include "tst_mapdocument.moc"
