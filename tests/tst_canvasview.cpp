// The map view as the user meets it: making a map, scaling, structures dragged in from the
// library, grabbing and moving items, their context menu and tooltip, and what is painted.

#include "TestSupport.h"
#include "app/RadarColours.h"
#include "canvas/CanvasItem.h"
#include "canvas/CanvasView.h"
#include "library/StructurePayload.h"
#include "library/StructurePreview.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDataStream>
#include <QDragEnterEvent>
#include <QGraphicsScene>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <functional>
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

using TestSupport::ModalScript;

struct MenuShown
{
    QStringList entries;
    bool invisibleCheckable = false;
    bool invisibleChecked = false;
};

enum class Choose { Click, Trigger };

// Chooses the entry with the given text from the item menu, by a click on it or by triggering
// its action (as keyboard and accessibility tools do), or presses Escape when empty.
ModalScript::Answer menuAnswer(const QString &choice, MenuShown *shown = nullptr,
                               Choose how = Choose::Click)
{
    return [choice, shown, how](QWidget *modal) {
        auto *menu = qobject_cast<QMenu *>(modal);
        if (!menu) {
            modal->close();
            return;
        }
        QAction *chosen = nullptr;
        for (QAction *action : menu->actions()) {
            if (shown) {
                shown->entries << action->text();
                if (action->text() == QLatin1String("Invisible")) {
                    shown->invisibleCheckable = action->isCheckable();
                    shown->invisibleChecked = action->isChecked();
                }
            }
            if (!choice.isEmpty() && action->text() == choice)
                chosen = action;
        }
        if (chosen && how == Choose::Click) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
        } else if (chosen) {
            chosen->trigger();
            menu->close();
        } else {
            QTest::keyClick(menu, Qt::Key_Escape);
        }
    };
}

// (viewport + scroll) / scale, halves rounded upwards, for non-negative positions.
QPoint expectedCanvas(QPoint viewportPos, int scale, QPoint scroll = QPoint())
{
    const auto map = [scale](int v) { return (2 * v + scale) / (2 * scale); };
    return QPoint(map(viewportPos.x() + scroll.x()), map(viewportPos.y() + scroll.y()));
}

