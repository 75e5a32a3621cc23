// Measures what users wait on beside its floor, in one run, and prints one line per figure:
//
//   figure: operation <ms>, floor <ms>, ratio <x>
//
// Inputs are generated here from fixed seeds. Times are medians of several runs.

#include "DemoData.h"
#include "app/RadarColours.h"
#include "canvas/Canvas.h"
#include "canvas/CanvasItem.h"
#include "canvas/CanvasView.h"
#include "document/FileCommands.h"
#include "document/MapDocument.h"
#include "document/PlacementFile.h"
#include "library/StructureFile.h"
#include "library/StructurePreview.h"

#include <QApplication>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void report(const char *figure, double operation, double floor, const char *note = "")
{
    std::printf("%-44s operation %10.3f ms   floor %10.3f ms   ratio %5.2f%s%s\n", figure,
                operation, floor, operation / floor, *note ? "   " : "", note);
    std::fflush(stdout);
}

// Resident memory of this process in bytes, where the system tells it; 0 elsewhere.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * 4096 : 0;
}

// Swallows what the placement writer prints while it is measured.
class NullBuffer : public std::streambuf
{
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char *, std::streamsize n) override { return n; }
};

QList<DemoData::Tile> squareOfTiles(int tiles, quint32 seed)
{
    DemoData::Random random(seed);
    QList<DemoData::Tile> list;
    const int side = 100;
    for (int i = 0; i < tiles; ++i)
        list.append({quint16(random.bounded(4096)), qint16(i % side - 50), qint16(i / side - 50),
                     qint16(random.bounded(40))});
    return list;
}

void benchPreview(const QTemporaryDir &dir, const RadarColours &colours)
{
    const QString path = dir.filePath(QStringLiteral("big.mlt"));
    DemoData::writeFile(path, DemoData::structureBytes(squareOfTiles(10000, 11)));
    const QByteArray radar = DemoData::radarColourBytes(5);
    std::vector<quint16> table(65536);
    for (int id = 0; id < 65536; ++id)
        table[id] =
            quint16(uchar(radar[0x8000 + 2 * id]) | (uchar(radar[0x8000 + 2 * id + 1]) << 8));

    const int runs = 31;
    const double operation = medianMs(runs, [&] {
        QImage image;
        QPoint offset;
        QRect region;
        renderStructurePreview(path, colours, image, offset, region);
    });
    const double floor = medianMs(runs, [&] {
        StructureFile structure;
        structure.load(path);
        QImage image(structure.region().size(), StructurePreview::format);
        image.fill(0);
        StructurePreview::paint(structure, image, structure.offset(),
                                [&](quint16 id) { return table[id]; });
    });
    report("1 preview of a 10,000-tile structure", operation, floor);
}

struct PlacementFixture
{
    QString file;
    QString emptyFile;
    QByteArray bytes;
};

PlacementFixture makePlacements(const QTemporaryDir &dir, const QString &terrain)
{
    DemoData::Random random(17);
    QStringList structures;
    for (int s = 0; s < 200; ++s) {
        const QString path = dir.filePath(QStringLiteral("structures/s%1.mlt").arg(s));
        const int width = 4 + random.bounded(40);
        const int height = 4 + random.bounded(40);
        DemoData::writeFile(path,
                            DemoData::structureBytes(DemoData::rectangleStructure(
                                width, height, -width / 2, -height / 2, quint16(s * 8), random)));
        structures.append(path);
    }
    PlacementDocument document;
    document.terrainPath = terrain;
    for (int i = 0; i < 10000; ++i) {
        const QString &path = structures[random.bounded(200)];
        StructureFile structure;
        structure.load(path);
        Placement placement;
        placement.position = QPointF(random.bounded(4000), random.bounded(4000));
        placement.offset = structure.offset();
        placement.region = structure.region();
        placement.structurePath = path;
        placement.invisible = random.bounded(4) == 0;
        document.placements.append(placement);
    }
    PlacementFixture fixture;
    fixture.bytes = *PlacementFile::write(document);
    fixture.file = dir.filePath(QStringLiteral("world.xml"));
    DemoData::writeFile(fixture.file, fixture.bytes);
    document.placements.clear();
    fixture.emptyFile = dir.filePath(QStringLiteral("empty.xml"));
    DemoData::writeFile(fixture.emptyFile, *PlacementFile::write(document));
    return fixture;
}

