// The structure drag payload ("vd/tessary") and the structure name list ("korvath/multi"):
// their exact bytes, and what the readers refuse.

#include "TestSupport.h"

#include "library/NameList.h"
#include "library/StructurePayload.h"

#include <QMimeData>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(StructurePayload)

namespace {

QByteArray le32(quint32 value)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes += char((value >> (8 * i)) & 0xFF);
    return bytes;
}

QByteArray be32(quint32 value)
{
    QByteArray bytes;
    for (int i = 3; i >= 0; --i)
        bytes += char((value >> (8 * i)) & 0xFF);
    return bytes;
}

QByteArray utf16le(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes += char(c.unicode() & 0xFF);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

// Path, offset and region as the payload's first fields.
QByteArray payloadHead(const QString &path, const QPoint &offset, const QRect &region)
{
    return le32(quint32(path.size() * 2)) + utf16le(path) + le32(quint32(offset.x())) +
           le32(quint32(offset.y())) + le32(quint32(region.left())) + le32(quint32(region.top())) +
           le32(quint32(region.right())) + le32(quint32(region.bottom()));
}

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

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return be32(quint32(data.size())) + type + data + be32(crc32(type + data));
}

// A PNG that holds only a header (8-bit RGBA, the given size) and an end chunk: no pixels.
QByteArray pngHeaderOnly(quint32 width, quint32 height)
{
    const QByteArray signature = QByteArray::fromHex("89504e470d0a1a0a");
    return signature +
           pngChunk("IHDR", be32(width) + be32(height) + QByteArray::fromHex("0806000000")) +
           pngChunk("IEND", QByteArray());
}

// A preview image: opaque pixels in a pattern, transparent holes.
QImage preview(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((x + 2 * y) % 3 != 0)
                image.setPixel(x, y,
                               0xFF000000u | quint32(x * 8 % 256) << 16 | quint32(y * 8 % 256));
    return image;
}

StructurePayload payload(const QString &path, const QPoint &offset, const QRect &region,
                         const QImage &image)
{
    StructurePayload p;
    p.path = path;
    p.offset = offset;
    p.region = region;
    p.image = image;
    return p;
}

