#include "MapSession.h"

#include "LoadedMap.h"
#include "MapRenderer.h"
#include "RadarColours.h"

#include <QDir>
#include <QImageReader>

MapSession::MapSession(const RadarColours *colours, QObject *parent)
    : QObject(parent), m_colours(colours)
{
    // Images read whole (not row by row) go by Qt's own limit: raised to what the map takes.
    if (QImageReader::allocationLimit() < TerrainLoader::allocationLimitMiB)
        QImageReader::setAllocationLimit(TerrainLoader::allocationLimitMiB);
    // Connected before any view can be: the terrain is known when the views rebuild.
    connect(&m_document, &MapDocument::reset, this, &MapSession::documentReset);
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
    m_terrainLoader.abandon();
    m_terrain = QImage();
    m_terrainSize = QSize();
    m_terrainError.clear();
    if (!m_document.isOpen()) {
        m_images.clear();
        return;
    }
    if (m_terrainAtOnce) {
        m_terrain = TerrainLoader::read(m_document.terrainPath(), &m_terrainError);
        m_terrainSize = m_terrain.size();
        return;
    }
    // The size comes from the image's header at once; decoding a large image takes long, so it
    // is read in the background, top to bottom. An image whose header tells no size comes whole
    // (an unreadable one gives an empty map).
    m_terrainSize = m_terrainLoader.start(m_document.terrainPath());
    m_terrain = m_terrainLoader.readyImage();
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
    return TerrainLoader::read(m_document.terrainPath(), error);
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
    m_document.open(content);
    return true;
}

bool MapSession::openFile(const QString &path, QString *error,
                          const std::function<bool(int)> &progress)
{
    std::optional<LoadedMap> map = LoadedMap::read(path, radarColours(), error, progress);
    if (!map)
        return false;
    m_images = std::move(map->images);
    m_document.open(map->content, path);
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
