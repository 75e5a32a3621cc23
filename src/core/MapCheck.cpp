#include "MapCheck.h"

#include "MapSession.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QtAlgorithms>

#include <algorithm>
#include <vector>

namespace {

// The opaque cells of a structure's image, one bit a cell, each row in whole 64-bit words
// followed by one word of zeros (so that 64 bits can be read from any cell of a row).
struct Mask
{
    int width = 0;
    int height = 0;
    int words = 0; // a row's words, the one of zeros included
    int cells = 0;
    std::vector<quint64> bits;

    explicit Mask(const QImage &image)
    {
        if (image.isNull())
            return;
        const QImage argb = image.format() == QImage::Format_ARGB32_Premultiplied ||
                                    image.format() == QImage::Format_ARGB32
                                ? image
                                : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        width = argb.width();
        height = argb.height();
        words = (width + 63) / 64 + 1;
        bits.assign(size_t(words) * size_t(height), 0);
        for (int y = 0; y < height; ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
            quint64 *row = bits.data() + size_t(y) * size_t(words);
            for (int x = 0; x < width; ++x) {
                if (qAlpha(line[x])) {
                    row[x >> 6] |= quint64(1) << (x & 63);
                    ++cells;
                }
            }
        }
    }
    const quint64 *row(qint64 y) const { return bits.data() + size_t(y) * size_t(words); }
};

// The 64 bits of a row from cell start on (0 <= start < the mask's width).
quint64 bitsAt(const quint64 *row, qint64 start)
{
    const qint64 word = start >> 6;
    const int shift = int(start & 63);
    quint64 value = row[word] >> shift;
    if (shift)
        value |= row[word + 1] << (64 - shift);
    return value;
}

// The cells set among 64, counted inline: without a processor-specific build the compiler's own
// count is a library call, which the overlaps would spend most of their time in.
int bitCount(quint64 bits)
{
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return int((bits * 0x0101010101010101u) >> 56);
}

// The first cells of a run of 64 that lie before end.
quint64 keepBefore(quint64 bits, qint64 left)
{
    return left < 64 ? bits & ((quint64(1) << left) - 1) : bits;
}

// A placement as checked: its recorded position and the mask of its structure.
struct Placed
{
    qint64 x = 0;
    qint64 y = 0;
    int structure = -1; // into the masks
    const Mask *mask = nullptr;
    qint64 right() const { return x + mask->width; }
    qint64 bottom() const { return y + mask->height; }
};

qint64 floorDiv(qint64 value, int shift)
{
    return value >> shift; // an arithmetic shift floors
}

// Cells the opaque cells of a and b share, and the box around them.
int sharedCells(const Placed &a, const Placed &b, QRect *area)
{
    const qint64 left = std::max(a.x, b.x), right = std::min(a.right(), b.right());
    const qint64 top = std::max(a.y, b.y), bottom = std::min(a.bottom(), b.bottom());
    int count = 0;
    qint64 minX = right, maxX = left - 1, minY = bottom, maxY = top - 1;
    for (qint64 y = top; y < bottom; ++y) {
        const quint64 *rowA = a.mask->row(y - a.y);
        const quint64 *rowB = b.mask->row(y - b.y);
        for (qint64 x = left; x < right; x += 64) {
            const quint64 both =
                keepBefore(bitsAt(rowA, x - a.x) & bitsAt(rowB, x - b.x), right - x);
            if (!both)
                continue;
            count += bitCount(both);
            minX = std::min(minX, x + qCountTrailingZeroBits(both));
            maxX = std::max(maxX, x + 63 - qCountLeadingZeroBits(both));
            minY = std::min(minY, y);
            maxY = y;
        }
    }
    if (count)
        *area = QRect(QPoint(int(minX), int(minY)), QPoint(int(maxX), int(maxY)));
    return count;
}

// The opaque cells of p inside the terrain.
int cellsInside(const Placed &p, QSize terrain)
{
    const qint64 left = std::max<qint64>(p.x, 0),
                 right = std::min<qint64>(p.right(), terrain.width());
    const qint64 top = std::max<qint64>(p.y, 0),
                 bottom = std::min<qint64>(p.bottom(), terrain.height());
    int count = 0;
    for (qint64 y = top; y < bottom; ++y) {
        const quint64 *row = p.mask->row(y - p.y);
        for (qint64 x = left; x < right; x += 64)
            count += bitCount(keepBefore(bitsAt(row, x - p.x), right - x));
    }
    return count;
}

// The same structure at the same recorded position.
struct Spot
{
    int structure;
    qint64 x, y;
    friend bool operator==(const Spot &a, const Spot &b)
    {
        return a.structure == b.structure && a.x == b.x && a.y == b.y;
    }
    friend size_t qHash(const Spot &spot, size_t seed = 0)
    {
        return qHashMulti(seed, spot.structure, spot.x, spot.y);
    }
};

// Overlaps are looked for among the placements whose boxes meet in squares of this many cells
// (a power of two, by its shift).
constexpr int squareShift = 6;

} // namespace

