// Writes the demo data into a folder and the configuration that points at it.
//
//   make-demo-data <folder> <configuration file> [seed]

#include "DemoData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: make-demo-data <folder> <configuration file> [seed]\n");
        return 2;
    }
    const QString folder = QFileInfo(arguments.at(1)).absoluteFilePath();
    const quint32 seed = arguments.size() > 3 ? arguments.at(3).toUInt() : 2026;
    const QString radarPath = DemoData::generate(folder, seed);
    if (radarPath.isEmpty()) {
        std::fprintf(stderr, "make-demo-data: could not write the demo data into %s\n",
                     qPrintable(folder));
        return 1;
    }
    if (!DemoData::writeFile(arguments.at(2), DemoData::configurationBytes(radarPath))) {
        std::fprintf(stderr, "make-demo-data: could not write %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    return 0;
}
