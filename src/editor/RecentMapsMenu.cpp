#include "RecentMapsMenu.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString settingsKey = QStringLiteral("recentMaps");

} // namespace

RecentMapsMenu::RecentMapsMenu(QWidget *parent) : QMenu(tr("Open Recent"), parent)
{
    rebuild();
}

void RecentMapsMenu::setSettings(QSettings *settings)
{
    m_settings = settings;
    if (!settings)
        return;
    m_maps = settings->value(settingsKey).toStringList().mid(0, maximum);
    rebuild();
}

void RecentMapsMenu::add(const QString &path)
{
    const QString whole = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    m_maps.removeAll(whole);
    m_maps.prepend(whole);
    while (m_maps.size() > maximum)
        m_maps.removeLast();
    store();
}

void RecentMapsMenu::remove(const QString &path)
{
    m_maps.removeAll(path);
    store();
}

void RecentMapsMenu::clear()
{
    m_maps.clear();
    store();
}

void RecentMapsMenu::store()
{
    if (m_settings)
        m_settings->setValue(settingsKey, m_maps);
    rebuild();
}

void RecentMapsMenu::rebuild()
{
    // Later: the entry being chosen may be the one that asked for this.
    for (QAction *action : actions()) {
        removeAction(action);
        action->deleteLater();
    }
    for (const QString &path : std::as_const(m_maps)) {
        QAction *action = addAction(QFileInfo(path).fileName());
        action->setStatusTip(QDir::toNativeSeparators(path));
        connect(action, &QAction::triggered, this, [this, path] {
            if (QFileInfo(path).isFile()) {
                emit openRequested(path);
                return;
            }
            remove(path);
            emit gone(path);
        });
    }
    addSeparator();
    QAction *clearAction = addAction(tr("Clear Recent"));
    clearAction->setEnabled(!m_maps.isEmpty());
    connect(clearAction, &QAction::triggered, this, &RecentMapsMenu::clear);
}
