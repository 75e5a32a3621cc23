// The canvas's own index of its items: whatever is placed, moved, hidden or deleted, lookups
// must answer what a look at every item answers.

#include "DemoData.h"
#include "canvas/Canvas.h"
#include "canvas/CanvasItem.h"
#include "document/Placement.h"

#include <QImage>
#include <QPixmap>
#include <QTest>

#include <list>

namespace {

// The front-most shown item whose shape holds pos, and the shown items meeting rect, found by
// looking at every item.
CanvasItem *frontItemAt(const Canvas &canvas, QPointF pos)
{
    const QList<CanvasItem *> &items = canvas.allItems();
    for (auto it = items.crbegin(); it != items.crend(); ++it) {
        if ((*it)->isVisible() && (*it)->contains(pos - (*it)->pos()))
            return *it;
    }
    return nullptr;
}

QList<CanvasItem *> shownItemsIn(const Canvas &canvas, const QRectF &rect)
{
    QList<CanvasItem *> found = canvas.allItems();
    found.removeIf([&](CanvasItem *item) {
        return !item->isVisible() || !item->canvasRect().intersects(rect);
    });
    return found;
}

} // namespace

class TestCanvas : public QObject
{
    Q_OBJECT

private slots:
    void lookupsAgreeWithEveryItem_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("spread"); // positions fall within this many pixels of the origin
        QTest::newRow("crowded") << 1u << 300;
        QTest::newRow("spread over a large map") << 2u << 9000;
        QTest::newRow("far out, negative too") << 3u << 2000000000;
    }

    void lookupsAgreeWithEveryItem()
    {
        QFETCH(quint32, seed);
        QFETCH(int, spread);
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
        for (int round = 0; round < 40; ++round) {
            for (int i = 0; i < 30; ++i) {
                const int pick = random.bounded(int(pixmaps.size() + placeholderRegions.size()));
                Placement &placement = placements.emplace_back();
                if (pick >= pixmaps.size())
                    placement.region = placeholderRegions[pick - pixmaps.size()];
                placement.position = QPointF(coordinate(), coordinate());
                new CanvasItem(&placement, pick < pixmaps.size() ? pixmaps[pick] : QPixmap(),
                               &canvas);
                canvas.allItems().last()->setVisible(random.bounded(8) != 0);
            }
            // Moves near and far, showing and hiding, deleting, in random order.
            const QList<CanvasItem *> items = canvas.allItems();
            for (CanvasItem *item : items) {
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

            for (int probe = 0; probe < 50; ++probe) {
                // Points chosen on items as often as anywhere.
                QPointF pos(coordinate(), coordinate());
                if (probe % 2 && !canvas.allItems().isEmpty()) {
                    const CanvasItem *near =
                        canvas.allItems()[random.bounded(int(canvas.allItems().size()))];
                    pos = near->pos() + QPointF(random.bounded(70), random.bounded(70));
                }
                QCOMPARE(canvas.itemAt(pos), frontItemAt(canvas, pos));
                const QRectF rect(pos, QSizeF(random.bounded(500) + 1, random.bounded(500) + 1));
                QCOMPARE(canvas.itemsIn(rect), shownItemsIn(canvas, rect));
            }
        }
        QVERIFY(canvas.allItems().size() > 400);
    }
};

QTEST_MAIN(TestCanvas)
#include "tst_canvas.moc"
