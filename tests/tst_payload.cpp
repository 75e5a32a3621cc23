// The structure drag payload ("vd/tessary") and the structure name list ("korvath/multi"):
// their exact bytes, and what the readers refuse.

#include "library/NameList.h"
#include "library/StructurePayload.h"

#include <QMimeData>
#include <QTest>

#include <memory>

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

class PayloadTest : public QObject
{
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(PayloadTest)
#include "tst_payload.moc"
