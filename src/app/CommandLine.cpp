#include "CommandLine.h"

#include "core/Configuration.h"
#include "core/MapCheck.h"
#include "core/MapComparison.h"
#include "core/MapSession.h"
#include "core/PlacementFile.h"
#include "core/RadarColours.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstring>
#include <iostream>
#include <optional>

namespace {

const char exportOption[] = "export";
const char checkOption[] = "check";
const char diffOption[] = "diff";
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

// What the map needs to be checked or compared could not be read: the exit code of --check and
// --diff.
constexpr int unreadable = 2;

// Prints the findings of the check of the map at mapFile, one line each: 0 when there are none,
// 1 when there are some, 2 with *error set when the map or its terrain cannot be read.
int checkMap(const QString &mapFile, QString *error)
{
    MapSession session;
    session.setReadsTerrainAtOnce(true);
    if (!session.openFile(mapFile, error))
        return unreadable;
    QString why;
    if (session.wholeTerrain(&why).isNull()) {
        *error = QCoreApplication::translate("CommandLine", "The terrain of %1 cannot be read:\n%2")
                     .arg(QDir::toNativeSeparators(mapFile), why);
        return unreadable;
    }
    MapCheck check(session);
    check.run();
    for (const MapCheck::Finding &finding : check.findings())
        std::cout << qPrintable(check.line(finding)) << '\n';
    std::cout.flush();
    return check.findings().isEmpty() ? 0 : 1;
}

// The placements of the placement file at path; nullopt with *error set when it cannot be read.
std::optional<QList<Placement>> readPlacements(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QCoreApplication::translate("CommandLine", "%1 could not be opened.\n%2")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
        return std::nullopt;
    }
    QString why;
    std::optional<PlacementDocument> document = PlacementFile::read(file, &why);
    if (!document) {
        *error = QCoreApplication::translate("CommandLine", "%1 is not a placement file.\n%2")
                     .arg(QDir::toNativeSeparators(path), why);
        return std::nullopt;
    }
    return std::move(document->placements);
}

// Prints the differences from the map at from to the one at to, one line each: 0 when they hold
// the same placements, 1 when they differ, 2 with *error set when one cannot be read.
int compareMaps(const QString &from, const QString &to, QString *error)
{
    const std::optional<QList<Placement>> ours = readPlacements(from, error);
    if (!ours)
        return unreadable;
    const std::optional<QList<Placement>> theirs = readPlacements(to, error);
    if (!theirs)
        return unreadable;
    const MapComparison comparison(*ours, *theirs);
    for (const MapComparison::Difference &difference : comparison.differences())
        std::cout << qPrintable(comparison.line(difference)) << '\n';
    std::cout.flush();
    return comparison.differences().isEmpty() ? 0 : 1;
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
        if (names(argument, exportOption) || names(argument, checkOption) ||
            names(argument, diffOption) || names(argument, versionOption) ||
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
    parser.addOption(QCommandLineOption(
        QLatin1String(checkOption),
        QCoreApplication::translate(
            "CommandLine", "Print what the map should not hold, one finding a line (overlap, "
                           "stacked, off-terrain, missing), and quit: exit code 0 for none, 1 for "
                           "some, 2 when the map cannot be read.")));
    parser.addOption(QCommandLineOption(
        QLatin1String(diffOption),
        QCoreApplication::translate(
            "CommandLine", "Given two maps, print what differs from the first to the second, one "
                           "difference a line (removed, added, moved, changed), and quit: exit "
                           "code 0 for the same placements, 1 when they differ, 2 when one cannot "
                           "be read.")));
    parser.addPositionalArgument(
        QCoreApplication::translate("CommandLine", "map"),
        QCoreApplication::translate("CommandLine",
                                    "The placement file to open (or to export, check or compare)."),
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
    const QStringList maps = parser.positionalArguments();
    const bool check = parsed && parser.isSet(QLatin1String(checkOption));
    const bool diff = parsed && parser.isSet(QLatin1String(diffOption));
    if (check || diff) {
        QString why;
        if (int(check) + int(diff) + int(parser.isSet(QLatin1String(exportOption))) > 1)
            why = QCoreApplication::translate("CommandLine",
                                              "--export, --check and --diff go one at a time.");
        else if (check && maps.size() != 1)
            why = QCoreApplication::translate("CommandLine", "--check needs one map file.");
        else if (diff && maps.size() != 2)
            why = QCoreApplication::translate("CommandLine", "--diff needs two map files.");
        if (!why.isEmpty()) {
            std::cerr << qPrintable(program + why) << '\n' << qPrintable(parser.helpText());
            return 2;
        }
        // Only which cells a structure covers matters, not their colours: the configuration,
        // which speaks on standard output, is left unread.
        QString error;
        const int code = check ? checkMap(maps.constFirst(), &error)
                               : compareMaps(maps.constFirst(), maps.constLast(), &error);
        if (!error.isEmpty())
            std::cerr << qPrintable(program + error) << std::endl;
        return code;
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
