#include "PngEncoder.h"

#include <QCoreApplication>
#include <QIODevice>

#include <png.h>

#include <vector>

// What the libpng callbacks reach through their pointers. It lives on the heap: libpng reports
// errors with longjmp, past any object of the frames in between.
struct PngEncoder::State
{
    QIODevice *device = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    QString error;
    bool alpha = false;
    int width = 0;
    int height = 0;
    int rowsWritten = 0;
    std::vector<QRgb> straight; // one row with its alpha divided out

    void destroy()
    {
        if (png)
            png_destroy_write_struct(&png, &info);
        png = nullptr;
        info = nullptr;
    }
    // libpng's callbacks, and the steps between which it may jump out.
    static void writeData(png_structp png, png_bytep data, size_t length);
    static void flushData(png_structp png);
    static void encodeFailed(png_structp png, png_const_charp message);
    static void encodeWarning(png_structp png, png_const_charp message);
    static void writeHeader(State *state);
    static void writeRows(State *state, const QImage &rows);

    bool fail(const QString &why)
    {
        if (error.isEmpty())
            error = why;
        destroy();
        return false;
    }
};

void PngEncoder::State::writeData(png_structp png, png_bytep data, size_t length)
{
    auto *state = static_cast<State *>(png_get_io_ptr(png));
    if (state->device->write(reinterpret_cast<const char *>(data), qint64(length)) !=
        qint64(length)) {
        if (state->error.isEmpty())
            state->error = state->device->errorString();
        png_error(png, "write failed");
    }
}

void PngEncoder::State::flushData(png_structp) {}

void PngEncoder::State::encodeFailed(png_structp png, png_const_charp message)
{
    auto *state = static_cast<State *>(png_get_error_ptr(png));
    if (state->error.isEmpty())
        state->error = QString::fromLatin1(message);
    png_longjmp(png, 1);
}

void PngEncoder::State::encodeWarning(png_structp, png_const_charp) {}

// Sets the header and the transformations that take rows of 32-bit pixels in the order of
// QImage's RGB32 and ARGB32 formats.
void PngEncoder::State::writeHeader(State *state)
{
    png_set_IHDR(state->png, state->info, png_uint_32(state->width), png_uint_32(state->height), 8,
                 state->alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Rows unfiltered and zlib's fast matching: maps are mostly runs of the same few colours,
    // which filters turn into noise. Several times faster than libpng's defaults, and smaller.
    png_set_filter(state->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(state->png, 3);
    png_write_info(state->png, state->info);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(state->png);
    if (!state->alpha)
        png_set_filler(state->png, 0, PNG_FILLER_AFTER);
#else
    if (state->alpha)
        png_set_swap_alpha(state->png);
    else
        png_set_filler(state->png, 0, PNG_FILLER_BEFORE);
#endif
}

void PngEncoder::State::writeRows(State *state, const QImage &rows)
{
    for (int y = 0; y < rows.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rows.constScanLine(y));
        if (state->alpha) {
            for (int x = 0; x < state->width; ++x)
                state->straight[size_t(x)] = qUnpremultiply(line[x]);
            line = state->straight.data();
        }
        png_write_row(state->png, reinterpret_cast<png_const_bytep>(line));
        ++state->rowsWritten;
    }
}

PngEncoder::PngEncoder(QIODevice *device) : m_state(std::make_unique<State>())
{
    m_state->device = device;
}

PngEncoder::~PngEncoder()
{
    m_state->destroy();
}

bool PngEncoder::report(bool done, QString *error) const
{
    if (!done && error)
        *error = m_state->error.isEmpty()
                     ? QCoreApplication::translate("PngEncoder", "no image was begun")
                     : m_state->error;
    return done;
}

bool PngEncoder::begin(const QSize &size, bool alpha, QString *error)
{
    return report(beginImage(size, alpha), error);
}

bool PngEncoder::write(const QImage &rows, QString *error)
{
    return report(writeRows(rows), error);
}

bool PngEncoder::end(QString *error)
{
    return report(endImage(), error);
}

bool PngEncoder::beginImage(const QSize &size, bool alpha)
{
    State *const state = m_state.get();
    state->destroy();
    state->error.clear();
    if (size.isEmpty())
        return state->fail(QCoreApplication::translate("PngEncoder", "the image is empty"));
    state->alpha = alpha;
    state->width = size.width();
    state->height = size.height();
    state->rowsWritten = 0;
    state->straight.assign(alpha ? size_t(size.width()) : 0, 0);
    state->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, state, State::encodeFailed,
                                         State::encodeWarning);
    if (state->png)
        state->info = png_create_info_struct(state->png);
    if (!state->info)
        return state->fail(QCoreApplication::translate("PngEncoder", "out of memory"));
    if (setjmp(png_jmpbuf(state->png)))
        return state->fail(
            QCoreApplication::translate("PngEncoder", "the image could not be encoded"));
    png_set_write_fn(state->png, state, State::writeData, State::flushData);
    State::writeHeader(state);
    return true;
}

bool PngEncoder::writeRows(const QImage &rows)
{
    State *const state = m_state.get();
    if (!state->png)
        return false;
    const QImage::Format expected =
        state->alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (rows.format() != expected || rows.width() != state->width ||
        rows.height() > state->height - state->rowsWritten)
        return state->fail(
            QCoreApplication::translate("PngEncoder", "rows that do not fit the image"));
    if (setjmp(png_jmpbuf(state->png)))
        return state->fail(
            QCoreApplication::translate("PngEncoder", "the image could not be encoded"));
    State::writeRows(state, rows);
    return true;
}

bool PngEncoder::endImage()
{
    State *const state = m_state.get();
    if (!state->png)
        return false;
    if (state->rowsWritten != state->height)
        return state->fail(QCoreApplication::translate("PngEncoder", "not every row was written"));
    if (setjmp(png_jmpbuf(state->png)))
        return state->fail(
            QCoreApplication::translate("PngEncoder", "the image could not be encoded"));
    png_write_end(state->png, nullptr);
    state->destroy();
    return true;
}

bool PngEncoder::encode(const QImage &image, QIODevice *device, QString *error)
{
    const bool alpha = image.hasAlphaChannel();
    const QImage converted =
        image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    PngEncoder encoder(device);
    return encoder.begin(converted.size(), alpha, error) && encoder.write(converted, error) &&
           encoder.end(error);
}
