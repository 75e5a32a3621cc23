#include "LibraryIndex.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Folder paths below folder start with this.
QString childPrefix(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool isStructureFile(const QString &name)
{
    return name.endsWith(QLatin1String(".mlt"), Qt::CaseInsensitive);
}

// Ends each name in the text of all names: no file name holds it.
constexpr QChar nameSeparator = QLatin1Char('/');

// How long the watcher's reports are gathered before the folders are read again: a copy of
// many files reports its folder many times.
constexpr int changedDelayMs = 100;

} // namespace

QString LibraryIndex::Entry::path() const
{
    return childPrefix(folder) + name;
}

LibraryIndex::LibraryIndex(QObject *parent) : QObject(parent)
{
    m_worker.setMaxThreadCount(1);
    m_changedTimer.setSingleShot(true);
    m_changedTimer.setInterval(changedDelayMs);
    connect(&m_changedTimer, &QTimer::timeout, this, &LibraryIndex::readChangedFolders);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString &folder) {
        m_changed.insert(folder);
        m_changedTimer.start();
    });
}

LibraryIndex::~LibraryIndex()
{
    // Readings still to come are not wanted, and one under way stops at its next entry; it
    // must be over before the index goes, as its result is handed here.
    m_worker.clear();
    m_stop->store(true);
    m_worker.waitForDone();
}

void LibraryIndex::setRoot(const QString &folder)
{
    const QString root =
        folder.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (root == m_root && !root.isEmpty())
        return;
    m_worker.clear();
    m_stop->store(true);
    m_stop = std::make_shared<std::atomic<bool>>(false);
    ++m_generation;
    m_pending = 0;
    m_root = root;
    m_changed.clear();
    m_changedTimer.stop();
    const QStringList watched = m_watcher.directories();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    m_folders.clear();
    rebuild();
    if (!m_root.isEmpty())
        read(m_root, true);
    emit changed();
}

void LibraryIndex::read(const QString &top, bool whole)
{
    ++m_pending;
    const quint64 generation = m_generation;
    const std::shared_ptr<std::atomic<bool>> stop = m_stop;
    m_worker.start([this, top, whole, generation, stop] {
        const Reading reading = readFolders(top, whole, *stop);
        if (stop->load())
            return;
        // Queued to this thread; the destructor waits for this job, so the index is still there.
        QMetaObject::invokeMethod(
            this, [this, generation, reading] { apply(generation, reading); },
            Qt::QueuedConnection);
    });
}

LibraryIndex::Reading LibraryIndex::readFolders(const QString &top, bool whole,
                                                const std::atomic<bool> &stop)
{
    Reading reading;
    reading.top = top;
    reading.whole = whole;
    reading.exists = QFileInfo(top).isDir();
    // Folder by folder, each listed once: its files come together and need no look-up.
    QStringList pending;
    if (reading.exists)
        pending.append(top);
    while (!pending.isEmpty()) {
        if (stop.load())
            return reading;
        const QString folder = pending.takeLast();
        std::vector<std::pair<QString, QString>> files; // folded name, name
        QDirIterator it(folder, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            const QString path = it.next();
            const QFileInfo &info = it.fileInfo();
            if (info.isDir()) {
                // Symbolic links to folders are not followed: a link back up would never end.
                if (info.isSymLink())
                    continue;
                (whole ? pending : reading.subfolders).append(path);
            } else if (const QString name = it.fileName(); isStructureFile(name)) {
                files.emplace_back(name.toCaseFolded(), name);
            }
        }
        std::sort(files.begin(), files.end());
        Folder &entry = reading.folders[folder];
        entry.names.reserve(qsizetype(files.size()));
        entry.folded.reserve(qsizetype(files.size()));
        for (auto &[folded, name] : files) {
            entry.folded.append(std::move(folded));
            entry.names.append(std::move(name));
        }
    }
    return reading;
}

