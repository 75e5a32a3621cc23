#include "TerrainLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRgba64>
#include <QThreadPool>

#include <png.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

// One terrain being read. The main thread owns it with the worker (and with every image handed
// out on its buffer); it outlives whichever lets go of it last.
struct TerrainLoader::Job : std::enable_shared_from_this<TerrainLoader::Job>
{
    QString path;
    QSize size;
    // Set by the worker before it publishes its first row, never touched by it afterwards; the
    // worker writes the pixels through the pointer it took.
    QImage buffer;
    std::atomic<bool> abandoned{false};
    std::atomic<int> rows{0};      // rows decoded and complete, from the top
    std::atomic<bool> done{false}; // the worker has finished; rows is final
    std::atomic<bool> notifying{false};
    bool quiet = false;                // read where it is needed: nobody to tell
    TerrainLoader *receiver = nullptr; // main thread only
};

namespace {

// A band is about this many bytes of the buffer: small enough that the top of the map shows
// soon, large enough that the main thread is not flooded.
constexpr qsizetype bandBytes = 256 * 1024;

QImage::Format formatFor(bool alpha)
{
    return alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}

// An image read whole, in the format the terrain is kept in.
QImage readWhole(QImageReader &reader)
{
    const QImage image = reader.read();
    return image.convertToFormat(formatFor(image.hasAlphaChannel()));
}

// What decodePng needs and tells; plain data, since the decoder jumps out of libpng on errors.
struct PngDecode
{
    QIODevice *device;
    int width;
    int height;
    // Called once the header is read: the buffer for pixels with or without alpha (null when
    // it could not be had), its bytes per line in *stride.
    uchar *(*allocate)(void *context, bool alpha, qsizetype *stride);
    // Called after every band with the rows complete; false to stop.
    bool (*progress)(void *context, int rows);
    void *context;
    quint16 *wide; // room for one row of 16-bit RGBA, for images of 16 bits a channel
    int rows;      // complete rows; -1 until the buffer is there
};

void readPngData(png_structp png, png_bytep data, size_t length)
{
    auto *device = static_cast<QIODevice *>(png_get_io_ptr(png));
    if (device->read(reinterpret_cast<char *>(data), qint64(length)) != qint64(length))
        png_error(png, "truncated");
}

void pngFailed(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Sets the libpng transformations that turn any PNG into 32-bit pixels in the order of
// QImage's RGB32 and ARGB32 formats (or 16-bit RGBA for images of 16 bits a channel).
void setTransformations(png_structp png, bool alpha, bool wide)
{
    png_set_expand(png); // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_gray_to_rgb(png);
    if (wide) {
        if (!alpha)
            png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        png_set_swap(png);
#endif
        return;
    }
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
#else
    if (alpha)
        png_set_swap_alpha(png);
    else
        png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
#endif
}

// Converts one row of 16-bit RGBA to 32 bits as QImage converts its 64-bit formats.
void narrowRow(const quint16 *wide, int width, bool alpha, QRgb *out)
{
    for (int x = 0; x < width; ++x, wide += 4) {
        const QRgba64 pixel = QRgba64::fromRgba64(wide[0], wide[1], wide[2], wide[3]);
        out[x] = alpha ? pixel.premultiplied().toArgb32() : pixel.toArgb32();
    }
}

void premultiplyRow(QRgb *row, int width)
{
    for (int x = 0; x < width; ++x)
        row[x] = qPremultiply(row[x]);
}

// Decodes the PNG row by row into the buffer that job->allocate hands out. libpng reports
// errors with longjmp: nothing here may need destroying, and what must survive a jump lives
// in *job. Leaves job->rows at the rows complete; false when the image must be read whole
// (interlaced) or its header could not be read or does not match.
bool decodePng(PngDecode *job)
{
    job->rows = -1;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFailed, pngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        // Corrupt or cut short: the rows complete so far stay.
        png_destroy_read_struct(&png, &info, nullptr);
        return job->rows >= 0;
    }
    png_set_read_fn(png, job->device, readPngData);
    png_read_info(png, info);
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE ||
        png_get_image_width(png, info) != png_uint_32(job->width) ||
        png_get_image_height(png, info) != png_uint_32(job->height)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    const bool alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) ||
                       png_get_valid(png, info, PNG_INFO_tRNS);
    const bool wide = png_get_bit_depth(png, info) == 16;
    setTransformations(png, alpha, wide);
    png_read_update_info(png, info);

