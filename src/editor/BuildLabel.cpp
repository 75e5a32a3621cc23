#include "BuildLabel.h"

#include "BuildStamp.h" // touched on every build

#include <QCoreApplication>

QString buildLabelText()
{
    return QCoreApplication::translate("BuildLabel", "Build: %1 %2")
        .arg(QLatin1String(__DATE__), QLatin1String(__TIME__));
}