void benchOpenAndSave(const QTemporaryDir &dir, const RadarColours &colours,
                      const std::function<bool(const char *)> &wanted)
{
    const QString terrain = dir.filePath(QStringLiteral("terrain4096.png"));
    DemoData::terrainImage(4096, 4096, 9).save(terrain);
    const PlacementFixture fixture = makePlacements(dir, terrain);

    const int runs = 5;
    double operation = 0;
    if (wanted("2")) {
        // A fresh view per open, so that its image cache starts empty as in a new session.
        // Until the items are on the map; the terrain arrives in the background afterwards and
        // is timed on its own below. A fresh view per open, so that its image cache starts
        // empty as in a new session.
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            CanvasView view;
            view.setRadarColours(&colours);
            QElapsedTimer timer;
            timer.start();
            view.fileCommands()->readPlacementFile(fixture.file);
            times.push_back(timer.nsecsElapsed() / 1e6);
            if (!QTest::qWaitFor([&] { return !view.isTerrainLoading(); }, 60000))
                std::printf("the terrain was not read\n");
        }
        std::sort(times.begin(), times.end());
        operation = times[times.size() / 2];
    }
    const double floor = !wanted("2") ? 0 : medianMs(runs, [&] {
        QFile file(fixture.file);
        file.open(QIODevice::ReadOnly);
        QDomDocument dom;
        dom.setContent(file.readAll());
        const QDomNodeList items = dom.documentElement().elementsByTagName(QStringLiteral("MLT"));
        QSet<QString> seen;
        for (int i = 0; i < items.size(); ++i) {
            const QDomElement element = items.item(i).toElement();
            const QString path = element.firstChildElement(QStringLiteral("File")).text();
            if (seen.contains(path))
                continue;
            seen.insert(path);
            QImage image;
            QPoint offset;
            QRect region;
            renderStructurePreview(path, colours, image, offset, region);
        }
    });
    const double terrainMs =
        medianMs(runs, [&] { QPixmap pixmap = QPixmap::fromImage(QImageReader(terrain).read()); });
    report("2 open 10,000 placements of 200 structures", operation, floor);
    std::printf("%-44s %10.3f ms (decoding the 4096 x 4096 terrain alone)\n",
                "  terrain, read in the background", terrainMs);

    // 3: save, the "Item is at" lines included in both and sent to a null buffer.
    CanvasView view;
    view.fileCommands()->readPlacementFile(fixture.file);
    const QString saved = dir.filePath(QStringLiteral("saved.xml"));
    NullBuffer nullBuffer;
    std::streambuf *previous = std::cout.rdbuf(&nullBuffer);
    const int saveRuns = qEnvironmentVariableIsSet("BENCH_QUICK") ? 1 : 15;
    const double save = medianMs(saveRuns, [&] { view.fileCommands()->writePlacementFile(saved); });
    const QList<CanvasItem *> items = view.canvas()->allItems();
    const double write = medianMs(saveRuns, [&] {
        for (const CanvasItem *item : items)
            std::cout << PlacementFile::itemIsAtLine(item->pos()).constData() << '\n';
        std::cout.flush();
        QSaveFile file(saved);
        file.open(QIODevice::WriteOnly);
        file.write(fixture.bytes);
        file.commit();
    });
    std::cout.rdbuf(previous);
    report("3 save 10,000 placements", save, write, "(\"Item is at\" lines in both)");

    // 6: memory the placements add, beyond an empty map of the same terrain.
    qint64 before = 0;
    qint64 after = 0;
    qint64 pixmapBytes = 0;
    {
        CanvasView memoryView;
        const auto terrainRead = [&] {
            return QTest::qWaitFor([&] { return !memoryView.isTerrainLoading(); }, 60000);
        };
        memoryView.fileCommands()->readPlacementFile(fixture.emptyFile);
        if (!terrainRead())
            std::printf("the terrain was not read\n");
        before = residentBytes();
        memoryView.fileCommands()->readPlacementFile(fixture.file);
        if (!terrainRead())
            std::printf("the terrain was not read\n");
        after = residentBytes();
        QSet<qint64> keys;
        for (const CanvasItem *item : memoryView.canvas()->allItems()) {
            const QPixmap pixmap = item->pixmap();
            if (!keys.contains(pixmap.cacheKey())) {
                keys.insert(pixmap.cacheKey());
                pixmapBytes += qint64(pixmap.width()) * pixmap.height() * 4;
            }
        }
    }
    const double added = double(after - before);
    const double allowance = double(pixmapBytes) + 10000.0 * 1024;
    std::printf("%-44s added %8.2f MiB   allowance %8.2f MiB   ratio %5.2f   (%lld distinct "
                "pixmaps, %.2f MiB)\n",
                "6 memory of 10,000 placements", added / 1048576, allowance / 1048576,
                added / allowance, qint64(pixmapBytes ? 200 : 0), pixmapBytes / 1048576.0);
}

