#include "MainWindow.h"

#include "document/AutoSaver.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Names the data folder, where the recovery files are kept, whatever the program's file.
    QCoreApplication::setApplicationName(QStringLiteral("valdrune-placer"));
    MainWindow window(nullptr, Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                   Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint);
    QObject::connect(&application, &QGuiApplication::lastWindowClosed, &application,
                     &QCoreApplication::quit);
    // A window that shows a useful part of a map, not the widgets' bare minimum.
    if (const QScreen *screen = application.primaryScreen())
        window.resize(screen->availableSize() * 3 / 4);
    // Writing the recovery file sooner than every 30 seconds, for tests.
    if (const int ms = qEnvironmentVariableIntValue("VALDRUNE_AUTOSAVE_MS"); ms > 0)
        window.autoSaver()->setInterval(ms);
    window.show();
    QTimer::singleShot(0, &window, &MainWindow::offerRecovery);
    return application.exec();
}
