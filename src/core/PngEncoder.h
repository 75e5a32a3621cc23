#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

class QIODevice;

// Encodes an image as PNG into a device a band of rows at a time, so that a long write can show
// its progress and stop between bands: 8 bits a channel, RGB for an opaque image and RGBA
// for one with alpha.
class PngEncoder
{
public:
    explicit PngEncoder(QIODevice *device);
    ~PngEncoder();
    PngEncoder(const PngEncoder &) = delete;
    PngEncoder &operator=(const PngEncoder &) = delete;

    // Each step is false, with *error saying why (what the device or the encoder said), when it
    // failed; the image is then abandoned.
    // Writes the header of an image of that size, with alpha or without.
    bool begin(const QSize &size, bool alpha, QString *error = nullptr);
    // Encodes the next rows: an image of the width begun, in RGB32 without alpha or
    // premultiplied ARGB32 with it.
    bool write(const QImage &rows, QString *error = nullptr);
    // Writes the end of the image; false when not every row was written.
    bool end(QString *error = nullptr);

    // Encodes a whole image of any format into device.
    static bool encode(const QImage &image, QIODevice *device, QString *error = nullptr);

private:
    bool beginImage(const QSize &size, bool alpha);
    bool writeRows(const QImage &rows);
    bool endImage();
    // Passes on the outcome of a step, and why it failed.
    bool report(bool done, QString *error) const;

    struct State;
    std::unique_ptr<State> m_state;
};
