#include "MapSession.h"

#include "LoadedMap.h"
#include "MapRenderer.h"
#include "RadarColours.h"

#include "StructurePreview.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

MapSession::MapSession(const RadarColours *colours, QObject *parent)
    : QObject(parent), m_colours(colours)
{
    // Images read whole (not row by row) go by Qt's own limit: raised to what the map takes.
    if (QImageReader::allocationLimit() < TerrainLoader::allocationLimitMiB)
        QImageReader::setAllocationLimit(TerrainLoader::allocationLimitMiB);
    // Connected before any view can be: the terrain is known when the views rebuild.
    connect(&m_document, &MapDocument::reset, this, &MapSession::documentReset);
    connect(&m_document, &MapDocument::placementsInserted, this, &MapSession::renderStructures);
    connect(&m_document, &MapDocument::structurePathsChanged, this, &MapSession::renameStructures);
    connect(&m_document, &MapDocument::terrainPathChanged, this, [this] {
        startTerrain();
        emit terrainReplaced();
        emit missingFilesChanged();
    });
    connect(&m_terrainLoader, &TerrainLoader::rowsReady, this, [this](int from, int to) {
        m_terrain = m_terrainLoader.readyImage();
        emit terrainRowsRead(from, to);
    });
}

MapSession::~MapSession() = default;

const RadarColours &MapSession::radarColours() const
{
    static const RadarColours none;
    return m_colours ? *m_colours : none;
}

void MapSession::documentReset()
{
    if (!m_document.isOpen()) {
        m_images.clear();
        m_unrenderable.clear();
        m_found.clear();
        m_unreadable.clear();
    }
    startTerrain();
}

void MapSession::startTerrain()
{
    m_terrainLoader.abandon();
    m_terrain = QImage();
    m_terrainSize = QSize();
    m_terrainError.clear();
    m_terrainMissing = false;
    if (!m_document.isOpen())
        return;
    const QString &recorded = m_document.terrainPath();
    if (!QFileInfo(recorded).isFile()) {
        m_terrainMissing = true;
        if (!m_found.contains(recorded)) {
            const QString found = finder().find(recorded);
            if (!found.isEmpty())
                m_found.insert(recorded, found);
        }
    }
    const QString source = sourceOf(recorded);
    if (m_terrainAtOnce) {
        m_terrain = TerrainLoader::read(source, &m_terrainError);
        m_terrainSize = m_terrain.size();
        return;
    }
    // The size comes from the image's header at once; decoding a large image takes long, so it
    // is read in the background, top to bottom. An image whose header tells no size comes whole
    // (an unreadable one gives an empty map).
    m_terrainSize = m_terrainLoader.start(source);
    m_terrain = m_terrainLoader.readyImage();
}

QString MapSession::sourceOf(const QString &recorded) const
{
    const auto found = m_found.constFind(recorded);
    return found == m_found.cend() ? recorded : *found;
}

FileFinder MapSession::finder() const
{
    const QString folder = m_document.fileName().isEmpty()
                               ? QString()
                               : QFileInfo(m_document.fileName()).absolutePath();
    return FileFinder(folder, m_library);
}

void MapSession::renderStructures(const QList<Placement *> &placements)
{
    QSet<StructureImages::Key> seen;
    bool missing = false;
    for (const Placement *placement : placements) {
        StructureImages::Key key = StructureImages::Key::of(*placement);
        if (m_images.contains(key) || m_unrenderable.contains(key) || seen.contains(key))
            continue;
        seen.insert(key);
        const QRect region(QPoint(0, 0), key.size);
        QImage image = renderStructureImage(sourceOf(key.path), radarColours(), region, key.offset);
        if (image.isNull() && !m_found.contains(key.path)) {
            // Not where the placement says: looked for once, where it may have gone.
            m_unreadable.insert(key.path);
            missing = true;
            const QString found = finder().find(key.path);
            if (!found.isEmpty()) {
                m_found.insert(key.path, found);
                image = renderStructureImage(found, radarColours(), region, key.offset);
            }
        }
        if (image.isNull())
            m_unrenderable.insert(key);
        else
            m_images.insert(key, image);
    }
    if (missing)
        emit missingFilesChanged();
}

void MapSession::renameStructures(const QHash<QString, QString> &renamed)
{
    // The images of the structures under their new names: the same where the new file is the
    // one found for the old, else rendered from the new file.
    QList<std::pair<StructureImages::Key, QImage>> added;
    QSet<StructureImages::Key> keys(m_unrenderable);
    for (auto it = m_images.cbegin(); it != m_images.cend(); ++it)
        keys.insert(it.key());
    for (const StructureImages::Key &key : std::as_const(keys)) {
        const auto to = renamed.constFind(key.path);
        if (to == renamed.cend())
            continue;
        StructureImages::Key renamedKey{*to, key.size, key.offset};
        if (m_images.contains(renamedKey))
            continue;
        QImage image = sourceOf(key.path) == *to ? m_images.value(key) : QImage();
        if (image.isNull())
            image = renderStructureImage(sourceOf(*to), radarColours(),
                                         QRect(QPoint(0, 0), key.size), key.offset);
        if (image.isNull()) {
            m_unreadable.insert(*to);
            m_unrenderable.insert(renamedKey);
        } else {
            added.append({renamedKey, image});
        }
    }
    for (auto &[key, image] : added) {
        m_unrenderable.remove(key);
        m_images.insert(key, image);
    }
    emit missingFilesChanged();
}

