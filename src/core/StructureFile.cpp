#include "StructureFile.h"

#include <QCoreApplication>
#include <QFile>

#include <limits>

namespace {

qint16 readInt16(const uchar *p)
{
    return qint16(quint16(p[0] | (p[1] << 8)));
}

} // namespace

bool StructureFile::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QCoreApplication::translate("StructureFile", "the file cannot be opened: %1")
                         .arg(file.errorString());
        return false;
    }
    if (file.size() > maximumFileSize) {
        if (error)
            *error = QCoreApplication::translate("StructureFile", "the file is larger than %1 MiB")
                         .arg(maximumFileSize >> 20);
        return false;
    }
    // Read into memory rather than mapped: a file cut short by another program while it is
    // read would fault the process on a mapped page. The previews render on several threads.
    const QByteArray bytes = file.readAll();
    parse(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
    return true;
}

void StructureFile::parse(const uchar *data, qint64 size)
{
    m_top.clear();
    m_records = 0;
    m_minX = m_maxX = m_minY = m_maxY = 0;
    if (!data || size < headerSize + recordSize)
        return;

    const qint64 count = (size - headerSize) / recordSize;
    m_records = int(qMin<qint64>(count, std::numeric_limits<int>::max()));
    m_top.reserve(int(qMin<qint64>(count, 1 << 20)));

    const uchar *record = data + headerSize;
    for (qint64 k = 0; k < count; ++k, record += recordSize) {
        const quint16 id = quint16(record[0] | (record[1] << 8));
        const qint16 x = readInt16(record + 2);
        const qint16 y = readInt16(record + 4);
        const qint16 z = readInt16(record + 6);

        if (k == 0) {
            m_minX = m_maxX = x;
            m_minY = m_maxY = y;
        } else {
            m_minX = qMin<int>(m_minX, x);
            m_maxX = qMax<int>(m_maxX, x);
            m_minY = qMin<int>(m_minY, y);
            m_maxY = qMax<int>(m_maxY, y);
        }

        const quint32 key = (quint32(quint16(y)) << 16) | quint16(x);
        const quint32 value = (quint32(quint16(z)) << 16) | id;
        auto it = m_top.find(key);
        if (it == m_top.end())
            m_top.insert(key, value);
        else if (z > qint16(quint16(it.value() >> 16)))
            it.value() = value;
    }
}
