#pragma once

#include "LibraryPreviews.h"

#include <QPoint>
#include <QString>
#include <QTimer>
#include <QTreeView>

class DirModel;
class RadarColours;

// The structure library: a tree of folders and structure files. Dragging a structure file
// out of it renders the structure's preview and carries it as a "vd/tessary" payload; lists of
// structure names dropped on a folder become empty structure files there. Hovering a structure
// file shows its preview in the tooltip.
class DirView : public QTreeView
{
    Q_OBJECT

public:
    explicit DirView(QWidget *parent = nullptr);

    DirModel *dirModel() const { return m_model; }
    // The structure file the tree's current row names; empty when it names none.
    QString currentStructurePath() const;

    // Expands the tree down to folder, selects it and scrolls it into view, the rest of the file
    // system staying listed around it. Rows load in the background and push the folder away:
    // it is put back in view as they arrive, until the user clicks, scrolls, types or drags here.
    void revealFolder(const QString &folder);
    // Lists folder and what is below it alone; an empty folder lists the whole file system.
    void setRootFolder(const QString &folder);
    // The colours dragged and hovered previews are rendered in; null renders every tile black.
    // The colours must outlive the tree or be replaced first.
    void setRadarColours(const RadarColours *colours);

public slots:
    void refreshDir(QModelIndex index);

signals:
    // Another row became the current one (currentStructurePath()).
    void currentStructureChanged();
    // "Use as Library Folder" was chosen on a folder's row.
    void libraryFolderChosen(const QString &folder);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    bool viewportEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    // The structure drag above is the only drag this tree starts.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void continueReveal();
    void stopReveal();

    DirModel *m_model = nullptr;
    QPoint m_pressPos;      // where the left button went down, for the start of a drag
    QString m_revealFolder; // empty once revealed and left to the user
    QTimer m_revealTimer;   // gathers the model's bursts of changes into one re-reveal
    LibraryPreviews m_previews;
};
