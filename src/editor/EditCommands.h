#pragma once

#include "core/Placement.h"
#include "core/StructurePayload.h"

#include <QList>
#include <QObject>
#include <QString>

class CanvasView;
class DirView;
class MapSession;
class QAction;
class QMenu;
class QMimeData;
class QStatusBar;

// The Edit menu's commands on the session's selection, as the user meets them: the clipboard
// (cut, copy, paste where the pointer is or in place, duplicate), choosing placements (all,
// none, those of the same structures), replacing their structure by the one chosen in the
// library, their drawing order and their invisible flag. Each change is one step of the
// history; what is pasted or duplicated is selected afterwards, with the map taking the keys.
//
// The clipboard carries placements as the placement file records them, without the terrain:
// as text, so that a text editor shows them and can give them back, and under a type of the
// program's own, so that another running copy takes them as they are.
class EditCommands : public QObject
{
    Q_OBJECT

public:
    // The type under which the clipboard carries placements.
    static const QString mimeType;
    // Cells between the originals and the copies Duplicate makes, right and down, while the
    // view does not snap to its grid (a grid step while it does).
    static constexpr int duplicateStep = 8;

    // Messages go to statusBar; the library's current structure is what Replace Structure uses.
    EditCommands(MapSession *session, CanvasView *view, DirView *library, QStatusBar *statusBar,
                 QObject *parent = nullptr);

    // Adds the commands to menu, after the history's entries and around its Delete entry.
    void addClipboardActions(QMenu *menu);
    void addSelectionActions(QMenu *menu);

    // The selected placements on the clipboard; empty when nothing is selected.
    static QMimeData *mimeDataOf(const QByteArray &placements);

public slots:
    void cut();
    void copy();
    void paste();
    void pasteInPlace();
    void duplicate();
    void selectAll();
    void selectNone();
    void selectSameStructure();
    void replaceStructure();
    void raise();
    void lower();
    void bringToFront();
    void sendToBack();
    void setInvisible(bool invisible);

private:
    QAction *addAction(QMenu *menu, const QString &text, const QKeySequence &key,
                       void (EditCommands::*slot)());
    // Pastes the clipboard's placements, moved so that the middle of their bounds is at the
    // pointer's cell (over the map) or the view's middle, or where they were recorded.
    void pasteAt(bool inPlace);
    // Takes the library's current structure file as the replacement, when it can be drawn.
    void chooseReplacement();
    void updateActions();
    // While the view snaps: the group moved so that its first placement's origin cell lies on
    // the grid.
    void snapToGrid(QList<Placement> &placements) const;

    MapSession *m_session;
    CanvasView *m_view;
    DirView *m_library;
    QStatusBar *m_statusBar;
    QList<QAction *> m_needSelection; // on only while something is selected
    QList<QAction *> m_needMap;       // on only while a map is open
    QAction *m_replace = nullptr;
    QAction *m_invisible = nullptr;
    StructurePayload m_replacement; // its path empty while there is none
};
