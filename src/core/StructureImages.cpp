#include "StructureImages.h"

#include "StructurePreview.h"

StructureImages::StructureImages(const RadarColours &colours) : m_colours(colours) {}

StructureImages::~StructureImages()
{
    cancel();
    m_pool.waitForDone();
}

void StructureImages::add(const Placement &placement)
{
    Key key = Key::of(placement);
    const QString path = key.path;
    add(key, path);
}

void StructureImages::add(const Key &key, const QString &path)
{
    if (m_seen.contains(key))
        return;
    m_seen.insert(key);
    Structure &structure = m_structures.emplace_back(Structure{key, path, QImage()});
    m_pool.start([this, &structure] {
        if (!m_cancelled.load(std::memory_order_relaxed))
            structure.image =
                renderStructureImage(structure.path, m_colours,
                                     QRect(QPoint(0, 0), structure.key.size), structure.key.offset);
        m_rendered.fetch_add(1, std::memory_order_relaxed);
    });
}

bool StructureImages::waitForDone(int ms)
{
    return m_pool.waitForDone(ms);
}

StructureImages::Map StructureImages::take(QList<Key> *unrendered)
{
    waitForDone();
    Map images;
    images.reserve(qsizetype(m_structures.size()));
    for (Structure &structure : m_structures) {
        if (!structure.image.isNull())
            images.insert(std::move(structure.key), std::move(structure.image));
        else if (unrendered)
            unrendered->append(std::move(structure.key));
    }
    m_structures.clear();
    m_seen.clear();
    return images;
}
