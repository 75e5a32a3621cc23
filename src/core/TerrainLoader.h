#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <memory>

// Reads a map's terrain image on a worker thread, top to bottom, so that the rows at the top
// can be drawn long before the whole image is in. PNG images are decoded row by row straight
// into one image of the terrain's size (RGB32 where the image is opaque, premultiplied ARGB32
// where it has alpha) and published band by band; interlaced PNG images and other formats are
// read whole and published once. Lives in the application's main thread, which never waits
// for the worker: starting another terrain or destroying the loader abandons the one being
// read, whose worker then stops at the end of its band on its own.
class TerrainLoader : public QObject
{
    Q_OBJECT

public:
    // Terrain images up to 8192 x 8192 with 16 bits a channel fit; anything larger is refused
    // rather than allocated. Images read whole go by QImageReader's own limit, which the map
    // view raises to this.
    static constexpr int allocationLimitMiB = 600;

    // Whether an image of that size is not empty and within the limit above.
    static bool fitsAllocationLimit(QSize size);

    explicit TerrainLoader(QObject *parent = nullptr);
    ~TerrainLoader() override;

    // Abandons the terrain being read, if any, and starts reading the image at path. Returns
    // its size as the header tells it; an image whose header tells none is read here at once.
    // 0 x 0 when the image cannot be read or is too large: then nothing is loaded.
    QSize start(const QString &path);
    // Stops caring for the terrain being read: no more rows are published.
    void abandon();

    // Reads the whole terrain image at path here and now, decoded as the background read
    // decodes it. Null, with *error saying why for a person, when it cannot be read whole.
    static QImage read(const QString &path, QString *error = nullptr);

    // Whether rows may still come: the worker has not finished and published all it read.
    bool isLoading() const { return m_loading; }
    int readyRows() const { return m_readyRows; }
    // The rows published so far, top-aligned and of the terrain's full width, as a read-only
    // image on the shared buffer (no copy); it keeps the buffer alive. Null before any row.
    QImage readyImage() const;

signals:
    // Rows from to to - 1 have been decoded (to is the number of rows ready now).
    void rowsReady(int from, int to);

private:
    struct Job;
    static void run(const std::shared_ptr<Job> &job); // on the worker
    static void notify(Job *job);                     // from the worker
    void publish();

    std::shared_ptr<Job> m_job;
    int m_readyRows = 0;
    bool m_loading = false;
};
