#pragma once

#include <QDialog>

#include <memory>

class Ui_selectDialog;

// Asks for the terrain image of a new map: a path field, a "..." button that browses for a
// file, OK and Cancel. The caller reads the path after OK; the dialog does not check it.
class SelectImage : public QDialog
{
    Q_OBJECT

public:
    explicit SelectImage(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~SelectImage() override;

    QString terrainPath() const;
    void setTerrainPath(const QString &path);
    // The folder the "..." button's dialog opens in, and was last left in; empty at first, for
    // the current folder.
    QString browseFolder() const { return m_browseFolder; }
    void setBrowseFolder(const QString &folder) { m_browseFolder = folder; }

public slots:
    void fileTerrain();

private:
    std::unique_ptr<Ui_selectDialog> m_ui;
    QString m_browseFolder;
};
