#include "StructurePayload.h"

#include "StructureFile.h"

#include <QBuffer>
#include <QDataStream>
#include <QImageReader>
#include <QMimeData>

const QString StructurePayload::mimeType = QStringLiteral("vd/tessary");

QByteArray StructurePayload::encode() const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QDataStream stream(&buffer);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << path << offset << region << image;
    buffer.close();
    return bytes;
}

std::optional<StructurePayload> StructurePayload::decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream stream(&buffer);
    stream.setByteOrder(QDataStream::LittleEndian);

    StructurePayload payload;
    stream >> payload.path >> payload.offset >> payload.region;
    if (stream.status() != QDataStream::Ok)
        return std::nullopt;
    // The rectangle's edges come from outside: QRect::width() would overflow on far edges.
    const qint64 width = qint64(payload.region.right()) - payload.region.left() + 1;
    const qint64 height = qint64(payload.region.bottom()) - payload.region.top() + 1;
    if (width <= 0 || height <= 0 || width > StructureFile::maximumExtent ||
        height > StructureFile::maximumExtent)
        return std::nullopt;
    const QSize size = QSize(int(width), int(height));

    // The image is a marker followed by a PNG. Read the PNG's header before its pixels, so
    // that an image claiming a huge size is refused without allocating it.
    qint32 marker = 0;
    stream >> marker;
    if (stream.status() != QDataStream::Ok || marker == 0)
        return std::nullopt;
    // A PNG ends with its fixed 12-byte end chunk and nothing follows the image; the PNG reader
    // still gives the pixels of a payload cut short inside that chunk.
    static const QByteArray pngEnd = QByteArray::fromHex("0000000049454e44ae426082");
    if (!bytes.endsWith(pngEnd))
        return std::nullopt;
    QImageReader reader(&buffer, "png");
    if (reader.size() != size)
        return std::nullopt;
    payload.image = reader.read();
    if (payload.image.size() != size)
        return std::nullopt;
    return payload;
}

std::optional<StructurePayload> StructurePayload::fromMimeData(const QMimeData *data)
{
    if (!data || !data->hasFormat(mimeType))
        return std::nullopt;
    return decode(data->data(mimeType));
}

QMimeData *StructurePayload::toMimeData() const
{
    auto *data = new QMimeData;
    data->setData(mimeType, encode());
    return data;
}