// Sends one drag notification to the viewport and says whether the view accepted it.
bool sendDrag(QWidget *viewport, QEvent::Type type, QPoint pos, const QMimeData *data)
{
    switch (type) {
    case QEvent::DragEnter: {
        QDragEnterEvent event(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    }
    case QEvent::DragMove: {
        QDragMoveEvent event(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    }
    case QEvent::Drop: {
        QDropEvent event(QPointF(pos), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    }
    default: {
        QDragLeaveEvent event;
        QApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    }
    }
}

QList<CanvasItem *> itemsOf(const CanvasView &view)
{
    QList<CanvasItem *> items;
    if (!view.canvas)
        return items;
    for (QGraphicsItem *item : view.canvas->items(Qt::AscendingOrder)) {
        if (auto *structure = qgraphicsitem_cast<CanvasItem *>(item))
            items << structure;
    }
    return items;
}

void sendMouseMove(QWidget *viewport, QPoint pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(QEvent::MouseMove, QPointF(pos), QPointF(viewport->mapToGlobal(pos)),
                      Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(viewport, &event);
}

QString tooltipAt(CanvasView &view, QPoint viewportPos)
{
    QHelpEvent help(QEvent::ToolTip, viewportPos, view.viewport()->mapToGlobal(viewportPos));
    QApplication::sendEvent(view.viewport(), &help);
    return QToolTip::text();
}

QRgb rgbAt(const QImage &image, QPoint pos)
{
    return image.pixel(pos) & 0xFFFFFF;
}

} // namespace

class TestCanvasView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void newCanvasReplacesTheMap();
    void toCanvas_data();
    void toCanvas();
    void dragPlacesItem_data();
    void dragPlacesItem();
    void dragLeavingAndComingBackMakesANewItem();
    void dragRefused_data();
    void dragRefused();
    void leftButtonMovesGrabbedItem_data();
    void leftButtonMovesGrabbedItem();
    void pressOnEmptyCanvasMovesNothing();
    void moveAfterReleaseMovesNothing();
    void pointerWithoutMapDoesNothing();
    void overlappingItemsActOnFrontItem();
    void contextMenu_data();
    void contextMenu();
    void invisibleIsShownCheckedAndKeepsTheDrawing();
    void rightPressAwayFromItemsOpensNoMenu();
    void deleteWhileGrabbed();
    void tooltip_data();
    void tooltip();
    void noTooltipAwayFromItems();
    void itemPixelsArePainted_data();
    void itemPixelsArePainted();

private:
    std::unique_ptr<CanvasView> makeView(int scale = 1, bool withMap = true);
    StructurePayload payloadFor(const QString &path) const;
    CanvasItem *place(CanvasView &view, const StructurePayload &payload, QPoint viewportPos);
    void hideTooltip();

    QTemporaryDir m_dir;
    QString m_terrain;
    QString m_smallTerrain;
    QString m_tower;
    QString m_wall;
    StructurePayload m_towerPayload;
};

void TestCanvasView::initTestCase()
{
    QVERIFY(m_dir.isValid());
    TestSupport::openRadarColours(m_dir, radarSeed);
    m_terrain = TestSupport::writeTerrain(m_dir, QStringLiteral("terrain.png"), 400, 300);
    m_smallTerrain = TestSupport::writeTerrain(m_dir, QStringLiteral("small.png"), 120, 80);

    // A 4 x 3 tower with tiles x 10..13, y 20..22; its corner cell has its own colour and its
    // bottom-right cell is empty.
    QList<DemoData::Tile> tower;
    for (qint16 y = 20; y <= 22; ++y) {
        for (qint16 x = 10; x <= 13; ++x) {
            if (x == 13 && y == 22)
                continue;
            tower.append({x == 10 && y == 20 ? cornerId : bodyId, x, y, 0});
        }
    }
    m_tower = TestSupport::writeStructure(m_dir, QStringLiteral("tower.mlt"), tower);

    QList<DemoData::Tile> wall;
    for (qint16 x = -2; x <= 5; ++x)
        wall.append({wallId, x, 0, 0});
    m_wall = TestSupport::writeStructure(m_dir, QStringLiteral("wall.mlt"), wall);

    m_towerPayload = payloadFor(m_tower);
    QCOMPARE(m_towerPayload.region, QRect(0, 0, 4, 3));
    QCOMPARE(m_towerPayload.offset, QPoint(10, 20));
    QVERIFY(tileColour(cornerId) != tileColour(bodyId));
}

void TestCanvasView::cleanup()
{
    hideTooltip();
    QVERIFY(!QApplication::activePopupWidget());
}

std::unique_ptr<CanvasView> TestCanvasView::makeView(int scale, bool withMap)
{
    auto view = std::make_unique<CanvasView>();
    view->resize(320, 240);
    view->setScale(scale);
    if (withMap)
        view->newCanvas(m_terrain);
    view->show();
    if (!QTest::qWaitFor([&] { return !view->isTerrainLoading(); }))
        qWarning("the terrain was not read");
    if (!QTest::qWaitForWindowExposed(view.get()))
        qWarning("the view was not exposed");
    return view;
}

StructurePayload TestCanvasView::payloadFor(const QString &path) const
{
    // What the library tree puts in its drag.
    StructurePayload payload;
    payload.path = path;
    if (!renderStructurePreview(path, payload.image, payload.offset, payload.region))
        qWarning("cannot render %s", qPrintable(path));
    return payload;
}

CanvasItem *TestCanvasView::place(CanvasView &view, const StructurePayload &payload,
                                  QPoint viewportPos)
{
    const std::unique_ptr<QMimeData> data(payload.toMimeData());
    sendDrag(view.viewport(), QEvent::DragEnter, viewportPos, data.get());
    CanvasItem *item = view.currentItem;
    sendDrag(view.viewport(), QEvent::Drop, viewportPos, data.get());
    return item;
}

void TestCanvasView::hideTooltip()
{
    QToolTip::hideText();
    QTRY_VERIFY(QToolTip::text().isEmpty());
}

void TestCanvasView::newCanvasReplacesTheMap()
{
    const auto view = makeView();
    QCOMPARE(view->canvas->sceneRect(), QRectF(0, 0, 400, 300));
    place(*view, m_towerPayload, QPoint(20, 20));
    place(*view, m_towerPayload, QPoint(40, 20));
    QCOMPARE(itemsOf(*view).size(), 2);
    QVERIFY(view->modified);

    // A drag in progress when the map is replaced loses its item with the map.
    const std::unique_ptr<QMimeData> data(m_towerPayload.toMimeData());
    QVERIFY(sendDrag(view->viewport(), QEvent::DragEnter, QPoint(60, 60), data.get()));
    QVERIFY(view->currentItem);
    view->documentFile = QStringLiteral("kept.xml");

    view->newCanvas(m_smallTerrain);
    QCOMPARE(view->canvas->sceneRect(), QRectF(0, 0, 120, 80));
    QCOMPARE(view->sceneRect(), QRectF(0, 0, 120, 80));
    QVERIFY(itemsOf(*view).isEmpty());
    QVERIFY(!view->modified);
    QVERIFY(!view->currentItem);
    QCOMPARE(view->terrainFile, m_smallTerrain);
    QCOMPARE(view->documentFile, QStringLiteral("kept.xml"));
    sendDrag(view->viewport(), QEvent::DragLeave, QPoint(), data.get());

    // The new terrain is what is drawn, once it has been read.
    QTRY_VERIFY(!view->isTerrainLoading());
    const QImage terrain(m_smallTerrain);
    const QImage shown = view->viewport()->grab().toImage();
    for (const QPoint p : {QPoint(0, 0), QPoint(60, 40), QPoint(119, 79)})
        QCOMPARE(rgbAt(shown, p), rgbAt(terrain, p));

    // A structure dragged in afterwards lands on the new map.
    CanvasItem *item = place(*view, m_towerPayload, QPoint(7, 8));
    QVERIFY(item);
    QCOMPARE(item->scene(), view->canvas);
    QCOMPARE(item->pos(), QPointF(7, 8));
}

void TestCanvasView::toCanvas_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<QPoint>("scroll");
    QTest::addColumn<QPoint>("viewportPos");
    QTest::addColumn<QPoint>("canvasPos");

    QTest::newRow("1: identity") << 1 << QPoint() << QPoint(5, 7) << QPoint(5, 7);
    QTest::newRow("1: origin") << 1 << QPoint() << QPoint(0, 0) << QPoint(0, 0);
    QTest::newRow("1: far") << 1 << QPoint() << QPoint(213, 177) << QPoint(213, 177);
    QTest::newRow("2: halves round up") << 2 << QPoint() << QPoint(5, 7) << QPoint(3, 4);
    QTest::newRow("2: even") << 2 << QPoint() << QPoint(4, 6) << QPoint(2, 3);
    QTest::newRow("2: one pixel") << 2 << QPoint() << QPoint(1, 1) << QPoint(1, 1);
    QTest::newRow("3: thirds") << 3 << QPoint() << QPoint(5, 7) << QPoint(2, 2);
    QTest::newRow("3: one third") << 3 << QPoint() << QPoint(4, 4) << QPoint(1, 1);
    QTest::newRow("6: small") << 6 << QPoint() << QPoint(5, 7) << QPoint(1, 1);
    QTest::newRow("6: below half") << 6 << QPoint() << QPoint(2, 2) << QPoint(0, 0);
    QTest::newRow("6: half") << 6 << QPoint() << QPoint(3, 3) << QPoint(1, 1);
    QTest::newRow("6: far") << 6 << QPoint() << QPoint(17, 18) << QPoint(3, 3);
    QTest::newRow("1 scrolled") << 1 << QPoint(20, 30) << QPoint(5, 7) << QPoint(25, 37);
    QTest::newRow("2 scrolled") << 2 << QPoint(40, 10) << QPoint(5, 7) << QPoint(23, 9);
    QTest::newRow("3 scrolled") << 3 << QPoint(30, 15) << QPoint(5, 7) << QPoint(12, 7);
    QTest::newRow("6 scrolled") << 6 << QPoint(600, 300) << QPoint(5, 7) << QPoint(101, 51);
}

void TestCanvasView::toCanvas()
{
    QFETCH(int, scale);
    QFETCH(QPoint, scroll);
    QFETCH(QPoint, viewportPos);
    QFETCH(QPoint, canvasPos);

    const auto view = makeView(scale);
    QCOMPARE(view->scale(), scale);
    view->horizontalScrollBar()->setValue(scroll.x());
    view->verticalScrollBar()->setValue(scroll.y());
    QCOMPARE(view->horizontalScrollBar()->value(), scroll.x());
    QCOMPARE(view->verticalScrollBar()->value(), scroll.y());
    QCOMPARE(view->toCanvas(viewportPos), canvasPos);
}

void TestCanvasView::dragPlacesItem_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<QPoint>("scroll");
    QTest::addColumn<QList<QPoint>>("path"); // enter, moves..., end
    QTest::addColumn<bool>("drop");

    const QList<QPoint> path = {QPoint(30, 40), QPoint(31, 41), QPoint(45, 44), QPoint(44, 60),
                                QPoint(50, 61)};
    for (const int scale : {1, 2, 6}) {
        QTest::addRow("scale %d, dropped", scale) << scale << QPoint() << path << true;
        QTest::addRow("scale %d, left", scale) << scale << QPoint() << path << false;
    }
    QTest::newRow("scale 2 scrolled, dropped") << 2 << QPoint(50, 24) << path << true;
    QTest::newRow("scale 1, dropped where it entered")
        << 1 << QPoint() << QList<QPoint>{QPoint(9, 9), QPoint(9, 9)} << true;
}

