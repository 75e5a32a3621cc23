// The structure drag payload ("vd/tessary") and the structure name list ("korvath/multi"):
// their exact bytes, and what the readers refuse.

#include "DemoData.h"

#include "library/NameList.h"
#include "library/StructurePayload.h"

#include <QMimeData>
#include <QTest>
#include <QtEndian>

#include <memory>

Q_DECLARE_METATYPE(StructurePayload)

namespace {

const QByteArray pngSignature = QByteArray::fromHex("89504e470d0a1a0a");
const QByteArray pngEnd = QByteArray::fromHex("0000000049454e44ae426082");

// A PNG with a header (8-bit RGBA, the given size), data that do not inflate, and an end chunk.
QByteArray pngWithoutPixels(quint32 width, quint32 height)
{
    const auto be32 = [](quint32 value) {
        QByteArray bytes(4, '\0');
        qToBigEndian(value, bytes.data());
        return bytes;
    };
    const auto chunk = [&](const QByteArray &typeAndData) { // length, type, data, CRC-32
        quint32 crc = 0xFFFFFFFFu;
        for (const char byte : typeAndData) {
            crc ^= quint8(byte);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return be32(quint32(typeAndData.size() - 4)) + typeAndData + be32(~crc);
    };
    return pngSignature +
           chunk("IHDR" + be32(width) + be32(height) + QByteArray::fromHex("0806000000")) +
           chunk("IDAT" + QByteArray(8, '\xFF')) + chunk("IEND");
}

// A preview image: opaque pixels of varied colours, every third one transparent.
QImage preview(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < width * height; ++i)
        image.setPixel(i % width, i / width, i % 3 ? 0xFF000000u | (quint32(i) * 40503u) : 0u);
    return image;
}

} // namespace

