#include "LibraryPanel.h"

#include "DirView.h"
#include "LibraryResults.h"
#include "LibraryResultsModel.h"
#include "core/LibraryIndex.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

LibraryPanel::LibraryPanel(LibraryIndex *index, QWidget *parent) : QWidget(parent), m_index(index)
{
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("libraryFilter"));
    m_filter->setClearButtonEnabled(true);
    m_stack = new QStackedWidget(this);
    m_tree = new DirView(m_stack);
    m_results = new LibraryResults(m_stack);
    m_stack->addWidget(m_tree);
    m_stack->addWidget(m_results);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_filter);
    layout->addWidget(m_stack, 1);

    connect(m_filter, &QLineEdit::textChanged, this, &LibraryPanel::showMatches);
    m_filter->installEventFilter(this);
    // Files that come and go, and the first indexing as it finishes, show in the list at once.
    connect(m_index, &LibraryIndex::changed, this, [this] {
        m_shownText.clear();
        if (!m_filter->text().isEmpty())
            showMatches();
    });
    setLibraryFolder(QString());
}

bool LibraryPanel::eventFilter(QObject *watched, QEvent *event)
{
    // Down in the field goes on to the first file found.
    if (watched != m_filter || event->type() != QEvent::KeyPress ||
        static_cast<QKeyEvent *>(event)->key() != Qt::Key_Down ||
        m_stack->currentWidget() != m_results || m_results->model()->rowCount() == 0)
        return QWidget::eventFilter(watched, event);
    m_results->setFocus(Qt::TabFocusReason);
    m_results->setCurrentIndex(m_results->model()->index(0, 0));
    return true;
}

void LibraryPanel::setRadarColours(const RadarColours *colours)
{
    m_tree->setRadarColours(colours);
    m_results->setRadarColours(colours);
}

void LibraryPanel::setLibraryFolder(const QString &folder)
{
    m_index->setRoot(folder);
    m_tree->setRootFolder(m_index->root());
    m_filter->clear();
    m_filter->setEnabled(!folder.isEmpty());
    m_filter->setPlaceholderText(folder.isEmpty() ? tr("Set a library folder to filter it")
                                                  : tr("Filter the library"));
}

void LibraryPanel::showMatches()
{
    const QString text = m_filter->text();
    if (text.isEmpty()) {
        m_shownText.clear();
        m_shown.clear();
        m_results->resultsModel()->setEntries({}, QString());
        m_stack->setCurrentWidget(m_tree);
        return;
    }
    // A letter typed at either end, or within, only narrows what is shown: that is searched
    // instead of the whole index.
    if (!m_shownText.isEmpty() && text.contains(m_shownText, Qt::CaseInsensitive)) {
        QList<LibraryIndex::Entry> narrowed;
        for (const LibraryIndex::Entry &entry : std::as_const(m_shown)) {
            if (entry.name.contains(text, Qt::CaseInsensitive))
                narrowed.append(entry);
        }
        m_shown = narrowed;
    } else {
        m_shown = m_index->matching(text);
    }
    m_shownText = text;
    m_results->resultsModel()->setEntries(m_shown, m_index->root());
    m_stack->setCurrentWidget(m_results);
}