void TestCanvasView::dragPlacesItem()
{
    QFETCH(int, scale);
    QFETCH(QPoint, scroll);
    QFETCH(QList<QPoint>, path);
    QFETCH(bool, drop);

    const auto view = makeView(scale);
    view->horizontalScrollBar()->setValue(scroll.x());
    view->verticalScrollBar()->setValue(scroll.y());
    QWidget *viewport = view->viewport();
    const std::unique_ptr<QMimeData> data(m_towerPayload.toMimeData());

    QVERIFY(sendDrag(viewport, QEvent::DragEnter, path.first(), data.get()));
    QList<CanvasItem *> items = itemsOf(*view);
    QCOMPARE(items.size(), 1);
    CanvasItem *item = items.first();
    QCOMPARE(view->currentItem, item);
    QVERIFY(item->isVisible());
    QCOMPARE(item->pos(), QPointF(expectedCanvas(path.first(), scale, scroll)));
    QCOMPARE(item->filePath, m_tower);
    QCOMPARE(item->offset, QPoint(10, 20));
    QCOMPARE(item->region, QRect(0, 0, 4, 3));
    QCOMPARE(item->pixmap().size(), QSize(4, 3));
    QVERIFY(!item->invisible);
    QVERIFY2(!view->modified, "entering alone changes nothing yet");

    // The top-left pixel of the preview stays under the pointer.
    for (int i = 1; i + 1 < path.size(); ++i) {
        QVERIFY(sendDrag(viewport, QEvent::DragMove, path[i], data.get()));
        QCOMPARE(item->pos(), QPointF(expectedCanvas(path[i], scale, scroll)));
        QVERIFY(view->modified);
    }

    if (drop) {
        sendDrag(viewport, QEvent::Drop, path.last(), data.get());
        QCOMPARE(itemsOf(*view), QList<CanvasItem *>{item});
        QCOMPARE(item->pos(), QPointF(expectedCanvas(path.last(), scale, scroll)));
        QVERIFY(!view->currentItem);
        QVERIFY(view->modified);
    } else {
        sendDrag(viewport, QEvent::DragLeave, QPoint(), data.get());
        QVERIFY(itemsOf(*view).isEmpty());
        QVERIFY(!view->currentItem);
        QCOMPARE(view->modified, path.size() > 2);
    }
}

