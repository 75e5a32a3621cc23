#include "MapComparison.h"

#include "MapCheck.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <tuple>
#include <vector>

namespace {

// A structure as placed: its file with the offset and region it is placed with.
struct Structure
{
    QString path;
    QPoint offset;
    QSize size;

    explicit Structure(const Placement &placement)
        : path(placement.structurePath), offset(placement.offset), size(placement.region.size())
    {
    }
    friend bool operator==(const Structure &a, const Structure &b)
    {
        return a.offset == b.offset && a.size == b.size && a.path == b.path;
    }
    friend size_t qHash(const Structure &s, size_t seed = 0)
    {
        return qHashMulti(seed, s.path, s.offset.x(), s.offset.y(), s.size.width(),
                          s.size.height());
    }
};

// A structure at a recorded position.
struct Spot
{
    Structure structure;
    QPoint position;

    explicit Spot(const Placement &placement)
        : structure(placement), position(placement.recordedPosition())
    {
    }
    friend bool operator==(const Spot &a, const Spot &b)
    {
        return a.position == b.position && a.structure == b.structure;
    }
    friend size_t qHash(const Spot &s, size_t seed = 0)
    {
        return qHashMulti(seed, s.structure, s.position.x(), s.position.y());
    }
};

enum class Pairing : char { None, Unchanged, Changed, Moved };

} // namespace

MapComparison::MapComparison(const QList<Placement> &ours, const QList<Placement> &theirs)
    : m_ours(ours), m_theirs(theirs)
{
    const size_t ourCount = size_t(ours.size()), theirCount = size_t(theirs.size());
    // Ours at each spot, chained in drawing order.
    QHash<Spot, qsizetype> firstAt;
    firstAt.reserve(ours.size());
    std::vector<qsizetype> next(ourCount, -1), last(ourCount, -1);
    for (qsizetype i = 0; i < ours.size(); ++i) {
        const Spot spot(ours.at(i));
        const auto found = firstAt.constFind(spot);
        if (found == firstAt.cend()) {
            firstAt.insert(spot, i);
            last[size_t(i)] = i;
        } else {
            next[size_t(last[size_t(*found)])] = i;
            last[size_t(*found)] = i;
        }
    }
    std::vector<qsizetype> partnerOfOurs(ourCount, -1), partnerOfTheirs(theirCount, -1);
    std::vector<Pairing> pairing(ourCount, Pairing::None);
    // The same spot: first with the same flag, then with either.
    std::vector<qsizetype> chainOf(theirCount, -1);
    for (qsizetype j = 0; j < theirs.size(); ++j)
        chainOf[size_t(j)] = firstAt.value(Spot(theirs.at(j)), -1);
    for (const bool sameFlag : {true, false}) {
        for (qsizetype j = 0; j < theirs.size(); ++j) {
            if (partnerOfTheirs[size_t(j)] >= 0)
                continue;
            for (qsizetype i = chainOf[size_t(j)]; i >= 0; i = next[size_t(i)]) {
                if (partnerOfOurs[size_t(i)] >= 0 ||
                    (sameFlag && ours.at(i).invisible != theirs.at(j).invisible))
                    continue;
                partnerOfOurs[size_t(i)] = j;
                partnerOfTheirs[size_t(j)] = i;
                pairing[size_t(i)] = ours.at(i).invisible == theirs.at(j).invisible
                                         ? Pairing::Unchanged
                                         : Pairing::Changed;
                break;
            }
        }
    }
    // What is left of each structure, nearest first.
    QHash<Structure, std::pair<std::vector<qsizetype>, std::vector<qsizetype>>> left;
    for (qsizetype i = 0; i < ours.size(); ++i) {
        if (partnerOfOurs[size_t(i)] < 0)
            left[Structure(ours.at(i))].first.push_back(i);
    }
    for (qsizetype j = 0; j < theirs.size(); ++j) {
        if (partnerOfTheirs[size_t(j)] < 0)
            left[Structure(theirs.at(j))].second.push_back(j);
    }
    for (const auto &[mine, other] : std::as_const(left)) {
        if (mine.empty() || other.empty())
            continue;
        std::vector<std::tuple<qint64, qsizetype, qsizetype>> candidates;
        candidates.reserve(mine.size() * other.size());
        for (const qsizetype i : mine) {
            const QPoint from = ours.at(i).recordedPosition();
            for (const qsizetype j : other) {
                const QPoint to = theirs.at(j).recordedPosition();
                const qint64 dx = qint64(to.x()) - from.x(), dy = qint64(to.y()) - from.y();
                candidates.emplace_back(dx * dx + dy * dy, i, j);
            }
        }
        std::sort(candidates.begin(), candidates.end());
        for (const auto &[distance, i, j] : candidates) {
            if (partnerOfOurs[size_t(i)] >= 0 || partnerOfTheirs[size_t(j)] >= 0)
                continue;
            partnerOfOurs[size_t(i)] = j;
            partnerOfTheirs[size_t(j)] = i;
            pairing[size_t(i)] = Pairing::Moved;
        }
    }

    for (qsizetype i = 0; i < ours.size(); ++i) {
        if (pairing[size_t(i)] == Pairing::None)
            m_differences.append({Kind::Removed, i, -1});
    }
    for (qsizetype j = 0; j < theirs.size(); ++j) {
        if (partnerOfTheirs[size_t(j)] < 0)
            m_differences.append({Kind::Added, -1, j});
    }
    for (const auto &[kind, wanted] :
         {std::pair(Kind::Moved, Pairing::Moved), std::pair(Kind::Changed, Pairing::Changed)}) {
        for (qsizetype i = 0; i < ours.size(); ++i) {
            if (pairing[size_t(i)] == wanted)
                m_differences.append({kind, i, partnerOfOurs[size_t(i)]});
        }
    }
}

QString MapComparison::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Removed:
        return QStringLiteral("removed");
    case Kind::Added:
        return QStringLiteral("added");
    case Kind::Moved:
        return QStringLiteral("moved");
    case Kind::Changed:
        break;
    }
    return QStringLiteral("changed");
}

QString MapComparison::text(const Difference &difference) const
{
    switch (difference.kind) {
    case Kind::Removed:
        return MapCheck::describe(m_ours.at(difference.ours));
    case Kind::Added:
        return MapCheck::describe(m_theirs.at(difference.theirs));
    case Kind::Moved: {
        const QPoint from = m_ours.at(difference.ours).recordedPosition();
        const QPoint to = m_theirs.at(difference.theirs).recordedPosition();
        return QCoreApplication::translate("MapComparison", "%1 from %2,%3 to %4,%5")
            .arg(QFileInfo(m_ours.at(difference.ours).structurePath).fileName())
            .arg(from.x())
            .arg(from.y())
            .arg(to.x())
            .arg(to.y());
    }
    case Kind::Changed:
        break;
    }
    const QString where = MapCheck::describe(m_ours.at(difference.ours));
    return m_theirs.at(difference.theirs).invisible
               ? QCoreApplication::translate("MapComparison", "%1 now invisible").arg(where)
               : QCoreApplication::translate("MapComparison", "%1 now visible").arg(where);
}

QString MapComparison::line(const Difference &difference) const
{
    return kindName(difference.kind) + QStringLiteral(": ") + text(difference);
}
