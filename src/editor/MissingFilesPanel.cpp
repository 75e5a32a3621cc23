#include "MissingFilesPanel.h"

#include "core/FileFinder.h"
#include "core/MapSession.h"

#include <QDirIterator>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column { FileColumn, CountColumn, FoundColumn };
constexpr int pathRole = Qt::UserRole;

} // namespace

MissingFilesPanel::MissingFilesPanel(MapSession *session, QWidget *parent)
    : QWidget(parent), m_session(session), m_list(new QTreeWidget(this)),
      m_useFound(new QPushButton(tr("Use Found Files"), this)),
      m_locateFolder(new QPushButton(tr("Locate Folder..."), this)),
      m_locateFile(new QPushButton(tr("Locate File..."), this))
{
    m_list->setObjectName(QStringLiteral("missingFiles"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({tr("File"), tr("Placements"), tr("Found")});
    m_list->header()->setSectionResizeMode(FileColumn, QHeaderView::Stretch);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_useFound);
    buttons->addWidget(m_locateFolder);
    buttons->addWidget(m_locateFile);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    layout->addLayout(buttons);

    connect(m_useFound, &QPushButton::clicked, this, &MissingFilesPanel::useFoundFiles);
    connect(m_locateFolder, &QPushButton::clicked, this, &MissingFilesPanel::locateFolder);
    connect(m_locateFile, &QPushButton::clicked, this, &MissingFilesPanel::locateFile);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &MissingFilesPanel::updateButtons);
    // The counts follow the map; worked out once for a burst of changes, and only when shown.
    MapDocument *document = session->document();
    connect(session, &MapSession::missingFilesChanged, this, &MissingFilesPanel::refreshLater);
    connect(document, &MapDocument::reset, this, &MissingFilesPanel::refreshLater);
    connect(document, &MapDocument::placementsInserted, this, &MissingFilesPanel::refreshLater);
    connect(document, &MapDocument::placementsTaken, this, &MissingFilesPanel::refreshLater);
    connect(document, &MapDocument::placementsChanged, this, &MissingFilesPanel::refreshLater);
    refresh();
}

bool MissingFilesPanel::isEmpty() const
{
    return missingPaths().isEmpty();
}

QStringList MissingFilesPanel::missingPaths() const
{
    QStringList paths = m_session->missingStructures().keys();
    std::sort(paths.begin(), paths.end());
    if (m_session->document()->isOpen() && m_session->isTerrainMissing())
        paths.prepend(m_session->document()->terrainPath());
    return paths;
}

void MissingFilesPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_pending)
        refresh();
}

void MissingFilesPanel::refreshLater()
{
    if (m_pending)
        return;
    m_pending = true;
    if (isVisible())
        QTimer::singleShot(0, this, &MissingFilesPanel::refresh);
}

void MissingFilesPanel::refresh()
{
    m_pending = false;
    const QString selected = m_list->currentItem()
                                 ? m_list->currentItem()->data(FileColumn, pathRole).toString()
                                 : QString();
    m_list->clear();
    const QHash<QString, int> counts = m_session->missingStructures();
    for (const QString &path : missingPaths()) {
        const QString found = m_session->foundFile(path);
        const bool terrain = !counts.contains(path);
        auto *item = new QTreeWidgetItem(
            m_list, {QDir::toNativeSeparators(path),
                     terrain ? tr("terrain") : QString::number(counts.value(path)),
                     found.isEmpty() ? tr("not found") : QDir::toNativeSeparators(found)});
        item->setData(FileColumn, pathRole, path);
        item->setToolTip(FileColumn, QDir::toNativeSeparators(path));
        item->setToolTip(FoundColumn, QDir::toNativeSeparators(found));
        if (path == selected)
            m_list->setCurrentItem(item);
    }
    updateButtons();
}

void MissingFilesPanel::updateButtons()
{
    const QStringList paths = missingPaths();
    m_useFound->setEnabled(std::any_of(paths.cbegin(), paths.cend(), [this](const QString &path) {
        return !m_session->foundFile(path).isEmpty();
    }));
    m_locateFolder->setEnabled(!paths.isEmpty());
    m_locateFile->setEnabled(m_list->currentItem() != nullptr);
}

void MissingFilesPanel::useFoundFiles()
{
    QHash<QString, QString> relinks;
    for (const QString &path : missingPaths()) {
        const QString found = m_session->foundFile(path);
        if (!found.isEmpty())
            relinks.insert(path, found);
    }
    m_session->relink(relinks);
}

void MissingFilesPanel::locateFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Locate Folder"));
    if (folder.isEmpty())
        return;
    // One walk of the folder, then each missing file matched by name and trailing parts.
    QHash<QString, QStringList> byName;
    QDirIterator files(folder, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        byName[files.fileName().toLower()].append(path);
    }
    const QStringList missing = missingPaths();
    QHash<QString, QString> relinks;
    for (const QString &path : missing) {
        const QStringList parts = FileFinder::partsOf(path);
        if (parts.isEmpty())
            continue;
        QStringList candidates = byName.value(parts.last().toLower());
        std::sort(candidates.begin(), candidates.end());
        int best = 0;
        for (const QString &candidate : std::as_const(candidates)) {
            const int shared =
                FileFinder::sharedTrailingParts(parts, FileFinder::partsOf(candidate));
            if (shared > best) {
                best = shared;
                relinks.insert(path, candidate);
            }
        }
    }
    const QString where = QDir::toNativeSeparators(folder);
    if (relinks.isEmpty()) {
        QMessageBox::information(this, tr("Locate Folder"),
                                 tr("None of the missing files is below %1.").arg(where));
        return;
    }
    if (QMessageBox::question(this, tr("Locate Folder"),
                              tr("%1 of the %2 missing files were found below %3. Relink them?")
                                  .arg(relinks.size())
                                  .arg(missing.size())
                                  .arg(where)) == QMessageBox::Yes)
        m_session->relink(relinks);
}

void MissingFilesPanel::locateFile()
{
    const QTreeWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    const QString path = item->data(FileColumn, pathRole).toString();
    const QStringList parts = FileFinder::partsOf(path);
    const QString name = parts.isEmpty() ? path : parts.last();
    const QString chosen = QFileDialog::getOpenFileName(this, tr("Locate %1").arg(name));
    if (!chosen.isEmpty())
        m_session->relink({{path, chosen}});
}
