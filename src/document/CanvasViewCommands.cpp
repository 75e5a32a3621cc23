// The map view's document: reading and writing placement files, and the File commands.

#include "canvas/Canvas.h"
#include "canvas/CanvasItem.h"
#include "canvas/CanvasView.h"
#include "dialogs/SelectImage.h"
#include "document/PlacementFile.h"
#include "library/StructureFile.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QHash>
#include <QLineEdit>
#include <QMessageBox>
#include <QSaveFile>

#include <iostream>

PlacementDocument CanvasView::document() const
{
    PlacementDocument document;
    document.terrainPath = terrainFile;
    if (!canvas)
        return document;
    const QList<CanvasItem *> &items = canvas->allItems();
    document.placements.reserve(items.size());
    for (const CanvasItem *item : items) {
        Placement placement;
        placement.position = item->pos();
        placement.offset = item->offset;
        placement.region = item->region;
        placement.structurePath = item->filePath;
        placement.invisible = item->invisible;
        document.placements.append(placement);
    }
    return document;
}

bool CanvasView::writePlacementFile(const QString &path, QString *error)
{
    if (!canvas)
        return true;
    const PlacementDocument doc = document();
    const std::optional<QByteArray> bytes = PlacementFile::write(doc, error);
    if (!bytes)
        return false;

    QSaveFile file(path);
    // Unbuffered, so that a write cut short (disk full, file size limit) shows in write()'s
    // count: a buffered flush that stops part way is not reported, and commit() would put the
    // truncated file in place of the previous one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    for (const Placement &placement : doc.placements)
        std::cout << PlacementFile::itemIsAtLine(placement.position).constData() << '\n';
    std::cout.flush();

    if (file.write(*bytes) != bytes->size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool CanvasView::readPlacementFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // Read as it goes: a file over the size limit is refused before a byte of it is read.
    const std::optional<PlacementDocument> doc = PlacementFile::read(file, error);
    file.close();
    if (!doc)
        return false;

    newCanvas(doc->terrainPath);
    // Each structure is rendered at most once per file, however many times it is placed and
    // however many distinct structures push each other out of the image cache meanwhile.
    QHash<QString, QPixmap> pixmaps;
    for (const Placement &placement : doc->placements) {
        // A region that no structure can have makes a placeholder, whatever another placement
        // of the same structure file has rendered.
        const QSize size = placement.region.size();
        const bool renderable = size.width() > 0 && size.height() > 0 &&
                                size.width() <= StructureFile::maximumExtent &&
                                size.height() <= StructureFile::maximumExtent;
        auto found = renderable ? pixmaps.constFind(placement.structurePath) : pixmaps.cend();
        if (renderable && found == pixmaps.cend()) {
            const QImage *image =
                structureImage(placement.structurePath, placement.region, placement.offset);
            found = pixmaps.insert(placement.structurePath,
                                   image ? QPixmap::fromImage(*image) : QPixmap());
        }
        auto *item = new CanvasItem(renderable ? *found : QPixmap(), canvas);
        item->offset = placement.offset;
        item->filePath = placement.structurePath;
        item->region = placement.region;
        item->invisible = placement.invisible;
        item->setPos(placement.position);
        item->show();
    }
    return true;
}

bool CanvasView::maybeSave()
{
    if (!canvas || !modified)
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, QStringLiteral("Save changes"), QStringLiteral("Save changes before closing?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoButton);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes)
        return fileSave();
    return true;
}

bool CanvasView::fileSave()
{
    if (!canvas || !modified)
        return true;
    if (documentFile.isEmpty()) {
        const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Save as"));
        if (chosen.isEmpty())
            return false;
        documentFile = chosen;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool saved = writePlacementFile(documentFile, &error);
    QApplication::restoreOverrideCursor();
    if (!saved) {
        QMessageBox::warning(this, QStringLiteral("Save failed"),
                             QStringLiteral("The placements could not be saved to %1:\n%2")
                                 .arg(QDir::toNativeSeparators(documentFile), error));
        return false;
    }
    modified = false;
    return true;
}

void CanvasView::fileClose()
{
    if (!canvas)
        return;
    if (!fileSave())
        return;
    closeCanvas();
    modified = false;
    documentFile.clear();
}

void CanvasView::fileNew()
{
    if (!maybeSave())
        return;
    SelectImage dialog;
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString path = dialog.ui.lineTerrain->text();
    if (!QFile::exists(path))
        return;
    newCanvas(path);
    modified = false;
    documentFile.clear();
}

void CanvasView::fileOpen()
{
    if (!maybeSave())
        return;
    const QString chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Open File"));
    if (chosen.isEmpty()) {
        // As after Close: the map stays, but the next save asks where to go.
        documentFile.clear();
        return;
    }
    QString error;
    if (!readPlacementFile(chosen, &error)) {
        // The previous map, its file name and its flag stay exactly as they were.
        QMessageBox::warning(this, QStringLiteral("Open failed"),
                             QStringLiteral("The placements could not be read from %1:\n%2")
                                 .arg(QDir::toNativeSeparators(chosen), error));
        return;
    }
    documentFile = chosen;
    modified = false;
}
