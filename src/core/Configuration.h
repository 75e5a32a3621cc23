#pragma once

#include <QString>

#include <optional>

class QIODevice;
class RadarColours;

// The program's one setting: where the radar colour file lies. Read from the XML file
// "dunmarra.xml" next to the executable; every "Radarcol" child of the root names the file,
// the last one wins.
struct Configuration
{
    // Why a read failed.
    enum class ReadFailure { CannotOpen, NotWellFormed };

    bool hasRadarFile = false;
    QString radarFilePath; // exactly as written: neither trimmed nor resolved

    static QString pathNextTo(const QString &applicationDir);
    // The configuration read, or nullopt with *error saying where and why for a person and
    // *failure what kind of failure it was.
    static std::optional<Configuration> read(const QString &path, QString *error = nullptr,
                                             ReadFailure *failure = nullptr);
    static std::optional<Configuration> read(QIODevice &device, QString *error = nullptr);

    // Reads the configuration next to the program in applicationDir and opens the radar colour
    // file it names into colours, as the program does at its start; says so on standard output
    // when the configuration cannot be read.
    static void openRadarColours(const QString &applicationDir, RadarColours &colours);
};
