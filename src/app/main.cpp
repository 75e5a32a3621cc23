#include "MainWindow.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    MainWindow window(nullptr, Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                   Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint);
    QObject::connect(&application, &QGuiApplication::lastWindowClosed, &application,
                     &QCoreApplication::quit);
    // A window that shows a useful part of a map, not the widgets' bare minimum.
    if (const QScreen *screen = application.primaryScreen())
        window.resize(screen->availableSize() * 3 / 4);
    window.show();
    return application.exec();
}
