#include "LoadedMap.h"

#include "PlacementFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

std::optional<LoadedMap> LoadedMap::read(const QString &path, const RadarColours &colours,
                                         QString *error, const std::function<bool(int)> &progress)
{
    const QString name = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QCoreApplication::translate("LoadedMap", "%1 could not be opened.\n%2")
                         .arg(name, file.errorString());
        return std::nullopt;
    }

    constexpr int readSteps = progressSteps * 4 / 5;
    const auto advance = [&progress](int steps) { return !progress || progress(steps); };
    const qint64 size = qMax<qint64>(1, file.size());

    // Each distinct structure is rendered once, from the moment the reader has met its first
    // placement; a region that no structure can have makes placeholders.
    StructureImages images(colours);
    QString detail;
    PlacementFile::ReadFailure failure = PlacementFile::ReadFailure::NotXml;
    std::optional<PlacementDocument> content = PlacementFile::read(
        file, &detail, &failure,
        [&](qint64 bytes) { return advance(int(readSteps * qMin(bytes, size) / size)); },
        [&images](const Placement &placement) { images.add(placement); });
    if (!content) {
        images.cancel();
        if (error) {
            switch (failure) {
            case PlacementFile::ReadFailure::Cancelled:
                error->clear();
                break;
            case PlacementFile::ReadFailure::NoImage:
                *error = QCoreApplication::translate("LoadedMap", "%1 names no terrain image.\n%2")
                             .arg(name, detail);
                break;
            case PlacementFile::ReadFailure::NotXml:
                *error = QCoreApplication::translate("LoadedMap", "%1 is not a placement file.\n%2")
                             .arg(name, detail);
                break;
            }
        }
        return std::nullopt;
    }

    const int total = qMax(1, images.count());
    while (!images.waitForDone(20)) {
        if (!advance(readSteps + (progressSteps - readSteps) * images.rendered() / total)) {
            images.cancel();
            if (error)
                error->clear();
            return std::nullopt;
        }
    }
    QList<StructureImages::Key> unrendered;
    StructureImages::Map rendered = images.take(&unrendered);
    return LoadedMap{std::move(*content), std::move(rendered), std::move(unrendered)};
}
