#pragma once

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>

class QMimeData;

// What a structure drag carries under "vd/tessary": the structure file's absolute path, its
// offset, its region and its preview image, in a little-endian data stream.
struct StructurePayload
{
    static const QString mimeType;

    QString path;
    QPoint offset;
    QRect region;
    QImage image;

    QByteArray encode() const;
    // The payload in bytes from any application: refused (nullopt) when cut short, corrupt,
    // or when the image is null, larger than the preview bound or not of the region's size.
    static std::optional<StructurePayload> decode(const QByteArray &bytes);
    static std::optional<StructurePayload> fromMimeData(const QMimeData *data);

    QMimeData *toMimeData() const;
};
