#include "ExportJob.h"

#include "Configuration.h"
#include "RadarColours.h"
#include "canvas/TerrainLoader.h"
#include "document/LoadedMap.h"
#include "document/MapRenderer.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstring>
#include <iostream>

namespace {

const char exportOption[] = "export";

} // namespace

ExportJob::ExportJob(const QString &mapFile, const QString &imageFile)
    : m_mapFile(mapFile), m_imageFile(imageFile)
{
}

bool ExportJob::run(const RadarColours &colours)
{
    const std::optional<LoadedMap> map = LoadedMap::read(m_mapFile, colours, &m_error);
    if (!map)
        return false;
    const QImage terrain = TerrainLoader::read(map->content.terrainPath, &m_error);
    if (terrain.isNull())
        return false;
    const MapRenderer renderer(terrain, map->content.placements, map->images);
    QString why;
    if (renderer.writePng(m_imageFile, &why))
        return true;
    m_error = QStringLiteral("The map could not be exported to %1:\n%2")
                  .arg(QDir::toNativeSeparators(m_imageFile), why);
    return false;
}

bool ExportJob::isRequested(int argc, char *argv[])
{
    const size_t length = std::strlen(exportOption);
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            return false;
        if (std::strncmp(argument, "--", 2) == 0 &&
            std::strncmp(argument + 2, exportOption, length) == 0 &&
            (argument[2 + length] == '\0' || argument[2 + length] == '='))
            return true;
    }
    return false;
}

void ExportJob::addArguments(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Valdrune Structure Placer"));
    parser.addHelpOption();
    parser.addOption(QCommandLineOption(
        QLatin1String(exportOption),
        QStringLiteral("Draw the map into the PNG file <image>, one pixel a map cell, and quit "
                       "without showing a window."),
        QStringLiteral("image")));
    parser.addPositionalArgument(QStringLiteral("map"),
                                 QStringLiteral("The placement file to open (or to export)."),
                                 QStringLiteral("[map]"));
}

int ExportJob::runFromCommandLine(const QStringList &arguments, const QString &applicationDir)
{
    QCommandLineParser parser;
    addArguments(parser);
    const QString program = QStringLiteral("valdrune-placer: ");
    const bool parsed = parser.parse(arguments);
    if (parsed && parser.isSet(QStringLiteral("help"))) {
        std::cout << qPrintable(parser.helpText());
        return 0;
    }
    if (!parsed || parser.positionalArguments().size() != 1 ||
        parser.value(QLatin1String(exportOption)).isEmpty()) {
        QString why = parser.errorText();
        if (why.isEmpty())
            why = QStringLiteral("--export needs an image file and one map file.");
        std::cerr << qPrintable(program + why) << '\n' << qPrintable(parser.helpText());
        return 2;
    }
    RadarColours colours;
    Configuration::openRadarColours(applicationDir, colours);
    ExportJob job(parser.positionalArguments().constFirst(),
                  parser.value(QLatin1String(exportOption)));
    if (job.run(colours))
        return 0;
    std::cerr << qPrintable(program + job.errorString()) << std::endl;
    return 1;
}
