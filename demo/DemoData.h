#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// Makers of structure files, radar colour files and terrain images for the demo, the tests,
// the benchmarks and the fuzz seeds. Everything is generated here; nothing is taken from
// elsewhere.
namespace DemoData {

struct Tile
{
    quint16 id = 0;
    qint16 x = 0;
    qint16 y = 0;
    qint16 z = 0;
};

// A small deterministic generator (xorshift), the same on every platform.
class Random
{
public:
    explicit Random(quint32 seed) : m_state(seed ? seed : 0x9E3779B9u) {}
    quint32 next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int bounded(int limit) { return limit > 0 ? int(next() % quint32(limit)) : 0; }

private:
    quint32 m_state;
};

// A structure file: the 4-byte header, one 12-byte record per tile, then trailing bytes.
QByteArray structureBytes(const QList<Tile> &tiles, const QByteArray &trailing = QByteArray());
bool writeFile(const QString &path, const QByteArray &bytes);

// A full radar colour file (163,840 bytes): colour words at 0x8000 + 2 * id.
QByteArray radarColourBytes(quint32 seed);
// The colour word that radarColourBytes gives tile id.
quint16 radarWord(quint32 seed, quint16 id);

// Terrain of grass, sand, water and rock from smooth noise.
QImage terrainImage(int width, int height, quint32 seed);

// Structure shapes.
QList<Tile> rectangleStructure(int width, int height, int left, int top, quint16 firstId,
                               Random &random);
QList<Tile> ringStructure(int radius, quint16 firstId, Random &random);
QList<Tile> towerStructure(int size, int floors, quint16 firstId, Random &random);

// The configuration file naming the radar colour file.
QByteArray configurationBytes(const QString &radarPath);

// Writes the demo: radar colours, a terrain image, and a folder tree of structure files.
// Returns the radar colour file's path, or an empty string on failure.
QString generate(const QString &folder, quint32 seed);

} // namespace DemoData
