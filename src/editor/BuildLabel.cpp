#include "BuildLabel.h"

#include "BuildStamp.h" // touched on every build

QString buildLabelText()
{
    return QStringLiteral("Build: ") + QLatin1String(__DATE__) + QLatin1Char(' ') +
           QLatin1String(__TIME__);
}
