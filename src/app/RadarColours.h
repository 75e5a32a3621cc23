#pragma once

#include <QDataStream>
#include <QFile>
#include <QRgb>

// The radar colour file: one 16-bit colour word per tile id, at byte 0x8000 + 2 * id.
// Both objects live for the whole process; the configuration reader names and opens the
// file, the preview renderers read it.
extern QFile radarFile;
extern QDataStream radarStream;

namespace RadarColours {

constexpr qint64 tableOffset = 0x8000;
constexpr qint64 fullFileSize = tableOffset + 2 * 65536;

// Turns a 15-bit colour word (red in bits 10-14, green 5-9, blue 0-4) into an opaque pixel.
constexpr QRgb pixelFromWord(quint16 word)
{
    return 0xFF000000u | (((word >> 10) & 0x1Fu) << 19) | (((word >> 5) & 0x1Fu) << 11) |
           ((word & 0x1Fu) << 3);
}

// Points radarFile at path and opens it read-only; returns whether it opened.
bool openRadarFile(const QString &path);

// Colour word of a tile id from radarFile, 0 where the file is closed or too short.
// Reads straight from a memory map of the file; falls back to a seek and a read through
// radarStream only where the file cannot be mapped.
quint16 colourWord(quint16 tileId);

} // namespace RadarColours