void TestCanvasView::dragLeavingAndComingBackMakesANewItem()
{
    const auto view = makeView();
    QWidget *viewport = view->viewport();
    const std::unique_ptr<QMimeData> data(m_towerPayload.toMimeData());
    QVERIFY(sendDrag(viewport, QEvent::DragEnter, QPoint(10, 10), data.get()));
    sendDrag(viewport, QEvent::DragLeave, QPoint(), data.get());
    QVERIFY(itemsOf(*view).isEmpty());
    QVERIFY2(!view->modified, "no move happened over the map");

    QVERIFY(sendDrag(viewport, QEvent::DragEnter, QPoint(70, 20), data.get()));
    QVERIFY(sendDrag(viewport, QEvent::DragMove, QPoint(72, 25), data.get()));
    sendDrag(viewport, QEvent::Drop, QPoint(72, 25), data.get());
    const QList<CanvasItem *> items = itemsOf(*view);
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first()->pos(), QPointF(72, 25));
}

void TestCanvasView::dragRefused_data()
{
    QTest::addColumn<bool>("withMap");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray good = m_towerPayload.encode();
    QByteArray head;
    {
        QDataStream stream(&head, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::LittleEndian);
        stream << m_towerPayload.path << m_towerPayload.offset << m_towerPayload.region;
    }
    QVERIFY(good.startsWith(head));
    const int png = int(head.size()) + 4; // after the image marker
    const auto flipped = [&good](int at) {
        QByteArray bytes = good;
        bytes[at] = char(bytes[at] ^ 0x5A);
        return bytes;
    };
    const auto payloadBytes = [this](QRect region, QImage image) {
        StructurePayload payload = m_towerPayload;
        payload.region = region;
        payload.image = std::move(image);
        return payload.encode();
    };
    const QString type = StructurePayload::mimeType;

    QTest::newRow("no map") << false << type << good;
    QTest::newRow("plain text") << true << QStringLiteral("text/plain") << QByteArray("tower.mlt");
    QTest::newRow("empty payload") << true << type << QByteArray();
    QTest::newRow("cut in the path") << true << type << good.left(6);
    QTest::newRow("cut after the region") << true << type << head;
    QTest::newRow("cut in the marker") << true << type << good.left(png - 2);
    QTest::newRow("cut in the image header") << true << type << good.left(png + 20);
    QTest::newRow("cut in the pixels") << true << type << good.left((png + good.size()) / 2);
    QTest::newRow("last byte missing") << true << type << good.chopped(1);
    QTest::newRow("corrupt image signature") << true << type << flipped(png + 1);
    QTest::newRow("corrupt image size") << true << type << flipped(png + 19);
    QTest::newRow("null image") << true << type << payloadBytes(QRect(0, 0, 4, 3), QImage());
    QTest::newRow("image wider than the region")
        << true << type << payloadBytes(QRect(0, 0, 3, 3), m_towerPayload.image);
    QTest::newRow("empty region") << true << type
                                  << payloadBytes(QRect(0, 0, 0, 0), m_towerPayload.image);
    QTest::newRow("region too large")
        << true << type << payloadBytes(QRect(0, 0, 5000, 3), m_towerPayload.image);
}

