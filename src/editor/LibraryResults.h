#pragma once

#include "LibraryPreviews.h"

#include <QPoint>
#include <QTreeView>

class LibraryResultsModel;
class RadarColours;

// The structure files the library's filter found, with their folders: hovering one shows its
// preview, and dragging one carries it onto the map as a drag from the "Files" tree does.
class LibraryResults : public QTreeView
{
    Q_OBJECT

public:
    explicit LibraryResults(QWidget *parent = nullptr);

    LibraryResultsModel *resultsModel() const { return m_model; }
    // The colours previews are rendered in, as DirView::setRadarColours.
    void setRadarColours(const RadarColours *colours);

protected:
    bool viewportEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    // The structure drag is the only drag this list starts.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    LibraryResultsModel *m_model = nullptr;
    QPoint m_pressPos; // where the left button went down, for the start of a drag
    LibraryPreviews m_previews;
};
