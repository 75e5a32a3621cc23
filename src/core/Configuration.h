#pragma once

#include <QString>

class QIODevice;
class RadarColours;

// The program's one setting: where the radar colour file lies. Read from the XML file
// "dunmarra.xml" next to the executable; every "Radarcol" child of the root names the file,
// the last one wins.
struct Configuration
{
    enum Status { Ok, CannotOpen, NotWellFormed };

    Status status = CannotOpen;
    bool hasRadarFile = false;
    QString radarFilePath; // exactly as written: neither trimmed nor resolved
    QString errorString;   // where and why reading failed, for a person

    static QString pathNextTo(const QString &applicationDir);
    static Configuration read(const QString &path);
    static Configuration read(QIODevice &device);

    // Reads the configuration next to the program in applicationDir and opens the radar colour
    // file it names into colours, as the program does at its start; says so on standard output
    // when the configuration cannot be read.
    static void openRadarColours(const QString &applicationDir, RadarColours &colours);
};
