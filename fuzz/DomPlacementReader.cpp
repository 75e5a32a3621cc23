#include "DomPlacementReader.h"

#include <QDomDocument>

#include <limits>

namespace {

// Missing or malformed numbers read as 0. The smallest int is left out so that a width read
// from the file always leaves a rectangle whose edges and width fit an int.
int intAttribute(const QDomElement &element, const QString &name)
{
    return qMax(element.attribute(name).toInt(), std::numeric_limits<int>::min() + 1);
}

} // namespace

namespace DomPlacementReader {

std::optional<PlacementDocument> read(const QByteArray &bytes, QString *error)
{
    QDomDocument dom;
    QString message;
    int line = 0;
    int column = 0;
    if (!dom.setContent(bytes, false, &message, &line, &column)) {
        if (error)
            *error = QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(message);
        return std::nullopt;
    }
    const QDomElement root = dom.documentElement();
    const QDomNodeList images = root.elementsByTagName(QStringLiteral("Image"));
    if (images.isEmpty()) {
        if (error)
            *error = QStringLiteral("no Image element names the terrain image");
        return std::nullopt;
    }

    PlacementDocument document;
    document.terrainPath = images.item(0).firstChild().toText().data();

    const QDomNodeList items = root.elementsByTagName(QStringLiteral("MLT"));
    document.placements.reserve(items.size());
    for (int i = 0; i < items.size(); ++i) {
        const QDomElement element = items.item(i).toElement();
        Placement placement;
        placement.region = QRect(0, 0, 0, 0);
        placement.invisible =
            element.attribute(QStringLiteral("Invisible")) == QLatin1String("True");
        for (QDomNode node = element.firstChild(); !node.isNull(); node = node.nextSibling()) {
            const QDomElement child = node.toElement();
            if (child.isNull())
                continue;
            if (child.tagName() == QLatin1String("Location")) {
                placement.position = QPointF(intAttribute(child, QStringLiteral("X")),
                                             intAttribute(child, QStringLiteral("Y")));
                placement.offset = QPoint(intAttribute(child, QStringLiteral("OffsetX")),
                                          intAttribute(child, QStringLiteral("OffsetY")));
            } else if (child.tagName() == QLatin1String("File")) {
                placement.region = QRect(0, 0, intAttribute(child, QStringLiteral("RegionX")),
                                         intAttribute(child, QStringLiteral("RegionY")));
                placement.structurePath = child.firstChild().toText().data();
            }
        }
        document.placements.append(placement);
    }
    return document;
}

} // namespace DomPlacementReader
