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
            switch (random.bounded(12)) {
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
            case 7: { // pasted or duplicated, as one step
                const QList<Placement> pasted{placementAt(step, 7), placementAt(7, step, "/s/b")};
                QCOMPARE(document.add(pasted, "Paste").size(), 2);
                expected.placements += pasted;
                break;
            }
            case 8: { // the flag of several
                const QList<Placement *> chosen = pick(2);
                const bool invisible = random.bounded(2);
                bool changes = false;
                for (int i = 0; i < n; ++i) {
                    if (chosen.contains(document.placements().at(i))) {
                        changes = changes || expected.placements[i].invisible != invisible;
                        expected.placements[i].invisible = invisible;
                    }
                }
                document.setInvisible(chosen, invisible);
                if (!changes)
                    continue;
                break;
            }
            case 9: { // another structure on the same origin cells
                const QList<Placement *> chosen = pick(3);
                if (chosen.isEmpty())
                    continue;
                for (int i = 0; i < n; ++i) {
                    Placement &p = expected.placements[i];
                    if (!chosen.contains(document.placements().at(i)))
                        continue;
                    const QPointF origin = p.position - QPointF(p.offset);
                    p.structurePath = "/s/other.mlt";
                    p.offset = QPoint(2, -1);
                    p.region = QRect(0, 0, 6, 2);
                    p.position = origin + QPointF(p.offset);
                }
                document.replaceStructure(chosen, "/s/other.mlt", QPoint(2, -1), QRect(0, 0, 6, 2));
                break;
            }
            case 10: { // to the front or the back, keeping their order
                const QList<Placement *> chosen = pick(2);
                const bool front = random.bounded(2);
                QList<Placement> moved, others;
                for (int i = 0; i < n; ++i)
                    (chosen.contains(document.placements().at(i)) ? moved : others)
                        << expected.placements[i];
                const QList<Placement> order = front ? others + moved : moved + others;
                if (order == expected.placements)
                    continue;
                expected.placements = order;
                front ? document.bringToFront(chosen) : document.sendToBack(chosen);
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

    // Raise and Lower move each chosen placement one place past the unchosen one beside it,
    // keeping the chosen ones' own order; one step, or none when nothing would change.
    void drawingOrder_data()
    {
        QTest::addColumn<bool>("raise");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("order");
        QTest::newRow("raise two apart") << true << "bd"
                                         << "acbed";
        QTest::newRow("raise two together") << true << "ab"
                                            << "cabde";
        QTest::newRow("raise the top ones") << true << "de"
                                            << "abcde";
        QTest::newRow("lower two apart") << false << "bd"
                                         << "badce";
        QTest::newRow("lower the bottom one") << false << "a"
                                              << "abcde";
    }
    void drawingOrder()
    {
        QFETCH(bool, raise);
        QFETCH(QString, chosen);
        QFETCH(QString, order);
        MapDocument document;
        PlacementDocument start{"t.png", {}};
        for (const QChar name : QStringLiteral("abcde"))
            start.placements.append(placementAt(1, 1, name));
        document.open(start);
        QList<Placement *> picked;
        for (Placement *placement : document.placements()) {
            if (chosen.contains(placement->structurePath))
                picked.prepend(placement); // any order
        }
        raise ? document.raise(picked) : document.lower(picked);
        QString now;
        for (const Placement *placement : document.placements())
            now += placement->structurePath;
        QCOMPARE(now, order);
        QCOMPARE(document.undoStack()->count(), order == "abcde" ? 0 : 1);
        document.undoStack()->undo();
        QCOMPARE(document.content(), start);
    }
};

QTEST_GUILESS_MAIN(TestMapDocument)
#include "tst_mapdocument.moc"
