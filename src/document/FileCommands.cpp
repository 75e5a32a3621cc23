#include "FileCommands.h"

#include "MapDocument.h"
#include "PlacementFile.h"
#include "app/RadarColours.h"
#include "canvas/CanvasView.h"
#include "dialogs/SelectImage.h"
#include "library/StructurePreview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QHash>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSet>
#include <QThreadPool>

#include <atomic>
#include <deque>
#include <iostream>
#include <memory>

namespace {

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The distinct structures of a map, each to be rendered once however often it is placed.
struct Structure
{
    CanvasView::StructureKey key;
    QImage image;
};

} // namespace

FileCommands::FileCommands(CanvasView *view, MapDocument *document)
    : QObject(view), m_view(view), m_document(document)
{
}

bool FileCommands::maybeSave()
{
    if (!m_document->isModified())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        m_view, QStringLiteral("Save changes"), QStringLiteral("Save changes before closing?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoButton);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes)
        return save();
    return true;
}

QString FileCommands::askSaveFileName()
{
    QFileDialog dialog(m_view, QStringLiteral("Save as"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(
        {QStringLiteral("Placement files (*.xml)"), QStringLiteral("All files (*)")});
    // A name typed without a suffix gets ".xml".
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

bool FileCommands::save()
{
    if (!m_document->isModified())
        return true;
    if (m_document->fileName().isEmpty())
        return saveAs();
    return saveTo(m_document->fileName());
}

bool FileCommands::saveAs()
{
    if (!m_document->isOpen())
        return false;
    const QString chosen = askSaveFileName();
    if (chosen.isEmpty())
        return false;
    return saveTo(chosen);
}

bool FileCommands::saveTo(const QString &path)
{
    QString error;
    if (writePlacementFile(path, &error))
        return true;
    QMessageBox box(
        QMessageBox::Warning, QStringLiteral("Save failed"),
        QStringLiteral("The placements could not be saved to %1:\n%2").arg(nativePath(path), error),
        QMessageBox::Cancel, m_view);
    // The work can still go elsewhere.
    QPushButton *saveAsButton =
        box.addButton(QStringLiteral("Save As..."), QMessageBox::AcceptRole);
    box.setDefaultButton(saveAsButton);
    box.exec();
    if (box.clickedButton() != saveAsButton)
        return false;
    return saveAs();
}

bool FileCommands::writePlacementFile(const QString &path, QString *error)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = m_document->save(path, error);
    QApplication::restoreOverrideCursor();
    if (!saved)
        return false;
    for (const Placement *placement : m_document->placements())
        std::cout << PlacementFile::itemIsAtLine(placement->position).constData() << '\n';
    std::cout.flush();
    return true;
}

void FileCommands::newMap()
{
    if (!maybeSave())
        return;
    SelectImage dialog;
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = dialog.ui.lineTerrain->text();
    if (!QFile::exists(path))
        return;
    PlacementDocument content;
    content.terrainPath = path;
    m_document->open(content);
}

void FileCommands::open()
{
    if (!maybeSave())
        return;
    const QString chosen = QFileDialog::getOpenFileName(m_view, QStringLiteral("Open File"));
    if (chosen.isEmpty()) {
        // As after Close: the map stays, but the next save asks where to go.
        m_document->setFileName(QString());
        return;
    }
    QString error;
    if (!readPlacementFile(chosen, &error) && !error.isEmpty()) {
        // The previous map, its file name and its flag stay exactly as they were.
        QMessageBox::warning(m_view, QStringLiteral("Open failed"), error);
    }
}

void FileCommands::close()
{
    if (!m_document->isOpen())
        return;
    if (!save())
        return;
    m_document->close();
}

bool FileCommands::readPlacementFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1 could not be opened.\n%2")
                         .arg(nativePath(path), file.errorString());
        return false;
    }

    // Reading takes the first part of the progress, rendering the rest. The dialog is made
    // only once the open has taken longer than the delay: most opens never need it.
    constexpr int readSteps = 800;
    constexpr int steps = 1000;
    std::unique_ptr<QProgressDialog> progress;
    QElapsedTimer clock;
    clock.start();
    const auto advance = [&](int value) {
        if (!progress && clock.elapsed() >= m_progressDelayMs) {
            progress = std::make_unique<QProgressDialog>(
                QStringLiteral("Opening %1").arg(nativePath(path)), QStringLiteral("Cancel"), 0,
                steps, m_view);
            progress->setWindowTitle(QStringLiteral("Open"));
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(0);
            progress->setAutoReset(false);
            progress->setValue(0);
        }
        if (progress) {
            progress->setValue(qMax(1, value));
            // Also while the value stands still, so that Cancel is seen.
            QCoreApplication::processEvents();
        }
        return !progress || !progress->wasCanceled();
    };
    const qint64 size = qMax<qint64>(1, file.size());

    // Each distinct structure is rendered once, on all cores, from the moment the reader has
    // met its first placement; a region that no structure can have makes placeholders. The
    // pool goes first, joining its renders before what they use is gone.
    std::deque<Structure> structures;
    QSet<CanvasView::StructureKey> seen;
    const RadarColours none;
    const RadarColours &colours = m_view->radarColours() ? *m_view->radarColours() : none;
    std::atomic<int> rendered{0};
    std::atomic<bool> cancelled{false};
    QThreadPool pool;
    const auto render = [&](const Placement &placement) {
        CanvasView::StructureKey key = CanvasView::StructureKey::of(placement);
        if (seen.contains(key))
            return;
        seen.insert(key);
        Structure &structure = structures.emplace_back(Structure{std::move(key), QImage()});
        pool.start([&structure, &colours, &rendered, &cancelled] {
            if (!cancelled.load(std::memory_order_relaxed))
                structure.image = renderStructureImage(structure.key.path, colours,
                                                       QRect(QPoint(0, 0), structure.key.size),
                                                       structure.key.offset);
            rendered.fetch_add(1, std::memory_order_relaxed);
        });
    };

    QString detail;
    PlacementFile::ReadFailure failure = PlacementFile::ReadFailure::NotXml;
    const std::optional<PlacementDocument> content = PlacementFile::read(
        file, &detail, &failure,
        [&](qint64 bytes) { return advance(int(readSteps * qMin(bytes, size) / size)); }, render);
    if (!content) {
        cancelled = true;
        if (error) {
            switch (failure) {
            case PlacementFile::ReadFailure::Cancelled:
                error->clear();
                break;
            case PlacementFile::ReadFailure::NoImage:
                *error =
                    QStringLiteral("%1 names no terrain image.\n%2").arg(nativePath(path), detail);
                break;
            case PlacementFile::ReadFailure::NotXml:
                *error =
                    QStringLiteral("%1 is not a placement file.\n%2").arg(nativePath(path), detail);
                break;
            }
        }
        return false;
    }

    const int total = qMax(1, int(structures.size()));
    while (!pool.waitForDone(20)) {
        if (!advance(readSteps + (steps - readSteps) * rendered.load() / total))
            cancelled = true;
    }
    if (cancelled) {
        if (error)
            error->clear();
        return false;
    }

    QHash<CanvasView::StructureKey, QImage> images;
    images.reserve(qsizetype(structures.size()));
    for (Structure &structure : structures) {
        if (!structure.image.isNull())
            images.insert(std::move(structure.key), std::move(structure.image));
    }
    m_view->setStructureImages(images);
    m_document->open(*content, path);
    return true;
}
