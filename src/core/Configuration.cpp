#include "Configuration.h"

#include "RadarColours.h"

#include <QCoreApplication>
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

std::optional<Configuration> Configuration::read(const QString &path, QString *error,
                                                 ReadFailure *failure)
{
    QFile file(path);
    const bool opened = file.open(QIODevice::ReadOnly);
    if (failure)
        *failure = opened ? ReadFailure::NotWellFormed : ReadFailure::CannotOpen;
    if (!opened) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return read(file, error);
}

std::optional<Configuration> Configuration::read(QIODevice &device, QString *error)
{
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
        if (error)
            *error = QCoreApplication::translate("Configuration", "line %1, column %2: %3")
                         .arg(xml.lineNumber())
                         .arg(xml.columnNumber())
                         .arg(xml.errorString());
        return std::nullopt;
    }
    return Configuration{found, path};
}

void Configuration::openRadarColours(const QString &applicationDir, RadarColours &colours)
{
    ReadFailure failure = ReadFailure::CannotOpen;
    const std::optional<Configuration> config = read(pathNextTo(applicationDir), nullptr, &failure);
    if (!config) {
        std::cout << (failure == ReadFailure::CannotOpen ? "Unable to open xml file"
                                                         : "error setting content")
                  << std::endl;
        return;
    }
    if (config->hasRadarFile)
        colours.open(config->radarFilePath);
}