void TestCanvasView::dragRefused()
{
    QFETCH(bool, withMap);
    QFETCH(QString, format);
    QFETCH(QByteArray, bytes);

    const auto view = makeView(1, withMap);
    QWidget *viewport = view->viewport();
    QMimeData data;
    data.setData(format, bytes);

    QVERIFY(!sendDrag(viewport, QEvent::DragEnter, QPoint(20, 20), &data));
    QVERIFY(!view->currentItem);
    QVERIFY(!sendDrag(viewport, QEvent::DragMove, QPoint(25, 22), &data));
    QVERIFY(!sendDrag(viewport, QEvent::Drop, QPoint(25, 22), &data));
    sendDrag(viewport, QEvent::DragLeave, QPoint(), &data);
    QVERIFY(!view->currentItem);
    QVERIFY(itemsOf(*view).isEmpty());
    QVERIFY(view->items().isEmpty());
    QVERIFY(!view->modified);
}

void TestCanvasView::leftButtonMovesGrabbedItem_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<QList<QPoint>>("path"); // viewport positions: press, then moves

    for (const int scale : {1, 2, 3}) {
        const int s = scale;
        QTest::addRow("scale %d", scale)
            << scale
            << QList<QPoint>{QPoint(22 * s, 11 * s), QPoint(22 * s + 1, 11 * s),
                             QPoint(30 * s, 15 * s + 1), QPoint(26 * s - 1, 40 * s),
                             QPoint(5 * s, 2 * s)};
    }
}

void TestCanvasView::leftButtonMovesGrabbedItem()
{
    QFETCH(int, scale);
    QFETCH(QList<QPoint>, path);

    const auto view = makeView(scale);
    QWidget *viewport = view->viewport();
    CanvasItem *item = place(*view, m_towerPayload, QPoint(20 * scale, 10 * scale));
    QVERIFY(item);
    QCOMPARE(item->pos(), QPointF(20, 10));
    view->modified = false;

    QTest::mousePress(viewport, Qt::LeftButton, {}, path.first());
    QCOMPARE(view->currentItem, item);
    QVERIFY2(!view->modified, "a press alone changes nothing");
    const QPoint pressed = expectedCanvas(path.first(), scale);
    for (int i = 1; i < path.size(); ++i) {
        QTest::mouseMove(viewport, path[i]);
        const QPoint delta = expectedCanvas(path[i], scale) - pressed;
        QCOMPARE(item->pos(), QPointF(QPoint(20, 10) + delta));
        QVERIFY(view->modified);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, path.last());
    QCOMPARE(itemsOf(*view).size(), 1);
}

void TestCanvasView::pressOnEmptyCanvasMovesNothing()
{
    const auto view = makeView();
    QWidget *viewport = view->viewport();
    CanvasItem *item = place(*view, m_towerPayload, QPoint(20, 10));
    view->modified = false;

    // Grab the item once, then press on empty canvas: the grab ends there.
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(21, 11));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(21, 11));
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(100, 100));
    QVERIFY(!view->currentItem);
    QTest::mouseMove(viewport, QPoint(120, 110));
    QTest::mouseMove(viewport, QPoint(140, 150));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(140, 150));
    QCOMPARE(item->pos(), QPointF(20, 10));
    QVERIFY(!view->modified);

    // The empty cell of the tower is not part of it.
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(23, 12));
    QVERIFY(!view->currentItem);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(23, 12));
}

