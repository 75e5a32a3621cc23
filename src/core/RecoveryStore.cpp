#include "RecoveryStore.h"

#include "PlacementFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>

namespace {

const char mapSuffix[] = ".xml";
const char sidecarSuffix[] = ".json";
const char lockSuffix[] = ".lock";

QString sidecarOf(const QString &mapPath)
{
    return mapPath.chopped(int(sizeof mapSuffix) - 1) + QLatin1String(sidecarSuffix);
}

void removeFiles(const QString &mapPath)
{
    // The map first: a sidecar without a map is a leftover, a map without one is unreadable.
    QFile::remove(mapPath);
    QFile::remove(sidecarOf(mapPath));
}

// What the sidecar tells of the map; false with orphan.error set when it cannot be read.
bool readSidecar(RecoveryStore::Orphan &orphan)
{
    QFile file(sidecarOf(orphan.mapPath));
    if (!file.open(QIODevice::ReadOnly)) {
        orphan.error = QCoreApplication::translate("RecoveryStore", "%1: %2")
                           .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    QJsonParseError parse;
    const QJsonObject fields = QJsonDocument::fromJson(file.read(1 << 16), &parse).object();
    if (parse.error != QJsonParseError::NoError) {
        orphan.error = QCoreApplication::translate("RecoveryStore", "%1: %2")
                           .arg(QDir::toNativeSeparators(file.fileName()), parse.errorString());
        return false;
    }
    orphan.fileName = fields.value(QLatin1String("fileName")).toString();
    orphan.saved =
        QDateTime::fromString(fields.value(QLatin1String("saved")).toString(), Qt::ISODateWithMs);
    if (!orphan.saved.isValid())
        orphan.error =
            QCoreApplication::translate("RecoveryStore", "%1 does not tell when the map was saved.")
                .arg(QDir::toNativeSeparators(file.fileName()));
    return orphan.error.isEmpty();
}

} // namespace

QString RecoveryStore::defaultFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : data + QLatin1String("/recovery");
}

RecoveryStore::RecoveryStore(const QString &folder)
    : m_folder(folder), m_id(QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_lock(path(m_id, lockSuffix))
{
    m_writer.setMaxThreadCount(1); // in the order given
}

RecoveryStore::~RecoveryStore()
{
    m_writer.waitForDone();
    if (m_hasFiles)
        removeFiles(mapPath());
}

QString RecoveryStore::path(const QString &id, const char *suffix) const
{
    return m_folder + QLatin1Char('/') + id + QLatin1String(suffix);
}

bool RecoveryStore::lock()
{
    if (m_lock.isLocked())
        return true;
    if (!m_folder.isEmpty() && QDir().mkpath(m_folder) && m_lock.tryLock(0))
        return true;
    qWarning("No recovery file can be kept in %s", qPrintable(QDir::toNativeSeparators(m_folder)));
    return false;
}

void RecoveryStore::run(std::function<void()> task)
{
    ++m_pending;
    m_writer.start([this, task = std::move(task)] {
        task();
        --m_pending;
    });
}

void RecoveryStore::write(const PlacementDocument &map, const QString &fileName)
{
    if (!lock())
        return;
    m_hasFiles = true;
    const QJsonObject fields{
        {QLatin1String("fileName"), fileName},
        {QLatin1String("saved"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
    run([map, sidecar = QJsonDocument(fields).toJson(), mapPath = mapPath()] {
        QString error;
        const std::optional<QByteArray> bytes = PlacementFile::write(map, &error);
        if (!bytes || !PlacementFile::saveBytes(mapPath, *bytes, &error) ||
            !PlacementFile::saveBytes(sidecarOf(mapPath), sidecar, &error))
            qWarning("The map could not be kept for recovery in %s: %s",
                     qPrintable(QDir::toNativeSeparators(mapPath)), qPrintable(error));
    });
}

void RecoveryStore::discard()
{
    if (std::exchange(m_hasFiles, false))
        run([mapPath = mapPath()] { removeFiles(mapPath); });
}

QList<RecoveryStore::Orphan> RecoveryStore::orphans()
{
    if (m_folder.isEmpty())
        return {};
    QSet<QString> ids;
    const QFileInfoList files =
        QDir(m_folder).entryInfoList({QStringLiteral("*") + QLatin1String(mapSuffix),
                                      QStringLiteral("*") + QLatin1String(sidecarSuffix),
                                      QStringLiteral("*") + QLatin1String(lockSuffix)},
                                     QDir::Files | QDir::Hidden);
    for (const QFileInfo &file : files)
        ids.insert(file.completeBaseName());
    ids.remove(m_id);

    QList<Orphan> found;
    for (const QString &id : std::as_const(ids)) {
        Orphan orphan{
            path(id, mapSuffix), {}, {}, {}, std::make_shared<QLockFile>(path(id, lockSuffix))};
        // Held as long as its copy runs, however long that is: only a lock whose process is
        // gone is stale.
        orphan.lock->setStaleLockTime(0);
        if (!orphan.lock->tryLock(0))
            continue;
        if (!QFile::exists(orphan.mapPath)) {
            QFile::remove(sidecarOf(orphan.mapPath));
            continue;
        }
        readSidecar(orphan);
        found.append(std::move(orphan));
    }
    const auto time = [](const Orphan &o) { return QFileInfo(o.mapPath).lastModified(); };
    std::sort(found.begin(), found.end(),
              [&](const Orphan &a, const Orphan &b) { return time(a) > time(b); });
    return found;
}

void RecoveryStore::remove(const Orphan &orphan)
{
    removeFiles(orphan.mapPath);
}

bool RecoveryStore::adopt(const Orphan &orphan)
{
    m_writer.waitForDone();
    if (!lock())
        return false;
    removeFiles(mapPath());
    m_hasFiles = QFile::rename(orphan.mapPath, mapPath());
    if (m_hasFiles && QFile::rename(sidecarOf(orphan.mapPath), sidecarOf(mapPath())))
        return true;
    qWarning("The recovery file %s could not be taken over",
             qPrintable(QDir::toNativeSeparators(orphan.mapPath)));
    return false;
}
