// Fuzzes the structure file reader and both preview renderers. The input is a whole structure
// file. Its 4-byte header, which the reader skips, steers the run: byte 0 picks the radar
// colour file (full, shorter than the table's start, cut inside the table, or none open),
// bytes 1 to 3 give the size and offset of the second rendering.

#include "DemoData.h"
#include "FuzzSupport.h"
#include "core/RadarColours.h"
#include "core/StructureFile.h"
#include "core/StructurePreview.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <unordered_map>

namespace {

constexpr int radarKinds = 4;

struct Fixture
{
    QTemporaryDir dir;
    QString structurePath;
    QByteArray radarBytes[radarKinds];
    QString radarPaths[radarKinds];
    RadarColours colours;
    int openRadar = -1;

    Fixture()
    {
        structurePath = dir.filePath(QStringLiteral("fuzz.mlt"));
        const QByteArray full = DemoData::radarColourBytes(7);
        radarBytes[0] = full;
        radarBytes[1] = full.left(RadarColours::tableOffset - 1);
        radarBytes[2] = full.left(RadarColours::tableOffset + 2 * 1000 + 1);
        for (int kind = 0; kind < 3; ++kind) {
            radarPaths[kind] = dir.filePath(QStringLiteral("radar-%1.bin").arg(kind));
            DemoData::writeFile(radarPaths[kind], radarBytes[kind]);
        }
        radarPaths[3] = dir.filePath(QStringLiteral("missing.bin"));
    }

    void useRadar(int kind)
    {
        if (kind == openRadar)
            return;
        openRadar = kind;
        const bool opened = colours.open(radarPaths[kind]);
        if (opened != (kind != 3)) {
            std::fprintf(stderr, "fuzz_structure: radar colour file %d did not open\n", kind);
            std::abort();
        }
    }

    // The word the renderers must use for id, read straight from the bytes written.
    quint16 expectedWord(quint16 id) const
    {
        const QByteArray &bytes = radarBytes[openRadar];
        const qint64 pos = RadarColours::tableOffset + 2 * qint64(id);
        if (pos + 2 > bytes.size())
            return 0;
        return quint16(quint8(bytes[pos]) | (quint8(bytes[pos + 1]) << 8));
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_structure: %s\n", what);
        std::abort();
    }
}

qint16 int16At(const uint8_t *p)
{
    return qint16(quint16(p[0] | (p[1] << 8)));
}

struct Top
{
    qint16 z;
    quint16 id;
};

// The seen tile of every occupied cell, worked out independently of StructureFile.
std::unordered_map<quint32, Top> topTiles(const uint8_t *data, size_t size)
{
    std::unordered_map<quint32, Top> top;
    for (size_t at = 4; size >= 16 && at + 12 <= size; at += 12) {
        const quint16 id = quint16(data[at] | (data[at + 1] << 8));
        const quint32 key =
            (quint32(quint16(int16At(data + at + 4))) << 16) | quint16(int16At(data + at + 2));
        const qint16 z = int16At(data + at + 6);
        auto found = top.find(key);
        if (found == top.end())
            top.emplace(key, Top{z, id});
        else if (z > found->second.z)
            found->second = Top{z, id};
    }
    return top;
}

// Checks every pixel of image against the top tiles: the radar colour where a tile is seen,
// transparent elsewhere. Skipped for large images to keep runs fast.
void checkPixels(const QImage &image, const QPoint &offset,
                 const std::unordered_map<quint32, Top> &top, const Fixture &f)
{
    if (qint64(image.width()) * image.height() > (1 << 18))
        return;
    qint64 painted = 0;
    for (const auto &[key, tile] : top) {
        const qint64 px = qint64(StructureFile::cellX(key)) - offset.x();
        const qint64 py = qint64(StructureFile::cellY(key)) - offset.y();
        if (px < 0 || py < 0 || px >= image.width() || py >= image.height())
            continue;
        ++painted;
        check(image.pixel(int(px), int(py)) == RadarColours::pixelFromWord(f.expectedWord(tile.id)),
              "a cell is not painted in its top tile's colour");
    }
    qint64 opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] != 0)
                ++opaque;
        }
    }
    check(opaque == painted, "pixels painted outside the occupied cells");
}

