#include "EditCommands.h"

#include "CanvasView.h"
#include "DirView.h"
#include "core/MapSession.h"
#include "core/PlacementFile.h"
#include "core/StructurePreview.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>

#include <cmath>

const QString EditCommands::mimeType = QStringLiteral("application/x-valdrune-placements");

namespace {

// How long a message about the clipboard stays in the status bar.
constexpr int messageMs = 4000;

QList<Placement> copiesOf(const QList<Placement *> &placements)
{
    QList<Placement> copies;
    copies.reserve(placements.size());
    for (const Placement *placement : placements)
        copies.append(*placement);
    return copies;
}

} // namespace

EditCommands::EditCommands(MapSession *session, CanvasView *view, DirView *library,
                           QStatusBar *statusBar, QObject *parent)
    : QObject(parent), m_session(session), m_view(view), m_library(library), m_statusBar(statusBar)
{
    MapDocument *document = session->document();
    connect(document, &MapDocument::reset, this, &EditCommands::updateActions);
    connect(document, &MapDocument::placementsChanged, this, &EditCommands::updateActions);
    connect(session->selection(), &PlacementSelection::changed, this, &EditCommands::updateActions);
    connect(library, &DirView::currentStructureChanged, this, &EditCommands::chooseReplacement);
}

QAction *EditCommands::addAction(QMenu *menu, const QString &text, const QKeySequence &key,
                                 void (EditCommands::*slot)())
{
    QAction *action = menu->addAction(text);
    action->setShortcut(key);
    connect(action, &QAction::triggered, this, slot);
    return action;
}

void EditCommands::addClipboardActions(QMenu *menu)
{
    m_needSelection << addAction(menu, tr("Cut"), QKeySequence::Cut, &EditCommands::cut);
    m_needSelection << addAction(menu, tr("Copy"), QKeySequence::Copy, &EditCommands::copy);
    m_needMap << addAction(menu, tr("Paste"), QKeySequence::Paste, &EditCommands::paste);
    m_needMap << addAction(menu, tr("Paste in Place"),
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V),
                           &EditCommands::pasteInPlace);
    m_needSelection << addAction(menu, tr("Duplicate"), QKeySequence(Qt::CTRL | Qt::Key_D),
                                 &EditCommands::duplicate);
    // Cut also answers the platform's other keys for it (Shift+Del), Copy and Paste theirs.
    m_needSelection.at(0)->setShortcuts(QKeySequence::Cut);
    m_needSelection.at(1)->setShortcuts(QKeySequence::Copy);
    m_needMap.at(0)->setShortcuts(QKeySequence::Paste);
    updateActions();
}

void EditCommands::addSelectionActions(QMenu *menu)
{
    m_needMap << addAction(menu, tr("Select All"), QKeySequence::SelectAll,
                           &EditCommands::selectAll);
    m_needMap << addAction(menu, tr("Select None"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
                           &EditCommands::selectNone);
    m_needSelection << addAction(menu, tr("Select Same Structure"), QKeySequence(),
                                 &EditCommands::selectSameStructure);
    menu->addSeparator();
    m_replace =
        addAction(menu, tr("Replace Structure"), QKeySequence(), &EditCommands::replaceStructure);
    menu->addSeparator();
    // The keys of the drawing order belong to the map: elsewhere (the library's tree) they
    // keep their own meaning.
    const auto mapKey = [this](QAction *action) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_view->addAction(action);
        m_needSelection << action;
    };
    mapKey(addAction(menu, tr("Raise"), QKeySequence(Qt::Key_PageUp), &EditCommands::raise));
    mapKey(addAction(menu, tr("Lower"), QKeySequence(Qt::Key_PageDown), &EditCommands::lower));
    mapKey(addAction(menu, tr("Bring to Front"), QKeySequence(Qt::Key_Home),
                     &EditCommands::bringToFront));
    mapKey(
        addAction(menu, tr("Send to Back"), QKeySequence(Qt::Key_End), &EditCommands::sendToBack));
    menu->addSeparator();
    m_invisible = menu->addAction(tr("Invisible"));
    m_invisible->setCheckable(true);
    m_invisible->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(m_invisible, &QAction::triggered, this, &EditCommands::setInvisible);
    m_needSelection << m_invisible;
    updateActions();
}

void EditCommands::updateActions()
{
    const bool open = m_session->document()->isOpen();
    const PlacementSelection *selection = m_session->selection();
    for (QAction *action : std::as_const(m_needMap))
        action->setEnabled(open);
    for (QAction *action : std::as_const(m_needSelection))
        action->setEnabled(!selection->isEmpty());
    if (m_replace)
        m_replace->setEnabled(!selection->isEmpty() && !m_replacement.path.isEmpty());
    if (m_invisible) {
        // Checked when every selected placement carries the flag.
        const QSet<const Placement *> &selected = selection->members();
        m_invisible->setChecked(!selected.isEmpty() &&
                                std::all_of(selected.cbegin(), selected.cend(),
                                            [](const Placement *p) { return p->invisible; }));
    }
}

QMimeData *EditCommands::mimeDataOf(const QByteArray &placements)
{
    auto *data = new QMimeData;
    data->setData(mimeType, placements);
    data->setText(QString::fromUtf8(placements));
    return data;
}

