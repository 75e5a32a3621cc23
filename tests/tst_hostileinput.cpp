// Broken and hostile input that every reader of data from outside must survive: structure
// files, radar colour files, placement files, terrain images, drag payloads and name lists.
// Rows named "found by fuzzing" hold inputs on which the fuzz targets in fuzz/ once failed.

#include "TestSupport.h"

#include "app/Configuration.h"
#include "app/RadarColours.h"
#include "canvas/Canvas.h"
#include "canvas/CanvasView.h"
#include "document/MapDocument.h"
#include "document/PlacementFile.h"
#include "library/NameList.h"
#include "library/StructureFile.h"
#include "library/StructurePayload.h"
#include "library/StructurePreview.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <limits>

using Tiles = QList<DemoData::Tile>;
// Pixels of a rendering and the tile id painted there; every other pixel must be transparent.
using Pixels = QList<QPair<QPoint, int>>;

namespace {

constexpr quint32 radarSeed = 7;
constexpr int intMax = std::numeric_limits<int>::max();

QRgb tileColour(int id)
{
    return RadarColours::pixelFromWord(DemoData::radarWord(radarSeed, quint16(id)));
}

bool paintedAsListed(const QImage &image, const Pixels &pixels)
{
    for (const auto &[point, id] : pixels) {
        if (image.pixel(point) != tileColour(id)) {
            qWarning() << "pixel" << point << Qt::hex << image.pixel(point);
            return false;
        }
    }
    qsizetype opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += image.pixel(x, y) != 0;
    return opaque == pixels.size();
}

// Records all in cell (0, 0), z going round -500 .. 499: the first of the greatest z is the
// record with id 999; later records of z 499 carry other ids.
QByteArray oneCellStructure(int records)
{
    Tiles tiles;
    tiles.reserve(records);
    for (int i = 0; i < records; ++i)
        tiles.append({quint16(i), 0, 0, qint16(i % 1000 - 500)});
    return DemoData::structureBytes(tiles);
}

const QByteArray widest = DemoData::structureBytes({{1, -32768, 0, 0}, {2, 32767, 0, 0}});

// Found by fuzzing: records up to y 11776, rendered with offset (1, -2147483647): the pixel
// position of a cell overflowed int in StructurePreview::paint.
const QByteArray farRecords = QByteArray::fromHex(
    "020107fc010000000000000002ee800100008000000000000000000200ff7f0000000000000000000000000200"
    "0000000000000000000000000000000000000000000000000000000000000000000000002e0000001000000000"
    "0000");

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A valid PNG of a 2 x 2 image whose header then claims width x height, its checksum fixed so
// that only the size is wrong.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QImage image(2, 2, QImage::Format_ARGB32);
    image.fill(0xFF336699);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const qsizetype type = png.indexOf("IHDR");
    for (int i = 0; i < 4; ++i) {
        png[type + 4 + i] = char(width >> (24 - 8 * i));
        png[type + 8 + i] = char(height >> (24 - 8 * i));
    }
    const quint32 crc = crc32(png.mid(type, 4 + 13));
    for (int i = 0; i < 4; ++i)
        png[type + 17 + i] = char(crc >> (24 - 8 * i));
    return png;
}

QByteArray payloadBytes(const QRect &region, const QByteArray &png)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << QStringLiteral("/structures/keep.mlt") << QPoint(-3, 4) << region << qint32(1);
    return bytes + png;
}

QByteArray placementWithNumber(const QByteArray &number)
{
    return "<Valdrune><Image>t.png</Image><MLT><Location X=\"" + number + "\" Y=\"" + number +
           "\" OffsetX=\"" + number + "\" OffsetY=\"" + number + "\" /><File RegionX=\"" + number +
           "\" RegionY=\"" + number + "\">s.mlt</File></MLT></Valdrune>";
}

} // namespace

class HostileInputTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RadarColours m_colours;
    int m_files = 0;

    QString writeFile(const QByteArray &bytes, const QString &suffix = QStringLiteral(".mlt"))
    {
        const QString path = m_dir.filePath(QStringLiteral("file-%1%2").arg(++m_files).arg(suffix));
        return DemoData::writeFile(path, bytes) ? path : QString();
    }

private slots:
    void init() { TestSupport::openRadarColours(m_dir, m_colours, radarSeed); }

    void structurePreview_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("rendered");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<Pixels>("pixels");

        const QByteArray two = DemoData::structureBytes({{5, 2, 3, 0}, {6, 9, 9, 0}});
        QTest::newRow("empty") << QByteArray() << false << QSize() << QPoint() << Pixels();
        QTest::newRow("15 bytes") << two.left(15) << false << QSize() << QPoint() << Pixels();
        QTest::newRow("cut inside the second record")
            << two.left(4 + 12 + 7) << true << QSize(1, 1) << QPoint(2, 3) << Pixels{{{0, 0}, 5}};
        QTest::newRow("extent 65,536") << widest << false << QSize() << QPoint() << Pixels();
        QTest::newRow("extent 4,096")
            << DemoData::structureBytes({{1, -2048, 0, 0}, {2, 2047, 5, 0}}) << true
            << QSize(4096, 6) << QPoint(-2048, 0) << Pixels{{{0, 0}, 1}, {{4095, 5}, 2}};
        QTest::newRow("extent 4,097 in y")
            << DemoData::structureBytes({{1, 0, -2048, 0}, {2, 0, 2048, 0}}) << false << QSize()
            << QPoint() << Pixels();
        QTest::newRow("100,000 records in one cell")
            << oneCellStructure(100000) << true << QSize(1, 1) << QPoint(0, 0)
            << Pixels{{{0, 0}, 999}};
        QTest::newRow("found by fuzzing: records far apart")
            << farRecords << false << QSize() << QPoint() << Pixels();
    }

    void structurePreview()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, rendered);
        const QString path = writeFile(bytes);
        QImage image;
        QPoint gotOffset(-1, -1);
        QRect region(-1, -1, 1, 1);
        QCOMPARE(renderStructurePreview(path, m_colours, image, gotOffset, region), rendered);
        if (!rendered) {
            QVERIFY(image.isNull());
            QCOMPARE(gotOffset, QPoint(-1, -1));
            return;
        }
        QFETCH(QSize, size);
        QFETCH(QPoint, offset);
        QFETCH(Pixels, pixels);
        QCOMPARE(image.size(), size);
        QCOMPARE(region, QRect(QPoint(0, 0), size));
        QCOMPARE(gotOffset, offset);
        QVERIFY(paintedAsListed(image, pixels));
    }

    void structureImage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QRect>("region");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<bool>("rendered");
        QTest::addColumn<Pixels>("pixels");

        const QByteArray one = DemoData::structureBytes({{3, 0, 0, 0}});
        QTest::newRow("left end of extent 65,536")
            << widest << QRect(0, 0, 2, 1) << QPoint(-32768, 0) << true << Pixels{{{0, 0}, 1}};
        QTest::newRow("right end of extent 65,536")
            << widest << QRect(0, 0, 1, 1) << QPoint(32767, 0) << true << Pixels{{{0, 0}, 2}};
        QTest::newRow("whole extent 65,536")
            << widest << QRect(0, 0, 65536, 1) << QPoint(-32768, 0) << false << Pixels();
        QTest::newRow("100,000 records in one cell")
            << oneCellStructure(100000) << QRect(0, 0, 3, 3) << QPoint(-1, -1) << true
            << Pixels{{{1, 1}, 999}};
        QTest::newRow("offset at the largest int")
            << one << QRect(0, 0, 2, 2) << QPoint(intMax, intMax) << true << Pixels();
        QTest::newRow("offset at the smallest int")
            << one << QRect(0, 0, 2, 2) << QPoint(-intMax - 1, -intMax - 1) << true << Pixels();
        QTest::newRow("found by fuzzing: offset far below the cells")
            << farRecords << QRect(0, 0, 1, 7) << QPoint(1, -intMax) << true << Pixels();
        QTest::newRow("width of the smallest int")
            << one << QRect(0, 0, -intMax, 1) << QPoint(0, 0) << false << Pixels();
    }

    void structureImage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QRect, region);
        QFETCH(QPoint, offset);
        QFETCH(bool, rendered);
        QFETCH(Pixels, pixels);
        const QImage image = renderStructureImage(writeFile(bytes), m_colours, region, offset);
        QCOMPARE(!image.isNull(), rendered);
        if (rendered) {
            QCOMPARE(image.size(), region.size());
            QVERIFY(paintedAsListed(image, pixels));
        }
    }

    void structureFileIsADirectory()
    {
        const QString path = m_dir.filePath(QStringLiteral("x.mlt"));
        QVERIFY(QDir().mkpath(path));
        QImage image;
        QPoint offset;
        QRect region;
        QVERIFY(!renderStructurePreview(path, m_colours, image, offset, region));
        QVERIFY(image.isNull());
        QVERIFY(renderStructureImage(path, m_colours, QRect(0, 0, 4, 4), QPoint()).isNull());
    }

    void shortRadarFile_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("100 bytes") << 100;
        QTest::newRow("32,767 bytes") << 32767;
        QTest::newRow("32,768 bytes: the table's start") << 32768;
        QTest::newRow("32,769 bytes: half a word") << 32769;
    }

    // Tiles whose colour words lie beyond the end of the radar colour file are black.
    void shortRadarFile()
    {
        QFETCH(int, size);
        const QString radar =
            writeFile(DemoData::radarColourBytes(radarSeed).left(size), QStringLiteral(".bin"));
        QVERIFY(m_colours.open(radar));
        const QString path =
            writeFile(DemoData::structureBytes({{0, 0, 0, 0}, {1, 1, 0, 0}, {65535, 0, 1, 0}}));
        QImage image;
        QPoint offset;
        QRect region;
        QVERIFY(renderStructurePreview(path, m_colours, image, offset, region));
        QCOMPARE(image.size(), QSize(2, 2));
        QCOMPARE(image.pixel(0, 0), 0xFF000000u);
        QCOMPARE(image.pixel(1, 0), 0xFF000000u);
        QCOMPARE(image.pixel(0, 1), 0xFF000000u);
        QCOMPARE(image.pixel(1, 1), 0u);
    }

    // Every cut of a placement file fails to read with a reason, except the one that only
    // drops the final line feed.
    void truncatedPlacementFile()
    {
        PlacementDocument document;
        document.terrainPath = QStringLiteral("/maps/coast & <isles> \u00e9\U0001F3F0.png");
        Placement placement;
        placement.position = QPointF(-12, 40);
        placement.offset = QPoint(3, -7);
        placement.region = QRect(0, 0, 12, 9);
        placement.structurePath = QStringLiteral("/s/keep]]>.mlt");
        document.placements = {placement, placement, placement};
        document.placements[1].structurePath = QStringLiteral("  ");
        document.placements[2].invisible = true;
        const QByteArray full = PlacementFile::write(document).value();
        QCOMPARE(PlacementFile::read(full), document);
        for (qsizetype cut = 0; cut < full.size() - 1; ++cut) {
            QString error;
            const auto read = PlacementFile::read(full.left(cut), &error);
            QVERIFY2(!read && !error.isEmpty(), qPrintable(QStringLiteral("cut at %1").arg(cut)));
        }
        QCOMPARE(PlacementFile::read(full.chopped(1)), document);
    }

    void manyPlacements()
    {
        PlacementDocument document;
        document.terrainPath = QStringLiteral("terrain.png");
        for (int i = 0; i < 100000; ++i) {
            Placement placement;
            placement.position = QPointF(i % 1000, i / 1000);
            placement.offset = QPoint(-i, i);
            placement.region = QRect(0, 0, 1 + i % 7, 1 + i % 5);
            placement.structurePath = QStringLiteral("/s/%1.mlt").arg(i);
            placement.invisible = i % 3 == 0;
            document.placements.append(placement);
        }
        const auto read = PlacementFile::read(PlacementFile::write(document).value());
        QVERIFY(read);
        QCOMPARE(read->placements.size(), 100000);
        QCOMPARE(*read, document);
    }

    void numbersOutOfRange_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("99999999999") << QByteArray("99999999999") << 0;
        QTest::newRow("-99999999999") << QByteArray("-99999999999") << 0;
        QTest::newRow("4294967296") << QByteArray("4294967296") << 0;
        QTest::newRow("2147483647") << QByteArray("2147483647") << intMax;
        QTest::newRow("-2147483648") << QByteArray("-2147483648") << -intMax;
        QTest::newRow("1e9") << QByteArray("1e9") << 0;
        QTest::newRow("3.5") << QByteArray("3.5") << 0;
        QTest::newRow("12abc") << QByteArray("12abc") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
    }

    // Numbers that do not fit read as 0; the smallest int is raised by one so that a region's
    // width still fits an int. What is read writes back and reads again unchanged.
    void numbersOutOfRange()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        const auto read = PlacementFile::read(placementWithNumber(text));
        QVERIFY(read);
        QCOMPARE(read->placements.size(), 1);
        const Placement &placement = read->placements.first();
        QCOMPARE(placement.position, QPointF(value, value));
        QCOMPARE(placement.offset, QPoint(value, value));
        QCOMPARE(placement.region.width(), value);
        QCOMPARE(placement.region.height(), value);
        const QByteArray written = PlacementFile::write(*read).value();
        QVERIFY(written.contains("RegionX=\"" + QByteArray::number(value) + '"'));
        QCOMPARE(PlacementFile::read(written), read);
    }

    void entityTricks_data()
    {
        QTest::addColumn<QByteArray>("doctype");
        QTest::addColumn<QByteArray>("text");

        QByteArray laughs = "<!DOCTYPE m [<!ENTITY l0 \"lol\">";
        for (int i = 1; i <= 9; ++i) {
            laughs += "<!ENTITY l" + QByteArray::number(i) + " \"";
            for (int k = 0; k < 10; ++k)
                laughs += "&l" + QByteArray::number(i - 1) + ';';
            laughs += "\">";
        }
        QTest::newRow("a billion laughs") << laughs + "]>" << QByteArray("&l9;");
        QTest::newRow("one large entity used often")
            << "<!DOCTYPE m [<!ENTITY a \"" + QByteArray(30000, 'a') + "\">]>"
            << QByteArray("&a;").repeated(3000);
        const QString secret = writeFile("secret-7d1f\n", QStringLiteral(".txt"));
        QTest::newRow("external entity") << "<!DOCTYPE m [<!ENTITY s SYSTEM \"" +
                                                QUrl::fromLocalFile(secret).toEncoded() + "\">]>"
                                         << QByteArray("&s;");
    }

    // Entities either fail to read or expand to little, and never pull in a file's content.
    void entityTricks()
    {
        QFETCH(QByteArray, doctype);
        QFETCH(QByteArray, text);
        const QByteArray placements = "<?xml version=\"1.0\"?>\n" + doctype + "\n<m><Image>" +
                                      text + "</Image><MLT><File>" + text + "</File></MLT></m>";
        if (const auto read = PlacementFile::read(placements)) {
            QVERIFY(read->terrainPath.size() < 1000000);
            QVERIFY(!read->terrainPath.contains(QLatin1String("secret-7d1f")));
            QVERIFY(read->placements.size() <= 1);
        }
        QByteArray configuration =
            "<?xml version=\"1.0\"?>\n" + doctype + "\n<m><Radarcol>" + text + "</Radarcol></m>";
        QBuffer buffer(&configuration);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const Configuration config = Configuration::read(buffer);
        QVERIFY(config.radarFilePath.size() < 1000000);
        QVERIFY(!config.radarFilePath.contains(QLatin1String("secret-7d1f")));
    }

    void terrainNotAnImage_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("text file") << writeFile("not an image at all\n", QStringLiteral(".png"));
        QTest::newRow("empty file") << writeFile(QByteArray(), QStringLiteral(".png"));
        QTest::newRow("PNG claiming 60000 x 60000")
            << writeFile(pngClaiming(60000, 60000), QStringLiteral(".png"));
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("missing.png"));
        const QString folder = m_dir.filePath(QStringLiteral("folder.png"));
        QDir().mkpath(folder);
        QTest::newRow("folder") << folder;
    }

    // A terrain image that cannot be read gives an empty map, still open.
    void terrainNotAnImage()
    {
        QFETCH(QString, path);
        CanvasView view;
        view.resize(200, 150);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.newCanvas(path);
        QVERIFY(view.canvas());
        QCOMPARE(view.canvas()->sceneRect(), QRectF(0, 0, 0, 0));
        QCOMPARE(view.document()->terrainPath(), path);
        view.viewport()->repaint();
    }

    void hostilePayload_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("PNG and region claiming 60000 x 60000")
            << payloadBytes(QRect(0, 0, 60000, 60000), pngClaiming(60000, 60000));
        QTest::newRow("PNG claiming 60000 x 60000 in a 2 x 2 region")
            << payloadBytes(QRect(0, 0, 2, 2), pngClaiming(60000, 60000));
        QTest::newRow("PNG claiming 2147483647 x 1 in a 2 x 2 region")
            << payloadBytes(QRect(0, 0, 2, 2), pngClaiming(0x7FFFFFFF, 1));
        QTest::newRow("PNG claiming 4096 x 4096 with 2 x 2 pixels")
            << payloadBytes(QRect(0, 0, 4096, 4096), pngClaiming(4096, 4096));
        QTest::newRow("path claiming 2 GiB")
            << QByteArray::fromHex("feffff7f") + QByteArray(64, 'p');
        QTest::newRow("region from the smallest to the largest int")
            << payloadBytes(QRect(QPoint(-intMax - 1, 0), QPoint(intMax, 1)), pngClaiming(2, 2));
        // The region's width overflowed int in StructurePayload::decode.
        QTest::newRow("found by fuzzing: region edges far apart") << QByteArray::fromHex(
            "340000002f0074006d0070002f007a0074005f00740065006d0070002d00790062004d00710065007100"
            "2f00730030002e006d006c00597300000f6100000f6101a83fa76900006c0d49444154089963589170e1"
            "3f0006000d49486402d87bb9c8ed0000000049454e44ae426082");
    }

    void hostilePayload()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!StructurePayload::decode(bytes));
    }

    void hostileNameList_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("names");
        const QByteArray two = NameList::encode({QStringLiteral("keep"), QStringLiteral("wall")});
        const QStringList twoNames{QStringLiteral("keep"), QStringLiteral("wall")};
        QTest::newRow("then a name claiming 2 GiB")
            << two + QByteArray::fromHex("feffff7f0041") << twoNames;
        QTest::newRow("then a name of odd length")
            << two + QByteArray::fromHex("03000000414243") << twoNames;
        QTest::newRow("then three bytes") << two + "abc" << twoNames;
    }

    void hostileNameList()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, names);
        QCOMPARE(NameList::decode(bytes), names);
    }
};

QTEST_MAIN(HostileInputTest)
#include "tst_hostileinput.moc"
