#include "NameList.h"

#include <QBuffer>
#include <QDataStream>

namespace NameList {

const QString mimeType = QStringLiteral("korvath/multi");

QByteArray encode(const QStringList &names)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QDataStream stream(&buffer);
    stream.setByteOrder(QDataStream::LittleEndian);
    for (const QString &name : names)
        stream << name;
    return bytes;
}

QStringList decode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream stream(&buffer);
    stream.setByteOrder(QDataStream::LittleEndian);
    QStringList names;
    while (!stream.atEnd()) {
        QString name;
        stream >> name;
        if (stream.status() != QDataStream::Ok)
            break;
        names.append(name);
    }
    return names;
}

bool isSafeBaseName(const QString &name)
{
    return name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

} // namespace NameList
