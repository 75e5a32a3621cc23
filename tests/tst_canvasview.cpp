// The map view as the user meets it: making a map, scaling, structures dragged in from the
// library, grabbing and moving items, their context menu and tooltip, what is painted, the map
// as exported, and the canvas's index of its items.

#include "TestSupport.h"
#include "core/MapDocument.h"
#include "core/MapRenderer.h"
#include "core/MapSession.h"
#include "core/PlacementFile.h"
#include "core/RadarColours.h"
#include "core/StructurePayload.h"
#include "core/StructurePreview.h"
#include "editor/Canvas.h"
#include "editor/CanvasItem.h"
#include "editor/CanvasView.h"
#include "editor/FileCommands.h"
#include "editor/OverviewWidget.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPicture>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>

#include <list>
#include <memory>

namespace {

constexpr quint32 radarSeed = 7;
constexpr quint16 cornerId = 10; // purple family
constexpr quint16 bodyId = 200;  // red family
constexpr quint16 wallId = 150;

QRgb tileColour(quint16 id)
{
    return RadarColours::pixelFromWord(DemoData::radarWord(radarSeed, id)) & 0xFFFFFF;
}

QRgb rgbAt(const QImage &image, QPoint pos)
{
    return image.pixel(pos) & 0xFFFFFF;
}

using TestSupport::ModalScript;

// Chooses the entry with the given text from the item menu, by a click on it or by triggering
// its action (as keyboard and accessibility tools do), or presses Escape when there is none.
// Notes the entries shown in *shown, a checkable one as "text [ ]" or "text [x]".
ModalScript::Answer menuAnswer(const QString &choice, QStringList *shown = nullptr,
                               bool trigger = false)
{
    return [=](QWidget *modal) {
        auto *menu = qobject_cast<QMenu *>(modal);
        QAction *chosen = nullptr;
        for (QAction *action : menu->actions()) {
            const QString box = !action->isCheckable() ? "" : action->isChecked() ? " [x]" : " [ ]";
            if (shown)
                *shown << action->text() + box;
            chosen = action->text() == choice ? action : chosen;
        }
        if (!chosen)
            QTest::keyClick(menu, Qt::Key_Escape);
        else if (trigger)
            chosen->trigger(), menu->close();
        else
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
    };
}

// Sends one drag notification to the viewport and says whether the view accepted it.
template <typename Event> bool send(QWidget *viewport, QPoint pos, const QMimeData *data)
{
    Event event(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &event);
    return event.isAccepted();
}

// Presses the left button at from, moves half way and on to to, and releases there.
void leftDrag(QWidget *viewport, QPoint from, QPoint to)
{
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport, (from + to) / 2);
    QTest::mouseMove(viewport, to);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
}

QString tooltipAt(CanvasView &view, QPoint viewportPos)
{
    QHelpEvent help(QEvent::ToolTip, viewportPos, view.viewport()->mapToGlobal(viewportPos));
    QApplication::sendEvent(view.viewport(), &help);
    return QToolTip::text();
}

} // namespace

