#pragma once

#include <QMenu>
#include <QStringList>

class QSettings;

// File > Open Recent: the last maps opened or saved, newest first, each with its whole path as
// status tip, and "Clear Recent" at the end. The list is kept in the settings, when given.
class RecentMapsMenu : public QMenu
{
    Q_OBJECT

public:
    static constexpr int maximum = 10;

    explicit RecentMapsMenu(QWidget *parent = nullptr);

    QStringList maps() const { return m_maps; }
    // Takes the list kept in settings and keeps it there from now on; settings must outlive the
    // menu or be replaced first.
    void setSettings(QSettings *settings);
    // Puts the map at path first, once; the oldest beyond the maximum go.
    void add(const QString &path);
    void remove(const QString &path);
    void clear();

signals:
    // A map was chosen that is still there.
    void openRequested(const QString &path);
    // A map was chosen that is gone: it was taken off the list.
    void gone(const QString &path);

private:
    void store();
    void rebuild();

    QStringList m_maps;
    QSettings *m_settings = nullptr;
};
