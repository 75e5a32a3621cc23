// Structure files read into top tiles, and the flat previews painted from them in radar colours.

#include "DemoData.h"

#include "app/RadarColours.h"
#include "library/StructureFile.h"
#include "library/StructurePreview.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(DemoData::Tile)

using Tiles = QList<DemoData::Tile>;

namespace {

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
    static QImage sentinel()
    {
        QImage image(2, 3, QImage::Format_RGB32);
        image.fill(0xFF123456);
        return image;
    }
    QImage image = sentinel();
    QPoint offset{77, -77};
    QRect region{5, 6, 7, 8};

    bool untouched() const
    {
        return image == sentinel() && offset == QPoint(77, -77) && region == QRect(5, 6, 7, 8);
    }
};

} // namespace

class StructurePreviewTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_identityRadar;
    RadarColours m_colours;
    int m_files = 0;

    QString writeFile(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("file-%1").arg(++m_files));
        return DemoData::writeFile(path, bytes) ? path : QString();
    }
    QString writeStructure(const Tiles &tiles)
    {
        return writeFile(DemoData::structureBytes(tiles));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Every tile id's colour word is the id itself (bit 15 dropped).
        QList<QPair<quint16, quint16>> words;
        for (int id = 0; id < 65536; ++id)
            words.append({quint16(id), quint16(id & 0x7FFF)});
        m_identityRadar = writeFile(radarBytes(RadarColours::fullFileSize, words));
        QVERIFY(!m_identityRadar.isEmpty());
    }

    void init() { QVERIFY(m_colours.open(m_identityRadar)); }

    void recordLayout()
    {
        // Header (never read), one record: id 0x123, x -1, y 2, z 0, then 4 ignored bytes; then 7
        // trailing bytes that would put a tile at x 40 if they were read as a record.
        const QString path = writeFile(QByteArray::fromHex("a1b2c3d4"
                                                           "2301ffff02000000"
                                                           "eeeeeeee"
                                                           "05002800000000"));
        // The neighbours' words too, to catch a position off by one.
        QVERIFY(m_colours.open(writeFile(radarBytes(
            RadarColours::fullFileSize, {{0x122, 0x7FFF}, {0x123, 0x1234}, {0x124, 0x7FFF}}))));

        StructureFile structure;
        QVERIFY(structure.load(path));
        QCOMPARE(structure.recordCount(), 1);
        QCOMPARE(structure.topTiles(), (QHash<quint32, quint32>{{0x0002FFFFu, 0x00000123u}}));

        Outputs out;
        QVERIFY(renderStructurePreview(path, m_colours, out.image, out.offset, out.region));
        QCOMPARE(out.image.size(), QSize(1, 1));
        // 0x1234: red 4, green 17, blue 20 (each channel in its place), each times 8.
        QCOMPARE(out.image.pixel(0, 0), 0xFF2088A0u);
        QCOMPARE(out.offset, QPoint(-1, 2));
    }

    // One cell: which of its tiles is seen, and the pixel its colour word gives.
    void cellPixel_data()
    {
        QTest::addColumn<Tiles>("tiles");
        QTest::addColumn<QByteArray>("radar"); // null: every id's word is the id
        QTest::addColumn<uint>("pixel");
        const auto top = [](const char *name, const Tiles &tiles, quint16 seenId) {
            QTest::newRow(name) << tiles << QByteArray()
                                << uint(RadarColours::pixelFromWord(seenId));
        };
        top("greater z wins; of equal z, the first",
            {{1, 0, 0, 0}, {2, 0, 0, 5}, {3, 0, 0, 5}, {4, 0, 0, 4}}, 2);
        top("z signed: -32768 below 32767", {{1, 0, 0, -32768}, {2, 0, 0, 32767}}, 2);
        top("equal negative z, then lower", {{1, 0, 0, -5}, {2, 0, 0, -5}, {3, 0, 0, -6}}, 1);
        top("ids above 0x7FFF", {{0x8001, 0, 0, 1}, {0xFFFE, 0, 0, 2}}, 0x7FFE);

        const auto colour = [](const char *name, quint16 word, uint pixel) {
            QTest::newRow(name) << Tiles{{9, 5, -7, 3}}
                                << radarBytes(RadarColours::fullFileSize, {{9, word}}) << pixel;
        };
        colour("bit 15 only", 0x8000, 0xFF000000u);
        colour("bit 15 with white", 0xFFFF, 0xFFF8F8F8u);
        colour("lowest bit of each channel", 0x0421, 0xFF080808u);

        // The words written: id 0xFFFF 0x7C1F (the file's last two bytes), 0x10 0x03E0, 0 0x001F.
        const auto length = [](const char *name, qint64 size, quint16 id, uint pixel) {
            QTest::newRow(name) << Tiles{{id, 0, 0, 0}}
                                << radarBytes(size, {{0xFFFF, 0x7C1F}, {0x10, 0x03E0}, {0, 0x001F}})
                                << pixel;
        };
        length("id 0xFFFF, full file", 163840, 0xFFFF, 0xFFF800F8u);
        length("id 0xFFFF, last byte missing", 163839, 0xFFFF, 0xFF000000u);
        length("id 0x10, file ends after it", 0x8022, 0x10, 0xFF00F800u);
        length("empty file", 0, 0, 0xFF000000u);
        length("id 0, longer file", 163840 + 100, 0, 0xFF0000F8u);
    }

    void cellPixel()
    {
        QFETCH(Tiles, tiles);
        QFETCH(QByteArray, radar);
        QFETCH(uint, pixel);
        if (!radar.isNull())
            QVERIFY(m_colours.open(writeFile(radar)));
        const QString path = writeStructure(tiles);
        Outputs out;
        QVERIFY(renderStructurePreview(path, m_colours, out.image, out.offset, out.region));
        QCOMPARE(out.image.size(), QSize(1, 1));
        QCOMPARE(out.image.pixel(0, 0), QRgb(pixel));
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
        QVERIFY(renderStructurePreview(path, m_colours, out.image, out.offset, out.region));
        QCOMPARE(out.offset, QPoint(-6, -5));
        QCOMPARE(out.region, QRect(0, 0, 13, 11));
        QCOMPARE(out.image, expected);
        // Another extent: cells outside it are left out; left and top of the region not used.
        QCOMPARE(renderStructureImage(path, m_colours, QRect(10, 20, 5, 4), QPoint(-2, -1)),
                 expected.copy(4, 4, 5, 4));
    }

    void extentBound_data()
    {
        QTest::addColumn<Tiles>("tiles");
        QTest::addColumn<QSize>("extent");
        QTest::newRow("4096 wide") << Tiles{{1, -2048, 0, 0}, {2, 2047, 0, 0}} << QSize(4096, 1);
        QTest::newRow("4096 tall") << Tiles{{1, 0, 0, 0}, {2, 0, 4095, 0}} << QSize(1, 4096);
        QTest::newRow("4097 wide") << Tiles{{1, 0, 0, 0}, {2, 4096, 0, 0}} << QSize(4097, 1);
        QTest::newRow("4097 tall") << Tiles{{1, 0, -1, 0}, {2, 0, 4095, 0}} << QSize(1, 4097);
        QTest::newRow("whole 16-bit range in x")
            << Tiles{{1, -32768, 0, 0}, {2, 32767, 0, 0}} << QSize(65536, 1);
        QTest::newRow("whole 16-bit range in y, hidden tile")
            << Tiles{{1, 0, 0, 5}, {2, 0, 32767, 0}, {3, 0, -32768, 0}} << QSize(1, 65536);
    }

    void extentBound()
    {
        QFETCH(Tiles, tiles);
        QFETCH(QSize, extent);
        const bool within = extent.width() <= 4096 && extent.height() <= 4096;
        const QString path = writeStructure(tiles);
        Outputs out;
        QCOMPARE(renderStructurePreview(path, m_colours, out.image, out.offset, out.region),
                 within);
        const QImage image =
            renderStructureImage(path, m_colours, QRect(QPoint(7, 9), extent), out.offset);
        if (!within) {
            QVERIFY(out.untouched());
            QVERIFY(image.isNull());
            return;
        }
        QCOMPARE(out.region, QRect(QPoint(0, 0), extent));
        QCOMPARE(image, out.image);
        QCOMPARE(image.pixel(0, 0), RadarColours::pixelFromWord(1));
        QCOMPARE(image.pixel(extent.width() - 1, extent.height() - 1),
                 RadarColours::pixelFromWord(2));
    }

    void emptyImageSizeRefused()
    {
        const QString path = writeStructure({{1, 0, 0, 0}});
        for (const QRect &region : {QRect(0, 0, 0, 1), QRect(QPoint(0, 0), QPoint(2, -5))})
            QVERIFY(renderStructureImage(path, m_colours, region, QPoint(0, 0)).isNull());
    }

    void nothingToRender_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("readable");
        // Zero bytes: read as a record they would give tile 0 at (0, 0), opaque black.
        QTest::newRow("empty") << writeFile(QByteArray()) << true;
        QTest::newRow("header and 11 bytes") << writeFile(QByteArray(15, '\0')) << true;
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("no-such.mlt")) << false;
        QDir(m_dir.path()).mkpath(QStringLiteral("folder.mlt"));
        QTest::newRow("folder") << m_dir.filePath(QStringLiteral("folder.mlt")) << false;
    }

    void nothingToRender()
    {
        QFETCH(QString, path);
        QFETCH(bool, readable);
        StructureFile structure;
        QCOMPARE(structure.load(path), readable);
        QCOMPARE(structure.recordCount(), 0);
        Outputs out;
        QVERIFY(!renderStructurePreview(path, m_colours, out.image, out.offset, out.region));
        QVERIFY(out.untouched());
        // Asked for an image of a size, a readable file gives one all transparent.
        QImage blank(4, 3, StructurePreview::format);
        blank.fill(0);
        QCOMPARE(renderStructureImage(path, m_colours, QRect(0, 0, 4, 3), QPoint(0, 0)),
                 readable ? blank : QImage());
    }

    void radarFileSwitched()
    {
        const QString structure = writeStructure({{9, 0, 0, 0}});
        const QString blueFile = writeFile(radarBytes(RadarColours::fullFileSize, {{9, 0x001F}}));
        const QString redFile = writeFile(radarBytes(RadarColours::fullFileSize, {{9, 0x7C00}}));
        const QString shortFile = writeFile(radarBytes(0x8000, {}));
        const QRgb blue = 0xFF0000F8u, red = 0xFFF80000u, black = 0xFF000000u;
        // The pixel seen after opening radar, 1 when it does not open.
        const auto seen = [&](const QString &radar) -> QRgb {
            if (!radar.isEmpty() && !m_colours.open(radar))
                return 1;
            return renderStructureImage(structure, m_colours, QRect(0, 0, 1, 1), QPoint(0, 0))
                .pixel(0, 0);
        };

        QCOMPARE(seen(blueFile), blue);
        QCOMPARE(seen(redFile), red);
        // A shorter file after a full one: nothing may be read from the old file's map.
        QCOMPARE(seen(shortFile), black);
        QCOMPARE(seen(blueFile), blue);
        // Closed, then read at open time: a file cut short afterwards changes nothing.
        m_colours.close();
        QVERIFY(!m_colours.isOpen());
        QCOMPARE(seen({}), black);
        QCOMPARE(seen(redFile), red);
        QVERIFY(QFile::resize(redFile, 0x8000));
        QCOMPARE(seen({}), red);
        // Another that does not open leaves none open.
        QVERIFY(!m_colours.open(m_dir.filePath(QStringLiteral("missing"))));
        QCOMPARE(seen({}), black);
        // The same path, its file replaced on disk meanwhile.
        QVERIFY(
            DemoData::writeFile(redFile, radarBytes(RadarColours::fullFileSize, {{9, 0x03E0}})));
        QCOMPARE(seen(redFile), 0xFF00F800u);
    }
};

QTEST_GUILESS_MAIN(StructurePreviewTest)
#include "tst_structurepreview.moc"
