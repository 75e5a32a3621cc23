#include "AutoSaver.h"

#include "MapDocument.h"

AutoSaver::AutoSaver(MapDocument *document, const QString &folder, QObject *parent)
    : QObject(parent), m_document(document), m_store(folder)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(defaultInterval);
    connect(&m_timer, &QTimer::timeout, this, &AutoSaver::writeDue);
    // Every change is a step on the history, or leaves it altogether (open, new, close).
    connect(document->undoStack(), &QUndoStack::indexChanged, this, &AutoSaver::documentChanged);
    connect(document, &MapDocument::modifiedChanged, this, &AutoSaver::documentChanged);
    connect(document, &MapDocument::reset, this, &AutoSaver::documentChanged);
}

void AutoSaver::documentChanged()
{
    if (!m_document->isModified()) {
        m_timer.stop();
        m_store.discard();
    } else if (!m_timer.isActive()) {
        m_timer.start();
    }
}

void AutoSaver::writeDue()
{
    if (!m_document->isModified())
        return;
    // A large map still being written: the next try writes what has changed by then.
    if (m_store.isBusy()) {
        m_timer.start();
        return;
    }
    // The map is copied here, on the thread that changes it; written on the store's thread.
    m_store.write(m_document->content(), m_document->fileName());
}
