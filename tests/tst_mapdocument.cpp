// The map as a document: its commands, their undo and redo, the modified state and saving.

#include "core/MapDocument.h"
#include "core/PlacementFile.h"

#include <QFile>
#include <QRandomGenerator>
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
    // Any mix of commands, undos, redos and saves leaves the document, and the file it saves,
    // exactly as the same map built directly; the history walks back and forth through the same
    // states, and the map is modified exactly when away from the state last opened or saved.
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
        const QString path = dir.filePath(QStringLiteral("map.xml"));
        MapDocument document;
        document.place(placementAt(1, 1)); // no map: nothing happens
        QCOMPARE(document.undoStack()->count(), 0);
        PlacementDocument start;
        start.terrainPath = QStringLiteral("/maps/terrain.png");
        for (int i = 0; i < 6; ++i)
            start.placements.append(placementAt(10 * i, 3 * i));
        document.open(start, QStringLiteral("old.xml"));

        QList<PlacementDocument> states{start};
        qsizetype at = 0, saved = 0;
        const auto pick = [&](int most) {
            QList<Placement *> chosen;
            for (Placement *placement : document.placements()) {
                if (int(random.bounded(most + 1)) == 0)
                    chosen.prepend(placement); // any order
            }
            return chosen;
        };
        for (int step = 0; step < 300; ++step) {
            QCOMPARE(document.isModified(), at != saved);
            PlacementDocument expected = states.at(at);
            const int n = int(document.placements().size());
            switch (random.bounded(8)) {
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
            case 6:
                if (at + 1 == states.size())
                    continue;
                document.undoStack()->redo();
                QCOMPARE(document.content(), states.at(++at));
                continue;
            default:
                QVERIFY(document.save(path));
                QCOMPARE(fileBytes(path), *PlacementFile::write(states.at(saved = at)));
                continue;
            }
            saved = saved > at ? -1 : saved; // the saved state is no longer in the history
            states.resize(++at);
            states.append(expected);
            QCOMPARE(document.content(), expected);
            QCOMPARE(document.undoStack()->index(), at);
        }
        // A failed save, to a folder, says why and changes nothing.
        QString error;
        QVERIFY(!document.save(dir.path(), &error) && !error.isEmpty());
        QCOMPARE(document.isModified(), at != saved);
        QCOMPARE(document.fileName(), path);

        // The history is bounded: the oldest steps, and the saved state with them, are forgotten.
        PlacementDocument expected = states.at(at);
        for (int i = 0; i < MapDocument::undoLimit + 20; ++i) {
            document.place(placementAt(i, i));
            if (i < 20)
                expected.placements.append(placementAt(i, i));
        }
        QCOMPARE(document.undoStack()->count(), MapDocument::undoLimit);
        while (document.undoStack()->canUndo())
            document.undoStack()->undo();
        QVERIFY(document.isModified());
        QCOMPARE(document.content(), expected);

        // New history with every map.
        document.open(PlacementDocument{QStringLiteral("u.png"), {}});
        QVERIFY(!document.isModified() && document.fileName().isEmpty());
        QCOMPARE(document.undoStack()->count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMapDocument)
#include "tst_mapdocument.moc"