void EditCommands::copy()
{
    const QList<Placement *> selected = m_session->selection()->placements();
    if (selected.isEmpty())
        return;
    QString error;
    const std::optional<QByteArray> bytes =
        PlacementFile::writePlacements(copiesOf(selected), &error);
    if (!bytes) {
        m_statusBar->showMessage(tr("The selection cannot be copied: %1").arg(error), messageMs);
        return;
    }
    QApplication::clipboard()->setMimeData(mimeDataOf(*bytes));
}

void EditCommands::cut()
{
    const QList<Placement *> selected = m_session->selection()->placements();
    if (selected.isEmpty())
        return;
    copy();
    m_session->document()->remove(selected, tr("Cut"));
}

void EditCommands::paste()
{
    pasteAt(false);
}

void EditCommands::pasteInPlace()
{
    pasteAt(true);
}

void EditCommands::pasteAt(bool inPlace)
{
    MapDocument *document = m_session->document();
    if (!document->isOpen())
        return;
    // Text from anywhere: read as a placement file is, within the same limits.
    const QMimeData *data = QApplication::clipboard()->mimeData();
    const QByteArray bytes = !data                       ? QByteArray()
                             : data->hasFormat(mimeType) ? data->data(mimeType)
                                                         : data->text().toUtf8();
    std::optional<QList<Placement>> placements = PlacementFile::readPlacements(bytes);
    if (!placements || placements->isEmpty()) {
        m_statusBar->showMessage(tr("The clipboard holds no placements."), messageMs);
        return;
    }
    if (!inPlace) {
        QRectF bounds;
        for (const Placement &placement : std::as_const(*placements))
            bounds |= QRectF(placement.position, QSizeF(placement.region.size()));
        QPoint cell;
        const QPointF target =
            m_view->isPointerOver() && m_view->cellAt(m_view->pointerPos(), &cell)
                ? QPointF(cell)
                : m_view->mapToScene(m_view->viewport()->rect().center());
        const QPointF delta(std::round(target.x() - bounds.center().x()),
                            std::round(target.y() - bounds.center().y()));
        for (Placement &placement : *placements)
            placement.position += delta;
        snapToGrid(*placements);
    }
    m_session->selection()->set(document->add(*placements, tr("Paste")));
    m_view->setFocus(Qt::OtherFocusReason);
}

void EditCommands::duplicate()
{
    QList<Placement> copies = copiesOf(m_session->selection()->placements());
    if (copies.isEmpty())
        return;
    // A grid step while snapping.
    const int step = m_view->grid().snaps() ? m_view->grid().size() : duplicateStep;
    for (Placement &placement : copies)
        placement.position += QPointF(step, step);
    snapToGrid(copies);
    m_session->selection()->set(m_session->document()->add(copies, tr("Duplicate")));
    m_view->setFocus(Qt::OtherFocusReason);
}

void EditCommands::snapToGrid(QList<Placement> &placements) const
{
    if (placements.isEmpty())
        return;
    // The first one's origin cell onto the grid, the others keeping their places around it.
    const QPointF shift = m_view->grid().snapCorrection(placements.constFirst());
    for (Placement &placement : placements)
        placement.position += shift;
}

void EditCommands::selectAll()
{
    m_session->selection()->set(m_session->document()->placements());
}

void EditCommands::selectNone()
{
    m_session->selection()->clear();
}

void EditCommands::selectSameStructure()
{
    QStringList paths;
    for (const Placement *placement : m_session->selection()->members()) {
        if (!paths.contains(placement->structurePath))
            paths.append(placement->structurePath);
    }
    if (paths.isEmpty())
        return;
    // Mostly a structure or two: comparing beats hashing every placement's path.
    const QSet<QString> many =
        paths.size() > 4 ? QSet<QString>(paths.cbegin(), paths.cend()) : QSet<QString>();
    QList<Placement *> same;
    for (Placement *placement : m_session->document()->placements()) {
        if (many.isEmpty() ? paths.contains(placement->structurePath)
                           : many.contains(placement->structurePath))
            same.append(placement);
    }
    m_session->selection()->set(same);
}

void EditCommands::chooseReplacement()
{
    // Rendered once when chosen, not each time the selection changes.
    m_replacement = StructurePayload();
    const QString path = m_library->currentStructurePath();
    if (!path.isEmpty() &&
        renderStructurePreview(path, m_session->radarColours(), m_replacement.image,
                               m_replacement.offset, m_replacement.region))
        m_replacement.path = path;
    updateActions();
}

void EditCommands::replaceStructure()
{
    const QList<Placement *> selected = m_session->selection()->placements();
    if (selected.isEmpty() || m_replacement.path.isEmpty())
        return;
    // The map draws the new structure from this image.
    m_session->addStructureImage(
        StructureImages::Key{m_replacement.path, m_replacement.region.size(), m_replacement.offset},
        m_replacement.image);
    m_session->document()->replaceStructure(selected, m_replacement.path, m_replacement.offset,
                                            m_replacement.region);
}

void EditCommands::raise()
{
    m_session->document()->raise(m_session->selection()->placements());
}

void EditCommands::lower()
{
    m_session->document()->lower(m_session->selection()->placements());
}

void EditCommands::bringToFront()
{
    m_session->document()->bringToFront(m_session->selection()->placements());
}

void EditCommands::sendToBack()
{
    m_session->document()->sendToBack(m_session->selection()->placements());
}

void EditCommands::setInvisible(bool invisible)
{
    m_session->document()->setInvisible(m_session->selection()->placements(), invisible);
    updateActions();
}