// Mostly small sizes, now and then one at or past the bounds, rarely a large one (large
// renderings make runs slow).
int sizeFromByte(quint8 byte)
{
    static const int edges[16] = {0,      -1,         1,           2,  4095, 4096, 4097, 65536,
                                  -65536, 2147483647, -2147483647, 33, 64,   255,  100,  300};
    return byte >= 240 ? edges[byte - 240] : byte % 48;
}

// Mostly near the structure's own offset, now and then far away.
QPoint offsetFromByte(quint8 byte, const QPoint &own)
{
    static const int far[16] = {
        2147483647, -2147483647, -2147483647 - 1, 32767, -32768, 65535, -65536, 1 << 30,
        -(1 << 30), 40000,       -40000,          0,     1,      -1,    4096,   -4096};
    if (byte >= 240)
        return QPoint(far[byte - 240], far[(byte + 5) % 16]);
    return own + QPoint(qint8(byte), -qint8(byte));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtWarnings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fixture &f = fixture();
    uint8_t header[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < 4 && i < size; ++i)
        header[i] = data[i];
    f.useRadar(header[0] % radarKinds);

    StructureFile parsed;
    parsed.parse(data, qint64(size));
    const qint64 records = size >= 16 ? qint64(size - 4) / 12 : 0;
    check(parsed.recordCount() == records, "wrong record count");
    const auto top = topTiles(data, size);
    check(parsed.isEmpty() == (records == 0), "emptiness disagrees with the record count");
    check(parsed.topTiles().size() == qsizetype(top.size()), "wrong number of occupied cells");
    for (auto it = parsed.topTiles().cbegin(); it != parsed.topTiles().cend(); ++it) {
        const auto found = top.find(it.key());
        check(found != top.end(), "a cell that no record occupies");
        check(StructureFile::tileId(it.value()) == found->second.id, "wrong top tile");
        const QPoint cell(StructureFile::cellX(it.key()), StructureFile::cellY(it.key()));
        check(parsed.region().contains(cell - parsed.offset()), "a cell outside the region");
    }

    QFile file(f.structurePath);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the structure");
    check(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size),
          "cannot write the structure");
    file.close();

    StructureFile loaded;
    check(loaded.load(f.structurePath), "cannot load the structure");
    check(loaded.recordCount() == parsed.recordCount() && loaded.offset() == parsed.offset() &&
              loaded.region() == parsed.region() && loaded.topTiles() == parsed.topTiles(),
          "loading and parsing disagree");

    QImage image;
    QPoint offset(12345, 12345);
    QRect region(1, 2, 3, 4);
    const bool rendered = renderStructurePreview(f.structurePath, f.colours, image, offset, region);
    const QSize extent = parsed.region().size();
    const bool renderable = !parsed.isEmpty() && extent.width() <= StructureFile::maximumExtent &&
                            extent.height() <= StructureFile::maximumExtent;
    check(rendered == renderable, "preview rendered against the extent bound");
    if (rendered) {
        check(image.size() == extent && image.format() == StructurePreview::format,
              "preview of the wrong size or format");
        check(offset == parsed.offset() && region == parsed.region(),
              "preview with the wrong offset or region");
        checkPixels(image, offset, top, f);
    } else {
        check(image.isNull() && offset == QPoint(12345, 12345) && region == QRect(1, 2, 3, 4),
              "a refused preview touched its outputs");
    }

    const int width = sizeFromByte(header[1]);
    const int height = sizeFromByte(header[2]);
    const QPoint shifted = offsetFromByte(header[3], parsed.offset());
    const QImage other =
        renderStructureImage(f.structurePath, f.colours, QRect(0, 0, width, height), shifted);
    const bool sized = width >= 1 && height >= 1 && width <= StructureFile::maximumExtent &&
                       height <= StructureFile::maximumExtent;
    check(other.isNull() != sized, "structure image rendered against the size bound");
    if (sized) {
        check(other.size() == QSize(width, height), "structure image of the wrong size");
        checkPixels(other, shifted, top, f);
    }
    return 0;
}
