#include "CommandLine.h"

#include "core/Configuration.h"
#include "core/MapSession.h"
#include "core/RadarColours.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstring>
#include <iostream>

namespace {

const char exportOption[] = "export";
const char versionOption[] = "version";

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
    *error = QCoreApplication::translate("CommandLine", "The map could not be exported to %1:\n%2")
                 .arg(QDir::toNativeSeparators(imageFile), why);
    return false;
}

} // namespace

bool CommandLine::wantsNoWindow(int argc, char *argv[])
{
    // An option given by its whole name, with or without its value after "=".
    const auto names = [](const char *argument, const char *option) {
        const size_t length = std::strlen(option);
        return std::strncmp(argument, "--", 2) == 0 &&
               std::strncmp(argument + 2, option, length) == 0 &&
               (argument[2 + length] == '\0' || argument[2 + length] == '=');
    };
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            return false;
        if (names(argument, exportOption) || names(argument, versionOption) ||
            names(argument, "help") || std::strcmp(argument, "-h") == 0 ||
            std::strcmp(argument, "-v") == 0)
            return true;
    }
    return false;
}

QString CommandLine::versionText()
{
    return QStringLiteral("Valdrune Structure Placer %1\n").arg(QStringLiteral(VALDRUNE_VERSION));
}

void CommandLine::addArguments(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "Valdrune Structure Placer"));
    parser.addHelpOption();
    parser.addOption(QCommandLineOption(
        {QStringLiteral("v"), QLatin1String(versionOption)},
        QCoreApplication::translate("CommandLine", "Print the name and version and quit.")));
    parser.addOption(QCommandLineOption(
        QLatin1String(exportOption),
        QCoreApplication::translate(
            "CommandLine", "Draw the map into the PNG file <image>, one pixel a map cell, and quit "
                           "without showing a window."),
        QCoreApplication::translate("CommandLine", "image")));
    parser.addPositionalArgument(
        QCoreApplication::translate("CommandLine", "map"),
        QCoreApplication::translate("CommandLine", "The placement file to open (or to export)."),
        QCoreApplication::translate("CommandLine", "[map]"));
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
    if (parsed && parser.isSet(QLatin1String(versionOption))) {
        std::cout << qPrintable(versionText());
        return 0;
    }
    const QString image = parser.value(QLatin1String(exportOption));
    QString why = parser.errorText();
    if (parsed && (parser.positionalArguments().size() != 1 || image.isEmpty()))
        why = QCoreApplication::translate("CommandLine",
                                          "--export needs an image file and one map file.");
    else if (parsed && !image.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        why = QCoreApplication::translate(
                  "CommandLine", "--export writes PNG images only: the image file's name must end "
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
