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

    // Writes the header of an image of that size, with alpha or without.
    bool begin(const QSize &size, bool alpha);
    // Encodes the next rows: an image of the width begun, in RGB32 without alpha or
    // premultiplied ARGB32 with it.
    bool write(const QImage &rows);
    // Writes the end of the image; false when not every row was written.
    bool end();
    // Why the last step failed: what the device or the encoder said.
    QString errorString() const;

    // Encodes a whole image of any format into device.
    static bool encode(const QImage &image, QIODevice *device, QString *error = nullptr);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
