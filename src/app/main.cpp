#include "ExportJob.h"
#include "MainWindow.h"
#include "canvas/CanvasView.h"
#include "document/FileCommands.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>

#include <iostream>

int main(int argc, char *argv[])
{
    // An export draws the map without a window: it needs no display, so it makes no
    // application that would ask for one.
    if (ExportJob::isRequested(argc, argv)) {
        QCoreApplication application(argc, argv);
        return ExportJob::runFromCommandLine(application.arguments(),
                                             QCoreApplication::applicationDirPath());
    }
    QApplication application(argc, argv);
    QCommandLineParser parser;
    ExportJob::addArguments(parser);
    parser.process(application);
    const QStringList maps = parser.positionalArguments();
    if (maps.size() > 1) {
        std::cerr << "valdrune-placer: one map at most\n" << qPrintable(parser.helpText());
        return 2;
    }

    MainWindow window(nullptr, Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                   Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint);
    QObject::connect(&application, &QGuiApplication::lastWindowClosed, &application,
                     &QCoreApplication::quit);
    // A window that shows a useful part of a map, not the widgets' bare minimum.
    if (const QScreen *screen = application.primaryScreen())
        window.resize(screen->availableSize() * 3 / 4);
    window.show();
    // The map named on the command line opens as File > Open would open it, once the window
    // is up to show its progress and warnings.
    if (!maps.isEmpty())
        QTimer::singleShot(0, &window, [&window, map = maps.constFirst()] {
            window.canvasView()->fileCommands()->openFile(map);
        });
    return application.exec();
}
