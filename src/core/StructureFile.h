#pragma once

#include <QHash>
#include <QPoint>
#include <QRect>
#include <QString>

class QIODevice;

// The tiles of one structure file (".mlt"), settled to the tile seen from above in each cell.
//
// The file is a 4-byte header followed by 12-byte records, little-endian: tile id (unsigned
// 16 bits), x, y, z (signed 16 bits each) and 4 ignored bytes. Trailing bytes after the last
// whole record are ignored. Of several records in one cell, the one with the greatest z is
// seen; among equal z, the first in the file.
class StructureFile
{
public:
    static constexpr qint64 headerSize = 4;
    static constexpr qint64 recordSize = 12;
    // Previews are never larger than this many cells in either direction.
    static constexpr int maximumExtent = 4096;

    // Files are read whole into memory; larger ones (22 million records) are refused.
    static constexpr qint64 maximumFileSize = qint64(256) << 20;

    // Reads the file at path; false when it cannot be opened or is larger than
    // maximumFileSize, *error saying which.
    bool load(const QString &path, QString *error = nullptr);
    // Reads records from the bytes of a whole structure file.
    void parse(const uchar *data, qint64 size);

    bool isEmpty() const { return m_top.isEmpty(); }
    int recordCount() const { return m_records; }
    // Smallest x and y over all records.
    QPoint offset() const { return QPoint(m_minX, m_minY); }
    // Left 0, top 0, right and bottom the spans of x and y over all records.
    QRect region() const { return QRect(QPoint(0, 0), QPoint(m_maxX - m_minX, m_maxY - m_minY)); }

    // One entry per occupied cell. Key: y in the high 16 bits, x in the low 16 bits.
    // Value: z in the high 16 bits, tile id in the low 16 bits.
    const QHash<quint32, quint32> &topTiles() const { return m_top; }

    static qint16 cellX(quint32 key) { return qint16(key & 0xFFFF); }
    static qint16 cellY(quint32 key) { return qint16(key >> 16); }
    static quint16 tileId(quint32 value) { return quint16(value & 0xFFFF); }

private:
    QHash<quint32, quint32> m_top;
    int m_records = 0;
    int m_minX = 0, m_maxX = 0, m_minY = 0, m_maxY = 0;
};
