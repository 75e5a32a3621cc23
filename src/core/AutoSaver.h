#pragma once

#include "RecoveryStore.h"

#include <QObject>
#include <QTimer>

class MapDocument;

// Keeps a document's unsaved changes in a recovery file: written at most an interval after a
// change while the map is modified, removed as soon as it is not (saved, changes undone, another
// map opened or made, the map closed) and when this ends with the program.
//
// The interval starts with the first change after a write and is not restarted by those that
// follow, so that a steady stream of changes is written every interval too.
class AutoSaver : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultInterval = 30000; // ms

    explicit AutoSaver(MapDocument *document,
                       const QString &folder = RecoveryStore::defaultFolder(),
                       QObject *parent = nullptr);

    RecoveryStore &store() { return m_store; }
    int interval() const { return m_timer.interval(); }
    void setInterval(int ms) { m_timer.setInterval(ms); }

private:
    void documentChanged();
    void writeDue();

    MapDocument *m_document;
    RecoveryStore m_store;
    QTimer m_timer;
};
