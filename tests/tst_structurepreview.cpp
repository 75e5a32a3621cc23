// Structure files read into top tiles, and the flat previews painted from them in radar colours.

#include "DemoData.h"

#include "app/RadarColours.h"
#include "library/StructurePreview.h"

#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(DemoData::Tile)

using Tiles = QList<DemoData::Tile>;

class StructurePreviewTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RadarColours m_colours;
    int m_files = 0;

    QString writeFile(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("file-%1").arg(++m_files));
        return DemoData::writeFile(path, bytes) ? path : QString();
    }

private slots:
    void initTestCase()
    {
        // Every tile id's colour word is the id itself.
        QByteArray radar(RadarColours::fullFileSize, '\0');
        for (int id = 0; id < 65536; ++id) {
            radar[0x8000 + 2 * id] = char(id & 0xFF);
            radar[0x8000 + 2 * id + 1] = char(id >> 8);
        }
        QVERIFY(m_colours.open(writeFile(radar)));
    }

    // One cell: which of its tiles is seen, and the pixel its colour word gives.
    void cellPixel_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<uint>("pixel");
        QTest::addColumn<QPoint>("offset");
        // Header (never read), one record: id 0x1234, x -1, y 2, z 0, then 4 ignored bytes; then
        // 7 trailing bytes that would put a tile at x 40 if they were read as a record.
        // 0x1234: red 4, green 17, blue 20 (each channel in its place), each times 8.
        QTest::newRow("record layout")
            << QByteArray::fromHex("a1b2c3d4 3412ffff02000000 eeeeeeee 05002800000000")
            << 0xFF2088A0u << QPoint(-1, 2);
        const auto row = [](const char *name, const Tiles &tiles, QRgb pixel) {
            QTest::newRow(name) << DemoData::structureBytes(tiles) << uint(pixel) << QPoint(0, 0);
        };
        const auto of = &RadarColours::pixelFromWord;
        row("greater z wins; of equal z, the first",
            {{1, 0, 0, 0}, {2, 0, 0, 5}, {3, 0, 0, 5}, {4, 0, 0, 4}}, of(2));
        row("z signed: -32768 below 32767", {{2, 0, 0, 32767}, {1, 0, 0, -32768}}, of(2));
        row("bit 15 ignored", {{0x8000, 0, 0, 0}}, 0xFF000000u);
        row("white, bit 15 too", {{0xFFFF, 0, 0, 0}}, 0xFFF8F8F8u);
        row("lowest bit of each channel", {{0x0421, 0, 0, 0}}, 0xFF080808u);
    }

    void cellPixel()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(uint, pixel);
        QFETCH(QPoint, offset);
        QImage image;
        QPoint gotOffset;
        QRect region;
        QVERIFY(renderStructurePreview(writeFile(bytes), m_colours, image, gotOffset, region));
        QCOMPARE(region, QRect(0, 0, 1, 1));
        QCOMPARE(image.pixel(0, 0), QRgb(pixel));
        QCOMPARE(gotOffset, offset);
    }

    void extentBound_data()
    {
        QTest::addColumn<Tiles>("tiles");
        QTest::addColumn<QSize>("extent");
        QTest::newRow("4096 wide") << Tiles{{1, -2048, 0, 0}, {2, 2047, 0, 0}} << QSize(4096, 1);
        QTest::newRow("4096 tall") << Tiles{{1, 0, 0, 0}, {2, 0, 4095, 0}} << QSize(1, 4096);
        QTest::newRow("4097 wide") << Tiles{{1, 0, 0, 0}, {2, 4096, 0, 0}} << QSize(4097, 1);
        QTest::newRow("4097 tall") << Tiles{{1, 0, -1, 0}, {2, 0, 4095, 0}} << QSize(1, 4097);
        QTest::newRow("whole 16-bit range in y, hidden tile")
            << Tiles{{1, 0, 0, 5}, {2, 0, 32767, 0}, {3, 0, -32768, 0}} << QSize(1, 65536);
    }

    // Previews up to 4096 cells either way, the outputs untouched beyond; an image of a region
    // elsewhere shows the same cells, in the same place.
    void extentBound()
    {
        QFETCH(Tiles, tiles);
        QFETCH(QSize, extent);
        const bool within = extent.width() <= 4096 && extent.height() <= 4096;
        const QString path = writeFile(DemoData::structureBytes(tiles));
        QImage preview;
        QPoint offset(77, 77);
        QRect region;
        QCOMPARE(renderStructurePreview(path, m_colours, preview, offset, region), within);
        const QImage image =
            renderStructureImage(path, m_colours, QRect(QPoint(7, 9), extent), offset);
        if (!within) {
            QVERIFY(preview.isNull() && region.isNull() && offset == QPoint(77, 77));
            QVERIFY(image.isNull());
            return;
        }
        QCOMPARE(region, QRect(QPoint(0, 0), extent));
        QCOMPARE(image, preview);
        QCOMPARE(image.pixel(0, 0), RadarColours::pixelFromWord(1));
        QCOMPARE(image.pixel(extent.width() - 1, extent.height() - 1),
                 RadarColours::pixelFromWord(2));
    }
};

QTEST_GUILESS_MAIN(StructurePreviewTest)
#include "tst_structurepreview.moc"