class TestCanvasView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestSupport::openRadarColours(m_dir, m_colours, radarSeed);
        m_terrain = TestSupport::writeTerrain(m_dir, QStringLiteral("terrain.png"), 400, 300);
        m_smallTerrain = TestSupport::writeTerrain(m_dir, QStringLiteral("small.png"), 120, 80);

        // A 4 x 3 tower with tiles x 10..13, y 20..22; its corner cell has its own colour and its
        // bottom-right cell is empty. An 8 x 1 wall.
        QList<DemoData::Tile> tower, wall;
        for (int i = 0; i < 11; ++i)
            tower.append({i ? bodyId : cornerId, qint16(10 + i % 4), qint16(20 + i / 4), 0});
        for (qint16 x = -2; x <= 5; ++x)
            wall.append({wallId, x, 0, 0});
        m_tower = TestSupport::writeStructure(m_dir, QStringLiteral("tower.mlt"), tower);
        m_towerPayload = TestSupport::payloadFor(m_tower, m_colours);
        m_wallPayload = TestSupport::payloadFor(
            TestSupport::writeStructure(m_dir, QStringLiteral("wall.mlt"), wall), m_colours);
        QVERIFY(tileColour(cornerId) != tileColour(bodyId));
    }

    void cleanup()
    {
        QToolTip::hideText();
        QTRY_VERIFY(QToolTip::text().isEmpty());
        QVERIFY(!QApplication::activePopupWidget());
    }

    void mapLifecycle()
    {
        // Without a map the pointer does nothing: no grab, no menu, no tooltip.
        const auto view = makeView(1, false);
        QWidget *viewport = view->viewport();
        const std::unique_ptr<QMimeData> data(m_towerPayload.toMimeData());
        {
            ModalScript script;
            leftDrag(viewport, QPoint(10, 10), QPoint(20, 20));
            QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(20, 20));
            QCOMPARE(tooltipAt(*view, QPoint(20, 20)), QString());
            QVERIFY(!send<QDragEnterEvent>(viewport, QPoint(20, 20), data.get()));
            QVERIFY(script.seen.isEmpty());
            QVERIFY(!view->canvas() && !view->session()->document()->isModified());
        }

        // A map whose terrain may still be read when it is replaced; a drag in progress then
        // loses its item with the map.
        view->session()->newMap(m_terrain);
        const QRgb background = viewport->palette().color(viewport->backgroundRole()).rgb();
        QTRY_VERIFY(rgbAt(viewport->grab().toImage(), QPoint(200, 150)) != (background & 0xFFFFFF));
        QCOMPARE(view->canvas()->sceneRect(), QRectF(0, 0, 400, 300));
        place(*view, m_towerPayload, QPoint(20, 20));
        QVERIFY(view->session()->document()->isModified());
        QVERIFY(send<QDragEnterEvent>(viewport, QPoint(60, 60), data.get()));

        view->session()->newMap(m_smallTerrain);
        // Nothing of the old terrain shows meanwhile.
        QCOMPARE(rgbAt(viewport->grab().toImage(), QPoint(200, 150)), background & 0xFFFFFF);
        QCOMPARE(view->sceneRect(), QRectF(0, 0, 120, 80));
        QVERIFY(view->canvas()->allItems().isEmpty() && !view->session()->document()->isModified());
        QVERIFY(!send<QDropEvent>(viewport, QPoint(60, 60), data.get()));
        QDragLeaveEvent leave;
        QApplication::sendEvent(viewport, &leave);

        // The new terrain is what is drawn, once it has been read.
        QTRY_VERIFY(!view->session()->isTerrainLoading());
        const QImage terrain(m_smallTerrain);
        const QImage shown = viewport->grab().toImage();
        for (const QPoint p : {QPoint(0, 0), QPoint(60, 40), QPoint(119, 79)})
            QCOMPARE(rgbAt(shown, p), rgbAt(terrain, p));

        // A structure dragged in afterwards lands on the new map.
        QCOMPARE(place(*view, m_towerPayload, QPoint(7, 8))->pos(), QPointF(7, 8));
    }

    void dragPlacesItem_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<QPoint>("scroll");
        QTest::addColumn<QList<QPoint>>("path");   // viewport: enter, moves..., end
        QTest::addColumn<QList<QPoint>>("canvas"); // where the item's top-left is at each step
        QTest::addColumn<bool>("drop"); // false: the drag leaves the view, then comes back

        // Viewport positions map to (viewport + scroll) / scale, halves rounded upwards.
        using Points = QList<QPoint>;
        const Points path = {{30, 40}, {31, 41}, {45, 44}, {44, 60}, {50, 61}};
        QTest::newRow("scale 1 scrolled, dropped")
            << 1 << QPoint(20, 30) << path
            << Points{{50, 70}, {51, 71}, {65, 74}, {64, 90}, {70, 91}} << true;
        QTest::newRow("scale 2, halves round up, left")
            << 2 << QPoint() << Points{{5, 7}, {1, 1}, {4, 6}, {9, 9}}
            << Points{{3, 4}, {1, 1}, {2, 3}, {5, 5}} << false;
        QTest::newRow("scale 3 scrolled, left")
            << 3 << QPoint(30, 15) << Points{{5, 7}, {40, 50}, {41, 52}}
            << Points{{12, 7}, {23, 22}, {24, 22}} << false;
        QTest::newRow("scale 6 scrolled, below and at half, dropped")
            << 6 << QPoint(600, 300) << Points{{2, 2}, {3, 3}, {17, 18}}
            << Points{{100, 50}, {101, 51}, {103, 53}} << true;
    }

    void dragPlacesItem()
    {
        QFETCH(int, scale);
        QFETCH(QPoint, scroll);
        QFETCH(QList<QPoint>, path);
        QFETCH(QList<QPoint>, canvas);
        QFETCH(bool, drop);

        const auto view = makeView(scale);
        view->horizontalScrollBar()->setValue(scroll.x());
        view->verticalScrollBar()->setValue(scroll.y());
        QWidget *viewport = view->viewport();
        MapDocument *document = view->session()->document();
        const std::unique_ptr<QMimeData> data(m_towerPayload.toMimeData());
        // Whatever the payload's decoder refuses, the view refuses.
        QMimeData broken;
        broken.setData(StructurePayload::mimeType, m_towerPayload.encode().chopped(1));
        QVERIFY(!send<QDragEnterEvent>(viewport, path.first(), &broken));

        QVERIFY(send<QDragEnterEvent>(viewport, path.first(), data.get()));
        QCOMPARE(view->canvas()->allItems().size(), 1);
        CanvasItem *item = view->canvas()->allItems().first();
        QVERIFY(item->isVisible());
        QCOMPARE(item->pos(), QPointF(canvas.first()));
        QCOMPARE(item->pixmap().size(), QSize(4, 3));

        // The top-left pixel of the preview stays under the pointer; the map changes only
        // when the structure is dropped.
        for (int i = 1; i + 1 < path.size(); ++i) {
            QVERIFY(send<QDragMoveEvent>(viewport, path[i], data.get()));
            QCOMPARE(item->pos(), QPointF(canvas[i]));
            QCOMPARE(shownOnScreen(*view), freshlyPainted(*view));
        }
        QVERIFY(document->placements().isEmpty() && !document->isModified());
        if (!drop) {
            // The item goes with the drag; coming back makes a new one.
            QDragLeaveEvent leave;
            QApplication::sendEvent(viewport, &leave);
            QVERIFY(view->canvas()->allItems().isEmpty());
            QCOMPARE(shownOnScreen(*view), freshlyPainted(*view));
            QVERIFY(!document->isModified());
            QVERIFY(send<QDragEnterEvent>(viewport, path.last(), data.get()));
        }
        QVERIFY(send<QDropEvent>(viewport, path.last(), data.get()));
        Placement expected{QPointF(canvas.last()), QPoint(10, 20), QRect(0, 0, 4, 3), m_tower};
        QCOMPARE(document->content().placements, QList<Placement>{expected});
        QCOMPARE(view->canvas()->allItems().first()->pos(), QPointF(canvas.last()));
        QCOMPARE(document->undoStack()->undoText(), QStringLiteral("Place"));

        // Undone, the structure leaves the map; redone, it is drawn anew.
        document->undoStack()->undo();
        QCOMPARE(shownOnScreen(*view), freshlyPainted(*view));
        document->undoStack()->redo();
        QCOMPARE(shownOnScreen(*view), freshlyPainted(*view));
    }

    // A press on a structure grabs it; it follows the pointer, and the release makes the move
    // one step of the history. Escape puts it back where the press found it.
    void grabAndMove_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<bool>("escape");
        for (const int s : {1, 2, 3})
            QTest::addRow("scale %d", s) << s << false;
        QTest::newRow("scale 2, Escape") << 2 << true;
    }

    void grabAndMove()
    {
        QFETCH(int, scale);
        QFETCH(bool, escape);
        // Viewport positions: the press on the item, then moves by whole and part canvas pixels.
        const int s = scale;
        const QList<QPoint> path = {{22 * s, 11 * s},
                                    {22 * s + 1, 11 * s},
                                    {30 * s, 15 * s + 1},
                                    {26 * s - 1, 40 * s},
                                    {5 * s, 2 * s}};

        const auto view = makeView(scale);
        QWidget *viewport = view->viewport();
        MapDocument *document = view->session()->document();
        CanvasItem *other = place(*view, m_wallPayload, QPoint(200, 200));
        CanvasItem *item = place(*view, m_towerPayload, QPoint(20, 10) * scale);
        QCOMPARE(item->pos(), QPointF(20, 10));
        const int steps = document->undoStack()->count();

        QTest::mousePress(viewport, Qt::LeftButton, {}, path.first());
        const QPoint pressed = view->toCanvas(path.first());
        for (int i = 1; i < path.size(); ++i) {
            QTest::mouseMove(viewport, path[i]);
            QCOMPARE(item->pos(), QPointF(QPoint(20, 10) + view->toCanvas(path[i]) - pressed));
            // Where the item was and where it is now are repainted: no trail is left.
            QCOMPARE(shownOnScreen(*view), freshlyPainted(*view));
        }
        QCOMPARE(document->placements().last()->position, QPointF(20, 10));
        if (escape) {
            QTest::keyClick(view.get(), Qt::Key_Escape);
            QCOMPARE(item->pos(), QPointF(20, 10));
            QCOMPARE(shownOnScreen(*view), freshlyPainted(*view));
            QTest::mouseMove(viewport, path[2]); // the button is still held
        }
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, path.last());
        const QPointF released = escape ? QPointF(20, 10) : QPointF(3, 1);
        QCOMPARE(document->placements().last()->position, released);
        QCOMPARE(document->undoStack()->count(), steps + (escape ? 0 : 1));
        QCOMPARE(other->pos(), QPointF(view->toCanvas(QPoint(200, 200))));

        // A press on the tower's empty cell grabs nothing.
        const QPoint emptyCell = (released.toPoint() + QPoint(3, 2)) * scale;
        leftDrag(viewport, emptyCell, emptyCell + QPoint(20, 30));
        QCOMPARE(item->pos(), released);
        if (!escape) {
            document->undoStack()->undo();
            QCOMPARE(item->pos(), QPointF(20, 10));
            QCOMPARE(shownOnScreen(*view), freshlyPainted(*view));
        }
    }

    // What presses, Ctrl+presses and rubber bands select; a drag of any selected structure
    // moves them all, the arrow keys a map cell (Shift: ten), each drag and each run of key
    // presses one step of the history.
    void selection_data()
    {
        // "click A", "ctrl B", "band x y x y" (canvas), "drag A" by (10, 6), "keys RRd"
        // (Left Up Right Down, lower case with Shift)
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QPoint>("moved"); // what the selected structures moved by
        QTest::addColumn<int>("steps");

        const QPoint still;
        QTest::newRow("click another") << QStringList{"click A", "click B"} << "B" << still << 0;
        QTest::newRow("Ctrl adds, a drag moves both")
            << QStringList{"click A", "ctrl C", "drag A"} << "AC" << QPoint(10, 6) << 1;
        QTest::newRow("Ctrl takes out")
            << QStringList{"click A", "ctrl B", "ctrl A"} << "B" << still << 0;
        QTest::newRow("ground clears")
            << QStringList{"click A", "click ground"} << "" << still << 0;
        QTest::newRow("Ctrl on ground keeps")
            << QStringList{"click A", "ctrl ground"} << "A" << still << 0;
        QTest::newRow("press on the selection keeps it, drag")
            << QStringList{"click A", "ctrl B", "drag B"} << "AB" << QPoint(10, 6) << 1;
        QTest::newRow("band touching two") << QStringList{"band 10 10 61 21"} << "AB" << still << 0;
        QTest::newRow("band drawn backwards, keys")
            << QStringList{"band 64 23 10 10", "keys R"} << "AB" << QPoint(1, 0) << 1;
        QTest::newRow("band on the ground")
            << QStringList{"click A", "band 100 100 110 110"} << "" << still << 0;
        QTest::newRow("band inside the empty cell")
            << QStringList{"band 23 22 23 22"} << "A" << still << 0;
        QTest::newRow("a run of keys")
            << QStringList{"click A", "keys RRDlu"} << "A" << QPoint(-8, -9) << 1;
        QTest::newRow("two runs of keys")
            << QStringList{"click A", "keys RR", "click A", "keys d"} << "A" << QPoint(2, 10) << 2;
    }

    void selection()
    {
        QFETCH(QStringList, actions);
        QFETCH(QString, selected);
        QFETCH(QPoint, moved);
        QFETCH(int, steps);

        const int scale = 2;
        const auto view = makeView(scale);
        QWidget *viewport = view->viewport();
        MapDocument *document = view->session()->document();
        const QMap<QChar, QPoint> at{{'A', {20, 20}}, {'B', {60, 20}}, {'C', {20, 60}}};
        for (const QPoint p : at)
            place(*view, m_towerPayload, p * scale);
        QSignalSpy changed(view.get(), &CanvasView::placementSelectionChanged);
        // Where a structure is now, to press on.
        const auto grip = [&](QChar name) {
            return (document->placements().at(name.unicode() - 'A')->position.toPoint() +
                    QPoint(1, 1)) *
                   scale;
        };

        for (const QString &action : actions) {
            const QStringList words = action.split(' ');
            const bool onOne = words[0] != "band" && words[0] != "keys" && words[1] != "ground";
            const QPoint pos = onOne ? grip(words[1][0]) : QPoint(300, 240);
            if (words[0] == "band") {
                leftDrag(viewport, QPoint(words[1].toInt(), words[2].toInt()) * scale,
                         QPoint(words[3].toInt(), words[4].toInt()) * scale);
            } else if (words[0] == "drag") {
                leftDrag(viewport, pos, pos + QPoint(10, 6) * scale);
            } else if (words[0] == "keys") {
                for (const QChar key : words[1])
                    QTest::keyClick(view.get(),
                                    Qt::Key(Qt::Key_Left + QString("LURD").indexOf(key.toUpper())),
                                    key.isLower() ? Qt::ShiftModifier : Qt::NoModifier);
            } else {
                QTest::mouseClick(viewport, Qt::LeftButton,
                                  words[0] == "ctrl" ? Qt::ControlModifier : Qt::NoModifier, pos);
            }
        }
        QString seen;
        for (const Placement *placement : view->selectedPlacements())
            seen += QChar(char16_t('A' + document->placements().indexOf(placement)));
        QCOMPARE(seen, selected);
        QVERIFY(!changed.isEmpty() && changed.last().first().toBool() == !selected.isEmpty());
        QCOMPARE(document->undoStack()->count(), 3 + steps);
        // Where each structure is now; a selected one is outlined one screen pixel wide just
        // outside its bounds, in black with white dashes, and nothing else is drawn over.
        // The scroll bars go once the map fits.
        QTRY_COMPARE(shownOnScreen(*view), freshlyPainted(*view));
        const QImage shown = shownOnScreen(*view);
        for (auto it = at.cbegin(); it != at.cend(); ++it) {
            const QPoint now = it.value() + (selected.contains(it.key()) ? moved : QPoint());
            QCOMPARE(view->structureAt(now + QPoint(1, 1))->placement()->position, QPointF(now));
            const QRect box(now * scale, QSize(4, 3) * scale), edge = box.adjusted(-1, -1, 1, 1);
            for (int y = box.top() - 2; y <= box.bottom() + 2; ++y) {
                for (int x = box.left() - 2; x <= box.right() + 2; ++x) {
                    const QRgb rgb = rgbAt(shown, QPoint(x, y));
                    const bool outlined = edge.contains(x, y) && selected.contains(it.key());
                    QVERIFY2(box.contains(x, y) || (rgb == 0 || rgb == 0xFFFFFF) == outlined,
                             qPrintable(QString("%1 at %2,%3").arg(it.key()).arg(x).arg(y)));
                }
            }
        }
    }

    void overlappingItemsActOnFrontItem()
    {
        const auto view = makeView();
        QWidget *viewport = view->viewport();
        CanvasItem *back = place(*view, m_wallPayload, QPoint(10, 10));   // 8 x 1 at y 10
        CanvasItem *front = place(*view, m_towerPayload, QPoint(12, 10)); // covers (12..15, 10)
        const QPoint overlap(13, 10);
        QCOMPARE(tooltipAt(*view, overlap), QStringLiteral("tower.mlt Invisible=False"));

        // The press grabs the front item; the menu, while it is grabbed, deletes it only.
        QTest::mousePress(viewport, Qt::LeftButton, {}, overlap);
        QCOMPARE(view->canvas()->selectedStructures(), QList<CanvasItem *>{front});
        {
            ModalScript script({menuAnswer(QStringLiteral("Delete"))});
            QTest::mousePress(viewport, Qt::RightButton, {}, overlap);
            QCOMPARE(script.seen, QStringList{QStringLiteral("QMenu")});
        }
        QCOMPARE(view->canvas()->allItems(), QList<CanvasItem *>{back});
        QVERIFY(!view->hasSelection());

        // The left button is still held: moving must not touch the deleted item, nor the other.
        leftDrag(viewport, QPoint(40, 50), QPoint(45, 60));
        QCOMPARE(back->pos(), QPointF(10, 10));
        QCOMPARE(tooltipAt(*view, overlap), QStringLiteral("wall.mlt Invisible=False"));

        // Undone, the tower is back in front; so it stays when the wall comes back behind it.
        MapDocument *document = view->session()->document();
        document->undoStack()->undo();
        QCOMPARE(tooltipAt(*view, overlap), QStringLiteral("tower.mlt Invisible=False"));
        document->remove({document->placements().first()});
        document->undoStack()->undo();
        QCOMPARE(view->canvas()->allItems().size(), 2);
        QCOMPARE(tooltipAt(*view, overlap), QStringLiteral("tower.mlt Invisible=False"));
    }

    void itemMenu_data()
    {
        QTest::addColumn<bool>("onItem");
        QTest::addColumn<bool>("invisible"); // the item's flag before
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("byTrigger");

        for (const bool byTrigger : {false, true}) {
            const char *how = byTrigger ? "triggered" : "clicked";
            QTest::addRow("Delete %s", how)
                << true << false << QStringLiteral("Delete") << byTrigger;
            QTest::addRow("Invisible %s, turned on", how)
                << true << false << QStringLiteral("Invisible") << byTrigger;
        }
        QTest::newRow("Invisible, turned off")
            << true << true << QStringLiteral("Invisible") << false;
        QTest::newRow("dismissed") << true << false << QString() << false;
        QTest::newRow("away from items: no menu") << false << false << QString() << false;
    }

    void itemMenu()
    {
        QFETCH(bool, onItem);
        QFETCH(bool, invisible);
        QFETCH(QString, choice);
        QFETCH(bool, byTrigger);
        const bool deleted = choice == QLatin1String("Delete");
        const bool toggled = choice == QLatin1String("Invisible");

        const auto view = makeView(3);
        QWidget *viewport = view->viewport();
        MapDocument *document = view->session()->document();
        CanvasItem *item = place(*view, m_towerPayload, QPoint(60, 60)); // canvas (20, 20)
        document->setInvisible(document->placements().first(), invisible);
        const int steps = document->undoStack()->count();
        const QImage before = viewport->grab().toImage();
        const QPoint at = onItem ? QPoint(64, 62) : QPoint(150, 150);

        QStringList shown;
        {
            ModalScript script({menuAnswer(choice, &shown, byTrigger)});
            QTest::mouseClick(viewport, Qt::RightButton, {}, at);
            QCOMPARE(script.seen, onItem ? QStringList{QStringLiteral("QMenu")} : QStringList());
        }
        if (onItem)
            QCOMPARE(shown, (QStringList{"Delete", invisible ? "Invisible [x]" : "Invisible [ ]"}));
        QCOMPARE(document->undoStack()->count(), steps + (deleted || toggled ? 1 : 0));
        QCOMPARE(view->canvas()->allItems().size(), deleted ? 0 : 1);
        if (!deleted) {
            QCOMPARE(document->placements().first()->invisible, invisible != toggled);
            QCOMPARE(item->pos(), QPointF(20, 20));
            // The flag is only recorded: the item is drawn all the same, and the tooltip tells
            // it. Over the structure's empty cell there is no tooltip.
            QVERIFY(item->isVisible());
            QCOMPARE(viewport->grab().toImage(), before);
            QCOMPARE(tooltipAt(*view, QPoint(70, 67)), QString());
            QCOMPARE(tooltipAt(*view, QPoint(61, 61)), invisible != toggled
                                                           ? "tower.mlt   Invisible=True"
                                                           : "tower.mlt Invisible=False");
        }
    }

    void itemPixelsArePainted_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<QPoint>("scroll");
        QTest::addColumn<QString>("target"); // what the viewport is painted into

        // The window's backing store and images are painted in place, other devices (here a
        // recording) through a buffer: every way must show the same.
        for (const char *target : {"window", "picture", "image"}) {
            const QByteArray suffix = QByteArray(", ") + target;
            QTest::newRow("scale 1 scrolled" + suffix) << 1 << QPoint(9, 4) << target;
            QTest::newRow("scale 2" + suffix) << 2 << QPoint() << target;
            QTest::newRow("scale 3 scrolled" + suffix) << 3 << QPoint(31, 17) << target;
            QTest::newRow("scale 6" + suffix) << 6 << QPoint() << target;
        }
    }

    void itemPixelsArePainted()
    {
        QFETCH(int, scale);
        QFETCH(QPoint, scroll);
        QFETCH(QString, target);

        const auto view = makeView(1);
        const QPoint at(30, 25);
        QVERIFY(place(*view, m_towerPayload, at));
        view->session()->selection()->clear(); // no outline
        // Shown at another scale first: what was magnified for that one must not show.
        view->setScale(scale == 2 ? 3 : 2);
        view->viewport()->repaint();
        view->setScale(scale);
        view->horizontalScrollBar()->setValue(scroll.x());
        view->verticalScrollBar()->setValue(scroll.y());
        const QImage terrain(m_terrain);
        QWidget *viewport = view->viewport();

        QImage shown;
        if (target == QLatin1String("window")) {
            viewport->repaint();
            shown = shownOnScreen(*view);
        } else if (target == QLatin1String("picture")) {
            QPicture picture;
            viewport->render(&picture);
            shown = QImage(viewport->size(), QImage::Format_RGB32);
            shown.fill(Qt::black);
            QPainter painter(&shown);
            picture.play(&painter);
            painter.end();
        } else {
            // Rendered at an offset, and only partly: the corner left out stays untouched.
            const QPoint offset(7, 5);
            const QRect corner(240, 180, 200, 200);
            QImage image(viewport->size() + QSize(20, 20), QImage::Format_RGB32);
            image.fill(0x123456);
            viewport->render(&image, offset, QRegion(viewport->rect()).subtracted(corner));
            QImage untouched(viewport->width() - corner.left(), viewport->height() - corner.top(),
                             QImage::Format_RGB32);
            untouched.fill(0x123456);
            QCOMPARE(image.copy(QRect(offset + corner.topLeft(), untouched.size())), untouched);
            shown = image.copy(QRect(offset, viewport->size()));
        }

        // The tower's cells in their tiles' colours; its empty cell and the canvas around it show
        // the terrain, in every screen pixel of the n x n block of each canvas pixel.
        QList<QRgb> painted, wanted;
        for (int i = 0; i < 30 * scale * scale; ++i) {
            const int cellIndex = i / (scale * scale), sub = i % (scale * scale);
            const QPoint cell(cellIndex % 6 - 1, cellIndex / 6 - 1), p = at + cell;
            const bool tile = QRect(0, 0, 4, 3).contains(cell) && cell != QPoint(3, 2);
            QVERIFY(tile || rgbAt(terrain, p) != tileColour(bodyId));
            painted << rgbAt(shown, p * scale - scroll + QPoint(sub % scale, sub / scale));
            wanted << (!tile ? rgbAt(terrain, p) : tileColour(cellIndex == 7 ? cornerId : bodyId));
        }
        QCOMPARE(painted, wanted);
    }

    // The exported image is the map as the view draws it at scale 1, pixel for pixel: structures
    // in drawing order, an invisible-flagged one like any other, placeholders where a structure
    // cannot be drawn, all cut at the map's edges and across the bands it is written in. Read
    // back from the file it is the map as drawn, alpha and all.
    void exportedImageIsTheView_data()
    {
        QTest::addColumn<bool>("translucent");
        QTest::newRow("opaque terrain") << false;
        QTest::newRow("translucent terrain") << true;
    }

    void exportedImageIsTheView()
    {
        QFETCH(bool, translucent);
        QImage terrain =
            DemoData::terrainImage(120, 80, 5)
                .convertToFormat(translucent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int i = 0; translucent && i < 120 * 80; ++i)
            terrain.setPixel(i % 120, i / 120,
                             (terrain.pixel(i % 120, i / 120) & 0xFFFFFF) | uint(i * 7 % 256)
                                                                                << 24);
        PlacementDocument doc{m_dir.filePath(translucent ? "glass.png" : "field.png"), {}};
        QVERIFY(terrain.save(doc.terrainPath));
        const auto place = [&](const StructurePayload &payload, int x, int y, QSize gone = {}) {
            doc.placements.append({QPointF(x, y), payload.offset, payload.region,
                                   gone.isEmpty() ? payload.path : m_dir.filePath("gone.mlt"),
                                   false});
            if (!gone.isEmpty())
                doc.placements.last().region.setSize(gone);
        };
        place(m_towerPayload, 10, 10);
        place(m_wallPayload, 12, 11);
        place(m_towerPayload, 40, 30);
        doc.placements.last().invisible = true;
        place(m_towerPayload, 50, 59, QSize(7, 5)); // its outline on the second band's first row
        place(m_wallPayload, 11, 9, QSize(3, 3));
        place(m_towerPayload, 117, 78);
        place(m_wallPayload, -2, -1);
        const QString file = TestSupport::writeBytes(m_dir, *PlacementFile::write(doc), ".xml");
        const auto view = makeView(1, false);
        QVERIFY(view->session()->openFile(file));
        QTRY_VERIFY(!view->session()->isTerrainLoading());

        const MapRenderer renderer(view->session()->terrain(),
                                   view->session()->document()->placements(),
                                   view->session()->structureImages());
        const QString exported = m_dir.filePath("exported.png");
        QVERIFY(view->session()->exportImage(exported));
        const QImage written(exported);
        QCOMPARE(written.hasAlphaChannel(), translucent);
        if (translucent) {
            QCOMPARE(written.convertToFormat(renderer.format()), renderer.render());
            return;
        }
        QImage shown(view->viewport()->size(), QImage::Format_RGB32);
        view->viewport()->render(&shown);
        // The view scrolls over the structure beyond the terrain's corner too.
        QCOMPARE(written.convertToFormat(QImage::Format_RGB32),
                 shown.copy(QRect(view->mapFromScene(0, 0), QSize(120, 80))));
    }

    // Ctrl+wheel steps through the zooms, keeping the map cell under the pointer there where the
    // map is larger than the view; finer wheels add up to whole steps and the zoom stays within
    // 1/8 to 6.
    void wheelZoomKeepsCell_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<QPoint>("scroll");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QList<int>>("turns");
        QTest::addColumn<qreal>("zoomed");
        QTest::newRow("in from 1") << 1 << QPoint() << QPoint(101, 77) << QList<int>{120} << 2.0;
        QTest::newRow("out two, scrolled")
            << 4 << QPoint(300, 200) << QPoint(37, 150) << QList<int>{-240} << 2.0;
        QTest::newRow("half notches")
            << 2 << QPoint(50, 10) << QPoint(203, 61) << QList<int>{60, 30, 30} << 3.0;
        QTest::newRow("past 6") << 5 << QPoint(900, 700) << QPoint(160, 120)
                                << QList<int>{120, 120, 120} << 6.0;
        QTest::newRow("below 1") << 3 << QPoint(150, 150) << QPoint(13, 9) << QList<int>{-360}
                                 << 0.5;
        QTest::newRow("past 1/8") << 2 << QPoint(100, 50) << QPoint(45, 30)
                                  << QList<int>{-360, -360} << 0.125;
        QTest::newRow("in from 1/4")
            << 1 << QPoint(40, 30) << QPoint(80, 60) << QList<int>{-240, 120} << 0.5;
    }

    void wheelZoomKeepsCell()
    {
        QFETCH(int, scale);
        QFETCH(QPoint, scroll);
        QFETCH(QPoint, pointer);
        QFETCH(QList<int>, turns);
        QFETCH(qreal, zoomed);
        const auto view = makeView(scale);
        view->horizontalScrollBar()->setValue(scroll.x());
        view->verticalScrollBar()->setValue(scroll.y());
        QSignalSpy scales(view.get(), &CanvasView::scaleChanged);
        QPoint cell, after;
        QVERIFY(view->cellAt(pointer, &cell));
        QTest::mouseMove(view->viewport(), pointer);
        QCOMPARE(view->pointerText(), QStringLiteral("%1, %2").arg(cell.x()).arg(cell.y()));
        for (const int turn : turns) {
            QWheelEvent wheel(pointer, view->viewport()->mapToGlobal(pointer), {}, {0, turn},
                              Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(view->viewport(), &wheel);
        }
        QCOMPARE(view->zoom(), zoomed);
        QCOMPARE(scales.isEmpty(), view->scale() == scale);
        QVERIFY(view->cellAt(pointer, &after));
        // Zoomed out, the map fits the view and lies in its top-left corner.
        if (zoomed < 1)
            cell = QPoint(int(pointer.x() / zoomed), int(pointer.y() / zoomed));
        QCOMPARE(after, cell);
        QCOMPARE(view->pointerText(), QStringLiteral("%1, %2").arg(cell.x()).arg(cell.y()));
        QTRY_COMPARE(shownOnScreen(*view), freshlyPainted(*view));
    }

    // Zoomed out to 1/k, each view pixel shows the terrain cell under its middle, and every
    // structure shows in its own colours, however small: the 8 x 1 wall is still a pixel at 1/8.
    // What is painted in place and what is painted into other devices agree.
    void zoomedOutPixels_data()
    {
        QTest::addColumn<int>("reduction");
        for (const int k : {2, 4, 8})
            QTest::addRow("1/%d", k) << k;
    }

    void zoomedOutPixels()
    {
        QFETCH(int, reduction);
        const auto view = makeView(1);
        const QList<std::pair<QPoint, QList<QRgb>>> placed = {
            {QPoint(30, 25), {tileColour(bodyId), tileColour(cornerId)}},
            {QPoint(101, 50), {tileColour(wallId)}}};
        QVERIFY(place(*view, m_towerPayload, placed[0].first));
        QVERIFY(place(*view, m_wallPayload, placed[1].first));
        view->session()->selection()->clear(); // no outline
        view->zoomTo(1.0 / reduction, QPoint());
        // The scroll bars go once the map fits.
        QTRY_COMPARE(shownOnScreen(*view), freshlyPainted(*view));
        const QImage shown = shownOnScreen(*view);
        const QImage terrain(m_terrain);
        int structurePixels = 0;
        for (int y = 0; y < 300 / reduction; ++y) {
            for (int x = 0; x < 400 / reduction; ++x) {
                const QPoint pixel(x, y);
                const QRgb colour = rgbAt(shown, pixel);
                bool onStructure = false;
                for (const auto &[at, colours] : placed) {
                    const QRect box = view->canvas()->structureAt(at)->canvasRect().toRect();
                    const QRect pixels(QPoint(box.left() / reduction, box.top() / reduction),
                                       QSize((box.width() + reduction - 1) / reduction,
                                             (box.height() + reduction - 1) / reduction));
                    if (pixels.contains(pixel)) {
                        QVERIFY2(colours.contains(colour), qPrintable(QString::number(colour, 16)));
                        onStructure = true;
                        ++structurePixels;
                    }
                }
                if (!onStructure)
                    QCOMPARE(colour, rgbAt(terrain, pixel * reduction +
                                                        QPoint(reduction / 2, reduction / 2)));
            }
        }
        QVERIFY(structurePixels >= 2);
    }

    // The middle button, or the left one with Space held, drags the map along; nothing on it
    // is selected or moved.
    void pan_data()
    {
        QTest::addColumn<bool>("space");
        QTest::newRow("middle button") << false;
        QTest::newRow("Space and left button") << true;
    }

    void pan()
    {
        QFETCH(bool, space);
        const auto view = makeView(3);
        QWidget *viewport = view->viewport();
        place(*view, m_towerPayload, QPoint(150, 90));
        view->session()->selection()->clear();
        view->horizontalScrollBar()->setValue(100);
        view->verticalScrollBar()->setValue(100);
        const Qt::MouseButton button = space ? Qt::LeftButton : Qt::MiddleButton;
        if (space)
            QTest::keyPress(view.get(), Qt::Key_Space);
        QTest::mousePress(viewport, button, {}, QPoint(52, 12)); // on the tower
        QTest::mouseMove(viewport, QPoint(40, 20));
        QTest::mouseMove(viewport, QPoint(22, 42));
        QTest::mouseRelease(viewport, button, {}, QPoint(22, 42)); // the tower is at 20, 20 now
        if (space)
            QTest::keyRelease(view.get(), Qt::Key_Space);
        QCOMPARE(view->horizontalScrollBar()->value(), 130);
        QCOMPARE(view->verticalScrollBar()->value(), 70);
        QVERIFY(!view->hasSelection());
        QCOMPARE(view->session()->document()->undoStack()->count(), 1);
        // Afterwards the left button grabs again.
        leftDrag(viewport, QPoint(22, 22), QPoint(25, 25));
        QCOMPARE(view->session()->document()->placements().first()->position, QPointF(51, 31));
    }

    // A move or a drag from the library held near an edge of the view scrolls the map, and
    // what is dragged follows the pointer there and lands where it is let go.
    void autoScroll_data()
    {
        QTest::addColumn<bool>("fromLibrary");
        QTest::addColumn<QPoint>("edge"); // where the pointer is held
        QTest::newRow("move to the bottom") << false << QPoint(100, 230);
        QTest::newRow("move just within the margin")
            << false << QPoint(100, -21); // from the bottom
        QTest::newRow("move past the right") << false << QPoint(340, 100);
        QTest::newRow("library to the bottom") << true << QPoint(100, 230);
    }

    void autoScroll()
    {
        QFETCH(bool, fromLibrary);
        QFETCH(QPoint, edge);
        const auto view = makeView(2);
        QWidget *viewport = view->viewport();
        if (edge.y() < 0)
            edge.ry() += viewport->height();
        const std::unique_ptr<QMimeData> data(m_towerPayload.toMimeData());
        if (fromLibrary) {
            QVERIFY(send<QDragEnterEvent>(viewport, QPoint(100, 100), data.get()));
            QVERIFY(send<QDragMoveEvent>(viewport, QPoint(100, 150), data.get()));
        } else {
            place(*view, m_towerPayload, QPoint(100, 100));
            QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(101, 101));
            QTest::mouseMove(viewport, QPoint(100, 150));
        }
        QCOMPARE(view->verticalScrollBar()->value(), 0); // not near an edge yet
        if (fromLibrary)
            QVERIFY(send<QDragMoveEvent>(viewport, edge, data.get()));
        else
            QTest::mouseMove(viewport, edge);
        const QPoint start(view->horizontalScrollBar()->value(),
                           view->verticalScrollBar()->value());
        QTRY_VERIFY(view->horizontalScrollBar()->value() + view->verticalScrollBar()->value() >
                    start.x() + start.y() + 60);
        // The press was a canvas pixel into the placed tower; the dragged one hangs from its
        // corner.
        const QPoint landing = view->toCanvas(edge) - (fromLibrary ? QPoint() : QPoint(1, 1));
        CanvasItem *item = view->canvas()->allItems().last();
        QCOMPARE(item->pos(), QPointF(landing));
        if (fromLibrary)
            QVERIFY(send<QDropEvent>(viewport, edge, data.get()));
        else
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, edge);
        QCOMPARE(view->session()->document()->placements().last()->position, QPointF(landing));
        QVERIFY(landing.x() > 160 || landing.y() > 120); // beyond the first screen
        QCOMPARE(view->session()->document()->undoStack()->count(), fromLibrary ? 1 : 2);
        // The scrolling stops with the drag.
        const int stopped = view->verticalScrollBar()->value();
        QTest::qWait(100);
        QCOMPARE(view->verticalScrollBar()->value(), stopped);
    }

    // The overview shows the 400 x 300 map in 200 x 150 pixels, pixel (i, j) showing cell
    // (2i + 1, 2j + 1) or, on a structure, the structure's cell nearest to it; a frame where the
    // view is. It follows edits, once for a burst, and only once shown; clicks move the view.
    void overview()
    {
        const auto view = makeView(2);
        MapDocument *document = view->session()->document();
        place(*view, m_towerPayload, QPoint(42, 22)); // cells 21..24 x 11..13
        place(*view, m_wallPayload, QPoint(60, 20));  // cells 30..37 x 10: no pixel's centre
        OverviewWidget overview(view->session(), view.get());
        overview.resize(200, 150);
        overview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&overview));
        const QImage terrain(m_terrain);
        // The tower's corner at pixel p: body right of it; its empty cell, sampled for the pixel
        // at p + (2, 1), and the cell left of it, show the terrain.
        const auto onScreen = [&overview] {
            QApplication::processEvents();
            return overview.screen()->grabWindow(overview.winId()).toImage();
        };
        const auto towerAt = [&](QPoint p) {
            const QImage shown = onScreen();
            const auto cell = [&](QPoint q) { return rgbAt(terrain, q * 2 + QPoint(1, 1)); };
            return rgbAt(shown, p) == tileColour(cornerId) &&
                   rgbAt(shown, p + QPoint(1, 0)) == tileColour(bodyId) &&
                   rgbAt(shown, p + QPoint(2, 1)) == cell(p + QPoint(2, 1)) &&
                   rgbAt(shown, p - QPoint(1, 0)) == cell(p - QPoint(1, 0));
        };
        QVERIFY(towerAt(QPoint(10, 5)));
        QCOMPARE(rgbAt(onScreen(), QPoint(15, 5)), tileColour(wallId));
        QCOMPARE(rgbAt(onScreen(), QPoint(18, 5)), tileColour(wallId));
        const int renders = overview.renderCount();
        document->move({document->placements().first()}, QPointF(100, 50));
        document->undoStack()->undo();
        document->undoStack()->redo();
        QTRY_VERIFY(towerAt(QPoint(60, 30)) && !towerAt(QPoint(10, 5)));
        QCOMPARE(overview.renderCount(), renders + 1);
        overview.hide();
        document->undoStack()->undo();
        QTest::qWait(50);
        QCOMPARE(overview.renderCount(), renders + 1);
        overview.show();
        QTRY_VERIFY(towerAt(QPoint(10, 5)) && !towerAt(QPoint(60, 30)));

        // The frame, white, at the part of the map in view, halved, whatever moves the view.
        const auto frameShown = [&] {
            const QImage shown = onScreen();
            QRect white;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    white |= rgbAt(shown, {x, y}) == 0xFFFFFF ? QRect(x, y, 1, 1) : QRect();
            const QRectF in = view->mapToScene(view->viewport()->rect()).boundingRect();
            const QRectF want(in.topLeft() / 2, (in & QRectF(0, 0, 400, 300)).size() / 2);
            return qAbs(white.left() - want.left()) < 1 && qAbs(white.top() - want.top()) < 1 &&
                   qAbs(white.right() + 1 - want.right()) < 1 &&
                   qAbs(white.bottom() + 1 - want.bottom()) < 1;
        };
        QVERIFY(frameShown());
        view->horizontalScrollBar()->setValue(150);
        QTRY_VERIFY(frameShown());
        view->setScale(3);
        QTRY_VERIFY(frameShown());
        view->resize(200, 160);
        QTRY_VERIFY(frameShown());
        // A click centres the view on the map cell there, and so does each step of a drag.
        const auto centredAt = [&](QPointF cell) {
            const QPointF centre = view->mapToScene(view->viewport()->rect().center());
            return qAbs(centre.x() - cell.x()) <= 1 && qAbs(centre.y() - cell.y()) <= 1;
        };
        QTest::mouseClick(&overview, Qt::LeftButton, {}, QPoint(150, 100));
        QVERIFY(centredAt(QPointF(300, 200)));
        QTest::mousePress(&overview, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseMove(&overview, QPoint(100, 60));
        QVERIFY(centredAt(QPointF(200, 120)));
        QTest::mouseRelease(&overview, Qt::LeftButton, {}, QPoint(100, 60));
        QTRY_VERIFY(frameShown());
    }

    // The status bar's text: the cell under the pointer and the structure there, nothing off
    // the map; it follows the map moving under a pointer at rest.
    void pointerText()
    {
        const auto view = makeView(2);
        QWidget *viewport = view->viewport();
        view->session()->newMap(m_smallTerrain); // 240 x 160 at scale 2, in a 320 x 240 view
        QTRY_VERIFY(!view->session()->isTerrainLoading());
        place(*view, m_towerPayload, QPoint(40, 20));
        const QList<std::pair<QPoint, QString>> expected = {
            {{39, 19}, QStringLiteral("19, 9")},
            {{40, 20}, QStringLiteral("20, 10  tower.mlt")},
            {{47, 23}, QStringLiteral("23, 11  tower.mlt")},
            {{46, 24}, QStringLiteral("23, 12")}, // the tower's empty cell
            {{239, 159}, QStringLiteral("119, 79")},
            {{240, 100}, QString()},
        };
        for (const auto &[pos, text] : expected) {
            QTest::mouseMove(viewport, pos);
            QCOMPARE(view->pointerText(), text);
        }
        QTest::mouseMove(viewport, QPoint(41, 21));
        QSignalSpy texts(view.get(), &CanvasView::pointerTextChanged);
        view->session()->document()->undoStack()->undo();
        QCOMPARE(view->pointerText(), QStringLiteral("20, 10"));
        view->setScale(1);
        QCOMPARE(view->pointerText(), QStringLiteral("41, 21"));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(viewport, &leave);
        QCOMPARE(view->pointerText(), QString());
        QCOMPARE(texts.size(), 3);
    }

    // A gesture ends with its button: a right press during a drag puts the structure back, and
    // a release the view never sees (a menu took it) leaves nothing to follow the pointer.
    void gestureEndsWithItsButton()
    {
        const auto view = makeView(1);
        QWidget *viewport = view->viewport();
        CanvasItem *item = place(*view, m_towerPayload, QPoint(20, 20));
        const int steps = int(view->session()->document()->undoStack()->count());
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(22, 22));
        QTest::mouseMove(viewport, QPoint(32, 32));
        {
            ModalScript script({menuAnswer({})}); // a menu, if any, is closed with Escape
            QMouseEvent right(QEvent::MouseButtonPress, QPointF(32, 32),
                              viewport->mapToGlobal(QPointF(32, 32)), Qt::RightButton,
                              Qt::LeftButton | Qt::RightButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &right);
        }
        QCOMPARE(item->pos(), QPointF(20, 20));
        // The left button's release went elsewhere: the next press starts afresh.
        leftDrag(viewport, QPoint(200, 150), QPoint(150, 120));
        QCOMPARE(item->pos(), QPointF(20, 20));
        QCOMPARE(view->session()->document()->undoStack()->count(), steps);
    }

    // The grid: thin lines under the structures; snapping puts what is dropped or moved with its
    // origin cell (position less offset) on it, Ctrl lets a move off it, Shift+arrows step one.
    void grid()
    {
        const auto view = makeView(2);
        QWidget *viewport = view->viewport();
        const QImage bare = freshlyPainted(*view);
        view->setGridSize(10);
        view->setGridShown(true);
        view->setSnapToGrid(true);
        const QImage lined = freshlyPainted(*view);
        QVERIFY(lined.pixel(80, 7) != bare.pixel(80, 7) && lined.pixel(81, 7) == bare.pixel(81, 7));
        // The tower's offset is 10, 20: dropped at 23, 27, its origin 13, 7 goes to 10, 10.
        CanvasItem *item = place(*view, m_towerPayload, QPoint(46, 54));
        QCOMPARE(item->placement()->position, QPointF(20, 30));
        QVERIFY(freshlyPainted(*view).pixel(42, 62) != lined.pixel(42, 62)); // over the lines
        leftDrag(viewport, QPoint(42, 62), QPoint(56, 70)); // 7, 4 cells: to the nearest point
        QCOMPARE(item->placement()->position, QPointF(30, 30));
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(62, 62));
        QMouseEvent free(QEvent::MouseMove, QPointF(68, 64), viewport->mapToGlobal(QPointF(68, 64)),
                         Qt::NoButton, Qt::LeftButton, Qt::ControlModifier);
        QApplication::sendEvent(viewport, &free);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::ControlModifier, QPoint(68, 64));
        QCOMPARE(item->placement()->position, QPointF(33, 31));
        QTest::keyClick(view.get(), Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(item->placement()->position, QPointF(43, 31));

        // Dimmed, a structure flagged invisible shows half the ground through it, once flagged.
        view->session()->selection()->clear();
        view->setGridShown(false);
        view->setDimInvisible(true);
        const QPoint body = view->mapFromScene(QPointF(44.5, 32.5));
        const QRgb shown = freshlyPainted(*view).pixel(body);
        view->session()->document()->setInvisible(view->session()->document()->placements(), true);
        QCOMPARE(shownOnScreen(*view).pixel(body), freshlyPainted(*view).pixel(body));
        const QRgb dimmed = freshlyPainted(*view).pixel(body);
        QVERIFY(dimmed != shown && dimmed != bare.pixel(body));
    }

    // A structure moved past the terrain's top-left corner stays within reach: the view scrolls
    // to it and it can be dragged back. Nothing moves it by itself.
    void reachBeyondTerrain()
    {
        const auto view = makeView(2);
        CanvasItem *item = place(*view, m_towerPayload, QPoint(20, 20));
        QWidget *viewport = view->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(22, 22));
        for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Left, Qt::Key_Up, Qt::Key_Left})
            QTest::keyClick(view.get(), key, Qt::ShiftModifier);
        QCOMPARE(item->placement()->position, QPointF(-10, -10));
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->minimum());
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->minimum());
        const QPoint at = view->mapFromScene(item->pos() + QPointF(1.5, 1.5));
        QVERIFY(viewport->rect().contains(at) && at.x() >= 2 * CanvasView::placementMargin);
        QCOMPARE(rgbAt(freshlyPainted(*view), at), tileColour(bodyId));
        leftDrag(viewport, at, at + QPoint(60, 40));
        QCOMPARE(item->placement()->position, QPointF(20, 10));
    }

    // The canvas's own index of its items: whatever is placed, moved, hidden or deleted, lookups
    // must answer what a look at every item answers. Crowded, then spread far out, negative too.
    void lookupsAgreeWithEveryItem()
    {
        for (const auto &[seed, spread] : {std::pair(1u, 300), std::pair(3u, 2000000000)})
            lookups(seed, spread);
    }

