#include "Configuration.h"

#include "RadarColours.h"

#include <QDomDocument>
#include <QFile>

#include <iostream>

QString Configuration::pathNextTo(const QString &applicationDir)
{
    return applicationDir + QLatin1String("/dunmarra.xml");
}

Configuration Configuration::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Configuration config;
        config.status = CannotOpen;
        config.errorString = file.errorString();
        return config;
    }
    return read(file);
}

Configuration Configuration::read(QIODevice &device)
{
    Configuration config;
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(&device, false, &message, &line, &column)) {
        config.status = NotWellFormed;
        config.errorString =
            QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(message);
        return config;
    }
    config.status = Ok;
    const QDomElement root = document.documentElement();
    for (QDomNode node = root.firstChild(); !node.isNull(); node = node.nextSibling()) {
        const QDomElement element = node.toElement();
        if (element.isNull() || element.tagName() != QLatin1String("Radarcol"))
            continue;
        config.hasRadarFile = true;
        config.radarFilePath = element.firstChild().toText().data();
    }
    return config;
}

void Configuration::openRadarColours(const QString &applicationDir, RadarColours &colours)
{
    const Configuration config = read(pathNextTo(applicationDir));
    switch (config.status) {
    case CannotOpen:
        std::cout << "Unable to open xml file" << std::endl;
        return;
    case NotWellFormed:
        std::cout << "error setting content" << std::endl;
        return;
    case Ok:
        break;
    }
    if (config.hasRadarFile)
        colours.open(config.radarFilePath);
}
