#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;
class RadarColours;

// Draws a placement file's map into a PNG file without a window, for the command line:
//
//   valdrune-placer [MAP]                 the window, with MAP opened at start
//   valdrune-placer --export IMAGE MAP    MAP drawn into IMAGE; no window, no display needed
class ExportJob
{
public:
    ExportJob(const QString &mapFile, const QString &imageFile);

    // Reads the map with its terrain and structures, the structures in colours, and writes
    // its image; false with errorString() saying why for a person.
    bool run(const RadarColours &colours);
    QString errorString() const { return m_error; }

    // Whether the arguments ask for an export: looked at before any application object is
    // made, so that none needing a display is.
    static bool isRequested(int argc, char *argv[]);
    // The program's options and arguments, for the window and the export alike.
    static void addArguments(QCommandLineParser &parser);
    // Runs the export the program's arguments ask for, with the radar colours of the
    // configuration next to the program: 0 when the image was written, otherwise a message on
    // standard error and 1 (2 for arguments that make no sense).
    static int runFromCommandLine(const QStringList &arguments, const QString &applicationDir);

private:
    QString m_mapFile;
    QString m_imageFile;
    QString m_error;
};
