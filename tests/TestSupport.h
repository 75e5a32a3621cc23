#pragma once

#include "DemoData.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include "core/StructurePayload.h"

class CanvasView;
class QWidget;
class RadarColours;

namespace TestSupport {

// Writes a full generated radar colour table (seed given) into dir and opens colours on it;
// returns its path.
QString openRadarColours(const QTemporaryDir &dir, RadarColours &colours, quint32 seed = 7);

// Writes bytes into dir under a name made from them (the same bytes, the same file) and the
// suffix; returns the path.
QString writeBytes(const QTemporaryDir &dir, const QByteArray &bytes, const QString &suffix = {});

// Every file and folder below root, by absolute path, with its content (a folder's is empty).
QMap<QString, QByteArray> snapshot(const QString &root);

// Writes a structure file into dir and returns its absolute path.
QString writeStructure(const QTemporaryDir &dir, const QString &name,
                       const QList<DemoData::Tile> &tiles,
                       const QByteArray &trailing = QByteArray());

// What the library tree's drag carries for the structure file at path.
StructurePayload payloadFor(const QString &path, const RadarColours &colours);

// Drags payload into the view at a viewport position and drops it there, with the data the
// library tree's drag carries.
void dragIn(CanvasView &view, const StructurePayload &payload, QPoint pos);

// Writes a terrain image of the given size into dir and returns its path.
QString writeTerrain(const QTemporaryDir &dir, const QString &name, int width, int height);

// Common answers.
void acceptFileDialog(QWidget *modal, const QString &path); // types path and accepts
void rejectDialog(QWidget *modal);

// Answers the modal widgets (menus, dialogs, message boxes) that show up, in order, from a
// polling timer; records the class of every one it sees and dismisses any beyond the script.
class ModalScript
{
public:
    using Answer = std::function<void(QWidget *)>;

    explicit ModalScript(QList<Answer> answers = {});

    QStringList seen;

private:
    void poll();

    QList<Answer> m_answers;
    QTimer m_timer;
};

} // namespace TestSupport
