// Helper of the end-to-end test: makes its data and reads its screenshots.
//
//   e2e_probe make-data <dir>                      radar colours, terrain, two structures, config
//   e2e_probe make-map <dir>                       after make-data: small.xml, a map small enough
//       to be seen whole, on the terrain small.png, of overlapping, invisible-flagged and
//       unrenderable structures
//   e2e_probe find <png> <rrggbb> [x y w h]        bounding box "x y w h" of pixels of a colour
//   e2e_probe contains <png> <image>               where "x y" the image lies in the png, exactly
//   e2e_probe expect <png> <mlt> <radar> <x> <y> [n]
//       the structure's preview is on screen at x, y magnified n times, each of its pixels an
//       n x n block, with the terrain showing around it

#include "DemoData.h"
#include "core/RadarColours.h"
#include "core/PlacementFile.h"
#include "core/StructureFile.h"
#include "core/StructurePreview.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cstdio>

namespace {

constexpr QRgb terrainColour = 0xFF204060;

int makeData(const QString &dir)
{
    QDir().mkpath(dir);
    const QString radar = QDir(dir).absoluteFilePath(QStringLiteral("radar.bin"));
    DemoData::writeFile(radar, DemoData::radarColourBytes(44));
    QImage terrain(800, 600, QImage::Format_RGB32);
    terrain.fill(terrainColour);
    if (!terrain.save(QDir(dir).absoluteFilePath(QStringLiteral("terrain.png"))))
        return 1;
    DemoData::Random random(5);
    const QString structure = QDir(dir).absoluteFilePath(QStringLiteral("keep.mlt"));
    DemoData::writeFile(structure, DemoData::structureBytes(
                                       DemoData::rectangleStructure(12, 8, -6, -4, 200, random)));
    // Another, to replace it with.
    DemoData::writeFile(QDir(dir).absoluteFilePath(QStringLiteral("wall.mlt")),
                        DemoData::structureBytes(
                            DemoData::rectangleStructure(16, 3, 2, 1, 150, random)));
    DemoData::writeFile(QDir(dir).absoluteFilePath(QStringLiteral("dunmarra.xml")),
                        DemoData::configurationBytes(radar));
    return 0;
}

int makeMap(const QString &dir)
{
    const QDir folder(dir);
    PlacementDocument map{folder.absoluteFilePath(QStringLiteral("small.png")), {}};
    if (!DemoData::terrainImage(240, 160, 12).save(map.terrainPath))
        return 1;
    const QString keep = folder.absoluteFilePath(QStringLiteral("keep.mlt"));
    StructureFile structure;
    if (!structure.load(keep))
        return 1;
    const QList<QPoint> places = {{20, 30}, {26, 34}, {100, 60}, {233, 150}, {-4, 100}, {60, 5}};
    for (const QPoint &at : places)
        map.placements.append({at, structure.offset(), structure.region(), keep, at.x() == 100});
    // A structure that cannot be drawn, over the others: a placeholder box.
    map.placements.append({QPointF(24, 28), QPoint(), QRect(0, 0, 9, 6),
                           folder.absoluteFilePath(QStringLiteral("gone.mlt")), false});
    return DemoData::writeFile(folder.absoluteFilePath(QStringLiteral("small.xml")),
                               *PlacementFile::write(map))
               ? 0
               : 1;
}

int find(const QStringList &args)
{
    const QImage shot = QImage(args.at(0)).convertToFormat(QImage::Format_RGB32);
    const QRgb wanted = 0xFF000000u | args.at(1).toUInt(nullptr, 16);
    QRect area = shot.rect();
    if (args.size() >= 6)
        area &=
            QRect(args.at(2).toInt(), args.at(3).toInt(), args.at(4).toInt(), args.at(5).toInt());
    QRect found;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (shot.pixel(x, y) == wanted)
                found |= QRect(x, y, 1, 1);
    if (found.isEmpty())
        return 1;
    std::printf("%d %d %d %d\n", found.x(), found.y(), found.width(), found.height());
    return 0;
}

int contains(const QStringList &args)
{
    const QImage shot = QImage(args.at(0)).convertToFormat(QImage::Format_RGB32);
    const QImage image = QImage(args.at(1)).convertToFormat(QImage::Format_RGB32);
    if (image.isNull() || shot.isNull())
        return 1;
    const auto matches = [&](int left, int top) {
        for (int y = 0; y < image.height(); ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(shot.constScanLine(top + y)) + left;
            if (!std::equal(row, row + image.width(),
                            reinterpret_cast<const QRgb *>(image.constScanLine(y))))
                return false;
        }
        return true;
    };
    for (int top = 0; top + image.height() <= shot.height(); ++top) {
        for (int left = 0; left + image.width() <= shot.width(); ++left) {
            if (matches(left, top)) {
                std::printf("%d %d\n", left, top);
                return 0;
            }
        }
    }
    std::printf("the %d x %d image is nowhere on screen\n", image.width(), image.height());
    return 1;
}

int expect(const QStringList &args)
{
    const QImage shot = QImage(args.at(0)).convertToFormat(QImage::Format_RGB32);
    RadarColours colours;
    colours.open(args.at(2));
    QImage preview;
    QPoint offset;
    QRect region;
    if (!renderStructurePreview(args.at(1), colours, preview, offset, region)) {
        std::printf("the structure does not render\n");
        return 1;
    }
    const QPoint at(args.at(3).toInt(), args.at(4).toInt());
    const int n = args.size() > 5 ? qMax(1, args.at(5).toInt()) : 1;
    int painted = 0;
    int wrong = 0;
    // The structure's pixels, and the terrain just outside it all the way round.
    for (int y = -1; y <= preview.height(); ++y) {
        for (int x = -1; x <= preview.width(); ++x) {
            const bool inside = preview.rect().contains(x, y);
            const QRgb colour = inside ? preview.pixel(x, y) : terrainColour;
            if (inside && qAlpha(colour) == 0)
                continue;
            painted += inside;
            for (int i = 0; i < n * n; ++i) {
                const QPoint p = at + QPoint(x, y) * n + QPoint(i % n, i / n);
                if (shot.pixel(p) != colour && wrong++ < 5)
                    std::printf("pixel %d,%d: screen %08x, expected %08x\n", p.x(), p.y(),
                                shot.pixel(p), colour);
            }
        }
    }
    std::printf("%d structure pixels, %d screen pixels wrong\n", painted, wrong);
    return wrong == 0 && painted > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.size() >= 2 && args.at(0) == QLatin1String("make-data"))
        return makeData(args.at(1));
    if (args.size() >= 2 && args.at(0) == QLatin1String("make-map"))
        return makeMap(args.at(1));
    if (args.size() >= 3 && args.at(0) == QLatin1String("contains"))
        return contains(args.mid(1));
    if (args.size() >= 3 && args.at(0) == QLatin1String("find"))
        return find(args.mid(1));
    if (args.size() >= 6 && args.at(0) == QLatin1String("expect"))
        return expect(args.mid(1));
    std::fprintf(stderr, "usage: e2e_probe make-data|make-map|find|contains|expect ...\n");
    return 2;
}
