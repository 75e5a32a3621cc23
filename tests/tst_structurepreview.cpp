// Structure files read into top tiles, and the flat previews painted from them in radar colours.

#include "TestSupport.h"

#include "app/RadarColours.h"
#include "library/StructurePreview.h"

#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using Tiles = QList<DemoData::Tile>;

class StructurePreviewTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    RadarColours m_colours;

private slots:
    void initTestCase()
    {
        // Every tile id's colour word is the id itself.
        QByteArray radar(RadarColours::fullFileSize, '\0');
        for (int id = 0; id < 65536; ++id)
            qToLittleEndian(quint16(id), radar.data() + 0x8000 + 2 * id);
        QVERIFY(m_colours.open(TestSupport::writeBytes(m_dir, radar)));
    }

    void render_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("extent");  // more than 4096 either way: refused
        QTest::addColumn<QPoint>("offset"); // (77, 77): left as it was
        QTest::addColumn<uint>("first");    // the top left pixel
        QTest::addColumn<uint>("last");     // the bottom right one
        // Header (never read), one record: id 0x1234, x -1, y 2, z 0, then 4 ignored bytes; then
        // 7 trailing bytes that would put a tile at x 40 if they were read as a record.
        // 0x1234: red 4, green 17, blue 20 (each channel in its place), each times 8.
        QTest::newRow("record layout")
            << QByteArray::fromHex("a1b2c3d4 3412ffff02000000 eeeeeeee 05002800000000")
            << QSize(1, 1) << QPoint(-1, 2) << 0xFF2088A0u << 0xFF2088A0u;
        const QRgb one = RadarColours::pixelFromWord(1), two = RadarColours::pixelFromWord(2);
        const auto row = [&](const char *name, const Tiles &tiles, QSize extent, QPoint offset) {
            QTest::newRow(name) << DemoData::structureBytes(tiles) << extent << offset << uint(one)
                                << uint(two);
        };
        row("greater z wins; of equal z, the first",
            {{1, 0, 0, 0}, {3, 0, 1, 0}, {2, 0, 1, 5}, {5, 0, 1, 5}, {4, 0, 1, 4}}, {1, 2}, {});
        row("z signed: -32768 below 32767", {{1, 0, 0, 0}, {2, 0, 1, 32767}, {3, 0, 1, -32768}},
            {1, 2}, {});
        row("4096 wide", {{1, -2048, 0, 0}, {2, 2047, 0, 0}}, {4096, 1}, {-2048, 0});
        row("4097 wide", {{1, 0, 0, 0}, {2, 4096, 0, 0}}, {4097, 1}, {77, 77});
        row("4097 tall", {{1, 0, -1, 0}, {2, 0, 4095, 0}}, {1, 4097}, {77, 77});
        row("whole 16-bit range in y, hidden tile",
            {{1, 0, 0, 5}, {2, 0, 32767, 0}, {3, 0, -32768, 0}}, {1, 65536}, {77, 77});
    }

    // Previews up to 4096 cells either way, the outputs untouched beyond; an image of a region
    // elsewhere shows the same cells, in the same place.
    void render()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, extent);
        QFETCH(QPoint, offset);
        QFETCH(uint, first);
        QFETCH(uint, last);
        const bool within = extent.width() <= 4096 && extent.height() <= 4096;
        const QString path = TestSupport::writeBytes(m_dir, bytes);
        QImage preview;
        QPoint gotOffset(77, 77);
        QRect region;
        QCOMPARE(renderStructurePreview(path, m_colours, preview, gotOffset, region), within);
        QCOMPARE(gotOffset, offset);
        const QImage image =
            renderStructureImage(path, m_colours, QRect(QPoint(7, 9), extent), gotOffset);
        QVERIFY(within || (preview.isNull() && region.isNull() && image.isNull()));
        if (!within)
            return;
        QCOMPARE(region, QRect(QPoint(0, 0), extent));
        QVERIFY(image == preview && image.pixel(0, 0) == first &&
                image.pixel(extent.width() - 1, extent.height() - 1) == last);
    }
};

QTEST_GUILESS_MAIN(StructurePreviewTest)
#include "tst_structurepreview.moc"
