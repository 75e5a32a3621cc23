#include "Configuration.h"

#include "RadarColours.h"

#include <QFile>
#include <QXmlStreamReader>

#include <iostream>

namespace {

// The text an element starts with, as a file name: empty when its first child is not text (an
// element, a comment) or it has none; blank text between markup does not count as a child. Leaves
// the reader on the token after that text, or on the first other token.
QString firstChildText(QXmlStreamReader &xml)
{
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters() && xml.isWhitespace() && !xml.isCDATA())
            continue;
        if (!xml.isCharacters())
            return QString();
        const QString text = xml.text().toString();
        xml.readNext();
        return text;
    }
    return QString();
}

} // namespace

QString Configuration::pathNextTo(const QString &applicationDir)
{
    return applicationDir + QLatin1String("/dunmarra.xml");
}

Configuration Configuration::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Configuration config;
        config.status = CannotOpen;
        config.errorString = file.errorString();
        return config;
    }
    return read(file);
}

Configuration Configuration::read(QIODevice &device)
{
    Configuration config;
    QXmlStreamReader xml(&device);
    int depth = 0;
    bool found = false;
    QString path;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 2 && xml.qualifiedName() == QLatin1String("Radarcol")) {
                found = true;
                path = firstChildText(xml);
                if (xml.tokenType() == QXmlStreamReader::EndElement)
                    --depth;
                else if (xml.tokenType() == QXmlStreamReader::StartElement)
                    ++depth;
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (xml.hasError()) {
        config.status = NotWellFormed;
        config.errorString = QStringLiteral("line %1, column %2: %3")
                                 .arg(xml.lineNumber())
                                 .arg(xml.columnNumber())
                                 .arg(xml.errorString());
        return config;
    }
    config.status = Ok;
    config.hasRadarFile = found;
    config.radarFilePath = path;
    return config;
}

void Configuration::openRadarColours(const QString &applicationDir, RadarColours &colours)
{
    const Configuration config = read(pathNextTo(applicationDir));
    switch (config.status) {
    case CannotOpen:
        std::cout << "Unable to open xml file" << std::endl;
        return;
    case NotWellFormed:
        std::cout << "error setting content" << std::endl;
        return;
    case Ok:
        break;
    }
    if (config.hasRadarFile)
        colours.open(config.radarFilePath);
}