void TestCanvasView::moveAfterReleaseMovesNothing()
{
    const auto view = makeView(2);
    QWidget *viewport = view->viewport();
    CanvasItem *item = place(*view, m_towerPayload, QPoint(40, 20));
    view->modified = false;

    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(42, 22));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(42, 22));
    sendMouseMove(viewport, QPoint(80, 60), Qt::NoButton);
    sendMouseMove(viewport, QPoint(90, 70), Qt::RightButton);
    QCOMPARE(item->pos(), QPointF(20, 10));
    QVERIFY(!view->modified);
}

void TestCanvasView::pointerWithoutMapDoesNothing()
{
    const auto view = makeView(1, false);
    QWidget *viewport = view->viewport();
    ModalScript script;
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(viewport, QPoint(20, 20));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mousePress(viewport, Qt::RightButton, {}, QPoint(20, 20));
    QTest::mouseRelease(viewport, Qt::RightButton, {}, QPoint(20, 20));
    QCOMPARE(tooltipAt(*view, QPoint(20, 20)), QString());
    QVERIFY(script.seen.isEmpty());
    QVERIFY(!view->canvas);
    QVERIFY(!view->currentItem);
    QVERIFY(!view->modified);
}

void TestCanvasView::overlappingItemsActOnFrontItem()
{
    const auto view = makeView();
    QWidget *viewport = view->viewport();
    CanvasItem *back = place(*view, payloadFor(m_wall), QPoint(10, 10)); // 8 x 1 at y 10
    CanvasItem *front = place(*view, m_towerPayload, QPoint(12, 10));    // covers (12..15, 10)
    QVERIFY(back && front);
    view->modified = false;
    const QPoint overlap(13, 10);

    QCOMPARE(tooltipAt(*view, overlap), QStringLiteral("tower.mlt Invisible=False"));

    QTest::mousePress(viewport, Qt::LeftButton, {}, overlap);
    QCOMPARE(view->currentItem, front);
    QTest::mouseMove(viewport, overlap + QPoint(0, 30));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, overlap + QPoint(0, 30));
    QCOMPARE(front->pos(), QPointF(12, 40));
    QCOMPARE(back->pos(), QPointF(10, 10));

    // Back where they overlap, the menu deletes the front item only.
    QTest::mousePress(viewport, Qt::LeftButton, {}, overlap + QPoint(0, 30));
    QTest::mouseMove(viewport, overlap);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, overlap);
    QCOMPARE(front->pos(), QPointF(12, 10));
    {
        ModalScript script({menuAnswer(QStringLiteral("Delete"))});
        QTest::mousePress(viewport, Qt::RightButton, {}, overlap);
        QTest::mouseRelease(viewport, Qt::RightButton, {}, overlap);
        QCOMPARE(script.seen, QStringList{QStringLiteral("QMenu")});
    }
    QCOMPARE(itemsOf(*view), QList<CanvasItem *>{back});
    QCOMPARE(tooltipAt(*view, overlap), QStringLiteral("wall.mlt Invisible=False"));
}

void TestCanvasView::contextMenu_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<int>("itemsAfter");
    QTest::addColumn<bool>("invisibleAfter");
    QTest::addColumn<bool>("modifiedAfter");
    QTest::addColumn<bool>("byTrigger");

    for (const bool byTrigger : {false, true}) {
        const char *how = byTrigger ? "triggered" : "clicked";
        QTest::addRow("Delete %s", how)
            << QStringLiteral("Delete") << 0 << false << true << byTrigger;
        QTest::addRow("Invisible %s", how)
            << QStringLiteral("Invisible") << 1 << true << true << byTrigger;
    }
    QTest::newRow("dismissed") << QString() << 1 << false << false << false;
}

void TestCanvasView::contextMenu()
{
    QFETCH(QString, choice);
    QFETCH(int, itemsAfter);
    QFETCH(bool, invisibleAfter);
    QFETCH(bool, modifiedAfter);
    QFETCH(bool, byTrigger);

    const auto view = makeView(3);
    QWidget *viewport = view->viewport();
    CanvasItem *item = place(*view, m_towerPayload, QPoint(60, 60)); // canvas (20, 20)
    view->modified = false;

    MenuShown shown;
    ModalScript script({menuAnswer(choice, &shown, byTrigger ? Choose::Trigger : Choose::Click)});
    QTest::mousePress(viewport, Qt::RightButton, {}, QPoint(64, 62));
    QTest::mouseRelease(viewport, Qt::RightButton, {}, QPoint(64, 62));
    QCOMPARE(script.seen, QStringList{QStringLiteral("QMenu")});
    QCOMPARE(shown.entries, (QStringList{QStringLiteral("Delete"), QStringLiteral("Invisible")}));
    QVERIFY(shown.invisibleCheckable);
    QVERIFY(!shown.invisibleChecked);
    QVERIFY(!view->currentItem);

    QCOMPARE(itemsOf(*view).size(), itemsAfter);
    QCOMPARE(view->modified, modifiedAfter);
    if (itemsAfter) {
        QCOMPARE(item->invisible, invisibleAfter);
        QCOMPARE(item->pos(), QPointF(20, 20));
    }
}

