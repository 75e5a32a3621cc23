#include "TestSupport.h"

#include "core/RadarColours.h"
#include "core/StructurePreview.h"
#include "editor/CanvasView.h"

#include <QApplication>
#include <QDialog>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <memory>

namespace TestSupport {

QString openRadarColours(const QTemporaryDir &dir, RadarColours &colours, quint32 seed)
{
    const QString path = dir.filePath(QStringLiteral("radar-%1.bin").arg(seed));
    DemoData::writeFile(path, DemoData::radarColourBytes(seed));
    colours.open(path);
    return path;
}

QString writeBytes(const QTemporaryDir &dir, const QByteArray &bytes, const QString &suffix)
{
    const QString path = dir.filePath(QString::number(qHash(bytes), 16) + suffix);
    return DemoData::writeFile(path, bytes) ? path : QString();
}

QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root,
                         QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        QFile file(it.next());
        files.insert(file.fileName(), file.open(QIODevice::ReadOnly) ? file.readAll() : "");
    }
    return files;
}

QString writeStructure(const QTemporaryDir &dir, const QString &name,
                       const QList<DemoData::Tile> &tiles, const QByteArray &trailing)
{
    const QString path = dir.filePath(name);
    DemoData::writeFile(path, DemoData::structureBytes(tiles, trailing));
    return QFileInfo(path).absoluteFilePath();
}

StructurePayload payloadFor(const QString &path, const RadarColours &colours)
{
    StructurePayload payload;
    payload.path = path;
    renderStructurePreview(path, colours, payload.image, payload.offset, payload.region);
    return payload;
}

void dragIn(CanvasView &view, const StructurePayload &payload, QPoint pos)
{
    const std::unique_ptr<QMimeData> data(payload.toMimeData());
    QDragEnterEvent enter(pos, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drop);
}

QString writeTerrain(const QTemporaryDir &dir, const QString &name, int width, int height)
{
    const QString path = dir.filePath(name);
    DemoData::terrainImage(width, height, 3).save(path);
    return path;
}

void acceptFileDialog(QWidget *modal, const QString &path)
{
    // Types into the dialog's name field, as a person would, and presses Return; any other
    // modal widget is closed.
    if (auto *nameEdit = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
        nameEdit->setText(path);
        QTest::keyClick(nameEdit, Qt::Key_Return);
    } else {
        modal->close();
    }
}

void rejectDialog(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

ModalScript::ModalScript(QList<Answer> answers) : m_answers(std::move(answers))
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start(10);
}

void ModalScript::poll()
{
    QWidget *modal = QApplication::activePopupWidget();
    if (!modal)
        modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    seen << QString::fromLatin1(modal->metaObject()->className());
    if (m_answers.isEmpty()) {
        rejectDialog(modal);
        return;
    }
    m_answers.takeFirst()(modal);
}

} // namespace TestSupport
