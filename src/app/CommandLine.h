#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// The program's command line:
//
//   valdrune-placer [MAP]                 the window, with MAP opened at start
//   valdrune-placer --export IMAGE MAP    MAP drawn into the PNG file IMAGE; no window, no
//                                         display needed
//   valdrune-placer --check MAP           MAP's findings (MapCheck), one a line
//   valdrune-placer --diff A B            the differences from map A to map B (MapComparison),
//                                         one a line
//   valdrune-placer --help | --version    what the program takes, or its name and version
namespace CommandLine {

// "Valdrune Structure Placer <version>" and a line end.
QString versionText();
// Whether the arguments ask for work without a window: looked at before any application object
// is made, so that none needing a display is.
bool wantsNoWindow(int argc, char *argv[]);
// The program's options and arguments, for the window and the work without one alike.
void addArguments(QCommandLineParser &parser);
// Does the work without a window that the arguments ask for, with the radar colours of the
// configuration next to the program in applicationDir: 0 when it was done, otherwise a message
// on standard error and 1 (2 for arguments that make no sense). --check and --diff print their
// lines on standard output and exit with 0 when there are none, 1 when there are some, 2 when a
// map cannot be read (or the arguments make no sense).
int runWithoutWindow(const QStringList &arguments, const QString &applicationDir);

} // namespace CommandLine
