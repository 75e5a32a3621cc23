#pragma once

#include "MapDocument.h"
#include "PlacementSelection.h"
#include "StructureImages.h"
#include "TerrainLoader.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>

class RadarColours;

// What an open map is, apart from how it is shown: the document with its undo history, its
// terrain image as far as it has been read, and the images its structures are drawn with. The
// main window owns the one session and hands it to every view; the command line makes its own.
//
// The terrain follows the document: whenever a map is made, opened or closed, the session starts
// reading the new terrain in the background (or lets the old one go) before any view hears of
// the change, so a view rebuilding itself finds the new terrain's size already known.
class MapSession : public QObject
{
    Q_OBJECT

public:
    // The colours structures are rendered in; null renders every tile black. They must outlive
    // the session or be replaced first.
    explicit MapSession(const RadarColours *colours = nullptr, QObject *parent = nullptr);
    ~MapSession() override;

    MapDocument *document() { return &m_document; }
    const MapDocument *document() const { return &m_document; }
    // The placements the editing commands act on.
    PlacementSelection *selection() { return &m_selection; }
    const PlacementSelection *selection() const { return &m_selection; }
    const RadarColours &radarColours() const;
    void setRadarColours(const RadarColours *colours) { m_colours = colours; }

    // Whether the terrain is read whole as a map is made or opened, rather than in the
    // background: for work without an event loop, such as the command line's.
    void setReadsTerrainAtOnce(bool atOnce) { m_terrainAtOnce = atOnce; }

    // The open map's terrain: its size as the image's header tells it (empty while no map is
    // open or the image cannot be read), and the rows read so far from the top at full width.
    QSize terrainSize() const { return m_terrainSize; }
    const QImage &terrain() const { return m_terrain; }
    bool isTerrainLoading() const { return m_terrainLoader.isLoading(); }
    // The whole terrain now: the rows read so far when they are all there, otherwise the image
    // read again here; null with *error set when it cannot be read.
    QImage wholeTerrain(QString *error = nullptr) const;

    // The image the structures of key are drawn with; null for a structure without one (drawn
    // as a placeholder box). These images are the one place that says whether the session could
    // load a structure: one without an image is what the checks (MapCheck) report as missing.
    QImage structureImage(const StructureImages::Key &key) const { return m_images.value(key); }
    const StructureImages::Map &structureImages() const { return m_images; }
    // Keeps the image of a structure brought onto the map from elsewhere (a drag from the
    // library), before its placement is made.
    void addStructureImage(const StructureImages::Key &key, const QImage &image);

    // Replaces the map by a new, empty one made from the terrain image at path; false, the open
    // map untouched, with *error set when the path names no image that can be read.
    bool newMap(const QString &terrainPath, QString *error = nullptr);
    // Reads the placement file at path, rendering its structures, and makes it the open map;
    // false with the open map untouched and *error set when it cannot be read, or *error empty
    // when progress asked to stop (see LoadedMap::read).
    bool openFile(const QString &path, QString *error = nullptr,
                  const std::function<bool(int)> &progress = {});
    // Draws the map at one pixel a cell into a PNG file at path (MapRenderer::writePng); false
    // with *error set, or empty when progress asked to stop.
    bool exportImage(const QString &path, QString *error = nullptr,
                     const std::function<bool(int)> &progress = {}) const;

signals:
    // Rows from to to - 1 of the terrain have been read (terrain()).
    void terrainRowsRead(int from, int to);

private:
    void documentReset();

    const RadarColours *m_colours;
    MapDocument m_document;
    PlacementSelection m_selection{&m_document};
    TerrainLoader m_terrainLoader;
    QSize m_terrainSize;
    QImage m_terrain;
    QString m_terrainError; // why a terrain read at once could not be
    bool m_terrainAtOnce = false;
    StructureImages::Map m_images;
};
