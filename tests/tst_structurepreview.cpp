// Structure files read into top tiles, and the flat previews painted from them in radar colours.

#include "TestSupport.h"

#include "app/RadarColours.h"
#include "library/StructureFile.h"
#include "library/StructurePreview.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(DemoData::Tile)

using Tiles = QList<DemoData::Tile>;

namespace {

QRgb rawPixel(const QImage &image, int x, int y)
{
    return reinterpret_cast<const QRgb *>(image.constScanLine(y))[x];
}

bool allPixelsAre(const QImage &image, QRgb value)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (rawPixel(image, x, y) != value)
                return false;
    return true;
}

// A radar colour file of size bytes, zero except for the given words (little-endian, at
// 0x8000 + 2 * id). Words beyond size are cut off with the rest of the file.
QByteArray radarBytes(qint64 size, const QList<QPair<quint16, quint16>> &words)
{
    QByteArray bytes(qMax<qint64>(size, RadarColours::fullFileSize), '\0');
    for (const auto &[id, word] : words) {
        bytes[0x8000 + 2 * id] = char(word & 0xFF);
        bytes[0x8000 + 2 * id + 1] = char(word >> 8);
    }
    bytes.truncate(size);
    return bytes;
}

// Outputs of renderStructurePreview set to values it never produces, to see them untouched.
struct Outputs
{
    QImage image;
    QPoint offset{77, -77};
    QRect region{5, 6, 7, 8};

    Outputs() : image(2, 3, QImage::Format_RGB32) { image.fill(0xFF123456); }
    bool untouched() const
    {
        return image.size() == QSize(2, 3) && image.format() == QImage::Format_RGB32 &&
               allPixelsAre(image, 0xFF123456) && offset == QPoint(77, -77) &&
               region == QRect(5, 6, 7, 8);
    }
};

} // namespace

class StructurePreviewTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_identityRadar;
    int m_files = 0;

    QString writeFile(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("file-%1").arg(++m_files));
        return DemoData::writeFile(path, bytes) ? path : QString();
    }
    QString writeStructure(const Tiles &tiles, const QByteArray &trailing = QByteArray())
    {
        return TestSupport::writeStructure(m_dir, QStringLiteral("structure-%1.mlt").arg(++m_files),
                                           tiles, trailing);
    }
    bool openRadar(const QByteArray &bytes)
    {
        return RadarColours::openRadarFile(writeFile(bytes));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Every tile id's colour word is the id itself (bit 15 dropped).
        QByteArray bytes(RadarColours::fullFileSize, '\0');
        for (int id = 0; id < 65536; ++id) {
            bytes[0x8000 + 2 * id] = char(id & 0xFF);
            bytes[0x8000 + 2 * id + 1] = char((id >> 8) & 0x7F);
        }
        m_identityRadar = writeFile(bytes);
        QVERIFY(!m_identityRadar.isEmpty());
    }

    void init() { QVERIFY(RadarColours::openRadarFile(m_identityRadar)); }

    void recordLayout()
    {
        // Header (never read), one record: id 0x123, x -1, y 2, z 0, then 4 ignored bytes.
        const QString path = writeFile(QByteArray::fromHex("a1b2c3d4"
                                                           "2301ffff02000000"
                                                           "eeeeeeee"));
        QByteArray radar = radarBytes(RadarColours::fullFileSize, {});
        radar[33348] = char(0xFF); // the neighbours' words, to catch a position off by one
        radar[33349] = char(0x7F);
        radar[33350] = char(0x34);
        radar[33351] = char(0x12);
        radar[33352] = char(0xFF);
        radar[33353] = char(0x7F);
        QVERIFY(openRadar(radar));

        StructureFile structure;
        QVERIFY(structure.load(path));
        QCOMPARE(structure.recordCount(), 1);
        QCOMPARE(structure.offset(), QPoint(-1, 2));
        QCOMPARE(structure.region(), QRect(0, 0, 1, 1));
        QCOMPARE(structure.topTiles().size(), 1);
        QCOMPARE(structure.topTiles().value(0x0002FFFFu, 0xDEADu), 0x00000123u);

        Outputs out;
        QVERIFY(renderStructurePreview(path, out.image, out.offset, out.region));
        QCOMPARE(out.image.size(), QSize(1, 1));
        QCOMPARE(out.image.format(), QImage::Format_ARGB32_Premultiplied);
        // 0x1234: red 4, green 17, blue 20, each times 8.
        QCOMPARE(rawPixel(out.image, 0, 0), 0xFF2088A0u);
        QCOMPARE(out.offset, QPoint(-1, 2));
        QCOMPARE(out.region.left(), 0);
        QCOMPARE(out.region.top(), 0);
        QCOMPARE(out.region.right(), 0);
        QCOMPARE(out.region.bottom(), 0);
    }

    void topTileOfCell_data()
    {
        QTest::addColumn<Tiles>("tiles");
        QTest::addColumn<int>("seenId");
        QTest::newRow("equal z: the first wins") << Tiles{{1, 0, 0, 0}, {2, 0, 0, 0}} << 1;
        QTest::newRow("greater z later wins") << Tiles{{1, 0, 0, 0}, {2, 0, 0, 1}} << 2;
        QTest::newRow("smaller z later loses") << Tiles{{1, 0, 0, 3}, {2, 0, 0, 2}} << 1;
        QTest::newRow("zero above minus one") << Tiles{{1, 0, 0, -1}, {2, 0, 0, 0}} << 2;
        QTest::newRow("minus one above minus two") << Tiles{{1, 0, 0, -2}, {2, 0, 0, -1}} << 2;
        QTest::newRow("32767 above -32768") << Tiles{{1, 0, 0, 32767}, {2, 0, 0, -32768}} << 1;
        QTest::newRow("-32768 below 32767") << Tiles{{1, 0, 0, -32768}, {2, 0, 0, 32767}} << 2;
        QTest::newRow("highest in the middle, then equal")
            << Tiles{{1, 0, 0, 0}, {2, 0, 0, 5}, {3, 0, 0, 5}, {4, 0, 0, 4}} << 2;
        QTest::newRow("equal negative, then lower")
            << Tiles{{1, 0, 0, -5}, {2, 0, 0, -5}, {3, 0, 0, -6}} << 1;
        QTest::newRow("ids above 0x7FFF") << Tiles{{0x8001, 0, 0, 1}, {0xFFFE, 0, 0, 2}} << 0xFFFE;
    }

    void topTileOfCell()
    {
        QFETCH(Tiles, tiles);
        QFETCH(int, seenId);
        const QString path = writeStructure(tiles);
        const QRgb expected = RadarColours::pixelFromWord(quint16(seenId & 0x7FFF));

        Outputs out;
        QVERIFY(renderStructurePreview(path, out.image, out.offset, out.region));
        QCOMPARE(out.image.size(), QSize(1, 1));
        QCOMPARE(rawPixel(out.image, 0, 0), expected);

        const QImage image = renderStructureImage(path, QRect(0, 0, 1, 1), QPoint(0, 0));
        QCOMPARE(image.size(), QSize(1, 1));
        QCOMPARE(rawPixel(image, 0, 0), expected);
    }

    void colourWord_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<uint>("pixel");
        QTest::newRow("white") << 0x7FFF << 0xFFF8F8F8u;
        QTest::newRow("blue") << 0x001F << 0xFF0000F8u;
        QTest::newRow("green") << 0x03E0 << 0xFF00F800u;
        QTest::newRow("red") << 0x7C00 << 0xFFF80000u;
        QTest::newRow("grey") << 0x4210 << 0xFF808080u;
        QTest::newRow("bit 15 only") << 0x8000 << 0xFF000000u;
        QTest::newRow("zero") << 0x0000 << 0xFF000000u;
        QTest::newRow("bit 15 with white") << 0xFFFF << 0xFFF8F8F8u;
        QTest::newRow("lowest bit of each channel") << 0x0421 << 0xFF080808u;
    }

    void colourWord()
    {
        QFETCH(int, word);
        QFETCH(uint, pixel);
        QVERIFY(openRadar(radarBytes(RadarColours::fullFileSize, {{0x0ABC, quint16(word)}})));
        QCOMPARE(RadarColours::colourWord(0x0ABC), quint16(word));

        const QString path = writeStructure({{0x0ABC, 5, -7, 3}});
        Outputs out;
        QVERIFY(renderStructurePreview(path, out.image, out.offset, out.region));
        QCOMPARE(rawPixel(out.image, 0, 0), QRgb(pixel));

        const QImage image = renderStructureImage(path, QRect(0, 0, 1, 1), QPoint(5, -7));
        QCOMPARE(rawPixel(image, 0, 0), QRgb(pixel));
    }

    void radarFileLength_data()
    {
        QTest::addColumn<qint64>("radarSize");
        QTest::addColumn<int>("id");
        QTest::addColumn<uint>("pixel");
        // The words written: id 0xFFFF 0x7C1F (bytes 163838, 163839), id 0x10 0x03E0, id 0
        // 0x001F.
        QTest::newRow("id 0xFFFF, full file") << qint64(163840) << 0xFFFF << 0xFFF800F8u;
        QTest::newRow("id 0xFFFF, last byte missing") << qint64(163839) << 0xFFFF << 0xFF000000u;
        QTest::newRow("id 0x10, file ends after it") << qint64(0x8022) << 0x10 << 0xFF00F800u;
        QTest::newRow("id 0x10, half its word") << qint64(0x8021) << 0x10 << 0xFF000000u;
        QTest::newRow("no table at all") << qint64(0x8000) << 0 << 0xFF000000u;
        QTest::newRow("empty file") << qint64(0) << 0 << 0xFF000000u;
        QTest::newRow("id 0, longer file") << qint64(163840 + 100) << 0 << 0xFF0000F8u;
    }

    void radarFileLength()
    {
        QFETCH(qint64, radarSize);
        QFETCH(int, id);
        QFETCH(uint, pixel);
        QByteArray radar = radarBytes(RadarColours::fullFileSize, {{0x10, 0x03E0}, {0, 0x001F}});
        radar[163838] = char(0x1F);
        radar[163839] = char(0x7C);
        if (radarSize > radar.size())
            radar.append(QByteArray(radarSize - radar.size(), '\0'));
        radar.truncate(radarSize);
        QVERIFY(openRadar(radar));

        // Two cells with a gap between them: the gap stays transparent.
        const QString path = writeStructure({{quint16(id), 0, 0, 0}, {quint16(id), 2, 0, 0}});
        Outputs out;
        QVERIFY(renderStructurePreview(path, out.image, out.offset, out.region));
        QCOMPARE(out.image.size(), QSize(3, 1));
        QCOMPARE(rawPixel(out.image, 0, 0), QRgb(pixel));
        QCOMPARE(rawPixel(out.image, 1, 0), 0x00000000u);
        QCOMPARE(rawPixel(out.image, 2, 0), QRgb(pixel));
    }

    void extentAndPlacement()
    {
        const QString path = writeStructure({{1, -3, 4, 0}, {2, 0, 4, 9}, {3, 2, 4, -9}});
        const QRgb one = RadarColours::pixelFromWord(1);
        const QRgb two = RadarColours::pixelFromWord(2);
        const QRgb three = RadarColours::pixelFromWord(3);

        Outputs out;
        QVERIFY(renderStructurePreview(path, out.image, out.offset, out.region));
        QCOMPARE(out.image.size(), QSize(6, 1));
        QCOMPARE(out.offset, QPoint(-3, 4));
        QCOMPARE(out.region, QRect(QPoint(0, 0), QPoint(5, 0)));
        const QList<QRgb> row = {one, 0, 0, two, 0, three}; // cell (0, 4) at pixel (3, 0)
        for (int x = 0; x < 6; ++x)
            QCOMPARE(rawPixel(out.image, x, 0), row[x]);

        // The same extent handed in gives the same pixels; left and top of the region are
        // not used.
        QCOMPARE(renderStructureImage(path, out.region, out.offset), out.image);
        QCOMPARE(renderStructureImage(path, QRect(10, 20, 6, 1), QPoint(-3, 4)), out.image);

        // Another extent: cells outside it are left out.
        const QImage part = renderStructureImage(path, QRect(0, 0, 3, 2), QPoint(-1, 4));
        QCOMPARE(part.size(), QSize(3, 2));
        QCOMPARE(part.format(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                QCOMPARE(rawPixel(part, x, y), (x == 1 && y == 0) ? two : 0u);
    }

    void manyOverlappingTiles()
    {
        // Many tiles in a small box around the anchor, most cells stacked several times.
        DemoData::Random random(11);
        Tiles tiles;
        for (int i = 0; i < 300; ++i)
            tiles.append({quint16(1 + random.bounded(500)), qint16(random.bounded(10) - 5),
                          qint16(random.bounded(8) - 4), qint16(random.bounded(7) - 3)});
        tiles.append({600, -6, 5, 0}); // lone corner cells widen the extent
        tiles.append({601, 6, -5, 0});

        QImage expected(13, 11, StructurePreview::format);
        expected.fill(0);
        QHash<QPoint, qint16> seenZ;
        for (const DemoData::Tile &tile : tiles) {
            const QPoint cell(tile.x, tile.y);
            if (seenZ.contains(cell) && tile.z <= seenZ.value(cell))
                continue;
            seenZ.insert(cell, tile.z);
            reinterpret_cast<QRgb *>(expected.scanLine(tile.y + 5))[tile.x + 6] =
                RadarColours::pixelFromWord(tile.id);
        }

        const QString path = writeStructure(tiles);
        Outputs out;
        QVERIFY(renderStructurePreview(path, out.image, out.offset, out.region));
        QCOMPARE(out.offset, QPoint(-6, -5));
        QCOMPARE(out.region, QRect(0, 0, 13, 11));
        QCOMPARE(out.image, expected);
        QCOMPARE(renderStructureImage(path, out.region, out.offset), expected);
    }

    void trailingBytesIgnored()
    {
        // 7 trailing bytes that would put a tile at x 40 if they were read as a record.
        const QString path = writeStructure({{1, 0, 0, 0}, {2, 1, 0, 0}, {3, 2, 0, 0}},
                                            QByteArray::fromHex("05002800000000"));
        QCOMPARE(QFileInfo(path).size(), qint64(4 + 12 * 3 + 7));
        StructureFile structure;
        QVERIFY(structure.load(path));
        QCOMPARE(structure.recordCount(), 3);

        Outputs out;
        QVERIFY(renderStructurePreview(path, out.image, out.offset, out.region));
        QCOMPARE(out.image.size(), QSize(3, 1));
        QCOMPARE(out.region, QRect(0, 0, 3, 1));
    }

    void radarFileClosed()
    {
        const QString path = writeStructure({{1, 0, 0, 0}, {2, 2, 1, 0}});
        for (const bool closeDirectly : {true, false}) {
            if (closeDirectly)
                radarFile.close();
            else
                QVERIFY(!RadarColours::openRadarFile(m_dir.filePath(QStringLiteral("missing"))));
            QVERIFY(!radarFile.isOpen());
            QCOMPARE(RadarColours::colourWord(1), quint16(0));

            Outputs out;
            QVERIFY(renderStructurePreview(path, out.image, out.offset, out.region));
            QCOMPARE(out.image.size(), QSize(3, 2));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    QCOMPARE(rawPixel(out.image, x, y),
                             (x == 0 && y == 0) || (x == 2 && y == 1) ? 0xFF000000u : 0u);
            init();
        }
    }

    void extentBound_data()
    {
        QTest::addColumn<Tiles>("tiles");
        QTest::addColumn<QSize>("size"); // empty when refused
        QTest::newRow("4096 wide") << Tiles{{1, -2048, 0, 0}, {2, 2047, 0, 0}} << QSize(4096, 1);
        QTest::newRow("4096 tall") << Tiles{{1, 0, 0, 0}, {2, 0, 4095, 0}} << QSize(1, 4096);
        QTest::newRow("4097 wide") << Tiles{{1, 0, 0, 0}, {2, 4096, 0, 0}} << QSize();
        QTest::newRow("4097 tall") << Tiles{{1, 0, -1, 0}, {2, 0, 4095, 0}} << QSize();
        QTest::newRow("whole 16-bit range in x")
            << Tiles{{1, -32768, 0, 0}, {2, 32767, 0, 0}} << QSize();
        QTest::newRow("whole 16-bit range in y, hidden tile")
            << Tiles{{1, 0, 0, 5}, {2, 0, 32767, 0}, {3, 0, -32768, 0}} << QSize();
    }

    void extentBound()
    {
        QFETCH(Tiles, tiles);
        QFETCH(QSize, size);
        const QString path = writeStructure(tiles);
        Outputs out;
        const bool rendered = renderStructurePreview(path, out.image, out.offset, out.region);
        QCOMPARE(rendered, size.isValid());
        if (!rendered) {
            QVERIFY(out.untouched());
            return;
        }
        QCOMPARE(out.image.size(), size);
        QCOMPARE(out.region, QRect(QPoint(0, 0), size));
        QCOMPARE(rawPixel(out.image, 0, 0), RadarColours::pixelFromWord(1));
        QCOMPARE(rawPixel(out.image, size.width() - 1, size.height() - 1),
                 RadarColours::pixelFromWord(2));
    }

    void structureImageSize_data()
    {
        QTest::addColumn<QRect>("region");
        QTest::addColumn<bool>("rendered");
        QTest::newRow("4096 x 1") << QRect(0, 0, 4096, 1) << true;
        QTest::newRow("1 x 4096") << QRect(0, 0, 1, 4096) << true;
        QTest::newRow("2 x 3 away from the origin") << QRect(7, 9, 2, 3) << true;
        QTest::newRow("4097 x 1") << QRect(0, 0, 4097, 1) << false;
        QTest::newRow("1 x 4097") << QRect(0, 0, 1, 4097) << false;
        QTest::newRow("zero width") << QRect(0, 0, 0, 1) << false;
        QTest::newRow("zero height") << QRect(0, 0, 1, 0) << false;
        QTest::newRow("negative width") << QRect(QPoint(0, 0), QPoint(-5, 2)) << false;
        QTest::newRow("negative height") << QRect(QPoint(0, 0), QPoint(2, -5)) << false;
        QTest::newRow("huge") << QRect(0, 0, 65536, 65536) << false;
    }

    void structureImageSize()
    {
        QFETCH(QRect, region);
        QFETCH(bool, rendered);
        const QString path = writeStructure({{1, 0, 0, 0}});
        const QImage image = renderStructureImage(path, region, QPoint(0, 0));
        QCOMPARE(!image.isNull(), rendered);
        if (!rendered)
            return;
        QCOMPARE(image.size(), region.size());
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(rawPixel(image, 0, 0), RadarColours::pixelFromWord(1));
        QCOMPARE(rawPixel(image, image.width() - 1, image.height() - 1), 0u);
    }

    void noWholeRecord_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("header only") << 4;
        QTest::newRow("header and 11 bytes") << 15;
    }

    void noWholeRecord()
    {
        // Zero bytes: read as a record they would give tile 0 at (0, 0), opaque black.
        QFETCH(int, size);
        const QString path = writeFile(QByteArray(size, '\0'));
        StructureFile structure;
        QVERIFY(structure.load(path));
        QVERIFY(structure.isEmpty());
        QCOMPARE(structure.recordCount(), 0);

        Outputs out;
        QVERIFY(!renderStructurePreview(path, out.image, out.offset, out.region));
        QVERIFY(out.untouched());

        const QImage image = renderStructureImage(path, QRect(0, 0, 4, 3), QPoint(0, 0));
        QCOMPARE(image.size(), QSize(4, 3));
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        QVERIFY(allPixelsAre(image, 0));
    }

    void unreadableFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << QStringLiteral("no-such.mlt");
        QTest::newRow("folder") << QStringLiteral("folder.mlt");
    }

    void unreadableFile()
    {
        QFETCH(QString, name);
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder.mlt")));
        const QString path = m_dir.filePath(name);
        StructureFile structure;
        QVERIFY(!structure.load(path));
        Outputs out;
        QVERIFY(!renderStructurePreview(path, out.image, out.offset, out.region));
        QVERIFY(out.untouched());
        QVERIFY(renderStructureImage(path, QRect(0, 0, 2, 2), QPoint(0, 0)).isNull());
    }

    void radarFileReopened()
    {
        const QString structure = writeStructure({{9, 0, 0, 0}});
        const QString blueFile = writeFile(radarBytes(RadarColours::fullFileSize, {{9, 0x001F}}));
        const QString redFile = writeFile(radarBytes(RadarColours::fullFileSize, {{9, 0x7C00}}));
        const QString shortFile = writeFile(radarBytes(0x8000, {}));
        const auto seen = [&]() -> std::optional<QRgb> {
            QImage image;
            QPoint offset;
            QRect region;
            if (!renderStructurePreview(structure, image, offset, region))
                return std::nullopt;
            return rawPixel(image, 0, 0);
        };

        QVERIFY(RadarColours::openRadarFile(blueFile));
        QCOMPARE(seen().value_or(1), 0xFF0000F8u);
        QVERIFY(RadarColours::openRadarFile(redFile));
        QCOMPARE(seen().value_or(1), 0xFFF80000u);
        // A shorter file after a full one: nothing may be read from the old file's map.
        QVERIFY(RadarColours::openRadarFile(shortFile));
        QCOMPARE(seen().value_or(1), 0xFF000000u);
        QVERIFY(RadarColours::openRadarFile(blueFile));
        QCOMPARE(seen().value_or(1), 0xFF0000F8u);

        // Closed and re-opened on the file object itself, as any holder of it may.
        radarFile.close();
        radarFile.setFileName(redFile);
        QVERIFY(radarFile.open(QIODevice::ReadOnly));
        QCOMPARE(seen().value_or(1), 0xFFF80000u);

        // The same path, its file replaced on disk meanwhile.
        QVERIFY(
            DemoData::writeFile(redFile, radarBytes(RadarColours::fullFileSize, {{9, 0x03E0}})));
        QVERIFY(RadarColours::openRadarFile(redFile));
        QCOMPARE(seen().value_or(1), 0xFF00F800u);
    }
};

QTEST_GUILESS_MAIN(StructurePreviewTest)
#include "tst_structurepreview.moc"
