#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

class MapSession;
class QPushButton;
class QTreeWidget;

// The files the open map names that are not where it says: each missing structure file with the
// number of placements using it and where it was found, if anywhere; the terrain if it is
// missing. Its buttons relink them, each as one step that can be undone: to the files found
// ("Use Found Files"), to files below a chosen folder with the most trailing path parts in
// common ("Locate Folder..."), or one to a chosen file ("Locate File...").
class MissingFilesPanel : public QWidget
{
    Q_OBJECT

public:
    explicit MissingFilesPanel(MapSession *session, QWidget *parent = nullptr);

    // Whether anything is missing.
    bool isEmpty() const;

public slots:
    void useFoundFiles();
    void locateFolder();
    void locateFile();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
    void refreshLater();
    void updateButtons();
    // Every missing file, by recorded path: structures, and the terrain.
    QStringList missingPaths() const;

    MapSession *m_session;
    QTreeWidget *m_list;
    QPushButton *m_useFound;
    QPushButton *m_locateFolder;
    QPushButton *m_locateFile;
    bool m_pending = false;
};
