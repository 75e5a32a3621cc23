// Writes the seed corpora of the fuzz targets: a handful of valid and nearly valid inputs for
// each, all generated here. Usage: make_seeds --write-seeds <dir>; writes <dir>/<target>/.

#include "DemoData.h"
#include "core/NameList.h"
#include "core/PlacementFile.h"
#include "core/RadarColours.h"
#include "core/StructurePayload.h"
#include "core/StructurePreview.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using Seeds = QList<QByteArray>;

QByteArray withHeader(QByteArray bytes, quint8 radarKind, quint8 width, quint8 height, quint8 shift)
{
    if (bytes.size() < 4)
        bytes.resize(4);
    bytes[0] = char(radarKind);
    bytes[1] = char(width);
    bytes[2] = char(height);
    bytes[3] = char(shift);
    return bytes;
}

Seeds structureSeeds()
{
    DemoData::Random random(11);
    const QByteArray rectangle =
        DemoData::structureBytes(DemoData::rectangleStructure(5, 4, -2, 3, 100, random));
    const QByteArray ring = DemoData::structureBytes(DemoData::ringStructure(6, 2000, random));
    const QByteArray tower = DemoData::structureBytes(DemoData::towerStructure(4, 3, 40, random));
    const QByteArray stacked = DemoData::structureBytes(
        {{7, 0, 0, 5}, {8, 0, 0, 9}, {9, 0, 0, 9}, {10, 1, 0, -3}, {65535, 1, 1, 32767}});
    const QByteArray wide = DemoData::structureBytes({{1, -32768, 0, 0}, {2, 32767, 0, 0}});
    const QByteArray widest = DemoData::structureBytes({{1, 0, 0, 0}, {2, 4095, 0, 0}});
    const QByteArray tooWide = DemoData::structureBytes({{1, 0, 0, 0}, {2, 0, 4096, 0}});
    return {
        QByteArray(),
        QByteArray(15, '\x01'),
        DemoData::structureBytes({{3, 0, 0, 0}}),
        withHeader(rectangle, 0, 1, 1, 0),
        withHeader(rectangle + "trailing", 1, 2, 3, 0xFF),
        withHeader(ring, 2, 4, 4, 3),
        withHeader(tower, 3, 0, 5, 0),
        withHeader(stacked, 0, 1, 1, 0),
        withHeader(wide, 0, 2, 2, 0x80),
        withHeader(widest, 1, 241, 1, 0),
        withHeader(tooWide, 2, 1, 255, 0),
        rectangle.left(rectangle.size() - 5),
    };
}

// An Image element at depth levels, the root counted as level 1, inside elements named a.
QByteArray nested(int depth)
{
    const int inner = depth - 2;
    return "<V>" + QByteArray("<a>").repeated(inner) + "<Image>x</Image>" +
           QByteArray("</a>").repeated(inner) + "<MLT/></V>";
}