// 2c: from a new map on a 4096 x 4096 PNG terrain until the part in view (1280 x 800 at scale
// 1, the view at the top-left corner) is decoded and painted, against decoding the whole image.
void benchTerrainInView(const QTemporaryDir &dir)
{
    const QString terrain = dir.filePath(QStringLiteral("terrain4096-in-view.png"));
    const QImage image = DemoData::terrainImage(4096, 4096, 9);
    image.save(terrain);
    const QString none = dir.filePath(QStringLiteral("none.png")); // an empty map

    CanvasView view;
    // Scroll bars always shown, so that the viewport keeps its size whatever the map.
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view.show();
    view.resize(view.size() + (QSize(1280, 800) - view.viewport()->size()));
    if (!QTest::qWaitForWindowExposed(&view))
        std::printf("the view was not shown\n");
    QWidget *viewport = view.viewport();
    // The last pixel in view: its rows arrive last, and are painted after all above them.
    const QPoint last(viewport->width() - 1, viewport->height() - 1);
    const QRgb lastPixel = image.pixel(last) & 0xFFFFFF;
    const auto lastShown = [&] {
        const QPoint at = viewport->mapTo(&view, last);
        const QImage grabbed =
            view.screen()->grabWindow(view.winId(), at.x(), at.y(), 1, 1).toImage();
        return (grabbed.pixel(0, 0) & 0xFFFFFF) == lastPixel;
    };

    const int runs = qEnvironmentVariableIsSet("BENCH_QUICK") ? 3 : 7;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        view.newCanvas(none);
        QApplication::processEvents();
        if (lastShown())
            std::printf("the terrain shows before it is read\n");
        QElapsedTimer timer;
        timer.start();
        view.newCanvas(terrain);
        while (!lastShown() && timer.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        times.push_back(timer.nsecsElapsed() / 1e6);
        // The rest arrives before the next run.
        if (!QTest::qWaitFor([&] { return !view.isTerrainLoading(); }, 60000))
            std::printf("the terrain was not read\n");
    }
    std::sort(times.begin(), times.end());
    const double floor = medianMs(runs, [&] { QImageReader(terrain).read(); });
    report("2c terrain in a 1280 x 800 view, 4096^2 PNG", times[times.size() / 2], floor,
           "(vs decoding the whole image)");
}

