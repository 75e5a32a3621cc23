#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Finds where a file named by a map has gone: a structure file or terrain image recorded on
// another machine ("C:\Shard\multis\tower.mlt") or in a folder since moved.
//
// The candidates, each a single file test, never a walk of the disk: the recorded path with "\"
// read as a folder separator and a drive letter dropped; then its trailing folders and name
// under the map file's own folder and under each folder above it; then the files of that name
// below the library folder, as its index lists them. The candidate that shares the most trailing
// path parts with the recorded path wins; among equals, the one met first.
class FileFinder
{
public:
    // The indexed paths of files with a name, any letter case.
    using Library = std::function<QStringList(const QString &fileName)>;

    explicit FileFinder(const QString &mapFolder = QString(), Library library = {});

    // Where the file recorded as path is now; empty when it is nowhere to be found, or is only
    // where it was recorded.
    QString find(const QString &recorded) const;

    // The parts of a recorded path, any separator, without a drive letter: "C:\a\b.mlt" gives
    // a, b.mlt.
    static QStringList partsOf(const QString &recorded);
    // How many trailing parts two paths share (file names and folders alike, any letter case).
    static int sharedTrailingParts(const QStringList &a, const QStringList &b);

private:
    QString m_mapFolder;
    Library m_library;
};