void TestCanvasView::invisibleIsShownCheckedAndKeepsTheDrawing()
{
    const auto view = makeView(2);
    QWidget *viewport = view->viewport();
    CanvasItem *item = place(*view, m_towerPayload, QPoint(40, 40)); // canvas (20, 20)
    view->modified = false;
    const QPoint onItem(42, 42);
    const QImage before = viewport->grab().toImage();

    const auto chooseInvisible = [&](MenuShown *shown) {
        ModalScript script({menuAnswer(QStringLiteral("Invisible"), shown)});
        QTest::mousePress(viewport, Qt::RightButton, {}, onItem);
        QTest::mouseRelease(viewport, Qt::RightButton, {}, onItem);
        return script.seen;
    };

    MenuShown first;
    QCOMPARE(chooseInvisible(&first), QStringList{QStringLiteral("QMenu")});
    QVERIFY(!first.invisibleChecked);
    QVERIFY(item->invisible);
    QVERIFY(view->modified);
    QVERIFY(item->isVisible());
    QCOMPARE(viewport->grab().toImage(), before);
    QCOMPARE(tooltipAt(*view, onItem), QStringLiteral("tower.mlt   Invisible=True"));

    view->modified = false;
    MenuShown second;
    QCOMPARE(chooseInvisible(&second), QStringList{QStringLiteral("QMenu")});
    QVERIFY(second.invisibleChecked);
    QVERIFY(!item->invisible);
    QVERIFY(view->modified);
    QCOMPARE(viewport->grab().toImage(), before);
    QCOMPARE(tooltipAt(*view, onItem), QStringLiteral("tower.mlt Invisible=False"));
}

void TestCanvasView::rightPressAwayFromItemsOpensNoMenu()
{
    const auto view = makeView();
    QWidget *viewport = view->viewport();
    place(*view, m_towerPayload, QPoint(20, 20));
    view->modified = false;
    ModalScript script;
    QTest::mousePress(viewport, Qt::RightButton, {}, QPoint(100, 100));
    QTest::mouseRelease(viewport, Qt::RightButton, {}, QPoint(100, 100));
    // Also no second, context menu of the view's own on the same click.
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(100, 100),
                                viewport->mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(viewport, &menuEvent);
    QVERIFY(script.seen.isEmpty());
    QCOMPARE(itemsOf(*view).size(), 1);
    QVERIFY(!view->modified);
}

void TestCanvasView::deleteWhileGrabbed()
{
    const auto view = makeView();
    QWidget *viewport = view->viewport();
    CanvasItem *grabbed = place(*view, m_towerPayload, QPoint(20, 20));
    CanvasItem *other = place(*view, m_towerPayload, QPoint(60, 20));

    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(21, 21));
    QCOMPARE(view->currentItem, grabbed);
    {
        ModalScript script({menuAnswer(QStringLiteral("Delete"))});
        QTest::mousePress(viewport, Qt::RightButton, {}, QPoint(21, 21));
        QCOMPARE(script.seen, QStringList{QStringLiteral("QMenu")});
    }
    QCOMPARE(itemsOf(*view), QList<CanvasItem *>{other});
    QVERIFY(!view->currentItem);

    // The left button is still held: moving must not touch the deleted item.
    QTest::mouseMove(viewport, QPoint(40, 50));
    QTest::mouseMove(viewport, QPoint(45, 60));
    QTest::mouseRelease(viewport, Qt::RightButton, {}, QPoint(45, 60));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(45, 60));
    QCOMPARE(itemsOf(*view), QList<CanvasItem *>{other});
    QCOMPARE(other->pos(), QPointF(60, 20));
}

void TestCanvasView::tooltip_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("invisible");
    QTest::addColumn<QString>("expected");

    QTest::newRow("visible") << 1 << QStringLiteral("/maps/structures/tower.mlt") << false
                             << QStringLiteral("tower.mlt Invisible=False");
    QTest::newRow("invisible") << 1 << QStringLiteral("/maps/structures/tower.mlt") << true
                               << QStringLiteral("tower.mlt   Invisible=True");
    QTest::newRow("no slash") << 1 << QStringLiteral("tower.mlt") << false
                              << QStringLiteral("tower.mlt Invisible=False");
    QTest::newRow("no slash, invisible")
        << 2 << QStringLiteral("keep") << true << QStringLiteral("keep   Invisible=True");
    QTest::newRow("spaces in the name") << 3 << QStringLiteral("/a b/old tower.mlt") << false
                                        << QStringLiteral("old tower.mlt Invisible=False");
    QTest::newRow("backslashes are not separators")
        << 1 << QStringLiteral("C:\\maps\\tower.mlt") << false
        << QStringLiteral("C:\\maps\\tower.mlt Invisible=False");
}

