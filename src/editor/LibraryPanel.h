#pragma once

#include "core/LibraryIndex.h"

#include <QWidget>

class DirView;
class LibraryResults;
class QLineEdit;
class QStackedWidget;
class RadarColours;

// The "Files" dock: a filter field above the folder tree. Typed text lists the structure files
// below the library folder whose names contain it, from the library's index, in place of the
// tree; clearing it brings the tree back, and Down goes on to the first file found. The filter
// is on only while there is a library folder.
class LibraryPanel : public QWidget
{
    Q_OBJECT

public:
    // The index must outlive the panel.
    explicit LibraryPanel(LibraryIndex *index, QWidget *parent = nullptr);

    DirView *tree() const { return m_tree; }
    LibraryResults *results() const { return m_results; }
    QLineEdit *filterField() const { return m_filter; }
    void setRadarColours(const RadarColours *colours);
    // Indexes folder and roots the tree there; empty for none, the tree listing the whole file
    // system.
    void setLibraryFolder(const QString &folder);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMatches();

    LibraryIndex *m_index;
    QLineEdit *m_filter = nullptr;
    QStackedWidget *m_stack = nullptr;
    DirView *m_tree = nullptr;
    LibraryResults *m_results = nullptr;
    QString m_shownText; // the text the results were found for; empty after the index changed
    QList<LibraryIndex::Entry> m_shown;
};