void benchMove()
{
    const auto moveCost = [](int itemCount) {
        CanvasView view;
        view.resize(1280, 800);
        QTemporaryDir dir;
        const QString terrain = dir.filePath(QStringLiteral("t.bmp"));
        DemoData::terrainImage(4096, 4096, 9).save(terrain);
        view.setScale(6);
        view.show();
        // The terrain is read in the background: measure once it is shown.
        QImage preview(20, 20, StructurePreview::format);
        preview.fill(0xFF804020);
        const QString structure = QStringLiteral("/s.mlt");
        const QRect region(0, 0, 20, 20);
        view.setStructureImages({{CanvasView::structureKey(structure, region, QPoint()), preview}});
        PlacementDocument content;
        content.terrainPath = terrain;
        DemoData::Random random(3);
        for (int i = 0; i < itemCount; ++i) {
            const QPointF at = i + 1 < itemCount
                                   ? QPointF(random.bounded(4000), random.bounded(4000))
                                   : QPointF(10, 10);
            content.placements.append({at, QPoint(), region, structure});
        }
        view.document()->open(content);
        if (!QTest::qWaitFor([&] { return !view.isTerrainLoading(); }, 60000))
            std::printf("the terrain was not read\n");
        QApplication::processEvents();
        QWidget *viewport = view.viewport();
        const QPoint start(66, 66);
        QMouseEvent press(QEvent::MouseButtonPress, start, viewport->mapToGlobal(start),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        int step = 0;
        return medianMs(201, [&] {
            ++step;
            const QPoint pos = start + QPoint(6 * (step % 40), 0);
            QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
            QApplication::processEvents();
        });
    };
    const double many = moveCost(10000);
    const double one = qEnvironmentVariableIsSet("BENCH_QUICK") ? 1 : moveCost(1);
    report("4 move a grabbed item one step, scale 6", many, one, "(10,000 items vs 1)");
}

class PixmapWidget : public QWidget
{
public:
    explicit PixmapWidget(const QPixmap &pixmap) : m_pixmap(pixmap)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        resize(pixmap.size());
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).drawPixmap(0, 0, m_pixmap); }

private:
    QPixmap m_pixmap;
};

void benchPaint(const QTemporaryDir &dir)
{
    const QString terrain = dir.filePath(QStringLiteral("terrain8192.png"));
    {
        QImage image(8192, 8192, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF);
        }
        image.save(terrain);
    }
    CanvasView view;
    view.resize(1280 + view.frameWidth() * 2 + 40, 800 + view.frameWidth() * 2 + 40);
    view.newCanvas(terrain);
    const bool loaded = QTest::qWaitFor([&] { return !view.isTerrainLoading(); }, 60000);
    if (view.canvas()->sceneRect().width() != 8192 || !loaded) {
        std::printf("5 the 8192 x 8192 terrain did not load\n");
        return;
    }
    view.setScale(6);
    view.show();
    view.resize(view.size() + (QSize(1280, 800) - view.viewport()->size()));
    QApplication::processEvents();

    // The whole viewport painted anew at another place of the map, as after a jump of the
    // scroll bar (moving the scroll bar itself is not timed).
    const auto repaintScrolled = [&] {
        std::vector<double> times;
        for (int step = 0; step < 31; ++step) {
            view.horizontalScrollBar()->setValue(1000 + 600 * (step % 20));
            view.verticalScrollBar()->setValue(800 + 300 * (step % 7));
            QApplication::processEvents();
            QElapsedTimer timer;
            timer.start();
            view.viewport()->repaint();
            times.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    const double operation = repaintScrolled();

    // The floor: a widget of the same size that paints one unscaled pixmap.
    QImage source(1280, 800, QImage::Format_RGB32);
    source.fill(Qt::darkGreen);
    PixmapWidget plain(QPixmap::fromImage(source));
    plain.show();
    QApplication::processEvents();
    const double floor = medianMs(31, [&] { plain.repaint(); });
    report("5 paint a 1280 x 800 viewport, 8192^2, scale 6", operation, floor);
    view.setScale(1);
    report("  the same viewport at scale 1", repaintScrolled(), floor);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    const QString radar = dir.filePath(QStringLiteral("radar.bin"));
    DemoData::writeFile(radar, DemoData::radarColourBytes(5));
    RadarColours colours;
    colours.open(radar);

    const QStringList only = application.arguments().mid(1);
    const auto wanted = [&](const char *figure) {
        return only.isEmpty() || only.contains(QLatin1String(figure));
    };
    if (wanted("1"))
        benchPreview(dir, colours);
    if (wanted("2") || wanted("3") || wanted("6"))
        benchOpenAndSave(dir, colours, wanted);
    if (wanted("2c"))
        benchTerrainInView(dir);
    if (wanted("4"))
        benchMove();
    if (wanted("5"))
        benchPaint(dir);
    return 0;
}
