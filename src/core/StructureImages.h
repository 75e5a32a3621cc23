#pragma once

#include "Placement.h"
#include "RadarColours.h"

#include <QHash>
#include <QImage>
#include <QPoint>
#include <QSet>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <deque>

// The preview images a map's placements are drawn with: each distinct structure rendered once
// however often it is placed, on all cores, from the moment its first placement is met. A
// placement whose structure cannot be rendered has no image and is drawn as a placeholder box.
class StructureImages
{
public:
    // What a structure's image is rendered from: placements with equal keys share one image.
    struct Key
    {
        QString path;
        QSize size; // of the region
        QPoint offset;

        static Key of(const Placement &placement)
        {
            return {placement.structurePath, placement.region.size(), placement.offset};
        }
        friend bool operator==(const Key &a, const Key &b)
        {
            return a.size == b.size && a.offset == b.offset && a.path == b.path;
        }
        friend size_t qHash(const Key &key, size_t seed = 0)
        {
            return qHashMulti(seed, key.path, key.size.width(), key.size.height(), key.offset.x(),
                              key.offset.y());
        }
    };
    using Map = QHash<Key, QImage>;

    // The colours must outlive the renders.
    explicit StructureImages(const RadarColours &colours);
    // Skips the renders not yet started and waits for those under way.
    ~StructureImages();
    StructureImages(const StructureImages &) = delete;
    StructureImages &operator=(const StructureImages &) = delete;

    // Starts rendering the placement's structure, unless it was met before.
    void add(const Placement &placement);
    // Starts rendering the structure of key from the file at path instead (a file found where
    // the recorded one is not), unless it was met before.
    void add(const Key &key, const QString &path);
    // Distinct structures met, and of those the ones rendered (or found unrenderable).
    int count() const { return int(m_structures.size()); }
    int rendered() const { return m_rendered.load(std::memory_order_relaxed); }
    // Waits up to ms milliseconds (-1: for good) for every render; true when all are done.
    bool waitForDone(int ms = -1);
    // Skips the renders not yet started.
    void cancel() { m_cancelled = true; }
    // The images rendered, once all are done; structures that could not be rendered are left
    // out, and their keys put in *unrendered.
    Map take(QList<Key> *unrendered = nullptr);

private:
    struct Structure
    {
        Key key;
        QString path; // read from
        QImage image;
    };

    const RadarColours &m_colours;
    std::deque<Structure> m_structures; // stable addresses for the renders
    QSet<Key> m_seen;
    std::atomic<int> m_rendered{0};
    std::atomic<bool> m_cancelled{false};
    QThreadPool m_pool; // last: destroyed first, joining its renders before what they use
};
