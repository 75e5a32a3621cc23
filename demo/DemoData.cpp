#include "DemoData.h"

#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cmath>

namespace DemoData {

QByteArray structureBytes(const QList<Tile> &tiles, const QByteArray &trailing)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << quint32(0x4D4C5401);
    for (const Tile &tile : tiles)
        stream << tile.id << tile.x << tile.y << tile.z << quint32(0);
    bytes += trailing;
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

quint16 radarWord(quint32 seed, quint16 id)
{
    // Families of tiles share a hue: stone greys, wood browns, roof reds, greens, water blues.
    static const int hues[] = {30, 25, 0, 100, 210, 45, 15, 280};
    const int family = (id / 64 + int(seed)) % 8;
    const int hue = hues[family];
    const int saturation = family == 0 ? 20 : 90 + int((id * 37u + seed) % 80);
    const int value = 110 + int((id * 53u + seed * 7u) % 130);
    const QColor colour = QColor::fromHsv(hue, saturation, value);
    return quint16(((colour.red() >> 3) << 10) | ((colour.green() >> 3) << 5) |
                   (colour.blue() >> 3));
}

QByteArray radarColourBytes(quint32 seed)
{
    QByteArray bytes(0x8000 + 2 * 65536, '\0');
    for (int id = 0; id < 65536; ++id) {
        const quint16 word = radarWord(seed, quint16(id));
        bytes[0x8000 + 2 * id] = char(word & 0xFF);
        bytes[0x8000 + 2 * id + 1] = char(word >> 8);
    }
    return bytes;
}

namespace {

double lattice(int x, int y, quint32 seed)
{
    quint32 h = quint32(x) * 374761393u + quint32(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double smoothNoise(double x, double y, quint32 seed)
{
    const int x0 = int(std::floor(x));
    const int y0 = int(std::floor(y));
    const double fx = x - x0;
    const double fy = y - y0;
    const double sx = fx * fx * (3 - 2 * fx);
    const double sy = fy * fy * (3 - 2 * fy);
    const double top = lattice(x0, y0, seed) * (1 - sx) + lattice(x0 + 1, y0, seed) * sx;
    const double bottom = lattice(x0, y0 + 1, seed) * (1 - sx) + lattice(x0 + 1, y0 + 1, seed) * sx;
    return top * (1 - sy) + bottom * sy;
}

} // namespace

QImage terrainImage(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            double n = 0;
            double amplitude = 0.5;
            double frequency = 1.0 / 256;
            for (int octave = 0; octave < 4; ++octave) {
                n += amplitude * smoothNoise(x * frequency, y * frequency, seed + octave);
                amplitude /= 2;
                frequency *= 2;
            }
            const int grain = int(lattice(x, y, seed ^ 0xABCDu) * 12) - 6;
            QRgb pixel;
            if (n < 0.38)
                pixel = qRgb(40, 80 + int(n * 120), 150 + int(n * 100));
            else if (n < 0.42)
                pixel = qRgb(200 + grain, 185 + grain, 130 + grain);
            else if (n < 0.68)
                pixel = qRgb(60 + grain, 130 + int((n - 0.42) * 120) + grain, 50 + grain);
            else
                pixel = qRgb(120 + int((n - 0.68) * 200) + grain, 115 + grain, 105 + grain);
            line[x] = pixel;
        }
    }
    return image;
}

QList<Tile> rectangleStructure(int width, int height, int left, int top, quint16 firstId,
                               Random &random)
{
    QList<Tile> tiles;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool edge = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            // Floor everywhere, walls on the edge above it.
            tiles.append(
                {quint16(firstId + random.bounded(4)), qint16(left + x), qint16(top + y), 0});
            if (edge)
                tiles.append({quint16(firstId + 64 + random.bounded(4)), qint16(left + x),
                              qint16(top + y), qint16(20)});
        }
    }
    return tiles;
}

QList<Tile> ringStructure(int radius, quint16 firstId, Random &random)
{
    QList<Tile> tiles;
    for (int y = -radius; y <= radius; ++y) {
        for (int x = -radius; x <= radius; ++x) {
            const int d2 = x * x + y * y;
            if (d2 > radius * radius)
                continue;
            const bool wall = d2 >= (radius - 1) * (radius - 1);
            tiles.append({quint16(firstId + (wall ? 64 : 0) + random.bounded(3)), qint16(x),
                          qint16(y), qint16(wall ? 10 : 0)});
        }
    }
    return tiles;
}

QList<Tile> towerStructure(int size, int floors, quint16 firstId, Random &random)
{
    QList<Tile> tiles;
    for (int floor = 0; floor < floors; ++floor) {
        const int inset = floor;
        for (int y = inset; y < size - inset; ++y)
            for (int x = inset; x < size - inset; ++x)
                tiles.append({quint16(firstId + 64 * (floor % 4) + random.bounded(4)),
                              qint16(x - size / 2), qint16(y - size / 2), qint16(floor * 20)});
    }
    return tiles;
}

QByteArray configurationBytes(const QString &radarPath)
{
    QByteArray escaped = radarPath.toUtf8();
    escaped.replace('&', "&amp;").replace('<', "&lt;");
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Config>\n\t<Radarcol>" + escaped +
           "</Radarcol>\n</Config>\n";
}

QString generate(const QString &folder, quint32 seed)
{
    const QDir root(folder);
    const QString radarPath = root.absoluteFilePath(QStringLiteral("radar-colours.bin"));
    if (!writeFile(radarPath, radarColourBytes(seed)))
        return QString();
    const QImage terrain = terrainImage(3072, 2048, seed);
    if (!terrain.save(root.absoluteFilePath(QStringLiteral("terrain.png"))))
        return QString();

    Random random(seed);
    struct Entry
    {
        const char *path;
        QList<Tile> tiles;
    };
    const QList<Entry> entries = {
        {"structures/houses/cottage.mlt", rectangleStructure(7, 5, -3, -2, 0, random)},
        {"structures/houses/farmhouse.mlt", rectangleStructure(12, 8, -6, -4, 128, random)},
        {"structures/houses/longhouse.mlt", rectangleStructure(24, 6, 0, 0, 256, random)},
        {"structures/houses/shed.mlt", rectangleStructure(3, 3, -1, -1, 384, random)},
        {"structures/walls/wall-east-west.mlt", rectangleStructure(40, 1, -20, 0, 0, random)},
        {"structures/walls/wall-north-south.mlt", rectangleStructure(1, 40, 0, -20, 0, random)},
        {"structures/walls/gatehouse.mlt", rectangleStructure(9, 6, -4, -3, 640, random)},
        {"structures/towers/watchtower.mlt", towerStructure(6, 3, 512, random)},
        {"structures/towers/mage-tower.mlt", towerStructure(11, 5, 768, random)},
        {"structures/towers/round-tower.mlt", ringStructure(7, 896, random)},
        {"structures/large/keep.mlt", rectangleStructure(90, 70, -45, -35, 1024, random)},
        {"structures/large/arena.mlt", ringStructure(40, 1152, random)},
    };
    for (const Entry &entry : entries) {
        if (!writeFile(root.absoluteFilePath(QLatin1String(entry.path)),
                       structureBytes(entry.tiles)))
            return QString();
    }
    return radarPath;
}

} // namespace DemoData