Seeds placementSeeds()
{
    PlacementDocument document;
    document.terrainPath = QStringLiteral("/maps/north coast & <isles>.png");
    Placement keep;
    keep.position = QPointF(120, 45);
    keep.offset = QPoint(-3, 7);
    keep.region = QRect(0, 0, 12, 9);
    keep.structurePath = QStringLiteral("/structures/keep.mlt");
    Placement wall = keep;
    wall.position = QPointF(-5, 2147483647);
    wall.offset = QPoint(-2147483647, 0);
    wall.region = QRect(0, 0, 4096, 1);
    wall.structurePath = QStringLiteral("  ]]> \u00e9\U0001F3F0 ");
    wall.invisible = true;
    Placement blank = keep;
    blank.structurePath = QStringLiteral(" \t\n ");
    document.placements = {keep, wall, blank};

    PlacementDocument empty;
    empty.terrainPath = QStringLiteral("terrain.bmp");

    const QByteArray full = PlacementFile::write(document).value_or(QByteArray());
    return {
        full,
        PlacementFile::write(empty).value_or(QByteArray()),
        full.left(full.size() / 2),
        "<Map><Extra/><MLT Invisible=\"True\"><File RegionY=\"3\" RegionX=\"-2\">a</File>"
        "<Location OffsetY=\"1e9\" Y=\"99999999999\" X=\"-2147483648\"/></MLT>"
        "<Group><Image><![CDATA[ x ]]></Image></Group></Map>",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE m [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>\n"
        "<m><Image>&b;&#13;&#x1F3F0;</Image><MLT><MLT/></MLT></m>",
        "<Valdrune><Image/><MLT><File>x<!-- c --><?p i?></File></MLT></Valdrune>",
        nested(PlacementFile::maximumDepth),
        nested(PlacementFile::maximumDepth + 1),
        nested(5000),
        "<V><a:Image xmlns:a=\"u\">x</a:Image><MLT a:Invisible=\"True\"><File>&#32;&amp;"
        "</File><File><![CDATA[]]></File></MLT><Image> <!--c--> y</Image></V>",
    };
}

Seeds payloadSeeds(const QString &radarPath)
{
    RadarColours colours;
    colours.open(radarPath);
    Seeds seeds;
    DemoData::Random random(5);
    const QList<QList<DemoData::Tile>> shapes = {
        {{1, 0, 0, 0}},
        DemoData::rectangleStructure(3, 2, 0, 0, 10, random),
        DemoData::ringStructure(8, 300, random),
    };
    QTemporaryDir dir;
    for (int i = 0; i < shapes.size(); ++i) {
        const QString path = dir.filePath(QStringLiteral("s%1.mlt").arg(i));
        DemoData::writeFile(path, DemoData::structureBytes(shapes[i]));
        StructurePayload payload;
        payload.path = path;
        if (renderStructurePreview(path, colours, payload.image, payload.offset, payload.region))
            seeds.append(payload.encode());
    }
    const QByteArray valid = seeds.value(1);
    seeds.append(valid.left(valid.size() - 6));
    seeds.append(valid.left(valid.size() / 2));
    // A PNG whose header claims 60000 x 60000 pixels.
    QByteArray huge = valid;
    const qsizetype ihdr = huge.indexOf("IHDR");
    if (ihdr >= 0) {
        huge[ihdr + 6] = char(0xEA);
        huge[ihdr + 7] = char(0x60);
        huge[ihdr + 10] = char(0xEA);
        huge[ihdr + 11] = char(0x60);
        seeds.append(huge);
    }
    StructurePayload nullImage;
    nullImage.path = QStringLiteral("/none.mlt");
    nullImage.region = QRect(0, 0, 1, 1);
    seeds.append(nullImage.encode());
    return seeds;
}

Seeds nameListSeeds()
{
    const QByteArray two = NameList::encode({QStringLiteral("keep"), QStringLiteral("wall.mlt")});
    return {
        QByteArray(),
        two,
        NameList::encode({QString(), QString(QLatin1String("")), QStringLiteral("../up"),
                          QStringLiteral("a/b\\c"), QStringLiteral("\U0001F3F0")}),
        two.left(two.size() - 1),
        QByteArray::fromHex("ffffffff") + two,
        QByteArray::fromHex("03000000616263"),
        QByteArray::fromHex("feffff7f0000"),
    };
}

Seeds configurationSeeds()
{
    return {
        DemoData::configurationBytes(QStringLiteral("/data/radar colours & more.bin")),
        "<Config><Radarcol>a</Radarcol><Other/><Radarcol><![CDATA[ b ]]></Radarcol></Config>",
        "<Config><Radarcol/></Config>",
        "<Config><Radarcol>unclosed</Config>",
        "<?xml version=\"1.0\"?><!DOCTYPE c [<!ENTITY r "
        "\"radar.bin\">]><c><Radarcol>&r;</Radarcol></c>",
        QByteArray(),
    };
}

bool writeSeeds(const QDir &root, const QString &target, const Seeds &seeds)
{
    if (!root.mkpath(target))
        return false;
    for (int i = 0; i < seeds.size(); ++i) {
        const QString path =
            root.filePath(QStringLiteral("%1/seed-%2").arg(target).arg(i, 2, 10, QLatin1Char('0')));
        if (!DemoData::writeFile(path, seeds[i]))
            return false;
    }
    std::printf("%s: %lld seeds\n", qPrintable(target), static_cast<long long>(seeds.size()));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 || QByteArray(argv[1]) != "--write-seeds") {
        std::fprintf(stderr, "usage: %s --write-seeds <dir>\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[2]));
    QTemporaryDir radarDir;
    const QString radarPath = radarDir.filePath(QStringLiteral("radar.bin"));
    DemoData::writeFile(radarPath, DemoData::radarColourBytes(7));

    const bool ok = writeSeeds(root, QStringLiteral("fuzz_structure"), structureSeeds()) &&
                    writeSeeds(root, QStringLiteral("fuzz_placementfile"), placementSeeds()) &&
                    writeSeeds(root, QStringLiteral("fuzz_placementdiff"), placementSeeds()) &&
                    writeSeeds(root, QStringLiteral("fuzz_payload"), payloadSeeds(radarPath)) &&
                    writeSeeds(root, QStringLiteral("fuzz_namelist"), nameListSeeds()) &&
                    writeSeeds(root, QStringLiteral("fuzz_configuration"), configurationSeeds());
    if (!ok) {
        std::fprintf(stderr, "make_seeds: cannot write into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