private:
    std::unique_ptr<CanvasView> makeView(int scale = 1, bool withMap = true)
    {
        auto *session = new MapSession(&m_colours);
        auto view = std::make_unique<CanvasView>(session);
        session->setParent(view.get());
        view->resize(320, 240);
        view->setScale(scale);
        if (withMap)
            view->session()->newMap(m_terrain);
        view->show();
        if (!QTest::qWaitFor([&] { return !view->session()->isTerrainLoading(); }) ||
            !QTest::qWaitForWindowExposed(view.get()))
            qWarning("the view was not ready");
        return view;
    }

    // The viewport as the window shows it once pending repaints are done, and as a complete
    // repaint draws it: they differ where a change was not repainted.
    static QImage shownOnScreen(CanvasView &view)
    {
        QApplication::processEvents();
        QWidget *viewport = view.viewport();
        const QPoint corner = viewport->mapTo(&view, QPoint(0, 0));
        return view.screen()
            ->grabWindow(view.winId(), corner.x(), corner.y(), viewport->width(),
                         viewport->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
    static QImage freshlyPainted(CanvasView &view)
    {
        return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // Drags a structure in and drops it at viewportPos; returns its item.
    static CanvasItem *place(CanvasView &view, const StructurePayload &payload, QPoint viewportPos)
    {
        TestSupport::dragIn(view, payload, viewportPos);
        const QList<CanvasItem *> &items = view.canvas()->allItems();
        return items.isEmpty() ? nullptr : items.last();
    }

    // Positions fall within spread pixels of the origin.
    void lookups(quint32 seed, int spread)
    {
        DemoData::Random random(seed);
        const auto coordinate = [&] {
            return int(qint64(random.next() % (2ull * quint64(spread))) - spread);
        };

        // Solid and ring-shaped structures (their hole is not part of them), small to large,
        // and placeholders of every size up to absurd.
        QList<QPixmap> pixmaps;
        for (const int side : {1, 5, 40, 70, 300}) {
            QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
            image.fill(0xFF208040);
            pixmaps << QPixmap::fromImage(image);
            for (int y = 1; y < side - 1; ++y) // a ring: the inside cleared
                std::fill_n(reinterpret_cast<QRgb *>(image.scanLine(y)) + 1, side - 2, 0);
            pixmaps << QPixmap::fromImage(image);
        }
        const QList<QRect> placeholderRegions = {QRect(0, 0, 3, 2), QRect(0, 0, 900, 20),
                                                 QRect(0, 0, 100000, 100000)};

        std::list<Placement> placements; // what the items show: only the region matters here
        Canvas canvas(QRectF(0, 0, 4096, 4096));
        const QList<CanvasItem *> &all = canvas.allItems();
        for (int round = 0; round < 40; ++round) {
            for (int i = 0; i < 30; ++i) {
                const int pick = random.bounded(int(pixmaps.size() + placeholderRegions.size()));
                Placement &placement = placements.emplace_back();
                if (pick >= pixmaps.size())
                    placement.region = placeholderRegions[pick - pixmaps.size()];
                placement.position = QPointF(coordinate(), coordinate());
                new CanvasItem(&placement, pick < pixmaps.size() ? pixmaps[pick] : QPixmap(),
                               &canvas);
                all.last()->setVisible(random.bounded(8) != 0);
            }
            // Moves near and far, showing and hiding, deleting, in random order.
            for (CanvasItem *item : QList<CanvasItem *>(all)) {
                const int action = random.bounded(6);
                if (action == 0)
                    item->moveBy(int(random.bounded(130)) - 65, int(random.bounded(130)) - 65);
                else if (action == 1)
                    item->setPos(coordinate(), coordinate());
                else if (action == 2)
                    item->setVisible(!item->isVisible());
                else if (action == 3 && random.bounded(3) == 0)
                    delete item;
            }

            // Points chosen on items as often as anywhere; the answers found by looking at every
            // item: the front-most shown one whose shape holds the point, the shown ones meeting
            // the rectangle.
            for (int probe = 0; probe < 50; ++probe) {
                QPointF pos(coordinate(), coordinate());
                if (probe % 2 && !all.isEmpty())
                    pos = all[random.bounded(int(all.size()))]->pos() +
                          QPointF(random.bounded(70), random.bounded(70));
                const auto front = std::find_if(all.crbegin(), all.crend(), [&](CanvasItem *item) {
                    return item->isVisible() && item->contains(pos - item->pos());
                });
                QCOMPARE(canvas.structureAt(pos), front == all.crend() ? nullptr : *front);
                const QRectF rect(pos, QSizeF(random.bounded(500) + 1, random.bounded(500) + 1));
                QList<CanvasItem *> shown = all;
                shown.removeIf([&](CanvasItem *item) {
                    return !item->isVisible() || !item->canvasRect().intersects(rect);
                });
                QCOMPARE(canvas.itemsIn(rect), shown);
            }
        }
        QVERIFY(all.size() > 400);
    }

    QTemporaryDir m_dir;
    RadarColours m_colours;
    QString m_terrain;
    QString m_smallTerrain;
    QString m_tower;
    StructurePayload m_towerPayload;
    StructurePayload m_wallPayload;
};

QTEST_MAIN(TestCanvasView)
#include "tst_canvasview.moc"
