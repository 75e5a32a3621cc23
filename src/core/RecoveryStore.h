#pragma once

#include "PlacementDocument.h"

#include <QDateTime>
#include <QList>
#include <QLockFile>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

// The recovery files in one folder: this running copy's unsaved map, written aside so that the
// work survives a crash, and those left behind by copies that ended without cleaning up.
//
// A copy writes <id>.xml, the map as a placement file, and <id>.json, the file the map belongs
// to and when it was written, under an id of its own, and holds the lock <id>.lock from its
// first write until it ends. The files of another copy are touched only with its lock taken,
// which succeeds once that copy has ended (its process is gone). Writes and removals happen one
// after another on a thread of their own, so that a large map does not hold up the editor.
class RecoveryStore
{
public:
    // A recovery file left by a copy that has ended, locked for this copy while this lives.
    struct Orphan
    {
        QString mapPath;
        QString fileName; // the file its map belongs to; empty for a map never saved
        QDateTime saved;
        QString error; // why it cannot be read; empty when it can
        std::shared_ptr<QLockFile> lock;
    };

    // The "recovery" folder in the program's data folder; empty where the system has none, and
    // then no recovery file is kept.
    static QString defaultFolder();

    explicit RecoveryStore(const QString &folder = defaultFolder());
    // Lets the writes under way finish and removes this copy's recovery file.
    ~RecoveryStore();
    RecoveryStore(const RecoveryStore &) = delete;
    RecoveryStore &operator=(const RecoveryStore &) = delete;

    // This copy's recovery file.
    QString mapPath() const { return path(m_id, ".xml"); }

    // Writes map as the recovery file, as belonging to fileName and saved now; returns at once.
    void write(const PlacementDocument &map, const QString &fileName);
    // Removes the recovery file, after the writes before.
    void discard();
    // Whether writes or removals are yet to finish.
    bool isBusy() const { return m_pending.load() > 0; }
    void waitForDone() { m_writer.waitForDone(); }

    // The recovery files of the copies that have ended, newest first, each locked for this
    // copy; the locks and leftovers of ended copies without a map are cleared on the way.
    QList<Orphan> orphans();
    // Deletes an orphan's files.
    void remove(const Orphan &orphan);
    // Makes an orphan this copy's recovery file, in place of this copy's own; false when its
    // files could not be moved over (they are then left where they were).
    bool adopt(const Orphan &orphan);

private:
    QString path(const QString &id, const char *suffix) const;
    bool lock();
    void run(std::function<void()> task);

    const QString m_folder;
    const QString m_id;
    QLockFile m_lock;
    bool m_hasFiles = false;
    std::atomic<int> m_pending{0};
    QThreadPool m_writer; // last: its tasks use the members above
};
