#include "RadarColours.h"

#include <QFile>

bool RadarColours::open(const QString &path, QString *error)
{
    close();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // Read once: later changes to the file, even truncation, cannot reach the colours.
    m_bytes = file.read(fullFileSize);
    m_open = true;
    return true;
}

void RadarColours::close()
{
    m_bytes = QByteArray();
    m_open = false;
}

bool RadarColours::isOpen() const
{
    return m_open;
}

quint16 RadarColours::colourWord(quint16 tileId) const
{
    const qint64 pos = tableOffset + 2 * qint64(tileId);
    if (pos + 2 > m_bytes.size())
        return 0;
    const auto *bytes = reinterpret_cast<const uchar *>(m_bytes.constData());
    return quint16(bytes[pos] | (bytes[pos + 1] << 8));
}
