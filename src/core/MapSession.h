#pragma once

#include "FileFinder.h"
#include "MapDocument.h"
#include "PlacementSelection.h"
#include "StructureImages.h"
#include "TerrainLoader.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
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
    // Files the map names that cannot be read where it records them are looked for (FileFinder),
    // below the map file's folder and the folders above it and in the library: those found are
    // drawn from where they were found, while the placements keep the recorded paths until the
    // finds are adopted (relink).
    void setLibrary(FileFinder::Library library) { m_library = std::move(library); }
    // The structure files placements name that cannot be read there, by recorded path, with the
    // number of placements naming each.
    QHash<QString, int> missingStructures() const;
    // Whether the structure file recorded as path cannot be read there.
    bool isStructureMissing(const QString &recorded) const
    {
        return m_unreadable.contains(recorded);
    }
    // Whether the terrain image cannot be read where the map records it.
    bool isTerrainMissing() const { return m_terrainMissing; }
    // Where the file recorded as path was found; empty when it was not.
    QString foundFile(const QString &recorded) const { return m_found.value(recorded); }
    // Looks again for the missing files not found so far (the library has grown, say); those
    // found now are drawn from there.
    void findMissingAgain();
    // Gives the placements naming each key of paths (and the terrain, where it is one) the path
    // it maps to, as one step that can be undone.
    void relink(const QHash<QString, QString> &paths);

    // Draws the map at one pixel a cell into a PNG file at path (MapRenderer::writePng); false
    // with *error set, or empty when progress asked to stop.
    bool exportImage(const QString &path, QString *error = nullptr,
                     const std::function<bool(int)> &progress = {}) const;

signals:
    // Rows from to to - 1 of the terrain have been read (terrain()).
    void terrainRowsRead(int from, int to);
    // The terrain is read anew, from another file: what shows it starts afresh.
    void terrainReplaced();
    // Files went missing from the map or were relinked.
    void missingFilesChanged();
    // Structures recorded at these paths are drawn from other images now.
    void structureImagesChanged(const QSet<QString> &paths);

private:
    void documentReset();
    void startTerrain();
    // Renders the structures of these placements not met before, from where their files are.
    void renderStructures(const QList<Placement *> &placements);
    // Takes the images of structures renamed from the old paths to the new.
    void renameStructures(const QHash<QString, QString> &renamed);
    // Where a structure's or the terrain's recorded file is to be read from.
    QString sourceOf(const QString &recorded) const;
    FileFinder finder() const;

    const RadarColours *m_colours;
    MapDocument m_document;
    PlacementSelection m_selection{&m_document};
    TerrainLoader m_terrainLoader;
    QSize m_terrainSize;
    QImage m_terrain;
    QString m_terrainError; // why a terrain read at once could not be
    bool m_terrainAtOnce = false;
    StructureImages::Map m_images;
    QSet<StructureImages::Key> m_unrenderable; // found nowhere, or not a structure
    FileFinder::Library m_library;
    QHash<QString, QString> m_found; // recorded path to where the file was found
    QSet<QString> m_unreadable;      // recorded structure paths that could not be read there
    bool m_terrainMissing = false;
};
