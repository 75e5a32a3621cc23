#pragma once

#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <memory>

// Every structure file (".mlt", in any letter case) below the library folder, by name and folder.
// The folders are read on a worker thread and watched while the index lives: a folder that
// changes is read again, a new folder read whole, a folder gone dropped with all it held, and
// changed() follows each of those. Until the first reading is done the index holds what is
// read so far, which may be nothing; nothing here ever waits for the disk.
class LibraryIndex : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        QString folder; // absolute, without a trailing separator
        QString name;   // the file's name in that folder
        QString path() const;
    };

    explicit LibraryIndex(QObject *parent = nullptr);
    ~LibraryIndex() override;

    // The folder indexed, absolute and clean; empty for none.
    QString root() const { return m_root; }
    // Indexes folder and everything below it instead of what was indexed; empty clears the index.
    void setRoot(const QString &folder);
    // True from setRoot() until the folders known so far have been read.
    bool isIndexing() const { return m_pending > 0; }

    // The structure files indexed.
    qsizetype size() const { return m_entries.size(); }
    // The files whose names contain text in any letter case, folder by folder in path order
    // and by name within a folder; every file for empty text.
    QList<Entry> matching(const QString &text) const;
    // The paths of the indexed files named fileName, compared in any letter case.
    QStringList pathsNamed(const QString &fileName) const;

signals:
    // The files indexed or the state of the indexing changed.
    void changed();

private:
    struct Folder
    {
        QStringList names;  // in the order of their case-folded forms
        QStringList folded; // the names case-folded
    };
    using Folders = QMap<QString, Folder>;
    // What a worker read: the folders below and including top, or top alone.
    struct Reading
    {
        QString top;
        bool whole = true;   // top and everything below it, else top and its subfolders' names
        bool exists = false; // top was there to read
        Folders folders;
        QStringList subfolders; // of top alone, when not whole
    };

    // Reads top (and everything below it when whole) on the worker thread.
    void read(const QString &top, bool whole);
    void apply(quint64 generation, const Reading &reading);
    void drop(const QString &top);
    void rebuild();
    void readChangedFolders();
    static Reading readFolders(const QString &top, bool whole, const std::atomic<bool> &stop);

    QString m_root;
    quint64 m_generation = 0; // of the root: readings of an older one are thrown away
    int m_pending = 0;        // readings handed to the worker and not applied yet
    Folders m_folders;        // every folder below the root, with its structure files
    QList<Entry> m_entries;   // in path order, with their names case-folded beside them
    QStringList m_folded;
    QString m_foldedText;      // the folded names one after another, each ended by a separator
    QList<qsizetype> m_starts; // where each entry's name starts in it
    mutable QHash<QString, QStringList> m_byName; // folded name to paths
    mutable bool m_byNameBuilt = false;
    QFileSystemWatcher m_watcher;
    QSet<QString> m_changed; // folders the watcher reported, read again in one go
    QTimer m_changedTimer;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    QThreadPool m_worker; // one thread: readings are applied in the order they were asked for
};
