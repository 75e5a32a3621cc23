#include "FileCommands.h"

#include "LoadedMap.h"
#include "MapDocument.h"
#include "MapRenderer.h"
#include "PlacementFile.h"
#include "app/RadarColours.h"
#include "canvas/Canvas.h"
#include "canvas/CanvasView.h"
#include "canvas/TerrainLoader.h"
#include "dialogs/SelectImage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include <iostream>
#include <memory>

namespace {

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

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
    openFile(chosen);
}

void FileCommands::openFile(const QString &path)
{
    QString error;
    if (!readPlacementFile(path, &error) && !error.isEmpty()) {
        // The previous map, its file name and its flag stay exactly as they were.
        QMessageBox::warning(m_view, QStringLiteral("Open failed"), error);
    }
}

QString FileCommands::askImageFileName()
{
    QFileDialog dialog(m_view, QStringLiteral("Export Image"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("PNG images (*.png)"));
    // A name typed without a suffix gets ".png"; the dialog asks before replacing that file.
    dialog.setDefaultSuffix(QStringLiteral("png"));
    // Where the map's file is, if it has one.
    if (!m_document->fileName().isEmpty())
        dialog.setDirectory(QFileInfo(m_document->fileName()).absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void FileCommands::exportImage()
{
    if (!m_document->isOpen())
        return;
    const QString chosen = askImageFileName();
    if (chosen.isEmpty())
        return;
    QString error;
    if (!writeImageFile(chosen, &error) && !error.isEmpty())
        QMessageBox::warning(m_view, QStringLiteral("Export failed"),
                             QStringLiteral("The map could not be exported to %1:\n%2")
                                 .arg(nativePath(chosen), error));
}

bool FileCommands::writeImageFile(const QString &path, QString *error)
{
    if (!m_document->isOpen() || !m_view->canvas())
        return false;
    // The terrain as the map shows it; read anew here while the background read is still under
    // way, or when that could not read it whole.
    QImage terrain = m_view->terrain();
    if (m_view->isTerrainLoading() ||
        terrain.size() != m_view->canvas()->sceneRect().size().toSize()) {
        terrain = TerrainLoader::read(m_document->terrainPath(), error);
        if (terrain.isNull())
            return false;
    }
    const MapRenderer renderer(terrain, m_document->placements(), m_view->structureImages());

    const QSize size = renderer.size();
    if (qint64(size.width()) * size.height() <= exportProgressPixels) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool written = renderer.writePng(path, error);
        QApplication::restoreOverrideCursor();
        return written;
    }
    QProgressDialog progress(QStringLiteral("Exporting %1").arg(nativePath(path)),
                             QStringLiteral("Cancel"), 0, size.height(), m_view);
    progress.setWindowTitle(QStringLiteral("Export Image"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setValue(0);
    return renderer.writePng(path, error, [&progress](int rows) {
        progress.setValue(rows);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
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
    // The dialog is made only once the open has taken longer than the delay: most opens never
    // need it.
    std::unique_ptr<QProgressDialog> progress;
    QElapsedTimer clock;
    clock.start();
    const auto advance = [&](int value) {
        if (!progress && clock.elapsed() >= m_progressDelayMs) {
            progress = std::make_unique<QProgressDialog>(
                QStringLiteral("Opening %1").arg(nativePath(path)), QStringLiteral("Cancel"), 0,
                LoadedMap::progressSteps, m_view);
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
    const RadarColours none;
    const RadarColours &colours = m_view->radarColours() ? *m_view->radarColours() : none;
    std::optional<LoadedMap> map = LoadedMap::read(path, colours, error, advance);
    if (!map)
        return false;
    m_view->setStructureImages(map->images);
    m_document->open(map->content, path);
    return true;
}
