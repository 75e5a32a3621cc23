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

class TestCanvas : public QObject
{
    Q_OBJECT

private slots:
    // Crowded, then spread far out, negative too.
    void lookupsAgreeWithEveryItem()
    {
        for (const auto &[seed, spread] : {std::pair(1u, 300), std::pair(3u, 2000000000)})
            lookups(seed, spread);
    }

private:
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
                QCOMPARE(canvas.itemAt(pos), front == all.crend() ? nullptr : *front);
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
};

QTEST_MAIN(TestCanvas)
#include "tst_canvas.moc"