bool samePixels(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class PayloadTest : public QObject
{
    Q_OBJECT

private slots:
    void encodeExactly()
    {
        const QString path = QStringLiteral("/maps/walls/gate.mlt");
        const QImage image = preview(6, 1);
        const QByteArray bytes =
            payload(path, QPoint(-3, 4), QRect(QPoint(0, 0), QPoint(5, 0)), image).encode();

        // Path: byte count 40, then "/maps", "/walls", "/gate.mlt" in UTF-16LE.
        // Offset (-3, 4); region left 0, top 0, right 5, bottom 0; marker 1 (not null).
        const QByteArray head =
            QByteArray::fromHex("28000000 2f006d00610070007300 2f00770061006c006c007300"
                                "2f0067006100740065002e006d006c007400 fdffffff 04000000"
                                "00000000 00000000 05000000 00000000 01000000");
        QCOMPARE(bytes.left(head.size()).toHex(' '), head.toHex(' '));

        // Then a PNG of the image, and nothing after its end chunk.
        const QByteArray png = bytes.mid(head.size());
        QVERIFY(png.startsWith(QByteArray::fromHex("89504e470d0a1a0a")));
        // The header chunk: length 13, "IHDR", width 6, height 1 (big-endian).
        QCOMPARE(png.mid(8, 16).toHex(' '),
                 QByteArray::fromHex("0000000d 49484452 00000006 00000001").toHex(' '));
        QVERIFY(png.endsWith(QByteArray::fromHex("0000000049454e44ae426082")));
        const QImage decoded = QImage::fromData(png, "PNG");
        QVERIFY(samePixels(decoded, image));
    }

    void nullImageMarker()
    {
        const QByteArray bytes =
            payload(QStringLiteral("/a"), QPoint(), QRect(0, 0, 1, 1), QImage()).encode();
        QCOMPARE(bytes.toHex(' '), QByteArray::fromHex("04000000 2f006100 00000000 00000000"
                                                       "00000000 00000000 00000000 00000000"
                                                       "00000000")
                                       .toHex(' '));
        QVERIFY(!StructurePayload::decode(bytes));
    }

    void roundTrip_data()
    {
        QTest::addColumn<StructurePayload>("original");
        QTest::newRow("plain") << payload(QStringLiteral("/s/house.mlt"), QPoint(-3, -2),
                                          QRect(0, 0, 7, 5), preview(7, 5));
        QTest::newRow("non-ASCII path")
            << payload(QStringLiteral("/\u00C6r\u00F8/\u57CE/\U0001F3F0.mlt"), QPoint(0, 0),
                       QRect(0, 0, 1, 1), preview(2, 1).copy(1, 0, 1, 1));
        QTest::newRow("empty path")
            << payload(QString(), QPoint(5, 6), QRect(0, 0, 2, 3), preview(2, 3));
        QTest::newRow("extreme offsets") << payload(QStringLiteral("/x"), QPoint(-32768, 32767),
                                                    QRect(0, 0, 3, 1), preview(3, 1));
        QTest::newRow("4096 wide") << payload(QStringLiteral("/wide"), QPoint(-2048, 0),
                                              QRect(0, 0, 4096, 1), preview(4096, 1));
        QTest::newRow("4096 tall") << payload(QStringLiteral("/tall"), QPoint(0, -1),
                                              QRect(0, 0, 1, 4096), preview(1, 4096));
        QTest::newRow("all transparent")
            << payload(QStringLiteral("/t"), QPoint(1, 1), QRect(0, 0, 4, 4), [] {
                   QImage i(4, 4, QImage::Format_ARGB32_Premultiplied);
                   i.fill(0);
                   return i;
               }());
    }

    void roundTrip()
    {
        QFETCH(StructurePayload, original);
        const QByteArray bytes = original.encode();
        const std::optional<StructurePayload> decoded = StructurePayload::decode(bytes);
        QVERIFY(decoded);
        QCOMPARE(decoded->path, original.path);
        QCOMPARE(decoded->offset, original.offset);
        QCOMPARE(decoded->region, original.region);
        QVERIFY(samePixels(decoded->image, original.image));
        QCOMPARE(decoded->encode(), bytes);

        const std::unique_ptr<QMimeData> data(original.toMimeData());
        QCOMPARE(data->formats(), QStringList{QStringLiteral("vd/tessary")});
        QCOMPARE(data->data(QStringLiteral("vd/tessary")), bytes);
        const std::optional<StructurePayload> dropped = StructurePayload::fromMimeData(data.get());
        QVERIFY(dropped);
        QCOMPARE(dropped->path, original.path);
        QCOMPARE(dropped->region, original.region);
    }

    void cutShort()
    {
        const QByteArray bytes = payload(QStringLiteral("/s/house.mlt"), QPoint(-3, -2),
                                         QRect(0, 0, 7, 5), preview(7, 5))
                                     .encode();
        QVERIFY(StructurePayload::decode(bytes));
        for (int size = 0; size < bytes.size(); ++size)
            QVERIFY2(
                !StructurePayload::decode(bytes.left(size)),
                qPrintable(QStringLiteral("accepted %1 of %2 bytes").arg(size).arg(bytes.size())));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString path = QStringLiteral("/s/x.mlt");
        const auto encoded = [&](const QRect &region, const QImage &image) {
            return payload(path, QPoint(0, 0), region, image).encode();
        };
        const auto head = [&](const QRect &region) {
            return payloadHead(path, QPoint(-1, -1), region) + le32(1);
        };

        QTest::newRow("zero width") << encoded(QRect(0, 0, 0, 1), preview(1, 1));
        QTest::newRow("zero height") << encoded(QRect(0, 0, 1, 0), preview(1, 1));
        QTest::newRow("negative width")
            << encoded(QRect(QPoint(0, 0), QPoint(-3, 0)), preview(1, 1));
        QTest::newRow("4097 wide") << encoded(QRect(0, 0, 4097, 1), preview(4097, 1));
        QTest::newRow("4097 tall") << encoded(QRect(0, 0, 1, 4097), preview(1, 4097));
        QTest::newRow("image narrower") << encoded(QRect(0, 0, 3, 2), preview(2, 2));
        QTest::newRow("image taller") << encoded(QRect(0, 0, 3, 2), preview(3, 3));
        QTest::newRow("marker without PNG") << head(QRect(0, 0, 1, 1));
        QTest::newRow("PNG claiming 100000 x 100000")
            << head(QRect(0, 0, 1, 1)) + pngHeaderOnly(100000, 100000);
        QTest::newRow("PNG claiming 100000 x 100000, region at the bound")
            << head(QRect(0, 0, 4096, 4096)) + pngHeaderOnly(100000, 100000);
        QTest::newRow("PNG of the region's size without pixels")
            << head(QRect(0, 0, 40, 30)) + pngHeaderOnly(40, 30);
        QTest::newRow("odd path byte count") << le32(3) + QByteArray("abc") + QByteArray(40, '\0');
        QTest::newRow("path longer than the data") << le32(0x7FFFFFFE) + QByteArray(64, 'a');
        QTest::newRow("text instead of a payload") << QByteArray("/s/x.mlt 0 0 7 5");

        DemoData::Random random(5);
        QByteArray noise(4096, '\0');
        for (char &byte : noise)
            byte = char(random.next());
        QTest::newRow("noise") << noise;
        QTest::newRow("noise after the marker") << head(QRect(0, 0, 7, 5)) + noise;
        QTest::newRow("noise after a PNG signature")
            << head(QRect(0, 0, 7, 5)) + QByteArray::fromHex("89504e470d0a1a0a") + noise;
    }

    void refused()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!StructurePayload::decode(bytes));
        QMimeData data;
        data.setData(StructurePayload::mimeType, bytes);
        QVERIFY(!StructurePayload::fromMimeData(&data));
    }

    void mimeDataWithoutPayload()
    {
        QVERIFY(!StructurePayload::fromMimeData(nullptr));
        QMimeData data;
        QVERIFY(!StructurePayload::fromMimeData(&data));
        data.setText(QStringLiteral("/s/x.mlt"));
        data.setData(NameList::mimeType, NameList::encode({QStringLiteral("x")}));
        QVERIFY(!StructurePayload::fromMimeData(&data));
    }

    void nameListBytes_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("a, b") << QStringList{"a", "b"}
                              << QByteArray::fromHex("02000000 6100 02000000 6200");
        QTest::newRow("nothing") << QStringList{} << QByteArray();
        QTest::newRow("null string") << QStringList{QString()} << QByteArray::fromHex("ffffffff");
        QTest::newRow("empty string")
            << QStringList{QStringLiteral("")} << QByteArray::fromHex("00000000");
        QTest::newRow("null between")
            << QStringList{"a", QString(), "b"}
            << QByteArray::fromHex("02000000 6100 ffffffff 02000000 6200");
        QTest::newRow("non-ASCII") << QStringList{QStringLiteral("\u00C6\u57CE")}
                                   << QByteArray::fromHex("04000000 c600 ce57");
        QTest::newRow("surrogate pair") << QStringList{QStringLiteral("\U0001F3F0")}
                                        << QByteArray::fromHex("04000000 3cd8 f0df");
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

    void nameListCutShort()
    {
        const QStringList names = {QStringLiteral("ab"), QStringLiteral("cde")};
        const QByteArray bytes = NameList::encode(names);
        QCOMPARE(bytes.size(), 8 + 10);
        for (int size = 0; size <= bytes.size(); ++size) {
            const QStringList expected = size < 8    ? QStringList()
                                         : size < 18 ? names.mid(0, 1)
                                                     : names;
            QCOMPARE(NameList::decode(bytes.left(size)), expected);
        }
    }

    void nameListCorrupt()
    {
        // An odd byte count cannot hold UTF-16 code units: the list ends before it.
        QCOMPARE(NameList::decode(QByteArray::fromHex("02000000 6100 03000000 610062")),
                 QStringList{"a"});
        QCOMPARE(NameList::decode(QByteArray::fromHex("ffffffff fe")), QStringList{QString()});
        QCOMPARE(NameList::decode(QByteArray::fromHex("ffffff7f 6100")), QStringList());
    }

    void safeBaseName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("a") << QStringLiteral("a") << true;
        QTest::newRow("x.mlt") << QStringLiteral("x.mlt") << true;
        QTest::newRow("empty") << QString() << true; // gives the file ".mlt" in the folder
        QTest::newRow("dot") << QStringLiteral(".") << false;
        QTest::newRow("dot dot") << QStringLiteral("..") << false;
        QTest::newRow("three dots") << QStringLiteral("...") << true;
        QTest::newRow("blank") << QStringLiteral(" ") << true;
        QTest::newRow("slash inside") << QStringLiteral("a/b") << false;
        QTest::newRow("backslash inside") << QStringLiteral("a\\b") << false;
        QTest::newRow("slash") << QStringLiteral("/") << false;
        QTest::newRow("parent path") << QStringLiteral("../x") << false;
        QTest::newRow("dot dot with blank") << QStringLiteral(".. ") << true;
    }

    void safeBaseName()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(NameList::isSafeBaseName(name), safe);
    }
};

QTEST_GUILESS_MAIN(PayloadTest)
#include "tst_payload.moc"
