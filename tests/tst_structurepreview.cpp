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

// Outputs of renderStructurePreview set to values it never produces, to see them untouched.
struct Outputs
{
    QImage image = QImage(2, 3, QImage::Format_RGB32);
    QPoint offset{77, -77};
    QRect region{5, 6, 7, 8};

    bool untouched() const
    {
        return image.size() == QSize(2, 3) && offset == QPoint(77, -77) &&
               region == QRect(5, 6, 7, 8);
    }
};

} // namespace

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

    void recordLayout()
    {
        // Header (never read), one record: id 0x1234, x -1, y 2, z 0, then 4 ignored bytes; then
        // 7 trailing bytes that would put a tile at x 40 if they were read as a record.
        const QString path = writeFile(QByteArray::fromHex("a1b2c3d4"
                                                           "3412ffff02000000"
                                                           "eeeeeeee"
                                                           "05002800000000"));
        StructureFile structure;
        QVERIFY(structure.load(path));
        QCOMPARE(structure.recordCount(), 1);
        Outputs out;
        QVERIFY(renderStructurePreview(path, m_colours, out.image, out.offset, out.region));
        QCOMPARE(out.image.size(), QSize(1, 1));
        // 0x1234: red 4, green 17, blue 20 (each channel in its place), each times 8.
        QCOMPARE(out.image.pixel(0, 0), 0xFF2088A0u);
        QCOMPARE(out.offset, QPoint(-1, 2));
        QCOMPARE(out.region, QRect(0, 0, 1, 1));
    }

    // One cell: which of its tiles is seen, and the pixel its colour word gives.
    void cellPixel_data()
    {
        QTest::addColumn<Tiles>("tiles");
        QTest::addColumn<uint>("pixel");
        const auto top = [](const char *name, const Tiles &tiles, quint16 seenId) {
            QTest::newRow(name) << tiles << uint(RadarColours::pixelFromWord(seenId));
        };
        top("greater z wins; of equal z, the first",
            {{1, 0, 0, 0}, {2, 0, 0, 5}, {3, 0, 0, 5}, {4, 0, 0, 4}}, 2);
        top("z signed: -32768 below 32767", {{1, 0, 0, -32768}, {2, 0, 0, 32767}}, 2);
        top("equal negative z, then lower", {{1, 0, 0, -5}, {2, 0, 0, -5}, {3, 0, 0, -6}}, 1);
        QTest::newRow("bit 15 ignored") << Tiles{{0x8000, 0, 0, 0}} << 0xFF000000u;
        QTest::newRow("white, bit 15 too") << Tiles{{0xFFFF, 0, 0, 0}} << 0xFFF8F8F8u;
        QTest::newRow("lowest bit of each channel") << Tiles{{0x0421, 0, 0, 0}} << 0xFF080808u;
    }

    void cellPixel()
    {
        QFETCH(Tiles, tiles);
        QFETCH(uint, pixel);
        const QString path = writeFile(DemoData::structureBytes(tiles));
        Outputs out;
        QVERIFY(renderStructurePreview(path, m_colours, out.image, out.offset, out.region));
        QCOMPARE(out.image.size(), QSize(1, 1));
        QCOMPARE(out.image.pixel(0, 0), QRgb(pixel));
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

    // Previews up to 4096 cells either way; an image of a region of another place and size
    // shows the cells inside it only.
    void extentBound()
    {
        QFETCH(Tiles, tiles);
        QFETCH(QSize, extent);
        const bool within = extent.width() <= 4096 && extent.height() <= 4096;
        const QString path = writeFile(DemoData::structureBytes(tiles));
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
        const QImage corner =
            renderStructureImage(path, m_colours, QRect(0, 0, 2, 2), out.offset + QPoint(-1, -1));
        QCOMPARE(corner.pixel(1, 1), RadarColours::pixelFromWord(1));
        QCOMPARE(corner.pixel(0, 0), 0u);
    }

    void nothingToRender_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("readable");
        // Zero bytes: read as a record they would give tile 0 at (0, 0), opaque black.
        QTest::newRow("empty") << writeFile(QByteArray()) << true;
        QTest::newRow("header and 11 bytes") << writeFile(QByteArray(15, '\0')) << true;
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("no-such.mlt")) << false;
    }

    void nothingToRender()
    {
        QFETCH(QString, path);
        QFETCH(bool, readable);
        Outputs out;
        QVERIFY(!renderStructurePreview(path, m_colours, out.image, out.offset, out.region));
        QVERIFY(out.untouched());
        // Asked for an image of a size, a readable file gives one all transparent.
        QImage blank(4, 3, StructurePreview::format);
        blank.fill(0);
        QCOMPARE(renderStructureImage(path, m_colours, QRect(0, 0, 4, 3), QPoint(0, 0)),
                 readable ? blank : QImage());
        QVERIFY(renderStructureImage(path, m_colours, QRect(0, 0, 0, 1), QPoint(0, 0)).isNull());
    }
};

QTEST_GUILESS_MAIN(StructurePreviewTest)
#include "tst_structurepreview.moc"