void MapSession::findMissingAgain()
{
    if (!m_document.isOpen())
        return;
    const FileFinder finder = this->finder();
    QSet<QString> found;
    for (const QString &path : std::as_const(m_unreadable)) {
        if (m_found.contains(path))
            continue;
        const QString at = finder.find(path);
        if (!at.isEmpty()) {
            m_found.insert(path, at);
            found.insert(path);
        }
    }
    bool terrainFound = false;
    const QString &terrain = m_document.terrainPath();
    if (m_terrainMissing && !m_found.contains(terrain)) {
        const QString at = finder.find(terrain);
        if (!at.isEmpty()) {
            m_found.insert(terrain, at);
            terrainFound = true;
        }
    }
    if (found.isEmpty() && !terrainFound)
        return;
    const QSet<StructureImages::Key> unrenderable = m_unrenderable;
    for (const StructureImages::Key &key : unrenderable) {
        if (!found.contains(key.path))
            continue;
        const QImage image = renderStructureImage(m_found.value(key.path), radarColours(),
                                                  QRect(QPoint(0, 0), key.size), key.offset);
        if (!image.isNull()) {
            m_unrenderable.remove(key);
            m_images.insert(key, image);
        }
    }
    if (!found.isEmpty())
        emit structureImagesChanged(found);
    if (terrainFound) {
        startTerrain();
        emit terrainReplaced();
    }
    emit missingFilesChanged();
}

QHash<QString, int> MapSession::missingStructures() const
{
    QHash<QString, int> missing;
    if (m_unreadable.isEmpty())
        return missing;
    for (const Placement *placement : m_document.placements()) {
        if (m_unreadable.contains(placement->structurePath))
            ++missing[placement->structurePath];
    }
    return missing;
}

void MapSession::relink(const QHash<QString, QString> &paths)
{
    m_document.relink(paths);
}

QImage MapSession::wholeTerrain(QString *error) const
{
    if (!isTerrainLoading() && !m_terrain.isNull() && m_terrain.size() == m_terrainSize)
        return m_terrain;
    if (m_terrainAtOnce) {
        if (error)
            *error = m_terrainError;
        return QImage();
    }
    return TerrainLoader::read(sourceOf(m_document.terrainPath()), error);
}

void MapSession::addStructureImage(const StructureImages::Key &key, const QImage &image)
{
    if (!image.isNull())
        m_images.insert(key, image);
}

bool MapSession::newMap(const QString &terrainPath, QString *error)
{
    QImageReader reader(terrainPath);
    if (terrainPath.isEmpty() || !reader.canRead() ||
        !TerrainLoader::fitsAllocationLimit(reader.size())) {
        if (error)
            *error =
                tr("%1 cannot be read as an image.").arg(QDir::toNativeSeparators(terrainPath));
        return false;
    }
    PlacementDocument content;
    content.terrainPath = terrainPath;
    m_images.clear();
    m_unrenderable.clear();
    m_found.clear();
    m_unreadable.clear();
    m_document.open(content);
    emit missingFilesChanged();
    return true;
}

bool MapSession::openFile(const QString &path, QString *error,
                          const std::function<bool(int)> &progress)
{
    std::optional<LoadedMap> map = LoadedMap::read(path, radarColours(), error, progress);
    if (!map)
        return false;
    m_images = std::move(map->images);
    m_unrenderable.clear();
    m_found.clear();
    m_unreadable.clear();
    if (!map->unrendered.isEmpty()) {
        // Structures not where the map says: looked for where they may have gone, each path
        // once, and those found rendered on all cores.
        const FileFinder finder(QFileInfo(path).absolutePath(), m_library);
        StructureImages found(radarColours());
        for (const StructureImages::Key &key : std::as_const(map->unrendered)) {
            if (!m_unreadable.contains(key.path)) {
                m_unreadable.insert(key.path);
                const QString at = finder.find(key.path);
                if (!at.isEmpty())
                    m_found.insert(key.path, at);
            }
            const auto at = m_found.constFind(key.path);
            if (at != m_found.cend())
                found.add(key, *at);
        }
        QList<StructureImages::Key> unrendered;
        const StructureImages::Map images = found.take(&unrendered);
        for (auto it = images.cbegin(); it != images.cend(); ++it)
            m_images.insert(it.key(), it.value());
        for (const StructureImages::Key &key : std::as_const(map->unrendered)) {
            if (!m_images.contains(key))
                m_unrenderable.insert(key);
        }
    }
    m_document.open(map->content, path);
    emit missingFilesChanged();
    return true;
}

bool MapSession::exportImage(const QString &path, QString *error,
                             const std::function<bool(int)> &progress) const
{
    if (!m_document.isOpen()) {
        if (error)
            *error = tr("No map is open.");
        return false;
    }
    const QImage terrain = wholeTerrain(error);
    if (terrain.isNull())
        return false;
    const MapRenderer renderer(terrain, m_document.placements(), m_images);
    return renderer.writePng(path, error, progress);
}
