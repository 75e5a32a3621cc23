#include "RadarColours.h"

QFile radarFile;
QDataStream radarStream;

namespace {

// The map of radarFile's bytes, valid until the file is closed or re-opened.
struct RadarMapping
{
    const uchar *bytes = nullptr;
    qint64 size = 0;
    bool tried = false;

    void reset()
    {
        bytes = nullptr;
        size = 0;
        tried = false;
    }
};

RadarMapping &mapping()
{
    static RadarMapping m;
    static const bool watching = [] {
        // QFile unmaps everything when it closes; forget the pointer with it.
        QObject::connect(&radarFile, &QIODevice::aboutToClose, [] { mapping().reset(); });
        return true;
    }();
    Q_UNUSED(watching);
    return m;
}

} // namespace

namespace RadarColours {

bool openRadarFile(const QString &path)
{
    RadarMapping &m = mapping();
    if (radarFile.isOpen())
        radarFile.close();
    m.reset();
    radarFile.setFileName(path);
    return radarFile.open(QIODevice::ReadOnly);
}

quint16 colourWord(quint16 tileId)
{
    RadarMapping &m = mapping();
    const qint64 pos = tableOffset + 2 * qint64(tileId);
    if (!radarFile.isOpen())
        return 0;
    if (!m.tried) {
        m.tried = true;
        m.size = radarFile.size();
        m.bytes = m.size > 0 ? radarFile.map(0, m.size) : nullptr;
    }
    if (m.bytes) {
        if (pos + 2 > m.size)
            return 0;
        return quint16(m.bytes[pos] | (m.bytes[pos + 1] << 8));
    }
    if (!radarFile.seek(pos))
        return 0;
    if (radarStream.device() != &radarFile) {
        radarStream.setDevice(&radarFile);
        radarStream.setByteOrder(QDataStream::LittleEndian);
    }
    radarStream.resetStatus();
    quint16 word = 0;
    radarStream >> word;
    return radarStream.status() == QDataStream::Ok ? word : 0;
}

} // namespace RadarColours
