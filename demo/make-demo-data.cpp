// Writes the demo data into a folder and the configuration that points at it.
//
//   make-demo-data <folder> <configuration file> [seed]

#include "DemoData.h"
#include "core/PlacementFile.h"
#include "core/StructureFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace {

// A few villages, towers along a wall and a keep, to open with File > Open.
QByteArray exampleMap(const QString &folder, quint32 seed)
{
    const QDir root(folder);
    PlacementDocument document;
    document.terrainPath = root.absoluteFilePath(QStringLiteral("terrain.png"));
    DemoData::Random random(seed + 1);
    const auto place = [&](const char *structure, int x, int y) {
        const QString path = root.absoluteFilePath(QLatin1String(structure));
        StructureFile file;
        file.load(path);
        Placement placement;
        placement.position = QPointF(x, y);
        placement.offset = file.offset();
        placement.region = file.region();
        placement.structurePath = path;
        placement.invisible = random.bounded(10) == 0;
        document.placements.append(placement);
    };
    const char *houses[] = {"structures/houses/cottage.mlt", "structures/houses/farmhouse.mlt",
                            "structures/houses/shed.mlt", "structures/houses/longhouse.mlt"};
    for (const QPoint village : {QPoint(40, 40), QPoint(520, 300), QPoint(300, 520)}) {
        for (int i = 0; i < 14; ++i)
            place(houses[random.bounded(4)], village.x() + random.bounded(190),
                  village.y() + random.bounded(140));
    }
    for (int i = 0; i < 8; ++i)
        place("structures/walls/wall-east-west.mlt", 700 + 40 * i, 120);
    for (int i = 0; i < 3; ++i)
        place("structures/towers/watchtower.mlt", 700 + 140 * i, 112);
    place("structures/walls/gatehouse.mlt", 860, 118);
    place("structures/large/keep.mlt", 820, 200);
    place("structures/towers/mage-tower.mlt", 980, 320);
    place("structures/towers/round-tower.mlt", 150, 120);
    place("structures/large/arena.mlt", 1100, 520);
    return PlacementFile::write(document).value_or(QByteArray());
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: make-demo-data <folder> <configuration file> [seed]\n");
        return 2;
    }
    const QString folder = QFileInfo(arguments.at(1)).absoluteFilePath();
    const quint32 seed = arguments.size() > 3 ? arguments.at(3).toUInt() : 2026;
    const QString radarPath = DemoData::generate(folder, seed);
    if (radarPath.isEmpty()) {
        std::fprintf(stderr, "make-demo-data: could not write the demo data into %s\n",
                     qPrintable(folder));
        return 1;
    }
    if (!DemoData::writeFile(QDir(folder).absoluteFilePath(QStringLiteral("example-map.xml")),
                             exampleMap(folder, seed))) {
        std::fprintf(stderr, "make-demo-data: could not write the example map\n");
        return 1;
    }
    if (!DemoData::writeFile(arguments.at(2), DemoData::configurationBytes(radarPath))) {
        std::fprintf(stderr, "make-demo-data: could not write %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    return 0;
}