MapCheck::MapCheck(const QList<Placement> &placements, const StructureImages::Map &images,
                   QSize terrainSize)
    : m_placements(placements), m_images(images), m_terrainSize(terrainSize)
{
}

MapCheck::MapCheck(const MapSession &session)
    : MapCheck(session.document()->content().placements, session.structureImages(),
               session.terrainSize())
{
}

void MapCheck::run()
{
    m_findings.clear();
    m_involved.clear();
    // Each distinct structure once: its mask, from the image it is drawn with.
    QHash<StructureImages::Key, int> structures;
    std::vector<Mask> masks;
    std::vector<Placed> placed(size_t(m_placements.size()));
    for (qsizetype i = 0; i < m_placements.size(); ++i) {
        const Placement &placement = m_placements.at(i);
        const StructureImages::Key key = StructureImages::Key::of(placement);
        auto found = structures.constFind(key);
        if (found == structures.cend()) {
            found = structures.insert(key, int(masks.size()));
            masks.emplace_back(m_images.value(key));
        }
        const QPoint position = placement.recordedPosition();
        placed[size_t(i)] = {position.x(), position.y(), *found, nullptr};
    }
    for (Placed &p : placed)
        p.mask = &masks[size_t(p.structure)];
    const auto add = [this](Kind kind, std::initializer_list<qsizetype> involved, int cells = 0,
                            int ofCells = 0, QRect area = {}) {
        m_findings.append(
            {kind, cells, ofCells, area, m_involved.size(), qsizetype(involved.size())});
        for (const qsizetype i : involved)
            m_involved.append(i);
    };
    const auto box = [&](qsizetype i) {
        const Placement &placement = m_placements.at(i);
        return QRect(placement.recordedPosition(), placement.region.size());
    };

    // Stacked copies: the first of each stack stands for it in the overlaps.
    QHash<Spot, qsizetype> firstAt;
    firstAt.reserve(m_placements.size());
    std::vector<qsizetype> nextCopy(placed.size(), -1), lastCopy(placed.size(), -1);
    std::vector<bool> stands(placed.size(), true);
    for (qsizetype i = 0; i < qsizetype(placed.size()); ++i) {
        const Placed &p = placed[size_t(i)];
        const Spot spot{p.structure, p.x, p.y};
        const auto found = firstAt.constFind(spot);
        if (found == firstAt.cend()) {
            firstAt.insert(spot, i);
            lastCopy[size_t(i)] = i;
            continue;
        }
        const qsizetype first = *found;
        nextCopy[size_t(lastCopy[size_t(first)])] = i;
        lastCopy[size_t(first)] = i;
        stands[size_t(i)] = false;
    }

    // Overlaps: each placement listed in the squares its box meets; a pair is looked at in the
    // square where the top-left corner of where their boxes meet lies, so once.
    std::vector<std::pair<quint64, qsizetype>> squares;
    squares.reserve(placed.size() * 2);
    for (qsizetype i = 0; i < qsizetype(placed.size()); ++i) {
        const Placed &p = placed[size_t(i)];
        if (!stands[size_t(i)] || p.mask->cells == 0)
            continue;
        for (qint64 sy = floorDiv(p.y, squareShift); sy <= floorDiv(p.bottom() - 1, squareShift);
             ++sy) {
            for (qint64 sx = floorDiv(p.x, squareShift); sx <= floorDiv(p.right() - 1, squareShift);
                 ++sx)
                squares.emplace_back((quint64(quint32(sy)) << 32) | quint32(sx), i);
        }
    }
    std::sort(squares.begin(), squares.end());
    struct Overlap
    {
        qint32 a, b;
        int cells;
        QRect area;
    };
    std::vector<Overlap> overlaps;
    for (size_t from = 0; from < squares.size();) {
        size_t to = from + 1;
        while (to < squares.size() && squares[to].first == squares[from].first)
            ++to;
        const quint64 square = squares[from].first;
        for (size_t i = from; i < to; ++i) {
            const Placed &a = placed[size_t(squares[i].second)];
            for (size_t j = i + 1; j < to; ++j) {
                const Placed &b = placed[size_t(squares[j].second)];
                const qint64 left = std::max(a.x, b.x), top = std::max(a.y, b.y);
                if (left >= std::min(a.right(), b.right()) ||
                    top >= std::min(a.bottom(), b.bottom()))
                    continue;
                if (((quint64(quint32(floorDiv(top, squareShift))) << 32) |
                     quint32(floorDiv(left, squareShift))) != square)
                    continue;
                QRect area;
                if (const int cells = sharedCells(a, b, &area))
                    overlaps.push_back(
                        {qint32(squares[i].second), qint32(squares[j].second), cells, area});
            }
        }
        from = to;
    }
    // In the drawing order of their first placements, then of their second: grouped by the
    // first in one pass, each group (a handful) sorted by the second.
    std::vector<size_t> groupEnd(placed.size() + 1, 0);
    for (const Overlap &overlap : overlaps)
        ++groupEnd[size_t(overlap.a) + 1];
    for (size_t i = 1; i < groupEnd.size(); ++i)
        groupEnd[i] += groupEnd[i - 1];
    m_findings.resize(qsizetype(overlaps.size()));
    m_involved.resize(qsizetype(overlaps.size()) * 2);
    for (const Overlap &overlap : overlaps) {
        const qsizetype at = qsizetype(groupEnd[size_t(overlap.a)]++);
        m_findings[at] = {Kind::Overlap, overlap.cells, 0, overlap.area, at * 2, 2};
        m_involved[at * 2] = overlap.a;
        m_involved[at * 2 + 1] = overlap.b;
    }
    const auto second = [this](const Finding &f) { return m_involved.at(f.first + 1); };
    for (qsizetype from = 0; from < m_findings.size();) {
        qsizetype to = from + 1;
        const qsizetype first = m_involved.at(m_findings.at(from).first);
        while (to < m_findings.size() && m_involved.at(m_findings.at(to).first) == first)
            ++to;
        std::sort(m_findings.begin() + from, m_findings.begin() + to,
                  [&](const Finding &x, const Finding &y) { return second(x) < second(y); });
        from = to;
    }
    std::vector<Overlap>().swap(overlaps);

    for (qsizetype i = 0; i < qsizetype(placed.size()); ++i) {
        if (!stands[size_t(i)] || nextCopy[size_t(i)] < 0)
            continue;
        const qsizetype first = m_involved.size();
        for (qsizetype copy = i; copy >= 0; copy = nextCopy[size_t(copy)])
            m_involved.append(copy);
        m_findings.append({Kind::Stacked, 0, 0, box(i), first, m_involved.size() - first});
    }

    if (!m_terrainSize.isEmpty()) {
        const QRect terrain(QPoint(0, 0), m_terrainSize);
        for (qsizetype i = 0; i < qsizetype(placed.size()); ++i) {
            const Placed &p = placed[size_t(i)];
            if (p.mask->cells == 0 || (p.x >= 0 && p.y >= 0 && p.right() <= terrain.width() &&
                                       p.bottom() <= terrain.height()))
                continue;
            const int off = p.mask->cells - cellsInside(p, m_terrainSize);
            if (off > 0)
                add(Kind::OffTerrain, {i}, off, p.mask->cells, box(i));
        }
    }

    for (qsizetype i = 0; i < qsizetype(placed.size()); ++i) {
        if (placed[size_t(i)].mask->bits.empty())
            add(Kind::Missing, {i}, 0, 0, box(i));
    }
}