    qsizetype stride = 0;
    uchar *const bits = job->allocate(job->context, alpha, &stride);
    if (!bits) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    job->rows = 0;
    const int band = int(std::max<qsizetype>(1, bandBytes / stride));
    for (int y = 0; y < job->height; ++y) {
        auto *const row = reinterpret_cast<QRgb *>(bits + y * stride);
        if (wide) {
            png_read_row(png, reinterpret_cast<png_bytep>(job->wide), nullptr);
            narrowRow(job->wide, job->width, alpha, row);
        } else {
            png_read_row(png, reinterpret_cast<png_bytep>(row), nullptr);
            if (alpha)
                premultiplyRow(row, job->width);
        }
        job->rows = y + 1;
        if ((job->rows % band == 0 || job->rows == job->height) &&
            !job->progress(job->context, job->rows))
            break;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

TerrainLoader::TerrainLoader(QObject *parent) : QObject(parent) {}

TerrainLoader::~TerrainLoader()
{
    abandon();
}

void TerrainLoader::abandon()
{
    if (m_job) {
        m_job->abandoned = true;
        m_job->receiver = nullptr;
        m_job.reset();
    }
    m_readyRows = 0;
    m_loading = false;
}

QImage TerrainLoader::readyImage() const
{
    if (!m_job || m_readyRows == 0 || m_job->buffer.isNull())
        return QImage();
    const QImage &buffer = m_job->buffer;
    // The image keeps the job, and with it the buffer, alive until its last copy goes.
    auto *owner = new std::shared_ptr<Job>(m_job);
    return QImage(
        buffer.constBits(), buffer.width(), m_readyRows, buffer.bytesPerLine(), buffer.format(),
        [](void *job) { delete static_cast<std::shared_ptr<Job> *>(job); }, owner);
}

bool TerrainLoader::fitsAllocationLimit(QSize size)
{
    return size.isValid() && !size.isEmpty() &&
           qint64(size.width()) * size.height() * 4 <= qint64(allocationLimitMiB) << 20;
}

QSize TerrainLoader::start(const QString &path)
{
    abandon();
    auto job = std::make_shared<Job>();
    job->path = path;
    job->receiver = this;
    m_job = job;

    job->size = QImageReader(path).size();
    if (!job->size.isValid()) {
        // No size without decoding: read it here (an unreadable image gives no terrain).
        QImageReader reader(path);
        job->buffer = readWhole(reader);
        if (!TerrainLoader::fitsAllocationLimit(job->buffer.size()))
            return QSize(0, 0);
        m_readyRows = job->buffer.height();
        job->done = true;
        return job->buffer.size();
    }
    if (!TerrainLoader::fitsAllocationLimit(job->size))
        return QSize(0, 0);

    m_loading = true;
    QThreadPool::globalInstance()->start([job] { run(job); });
    return job->size;
}

void TerrainLoader::run(const std::shared_ptr<Job> &job)
{
    QFile file(job->path);
    char signature[8];
    if (!job->abandoned && file.open(QIODevice::ReadOnly) &&
        file.peek(signature, sizeof signature) == sizeof signature &&
        png_sig_cmp(reinterpret_cast<png_const_bytep>(signature), 0, sizeof signature) == 0) {
        std::vector<quint16> wide(std::size_t(job->size.width()) * 4);
        PngDecode png{};
        png.device = &file;
        png.width = job->size.width();
        png.height = job->size.height();
        png.context = job.get();
        png.wide = wide.data();
        png.allocate = [](void *context, bool alpha, qsizetype *stride) -> uchar * {
            Job *const job = static_cast<Job *>(context);
            job->buffer = QImage(job->size, formatFor(alpha));
            *stride = job->buffer.bytesPerLine();
            return job->buffer.isNull() ? nullptr : job->buffer.bits();
        };
        png.progress = [](void *context, int rows) {
            Job *const job = static_cast<Job *>(context);
            job->rows = rows;
            notify(job);
            return !job->abandoned;
        };
        if (decodePng(&png)) {
            job->rows = png.rows; // with those of a band that broke off
            job->done = true;
            notify(job.get());
            return;
        }
    }
    file.close();

    // Interlaced PNG images (shown only when complete anyway) and other formats: whole.
    if (!job->abandoned && job->buffer.isNull()) {
        QImageReader reader(job->path);
        const QImage image = readWhole(reader);
        if (image.size() == job->size) {
            job->buffer = image;
            job->rows = job->size.height();
        }
    }
    job->done = true;
    notify(job.get());
}

QImage TerrainLoader::read(const QString &path, QString *error)
{
    const auto failed = [&](const QString &why) {
        if (error)
            *error = tr("The terrain image %1 could not be read: %2")
                         .arg(QDir::toNativeSeparators(path), why);
        return QImage();
    };
    if (QImageReader::allocationLimit() < allocationLimitMiB)
        QImageReader::setAllocationLimit(allocationLimitMiB);
    auto job = std::make_shared<Job>();
    job->path = path;
    job->quiet = true;
    QImageReader reader(path);
    job->size = reader.size();
    if (!job->size.isValid()) {
        job->buffer = readWhole(reader);
        job->size = job->buffer.size();
        job->rows = job->size.height();
        if (job->buffer.isNull())
            return failed(reader.errorString());
    }
    if (!TerrainLoader::fitsAllocationLimit(job->size))
        return failed(tr("it is too large."));
    if (job->buffer.isNull())
        run(job);
    if (job->buffer.isNull())
        return failed(tr("it is damaged or not an image."));
    if (job->rows < job->size.height())
        return failed(tr("it is damaged: %1 of its %2 rows could be read.")
                          .arg(job->rows.load())
                          .arg(job->size.height()));
    return job->buffer;
}

void TerrainLoader::notify(Job *job)
{
    if (job->quiet)
        return;
    // One notice on its way at a time: the main thread takes the latest count when it comes.
    if (job->notifying.exchange(true))
        return;
    QCoreApplication *const application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(
        application,
        [job = job->shared_from_this()] {
            job->notifying = false;
            if (TerrainLoader *loader = job->receiver)
                loader->publish();
        },
        Qt::QueuedConnection);
}

void TerrainLoader::publish()
{
    // Done first: once the worker is done, the count read after it is final.
    const bool done = m_job->done;
    const int rows = m_job->rows;
    if (done)
        m_loading = false;
    if (rows > m_readyRows) {
        const int from = std::exchange(m_readyRows, rows);
        emit rowsReady(from, rows);
    }
}