class PayloadTest : public QObject
{
    Q_OBJECT

private slots:
    void encodeExactly()
    {
        // Path: byte count 40, then "/maps", "/walls", "/gate.mlt" in UTF-16LE.
        // Offset (-3, 4); region left 0, top 0, right 5, bottom 0.
        const QByteArray head =
            QByteArray::fromHex("28000000 2f006d00610070007300 2f00770061006c006c007300"
                                "2f0067006100740065002e006d006c007400 fdffffff 04000000"
                                "00000000 00000000 05000000 00000000");
        StructurePayload payload{QStringLiteral("/maps/walls/gate.mlt"), {-3, 4}, {0, 0, 6, 1}, {}};
        // A null image: marker 0, and nothing after it.
        QCOMPARE(payload.encode().toHex(' '), (head + QByteArray(4, '\0')).toHex(' '));
        // Otherwise marker 1, then a PNG of the image, and nothing after its end chunk.
        payload.image = preview(6, 1);
        const QByteArray bytes = payload.encode();
        QCOMPARE(bytes.left(head.size() + 4).toHex(' '),
                 (head + QByteArray::fromHex("01000000")).toHex(' '));
        const QByteArray png = bytes.mid(head.size() + 4);
        QVERIFY(png.startsWith(pngSignature) && png.endsWith(pngEnd));
        QCOMPARE(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32),
                 payload.image.convertToFormat(QImage::Format_ARGB32));
    }

    void cutShort()
    {
        const QByteArray bytes =
            StructurePayload{QStringLiteral("/s/house.mlt"), {-3, -2}, {0, 0, 7, 5}, preview(7, 5)}
                .encode();
        QVERIFY(StructurePayload::decode(bytes));
        for (int size = 0; size < bytes.size(); ++size)
            QVERIFY2(!StructurePayload::decode(bytes.left(size)),
                     qPrintable(QStringLiteral("accepted %1 of %2").arg(size).arg(bytes.size())));
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        const auto encoded = [](const QRect &region, const QImage &image,
                                const QString &path = "/s", const QPoint &offset = QPoint()) {
            return StructurePayload{path, offset, region, image}.encode();
        };
        // A payload up to and with its image marker, for a region.
        const auto head = [&](const QRect &region) {
            const QByteArray bytes = encoded(region, preview(1, 1));
            return bytes.left(bytes.indexOf(pngSignature));
        };
        DemoData::Random random(5);
        QByteArray noise(4096, '\0');
        for (char &byte : noise)
            byte = char(random.next());

        QTest::newRow("plain") << encoded({0, 0, 7, 5}, preview(7, 5), "/s/house.mlt", {-3, -2})
                               << true;
        QTest::newRow("non-ASCII path, extreme offsets")
            << encoded({0, 0, 1, 1}, preview(2, 1).copy(1, 0, 1, 1),
                       QStringLiteral("/\u00C6r\u00F8/\u57CE/\U0001F3F0"), {-32768, 32767})
            << true;
        QTest::newRow("null path") << encoded({0, 0, 2, 3}, preview(2, 3), QString()) << true;
        QTest::newRow("all transparent") << encoded({0, 0, 1, 1}, preview(1, 1)) << true;
        QTest::newRow("4096 wide") << encoded({0, 0, 4096, 1}, preview(4096, 1)) << true;
        QTest::newRow("4096 tall") << encoded({0, 0, 1, 4096}, preview(1, 4096)) << true;
        QTest::newRow("null image") << encoded({0, 0, 1, 1}, QImage()) << false;
        QTest::newRow("4097 wide") << encoded({0, 0, 4097, 1}, preview(4097, 1)) << false;
        QTest::newRow("4097 tall") << encoded({0, 0, 1, 4097}, preview(1, 4097)) << false;
        QTest::newRow("zero height") << encoded({0, 0, 1, 0}, preview(1, 1)) << false;
        QTest::newRow("negative width") << encoded({{0, 0}, QPoint(-3, 0)}, preview(1, 1)) << false;
        QTest::newRow("image narrower") << encoded({0, 0, 3, 2}, preview(2, 2)) << false;
        QTest::newRow("image taller") << encoded({0, 0, 3, 2}, preview(3, 3)) << false;
        QTest::newRow("marker without PNG") << head({0, 0, 1, 1}) << false;
        QTest::newRow("PNG claiming 100000 x 100000")
            << head({0, 0, 4096, 4096}) + pngWithoutPixels(100000, 100000) << false;
        QTest::newRow("PNG of the region's size without pixels")
            << head({0, 0, 40, 30}) + pngWithoutPixels(40, 30) << false;
        QTest::newRow("odd path byte count")
            << QByteArray::fromHex("03000000") + "abc" + QByteArray(40, '\0') << false;
        QTest::newRow("path longer than the data")
            << QByteArray::fromHex("feffff7f") + QByteArray(64, 'a') << false;
        QTest::newRow("noise") << noise << false;
        QTest::newRow("noise between PNG signature and end chunk")
            << head({0, 0, 7, 5}) + pngSignature + noise + pngEnd << false;
    }

    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        QCOMPARE(bool(StructurePayload::decode(bytes)), accepted);
        QMimeData data;
        data.setData(StructurePayload::mimeType, bytes);
        const std::optional<StructurePayload> dropped = StructurePayload::fromMimeData(&data);
        QCOMPARE(bool(dropped), accepted);
        if (!dropped)
            return;
        // Encoded again, the same bytes: path, offset, region and pixels came through.
        const std::unique_ptr<QMimeData> again(dropped->toMimeData());
        QCOMPARE(again->formats(), QStringList{QStringLiteral("vd/tessary")});
        QCOMPARE(again->data(QStringLiteral("vd/tessary")), bytes);
    }

    void mimeDataWithoutPayload()
    {
        QVERIFY(!StructurePayload::fromMimeData(nullptr));
        QMimeData data;
        data.setText(QStringLiteral("/s/x.mlt"));
        data.setData(NameList::mimeType, NameList::encode({QStringLiteral("x")}));
        QVERIFY(!StructurePayload::fromMimeData(&data));
    }

    void nameListBytes_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("nothing") << QStringList{} << QByteArray();
        QTest::newRow("a, null, b") << QStringList{"a", QString(), "b"}
                                    << QByteArray::fromHex("02000000 6100 ffffffff 02000000 6200");
        QTest::newRow("empty string") << QStringList{""} << QByteArray::fromHex("00000000");
        QTest::newRow("surrogate pair") << QStringList{QStringLiteral("\u00C6\U0001F3F0")}
                                        << QByteArray::fromHex("06000000 c600 3cd8 f0df");
    }

    void nameListBytes()
    {
        QFETCH(QStringList, names);
        QFETCH(QByteArray, bytes);
        QCOMPARE(NameList::encode(names).toHex(' '), bytes.toHex(' '));
        const QStringList decoded = NameList::decode(bytes);
        QCOMPARE(decoded, names);
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(decoded[i].isNull(), names[i].isNull());
    }

    void nameListCutShortOrCorrupt()
    {
        // A string cut short ends the list before it.
        const QStringList names = {QStringLiteral("ab"), QStringLiteral("cde")};
        const QByteArray bytes = NameList::encode(names);
        for (int size = 0; size <= bytes.size(); ++size)
            QCOMPARE(NameList::decode(bytes.left(size)), size < 8    ? QStringList()
                                                         : size < 18 ? names.mid(0, 1)
                                                                     : names);
        // So does an odd byte count, which cannot hold UTF-16 code units, or a huge one.
        QCOMPARE(NameList::decode(QByteArray::fromHex("02000000 6100 03000000 610062")),
                 QStringList{"a"});
        QCOMPARE(NameList::decode(QByteArray::fromHex("ffffffff fe")), QStringList{QString()});
        QCOMPARE(NameList::decode(QByteArray::fromHex("ffffff7f 6100")), QStringList());
    }

    void safeBaseName()
    {
        for (const char *name : {".", "..", "a/b", "a\\b", "../x"})
            QVERIFY2(!NameList::isSafeBaseName(QString::fromUtf8(name)), name);
        // The empty name gives the file ".mlt" in the folder.
        for (const char *name : {"x.mlt", "", "...", ".. ", " "})
            QVERIFY2(NameList::isSafeBaseName(QString::fromUtf8(name)), name);
    }
};

QTEST_GUILESS_MAIN(PayloadTest)
#include "tst_payload.moc"
