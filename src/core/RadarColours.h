#pragma once

#include <QByteArray>
#include <QRgb>
#include <QString>

// The radar colour file: one 16-bit little-endian colour word per tile id, at byte
// 0x8000 + 2 * id. Read into memory when opened; safe to read from several threads at once.
class RadarColours
{
public:
    static constexpr qint64 tableOffset = 0x8000;
    static constexpr qint64 fullFileSize = tableOffset + 2 * 65536;

    // Turns a 15-bit colour word (red in bits 10-14, green 5-9, blue 0-4) into an opaque pixel.
    static constexpr QRgb pixelFromWord(quint16 word)
    {
        return 0xFF000000u | (((word >> 10) & 0x1Fu) << 19) | (((word >> 5) & 0x1Fu) << 11) |
               ((word & 0x1Fu) << 3);
    }

    // Reads the file (at most fullFileSize bytes); false, leaving the colours closed and *error
    // saying why, when it cannot be opened.
    bool open(const QString &path, QString *error = nullptr);
    void close();
    bool isOpen() const;
    // 0 where closed or past the end of a short file.
    quint16 colourWord(quint16 tileId) const;

private:
    QByteArray m_bytes;
    bool m_open = false;
};