void LibraryIndex::apply(quint64 generation, const Reading &reading)
{
    if (generation != m_generation)
        return;
    --m_pending;
    QStringList watch;
    if (!reading.exists) {
        drop(reading.top);
    } else if (reading.whole) {
        drop(reading.top);
        for (auto it = reading.folders.cbegin(); it != reading.folders.cend(); ++it) {
            m_folders.insert(it.key(), it.value());
            watch.append(it.key());
        }
    } else {
        m_folders.insert(reading.top, reading.folders.value(reading.top));
        // Subfolders gone are dropped with everything below them; new ones are read whole.
        const QString prefix = childPrefix(reading.top);
        QStringList gone;
        for (auto it = m_folders.lowerBound(prefix);
             it != m_folders.cend() && it.key().startsWith(prefix); ++it) {
            if (it.key().indexOf(QLatin1Char('/'), prefix.size()) < 0 &&
                !reading.subfolders.contains(it.key()))
                gone.append(it.key());
        }
        for (const QString &folder : std::as_const(gone))
            drop(folder);
        for (const QString &folder : reading.subfolders) {
            if (!m_folders.contains(folder))
                read(folder, true);
        }
    }
    if (!watch.isEmpty())
        m_watcher.addPaths(watch);
    rebuild();
    emit changed();
}

void LibraryIndex::drop(const QString &top)
{
    QStringList gone;
    if (m_folders.remove(top))
        gone.append(top);
    const QString prefix = childPrefix(top);
    auto it = m_folders.lowerBound(prefix);
    while (it != m_folders.end() && it.key().startsWith(prefix)) {
        gone.append(it.key());
        it = m_folders.erase(it);
    }
    // Watches of folders gone are gone with them; those still there are let go.
    const QStringList watched = m_watcher.directories();
    QStringList unwatch;
    for (const QString &folder : std::as_const(gone)) {
        if (watched.contains(folder))
            unwatch.append(folder);
    }
    if (!unwatch.isEmpty())
        m_watcher.removePaths(unwatch);
}

void LibraryIndex::readChangedFolders()
{
    const QSet<QString> folders = std::exchange(m_changed, {});
    for (const QString &folder : folders) {
        if (m_folders.contains(folder))
            read(folder, false);
    }
}

void LibraryIndex::rebuild()
{
    m_entries.clear();
    m_folded.clear();
    m_foldedText.clear();
    m_starts.clear();
    m_byName.clear();
    m_byNameBuilt = false;
    for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it) {
        const Folder &folder = it.value();
        for (qsizetype i = 0; i < folder.names.size(); ++i) {
            m_entries.append({it.key(), folder.names.at(i)});
            m_starts.append(m_foldedText.size());
            m_foldedText += folder.folded.at(i);
            m_foldedText += nameSeparator;
        }
        m_folded.append(folder.folded);
    }
}

QList<LibraryIndex::Entry> LibraryIndex::matching(const QString &text) const
{
    const QString folded = text.toCaseFolded();
    QList<Entry> found;
    // No name holds the separator: text with it would only match across two names.
    if (folded.contains(nameSeparator))
        return found;
    // One search through all the names at once; each hit gives its name, and the search goes
    // on from the next one.
    const QStringView all(m_foldedText);
    qsizetype from = 0;
    while ((from = all.indexOf(folded, from)) >= 0) {
        const qsizetype entry =
            std::upper_bound(m_starts.cbegin(), m_starts.cend(), from) - m_starts.cbegin() - 1;
        found.append(m_entries.at(entry));
        if (entry + 1 >= m_starts.size())
            break;
        from = m_starts.at(entry + 1);
    }
    return found;
}

QStringList LibraryIndex::pathsNamed(const QString &fileName) const
{
    // Made on the first look-up after a change: most changes are never looked up by name.
    if (!m_byNameBuilt) {
        for (qsizetype i = 0; i < m_entries.size(); ++i)
            m_byName[m_folded.at(i)].append(m_entries.at(i).path());
        m_byNameBuilt = true;
    }
    return m_byName.value(fileName.toCaseFolded());
}
