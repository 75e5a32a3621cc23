// Structure files read into top tiles, and the flat previews painted from them in radar colours;
// the structure drag payload ("vd/tessary") that carries them and the structure name list
// ("korvath/multi"): their exact bytes, and what the readers refuse.

#include "TestSupport.h"

#include "core/NameList.h"
#include "core/RadarColours.h"
#include "core/StructurePayload.h"
#include "core/StructurePreview.h"

#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

using Tiles = QList<DemoData::Tile>;

namespace {

// A preview image: opaque pixels of varied colours, every third one transparent.
QImage preview(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < width * height; ++i)
        image.setPixel(i % width, i / width, i % 3 ? 0xFF000000u | (quint32(i) * 40503u) : 0u);
    return image;
}

} // namespace

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

    void encodeExactly()
    {
        // Path: byte count 40, then "/maps", "/walls", "/gate.mlt" in UTF-16LE.
        // Offset (-3, 4); region left 0, top 0, right 5, bottom 0; image marker 1.
        const QByteArray head =
            QByteArray::fromHex("28000000 2f006d00610070007300 2f00770061006c006c007300"
                                "2f0067006100740065002e006d006c007400 fdffffff 04000000"
                                "00000000 00000000 05000000 00000000 01000000");
        const StructurePayload payload{
            QStringLiteral("/maps/walls/gate.mlt"), {-3, 4}, {0, 0, 6, 1}, preview(6, 1)};
        const QByteArray bytes = payload.encode();
        QCOMPARE(bytes.left(head.size()).toHex(' '), head.toHex(' '));
        QCOMPARE(
            QImage::fromData(bytes.mid(head.size()), "PNG").convertToFormat(QImage::Format_ARGB32),
            payload.image.convertToFormat(QImage::Format_ARGB32));

        // Every cut is refused, and so is no mime data.
        for (int size = 0; size < bytes.size(); ++size)
            QVERIFY(!StructurePayload::decode(bytes.left(size)));
        QVERIFY(!StructurePayload::fromMimeData(nullptr));
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        const auto encoded = [](const QRect &region, const QImage &image, QString path = "/s") {
            return StructurePayload{path, {-32768, 32767}, region, image}.encode();
        };
        QTest::newRow("non-ASCII path, extreme offsets")
            << encoded({0, 0, 1, 1}, preview(1, 1),
                       QStringLiteral("/\u00C6r\u00F8/\u57CE/\U0001F3F0"))
            << true;
        QTest::newRow("4096 wide") << encoded({0, 0, 4096, 1}, preview(4096, 1)) << true;
        QTest::newRow("4097 wide") << encoded({0, 0, 4097, 1}, preview(4097, 1)) << false;
        QTest::newRow("4097 tall") << encoded({0, 0, 1, 4097}, preview(1, 4097)) << false;
        QTest::newRow("image narrower") << encoded({0, 0, 3, 2}, preview(2, 2)) << false;
        QTest::newRow("odd path byte count")
            << QByteArray::fromHex("03000000") + "abc" + QByteArray(40, '\0') << false;
    }

    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        QMimeData data;
        data.setData(StructurePayload::mimeType, bytes);
        const std::optional<StructurePayload> dropped = StructurePayload::fromMimeData(&data);
        // Encoded again, the same bytes: path, offset, region and pixels came through.
        const std::unique_ptr<QMimeData> again(dropped ? dropped->toMimeData() : new QMimeData);
        QCOMPARE(again->data(QStringLiteral("vd/tessary")), accepted ? bytes : QByteArray());
    }

    // Each name its UTF-16 byte count, -1 for a null name, and its characters; no count of names.
    void nameList()
    {
        const QStringList names{"a", QString(), "", "b", QStringLiteral("\u00C6\U0001F3F0")};
        const QByteArray bytes = QByteArray::fromHex(
            "02000000 6100 ffffffff 00000000 02000000 6200 06000000 c600 3cd8 f0df");
        QCOMPARE(NameList::encode(names).toHex(' '), bytes.toHex(' '));
        const QStringList decoded = NameList::decode(bytes);
        QCOMPARE(decoded, names);
        QVERIFY(decoded[1].isNull() && !decoded[2].isNull());
    }
};

QTEST_GUILESS_MAIN(StructurePreviewTest)
#include "tst_structurepreview.moc"
