#include "FileFinder.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool isFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

} // namespace

FileFinder::FileFinder(const QString &mapFolder, Library library)
    : m_mapFolder(mapFolder), m_library(std::move(library))
{
}

QStringList FileFinder::partsOf(const QString &recorded)
{
    QString path = recorded;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter())
        path.remove(0, 2);
    QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    return parts;
}

int FileFinder::sharedTrailingParts(const QStringList &a, const QStringList &b)
{
    int shared = 0;
    for (qsizetype i = a.size() - 1, j = b.size() - 1; i >= 0 && j >= 0; --i, --j) {
        if (a.at(i).compare(b.at(j), Qt::CaseInsensitive) != 0)
            break;
        ++shared;
    }
    return shared;
}

QString FileFinder::find(const QString &recorded) const
{
    const QStringList parts = partsOf(recorded);
    if (parts.isEmpty())
        return QString();
    const QString same = QDir::cleanPath(recorded);
    QString best;
    int bestShared = 0;
    const auto consider = [&](const QString &candidate, int shared) {
        if (shared > bestShared && QDir::cleanPath(candidate) != same && isFile(candidate)) {
            best = QDir::cleanPath(candidate);
            bestShared = shared;
        }
    };

    // The path itself, read as this system reads paths.
    const QString rooted =
        (recorded.startsWith(QLatin1Char('/')) || recorded.startsWith(QLatin1Char('\\')) ||
                 (recorded.size() >= 2 && recorded.at(1) == QLatin1Char(':'))
             ? QStringLiteral("/")
             : QString()) +
        parts.join(QLatin1Char('/'));
    consider(rooted, int(parts.size()));

    // Its trailing parts below the map's folder and each folder above it: the most parts first,
    // and for as many, the nearest folder first.
    if (!m_mapFolder.isEmpty()) {
        QStringList folders;
        QDir folder(m_mapFolder);
        do {
            folders.append(folder.absolutePath());
        } while (folder.cdUp());
        for (qsizetype count = parts.size(); count >= 1 && count > bestShared; --count) {
            const QString tail = parts.mid(parts.size() - count).join(QLatin1Char('/'));
            for (const QString &base : std::as_const(folders))
                consider(base + QLatin1Char('/') + tail, int(count));
        }
    }

    // Anywhere below the library folder.
    if (m_library) {
        for (const QString &candidate : m_library(parts.last()))
            consider(candidate, sharedTrailingParts(parts, partsOf(candidate)));
    }
    return best;
}
