#include "FileCommands.h"

#include "SelectImage.h"
#include "core/LoadedMap.h"
#include "core/MapSession.h"
#include "core/PlacementFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>

#include <iostream>
#include <memory>

namespace {

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString folderOf(const QString &file)
{
    return QFileInfo(file).absolutePath();
}

} // namespace

FileCommands::FileCommands(MapSession *session, QWidget *window)
    : QObject(window), m_session(session), m_document(session->document()), m_window(window)
{
}

bool FileCommands::maybeSave()
{
    if (!m_document->isModified())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        m_window, tr("Save changes"), tr("Save changes before closing?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoButton);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes)
        return save();
    return true;
}

QString FileCommands::askSaveFileName()
{
    QFileDialog dialog(m_window, tr("Save as"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({tr("Placement files (*.xml)"), tr("All files (*)")});
    // A name typed without a suffix gets ".xml".
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (const QString folder = dialogFolder(QStringLiteral("save")); !folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    rememberFolder(QStringLiteral("save"), folderOf(dialog.selectedFiles().constFirst()));
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
    if (writePlacementFile(path, &error)) {
        emit mapFileUsed(path);
        return true;
    }
    QMessageBox box(QMessageBox::Warning, tr("Save failed"),
                    tr("The placements could not be saved to %1:\n%2").arg(nativePath(path), error),
                    QMessageBox::Cancel, m_window);
    // The work can still go elsewhere.
    QPushButton *saveAsButton = box.addButton(tr("Save As..."), QMessageBox::AcceptRole);
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
    SelectImage dialog(m_window);
    dialog.setBrowseFolder(dialogFolder(QStringLiteral("terrain")));
    // Until a terrain that can be read is chosen, or the user gives up; the choice stays in the
    // dialog to be mended.
    while (dialog.exec() == QDialog::Accepted) {
        QString error;
        rememberFolder(QStringLiteral("terrain"), dialog.browseFolder());
        if (m_session->newMap(dialog.terrainPath(), &error))
            return;
        QMessageBox::warning(m_window, tr("New"), error);
    }
}

void FileCommands::open()
{
    if (!maybeSave())
        return;
    const QString chosen = QFileDialog::getOpenFileName(
        m_window, tr("Open File"), dialogFolder(QStringLiteral("open")),
        tr("Placement files (*.xml)") + QStringLiteral(";;") + tr("All files (*)"));
    if (chosen.isEmpty())
        return;
    rememberFolder(QStringLiteral("open"), folderOf(chosen));
    openFile(chosen);
}

void FileCommands::openFile(const QString &path)
{
    QString error;
    if (readPlacementFile(path, &error)) {
        emit mapFileUsed(path);
    } else if (!error.isEmpty()) {
        // The previous map, its file name and its flag stay exactly as they were.
        QMessageBox::warning(m_window, tr("Open failed"), error);
    }
}

QString FileCommands::askImageFileName()
{
    QFileDialog dialog(m_window, tr("Export Image"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(tr("PNG images (*.png)"));
    // A name typed without a suffix gets ".png"; the dialog asks before replacing that file.
    dialog.setDefaultSuffix(QStringLiteral("png"));
    // Where the last picture went, else where the map's file is, if it has one.
    const QString mapFolder =
        m_document->fileName().isEmpty() ? QString() : folderOf(m_document->fileName());
    if (const QString folder = dialogFolder(QStringLiteral("export"), mapFolder); !folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    rememberFolder(QStringLiteral("export"), folderOf(dialog.selectedFiles().constFirst()));
    return dialog.selectedFiles().constFirst();
}

QString FileCommands::dialogFolder(const QString &key, const QString &fallback) const
{
    if (!m_settings)
        return fallback;
    return m_settings->value(QStringLiteral("dialogFolders/") + key, fallback).toString();
}

void FileCommands::rememberFolder(const QString &key, const QString &folder)
{
    if (m_settings && !folder.isEmpty())
        m_settings->setValue(QStringLiteral("dialogFolders/") + key, folder);
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
        QMessageBox::warning(
            m_window, tr("Export failed"),
            tr("The map could not be exported to %1:\n%2").arg(nativePath(chosen), error));
}

bool FileCommands::writeImageFile(const QString &path, QString *error)
{
    if (!m_document->isOpen())
        return false;
    const QSize size = m_session->terrainSize();
    if (qint64(size.width()) * size.height() <= exportProgressPixels) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool written = m_session->exportImage(path, error);
        QApplication::restoreOverrideCursor();
        return written;
    }
    QProgressDialog progress(tr("Exporting %1").arg(nativePath(path)), tr("Cancel"), 0,
                             size.height(), m_window);
    progress.setWindowTitle(tr("Export Image"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setValue(0);
    return m_session->exportImage(path, error, [&progress](int rows) {
        progress.setValue(rows);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
}

bool FileCommands::close()
{
    if (!m_document->isOpen())
        return true;
    if (!maybeSave())
        return false;
    m_document->close();
    return true;
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
            progress = std::make_unique<QProgressDialog>(tr("Opening %1").arg(nativePath(path)),
                                                         tr("Cancel"), 0, LoadedMap::progressSteps,
                                                         m_window);
            progress->setWindowTitle(tr("Open"));
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
    return m_session->openFile(path, error, advance);
}