QList<qsizetype> MapCheck::placementsOf(const Finding &finding) const
{
    return m_involved.mid(finding.first, finding.count);
}

QString MapCheck::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Overlap:
        return QStringLiteral("overlap");
    case Kind::Stacked:
        return QStringLiteral("stacked");
    case Kind::OffTerrain:
        return QStringLiteral("off-terrain");
    case Kind::Missing:
        break;
    }
    return QStringLiteral("missing");
}

QString MapCheck::describe(const Placement &placement)
{
    const QPoint position = placement.recordedPosition();
    return QCoreApplication::translate("MapCheck", "%1 at %2,%3")
        .arg(QFileInfo(placement.structurePath).fileName())
        .arg(position.x())
        .arg(position.y());
}

QString MapCheck::placementsText(const Finding &finding) const
{
    QString text;
    for (qsizetype i = 0; i < finding.count; ++i) {
        if (i > 0)
            text += i + 1 == finding.count ? QCoreApplication::translate("MapCheck", " and ")
                                           : QStringLiteral(", ");
        text += describe(m_placements.at(m_involved.at(finding.first + i)));
    }
    return text;
}

QString MapCheck::cellsText(const Finding &finding)
{
    switch (finding.kind) {
    case Kind::Overlap:
        return finding.cells == 1
                   ? QCoreApplication::translate("MapCheck", "share 1 cell")
                   : QCoreApplication::translate("MapCheck", "share %1 cells").arg(finding.cells);
    case Kind::OffTerrain:
        return QCoreApplication::translate("MapCheck", "has %1 of %2 cells off the terrain")
            .arg(finding.cells)
            .arg(finding.ofCells);
    case Kind::Stacked:
    case Kind::Missing:
        break;
    }
    return QString();
}

QString MapCheck::line(const Finding &finding) const
{
    const QString cells = cellsText(finding);
    return kindName(finding.kind) + QStringLiteral(": ") + placementsText(finding) +
           (cells.isEmpty() ? QString() : QLatin1Char(' ') + cells);
}
