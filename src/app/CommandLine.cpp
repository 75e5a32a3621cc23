#include "CommandLine.h"

#include "core/Configuration.h"
#include "core/MapSession.h"
#include "core/RadarColours.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstring>
#include <iostream>

namespace {

const char exportOption[] = "export";

// Draws the map of the placement file at mapFile into the PNG file at imageFile, as the
// window's export does; false with *error saying why for a person.
bool exportMap(const QString &mapFile, const QString &imageFile, const RadarColours &colours,
               QString *error)
{
    MapSession session(&colours);
    session.setReadsTerrainAtOnce(true);
    if (!session.openFile(mapFile, error))
        return false;
    QString why;
    if (session.exportImage(imageFile, &why))
        return true;
    *error = QStringLiteral("The map could not be exported to %1:\n%2")
                 .arg(QDir::toNativeSeparators(imageFile), why);
    return false;
}

} // namespace

bool CommandLine::wantsNoWindow(int argc, char *argv[])
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

void CommandLine::addArguments(QCommandLineParser &parser)
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

int CommandLine::runWithoutWindow(const QStringList &arguments, const QString &applicationDir)
{
    QCommandLineParser parser;
    addArguments(parser);
    const QString program = QStringLiteral("valdrune-placer: ");
    const bool parsed = parser.parse(arguments);
    if (parsed && parser.isSet(QStringLiteral("help"))) {
        std::cout << qPrintable(parser.helpText());
        return 0;
    }
    const QString image = parser.value(QLatin1String(exportOption));
    QString why = parser.errorText();
    if (parsed && (parser.positionalArguments().size() != 1 || image.isEmpty()))
        why = QStringLiteral("--export needs an image file and one map file.");
    else if (parsed && !image.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        why = QStringLiteral("--export writes PNG images only: the image file's name must end "
                             "in \".png\", not \"%1\".")
                  .arg(image);
    if (!why.isEmpty()) {
        std::cerr << qPrintable(program + why) << '\n' << qPrintable(parser.helpText());
        return 2;
    }
    RadarColours colours;
    Configuration::openRadarColours(applicationDir, colours);
    QString error;
    if (exportMap(parser.positionalArguments().constFirst(), image, colours, &error))
        return 0;
    std::cerr << qPrintable(program + error) << std::endl;
    return 1;
}
