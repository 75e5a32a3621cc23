#include "CommandLine.h"
#include "core/AutoSaver.h"
#include "editor/FileCommands.h"
#include "editor/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include <iostream>

int main(int argc, char *argv[])
{
    // An export draws the map without a window: it needs no display, so it makes no
    // application that would ask for one.
    if (CommandLine::wantsNoWindow(argc, argv)) {
        QCoreApplication application(argc, argv);
        return CommandLine::runWithoutWindow(application.arguments(),
                                             QCoreApplication::applicationDirPath());
    }
    QApplication application(argc, argv);
    // Names the data folder, where the recovery files are kept, whatever the program's file.
    QCoreApplication::setApplicationName(QStringLiteral("valdrune-placer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VALDRUNE_VERSION));
    // The installed desktop entry and icon go by this id.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.valdrune.StructurePlacer"));
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    QCommandLineParser parser;
    CommandLine::addArguments(parser);
    parser.process(application);
    const QStringList maps = parser.positionalArguments();
    if (maps.size() > 1) {
        std::cerr << "valdrune-placer: "
                  << qPrintable(QCoreApplication::translate("CommandLine", "one map at most"))
                  << '\n'
                  << qPrintable(parser.helpText());
        return 2;
    }

    // What the window remembers between runs, in the user's own settings (on Linux
    // $XDG_CONFIG_HOME/valdrune-placer/placer.conf, which the end-to-end tests point elsewhere).
    QSettings settings(QSettings::UserScope, QStringLiteral("valdrune-placer"),
                       QStringLiteral("placer"));
    MainWindow window(nullptr, Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                   Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint);
    QObject::connect(&application, &QGuiApplication::lastWindowClosed, &application,
                     &QCoreApplication::quit);
    // A window that shows a useful part of a map, not the widgets' bare minimum.
    if (const QScreen *screen = application.primaryScreen())
        window.resize(screen->availableSize() * 3 / 4);
    // Then the size, the docks and the rest as they were left.
    window.setSettings(&settings);
    // Writing the recovery file sooner than every 30 seconds, for tests.
    if (const int ms = qEnvironmentVariableIntValue("VALDRUNE_AUTOSAVE_MS"); ms > 0)
        window.autoSaver()->setInterval(ms);
    window.show();
    // Work kept from a session that ended without saving is offered first; then the map named
    // on the command line opens as File > Open would open it (asking first about a recovered
    // map's changes), once the window is up to show its progress and warnings.
    QTimer::singleShot(0, &window, [&window, maps] {
        window.offerRecovery();
        FileCommands *commands = window.fileCommands();
        if (!maps.isEmpty() && commands->maybeSave())
            commands->openFile(maps.constFirst());
    });
    return application.exec();
}