void TestCanvasView::tooltip()
{
    QFETCH(int, scale);
    QFETCH(QString, path);
    QFETCH(bool, invisible);
    QFETCH(QString, expected);

    const auto view = makeView(scale);
    StructurePayload payload = m_towerPayload;
    payload.path = path; // as another program could send it
    CanvasItem *item = place(*view, payload, QPoint(30 * scale, 30 * scale));
    QVERIFY(item);
    QCOMPARE(item->filePath, path);
    item->invisible = invisible;

    QCOMPARE(tooltipAt(*view, QPoint(31 * scale, 31 * scale)), expected);
    QVERIFY(QToolTip::isVisible());
}

void TestCanvasView::noTooltipAwayFromItems()
{
    const auto view = makeView();
    place(*view, m_towerPayload, QPoint(30, 30));
    QCOMPARE(tooltipAt(*view, QPoint(150, 150)), QString());
    // Nor over the tower's empty cell.
    QCOMPARE(tooltipAt(*view, QPoint(33, 32)), QString());
    QCOMPARE(tooltipAt(*view, QPoint(32, 32)), QStringLiteral("tower.mlt Invisible=False"));
}

void TestCanvasView::itemPixelsArePainted_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<QPoint>("scroll");

    QTest::newRow("scale 1") << 1 << QPoint();
    QTest::newRow("scale 2") << 2 << QPoint();
    QTest::newRow("scale 3") << 3 << QPoint();
    QTest::newRow("scale 3 scrolled") << 3 << QPoint(31, 17);
    QTest::newRow("scale 6") << 6 << QPoint();
    QTest::newRow("scale 1 scrolled") << 1 << QPoint(9, 4);
}

void TestCanvasView::itemPixelsArePainted()
{
    QFETCH(int, scale);
    QFETCH(QPoint, scroll);

    const auto view = makeView(1);
    const QPoint at(30, 25);
    QVERIFY(place(*view, m_towerPayload, at));
    view->setScale(scale);
    view->horizontalScrollBar()->setValue(scroll.x());
    view->verticalScrollBar()->setValue(scroll.y());
    QCOMPARE(view->horizontalScrollBar()->value(), scroll.x());
    QCOMPARE(view->verticalScrollBar()->value(), scroll.y());

    const QImage terrain(m_terrain);
    const QImage shown = view->viewport()->grab().toImage();
    QVERIFY(shown.width() > 40 * scale - scroll.x() && shown.height() > 30 * scale - scroll.y());

    // Every screen pixel of the n x n block of a canvas pixel has the expected colour.
    const auto checkBlock = [&](QPoint canvasPixel, QRgb colour) {
        for (int dy = 0; dy < scale; ++dy) {
            for (int dx = 0; dx < scale; ++dx) {
                const QPoint screen = canvasPixel * scale - scroll + QPoint(dx, dy);
                if (rgbAt(shown, screen) != colour) {
                    qWarning("canvas pixel (%d, %d), screen (%d, %d): %06x, expected %06x",
                             canvasPixel.x(), canvasPixel.y(), screen.x(), screen.y(),
                             rgbAt(shown, screen), colour);
                    return false;
                }
            }
        }
        return true;
    };

    QVERIFY(checkBlock(at, tileColour(cornerId)));
    QVERIFY(checkBlock(at + QPoint(1, 0), tileColour(bodyId)));
    QVERIFY(checkBlock(at + QPoint(1, 1), tileColour(bodyId)));
    QVERIFY(checkBlock(at + QPoint(3, 1), tileColour(bodyId)));
    QVERIFY(checkBlock(at + QPoint(2, 2), tileColour(bodyId)));
    // The empty cell and the canvas around the tower show the terrain.
    for (const QPoint p : {at + QPoint(3, 2), at + QPoint(4, 0), at + QPoint(-1, 1),
                           at + QPoint(0, 3), QPoint(20, 10), QPoint(45, 28)}) {
        QVERIFY(rgbAt(terrain, p) != tileColour(bodyId));
        QVERIFY(checkBlock(p, rgbAt(terrain, p)));
    }
}

QTEST_MAIN(TestCanvasView)
#include "tst_canvasview.moc"
