// Measures what users wait on beside its floor, in one run, and prints one line per figure:
//
//   figure: operation <ms>, floor <ms>, ratio <x>
//
// Inputs are generated here from fixed seeds. Times are medians of several runs.

#include "DemoData.h"
#include "core/LibraryIndex.h"
#include "core/LoadedMap.h"
#include "core/MapCheck.h"
#include "core/MapComparison.h"
#include "core/MapDocument.h"
#include "core/MapRenderer.h"
#include "core/MapSession.h"
#include "core/PlacementFile.h"
#include "core/PngEncoder.h"
#include "core/RadarColours.h"
#include "core/RecoveryStore.h"
#include "core/StructureFile.h"
#include "core/StructureImages.h"
#include "core/StructurePreview.h"
#include "core/TerrainLoader.h"
#include "editor/Canvas.h"
#include "editor/CanvasItem.h"
#include "editor/CanvasView.h"
#include "editor/DirView.h"
#include "editor/EditCommands.h"
#include "editor/FileCommands.h"
#include "editor/LibraryPanel.h"
#include "editor/LibraryResults.h"
#include "editor/OverviewWidget.h"
#include "editor/PlacementsPanel.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QSaveFile>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <vector>

// The map as the window holds it: the session, its view and the File commands on them.
struct MapEditor
{
    MapSession session;
    CanvasView view{&session};
    FileCommands commands{&session, &view};
};

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

// How long work takes, in milliseconds.
double timedMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

// Runs operation and floor in turn, runs times each, each returning the milliseconds it took,
// so that both meet the same load on the machine, whose speed drifts between runs far more
// than within one. Returns the times of the run whose ratio is the median.
std::pair<double, double> alternateMs(int runs, const std::function<double()> &operation,
                                      const std::function<double()> &floor)
{
    std::vector<std::pair<double, double>> pairs;
    for (int i = 0; i < runs; ++i) {
        const double first = operation();
        pairs.emplace_back(first, floor());
    }
    std::sort(pairs.begin(), pairs.end(),
              [](const auto &a, const auto &b) { return a.first / a.second < b.first / b.second; });
    return pairs[pairs.size() / 2];
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

    const auto preview = [&] {
        QImage image;
        QPoint offset;
        QRect region;
        renderStructurePreview(path, colours, image, offset, region);
    };
    const auto paintInMemory = [&] {
        StructureFile structure;
        structure.load(path);
        QImage image(structure.region().size(), StructurePreview::format);
        image.fill(0);
        StructurePreview::paint(structure, image, structure.offset(),
                                [&](quint16 id) { return table[id]; });
    };
    const auto [operation, floor] = alternateMs(
        31, [&] { return timedMs(preview); }, [&] { return timedMs(paintInMemory); });
    report("1 preview of a 10,000-tile structure", operation, floor);
}

struct StructureKind
{
    QString path;
    QPoint offset;
    QRect region;
};

// The placement files of figures 2, 3, 6, 7, 8 and 9: the first 10,000 placements of one sequence
// in one file, all 100,000 in another, and the terrain alone in a third.
struct PlacementFixture
{
    QString terrain;
    std::vector<StructureKind> structures;
    QString emptyFile;
    QString file10k;
    QString file100k;
    QByteArray bytes10k;
    QByteArray bytes100k;

    const QString &file(int count) const { return count == 10000 ? file10k : file100k; }
    const QByteArray &bytes(int count) const { return count == 10000 ? bytes10k : bytes100k; }
};

PlacementFixture makePlacements(const QTemporaryDir &dir)
{
    PlacementFixture fixture;
    fixture.terrain = dir.filePath(QStringLiteral("terrain4096.png"));
    DemoData::terrainImage(4096, 4096, 9).save(fixture.terrain);
    DemoData::Random random(17);
    for (int s = 0; s < 200; ++s) {
        const QString path = dir.filePath(QStringLiteral("structures/s%1.mlt").arg(s));
        const int width = 4 + random.bounded(40);
        const int height = 4 + random.bounded(40);
        DemoData::writeFile(path,
                            DemoData::structureBytes(DemoData::rectangleStructure(
                                width, height, -width / 2, -height / 2, quint16(s * 8), random)));
        StructureFile structure;
        structure.load(path);
        fixture.structures.push_back({path, structure.offset(), structure.region()});
    }
    PlacementDocument document;
    document.terrainPath = fixture.terrain;
    const auto save = [&](const QString &name, QString &file, QByteArray *bytes) {
        file = dir.filePath(name);
        const QByteArray written = *PlacementFile::write(document);
        DemoData::writeFile(file, written);
        if (bytes)
            *bytes = written;
    };
    save(QStringLiteral("empty.xml"), fixture.emptyFile, nullptr);
    document.placements.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        const StructureKind &kind = fixture.structures[size_t(random.bounded(200))];
        Placement placement;
        placement.position = QPointF(random.bounded(4000), random.bounded(4000));
        placement.offset = kind.offset;
        placement.region = kind.region;
        placement.structurePath = kind.path;
        placement.invisible = random.bounded(4) == 0;
        document.placements.append(placement);
        if (i + 1 == 10000)
            save(QStringLiteral("world10k.xml"), fixture.file10k, &fixture.bytes10k);
    }
    save(QStringLiteral("world100k.xml"), fixture.file100k, &fixture.bytes100k);
    return fixture;
}

// What any reader of a placement file must do at least: one pass of a stream reader over the
// file's bytes, reading every element and attribute the map is made from, building nothing.
qint64 bareStreamPass(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QXmlStreamReader xml(&file);
    qint64 sum = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        const QXmlStreamAttributes attributes = xml.attributes();
        if (name == QLatin1String("MLT")) {
            sum += attributes.value(QLatin1String("Invisible")) == QLatin1String("True");
        } else if (name == QLatin1String("Location")) {
            sum += attributes.value(QLatin1String("X")).toInt() +
                   attributes.value(QLatin1String("Y")).toInt() +
                   attributes.value(QLatin1String("OffsetX")).toInt() +
                   attributes.value(QLatin1String("OffsetY")).toInt();
        } else if (name == QLatin1String("File")) {
            sum += attributes.value(QLatin1String("RegionX")).toInt() +
                   attributes.value(QLatin1String("RegionY")).toInt();
            sum += xml.readElementText().size();
        } else if (name == QLatin1String("Image")) {
            sum += xml.readElementText().size();
        }
    }
    return sum;
}

// One open through the File command on a fresh view (its image cache empty, as in a new
// session), until the items are on the map. The terrain arrives in the background afterwards
// and is waited for untimed.
double openOnceMs(const QString &file, const RadarColours &colours)
{
    MapEditor editor;
    editor.session.setRadarColours(&colours);
    QElapsedTimer timer;
    timer.start();
    if (!editor.commands.readPlacementFile(file))
        std::printf("%s could not be read\n", qPrintable(file));
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!QTest::qWaitFor([&] { return !editor.session.isTerrainLoading(); }, 60000))
        std::printf("the terrain was not read\n");
    return ms;
}

// The floor of an open: the bare stream pass plus every distinct structure rendered once, one
// after another.
double openFloorOnceMs(const PlacementFixture &fixture, int count, const RadarColours &colours)
{
    QElapsedTimer timer;
    timer.start();
    qint64 sink = bareStreamPass(fixture.file(count));
    for (const StructureKind &kind : fixture.structures)
        sink += renderStructureImage(kind.path, colours, kind.region, kind.offset).width();
    const double ms = timer.nsecsElapsed() / 1e6;
    if (sink == 42)
        std::printf(" ");
    return ms;
}

// The median of values.
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Each run opens both files and takes both floors, one after another, so that everything in
// it meets the same load on the machine, whose speed drifts between runs far more than within
// one. Each figure is reported from the run whose ratio is the median.
void benchOpen(const PlacementFixture &fixture, const RadarColours &colours,
               const std::function<bool(const char *)> &wanted)
{
    const bool both = wanted("2b");
    const int runs = both ? 7 : 9;
    std::vector<std::array<double, 4>> times; // open and floor of 10,000, then of 100,000
    for (int i = 0; i < runs; ++i) {
        std::array<double, 4> run{};
        run[0] = openOnceMs(fixture.file10k, colours);
        run[1] = openFloorOnceMs(fixture, 10000, colours);
        if (both) {
            run[2] = openOnceMs(fixture.file100k, colours);
            run[3] = openFloorOnceMs(fixture, 100000, colours);
        }
        times.push_back(run);
    }
    const auto medianRun = [&](int at) {
        std::vector<std::array<double, 4>> sorted = times;
        std::sort(sorted.begin(), sorted.end(), [at](const auto &a, const auto &b) {
            return a[at] / a[at + 1] < b[at] / b[at + 1];
        });
        return sorted[sorted.size() / 2];
    };
    if (wanted("2a")) {
        const std::array<double, 4> run = medianRun(0);
        report("2a open 10,000 placements of 200 structures", run[0], run[1]);
    }
    if (both) {
        std::vector<double> growth;
        for (const auto &run : times)
            growth.push_back(run[2] / run[0]);
        const std::array<double, 4> run = medianRun(2);
        char note[80];
        std::snprintf(note, sizeof note, "(%.2f x the open of 10,000 in the same run)",
                      median(growth));
        report("2b open 100,000 placements", run[2], run[3], note);
    }
    if (wanted("2a")) {
        const double terrainMs = medianMs(
            5, [&] { QPixmap pixmap = QPixmap::fromImage(QImageReader(fixture.terrain).read()); });
        std::printf("%-44s %10.3f ms (decoding the 4096 x 4096 terrain alone)\n",
                    "  terrain, read in the background", terrainMs);
    }
}

// 3: save, the "Item is at" lines included in both and sent to a null buffer.
void benchSave(const QTemporaryDir &dir, const PlacementFixture &fixture, int count, int runs,
               const char *figure)
{
    MapEditor editor;
    editor.commands.readPlacementFile(fixture.file(count));
    const QString saved = dir.filePath(QStringLiteral("saved.xml"));
    NullBuffer nullBuffer;
    std::streambuf *previous = std::cout.rdbuf(&nullBuffer);
    const QList<Placement *> &placements = editor.session.document()->placements();
    const QByteArray &bytes = fixture.bytes(count);
    const auto writeBytes = [&] {
        for (const Placement *placement : placements)
            std::cout << PlacementFile::itemIsAtLine(placement->position).constData() << '\n';
        std::cout.flush();
        QSaveFile file(saved);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.commit();
    };
    const auto [save, write] = alternateMs(
        runs, [&] { return timedMs([&] { editor.commands.writePlacementFile(saved); }); },
        [&] { return timedMs(writeBytes); });
    std::cout.rdbuf(previous);
    report(figure, save, write, "(\"Item is at\" lines in both)");
}

// 6: memory as a user's program meets it. A fresh process opens the file and reports what it
// holds resident once the map is shown, and the bytes of its distinct pixmaps.
const char memoryProbeArgument[] = "--memory-probe";

int memoryProbe(const QString &file, const QString &radar)
{
    RadarColours colours;
    colours.open(radar);
    MapEditor editor;
    CanvasView &view = editor.view;
    editor.session.setRadarColours(&colours);
    if (!editor.commands.readPlacementFile(file) ||
        !QTest::qWaitFor([&] { return !editor.session.isTerrainLoading(); }, 60000))
        return 1;
    QSet<qint64> keys;
    qint64 pixmapBytes = 0;
    for (const CanvasItem *item : view.canvas()->allItems()) {
        const QPixmap pixmap = item->pixmap();
        if (!keys.contains(pixmap.cacheKey())) {
            keys.insert(pixmap.cacheKey());
            pixmapBytes += qint64(pixmap.width()) * pixmap.height() * 4;
        }
    }
    std::printf("%lld %lld\n", residentBytes(), pixmapBytes);
    return 0;
}

// Resident bytes and pixmap bytes of a fresh process that opened file; medians of runs.
std::pair<double, double> probeMemory(const QString &file, const QString &radar, int runs)
{
    std::vector<double> resident;
    double pixmaps = 0;
    for (int i = 0; i < runs; ++i) {
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(),
                    {QLatin1String(memoryProbeArgument), file, radar});
        if (!probe.waitForFinished(120000) || probe.exitCode() != 0) {
            std::printf("the memory probe of %s failed\n", qPrintable(file));
            return {0, 0};
        }
        const QList<QByteArray> fields = probe.readAllStandardOutput().trimmed().split(' ');
        resident.push_back(fields.value(0).toDouble());
        pixmaps = fields.value(1).toDouble();
    }
    std::sort(resident.begin(), resident.end());
    return {resident[resident.size() / 2], pixmaps};
}

void benchMemory(const PlacementFixture &fixture, const QString &radar)
{
    const int runs = 3;
    const double empty = probeMemory(fixture.emptyFile, radar, runs).first;
    for (const int count : {10000, 100000}) {
        const auto [resident, pixmapBytes] = probeMemory(fixture.file(count), radar, runs);
        const double added = resident - empty;
        const double allowance = pixmapBytes + count * 1024.0;
        std::printf("%-44s added %8.2f MiB   allowance %8.2f MiB   ratio %5.2f   (%.0f bytes a "
                    "placement; pixmaps %.2f MiB)\n",
                    count == 10000 ? "6 memory of 10,000 placements, fresh process"
                                   : "6 memory of 100,000 placements, fresh process",
                    added / 1048576, allowance / 1048576, added / allowance,
                    (added - pixmapBytes) / count, pixmapBytes / 1048576);
        std::fflush(stdout);
    }
}

// Settles a shown view: the canvas's change notices, then the paint they ask for.
void paintPending()
{
    QApplication::processEvents();
    QApplication::processEvents();
}

// 7: undoing the move of a large selection against the move itself, both through the
// document's commands and followed by the repaint they cause.
void benchUndo(const PlacementFixture &fixture, const RadarColours &colours)
{
    MapEditor editor;
    CanvasView &view = editor.view;
    editor.session.setRadarColours(&colours);
    view.resize(1280, 800);
    editor.commands.readPlacementFile(fixture.file100k);
    if (!QTest::qWaitFor([&] { return !editor.session.isTerrainLoading(); }, 60000))
        std::printf("the terrain was not read\n");
    view.show();
    paintPending();
    QList<Placement *> selection;
    const QList<Placement *> &placements = editor.session.document()->placements();
    for (qsizetype i = 0; i < placements.size(); i += 10)
        selection.append(placements[i]);
    // Each undo follows its move.
    double move = 0;
    const auto [undo, moved] = alternateMs(
        21,
        [&] {
            move = timedMs([&] {
                editor.session.document()->move(selection, QPointF(3, 2));
                paintPending();
            });
            return timedMs([&] {
                editor.session.document()->undoStack()->undo();
                paintPending();
            });
        },
        [&] { return move; });
    report("7 undo moving 10,000 of 100,000 items", undo, moved, "(against the move)");
}

// 8: File > Export Image... of the 4096 x 4096 map of 10,000 placements, its document and
// terrain in memory: drawn, encoded and written through a QSaveFile, against encoding the
// finished image into memory with the same encoder and settings.
void benchExport(const QTemporaryDir &dir, const PlacementFixture &fixture,
                 const RadarColours &colours)
{
    const std::optional<LoadedMap> map = LoadedMap::read(fixture.file10k, colours);
    const QImage terrain = TerrainLoader::read(fixture.terrain);
    if (!map || terrain.isNull()) {
        std::printf("8 the map could not be read\n");
        return;
    }
    const MapRenderer renderer(terrain, map->content.placements, map->images);
    const QImage image = renderer.render();
    const QString target = dir.filePath(QStringLiteral("export.png"));
    QByteArray encoded;
    const auto encodeAlone = [&] {
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        PngEncoder::encode(image, &buffer);
    };
    const int runs = qEnvironmentVariableIsSet("BENCH_QUICK") ? 3 : 7;
    const auto [operation, floor] = alternateMs(
        runs, [&] { return timedMs([&] { renderer.writePng(target); }); },
        [&] { return timedMs(encodeAlone); });
    report("8 export a 4096 x 4096 map, 10,000 items", operation, floor,
           "(vs encoding the drawn image alone)");
    qint64 qtBytes = 0;
    const double qt = medianMs(3, [&] {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(image);
        qtBytes = buffer.size();
    });
    std::printf("%-44s %10.3f ms (%.1f MiB; the export's file %.1f MiB)\n",
                "  the drawn image through Qt's QImageWriter", qt, qtBytes / 1048576.0,
                QFileInfo(target).size() / 1048576.0);
}

// 2c: from a new map on a 4096 x 4096 PNG terrain until the part in view (1280 x 800 at scale
// 1, the view at the top-left corner) is decoded and painted, against decoding the whole image.
void benchTerrainInView(const QTemporaryDir &dir)
{
    const QString terrain = dir.filePath(QStringLiteral("terrain4096-in-view.png"));
    const QImage image = DemoData::terrainImage(4096, 4096, 9);
    image.save(terrain);

    MapEditor editor;
    CanvasView &view = editor.view;
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

    const auto showInView = [&] {
        editor.session.document()->close();
        QApplication::processEvents();
        if (lastShown())
            std::printf("the terrain shows before it is read\n");
        QElapsedTimer timer;
        timer.start();
        editor.session.newMap(terrain);
        while (!lastShown() && timer.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = timer.nsecsElapsed() / 1e6;
        // The rest arrives before the next run.
        if (!QTest::qWaitFor([&] { return !editor.session.isTerrainLoading(); }, 60000))
            std::printf("the terrain was not read\n");
        return ms;
    };
    const auto [operation, floor] =
        alternateMs(qEnvironmentVariableIsSet("BENCH_QUICK") ? 3 : 7, showInView,
                    [&] { return timedMs([&] { QImageReader(terrain).read(); }); });
    report("2c terrain in a 1280 x 800 view, 4096^2 PNG", operation, floor,
           "(vs decoding the whole image)");
}

// A view at scale 6 of a map of itemCount items of one structure, with the last item grabbed
// by a press near the view's top-left corner.
struct MoveScene
{
    QTemporaryDir dir;
    MapEditor editor;
    CanvasView &view = editor.view;
    QPoint start{66, 66};
    int step = 0;

    explicit MoveScene(int itemCount)
    {
        view.resize(1280, 800);
        const QString terrain = dir.filePath(QStringLiteral("t.bmp"));
        DemoData::terrainImage(4096, 4096, 9).save(terrain);
        view.setScale(6);
        view.show();
        QImage preview(20, 20, StructurePreview::format);
        preview.fill(0xFF804020);
        const QString structure = QStringLiteral("/s.mlt");
        const QRect region(0, 0, 20, 20);
        editor.session.addStructureImage(StructureImages::Key{structure, region.size(), QPoint()},
                                         preview);
        PlacementDocument content;
        content.terrainPath = terrain;
        DemoData::Random random(3);
        for (int i = 0; i < itemCount; ++i) {
            const QPointF at = i + 1 < itemCount
                                   ? QPointF(random.bounded(4000), random.bounded(4000))
                                   : QPointF(10, 10);
            content.placements.append({at, QPoint(), region, structure});
        }
        editor.session.document()->open(content);
        // The terrain is read in the background: measure once it is shown.
        if (!QTest::qWaitFor([&] { return !editor.session.isTerrainLoading(); }, 60000))
            std::printf("the terrain was not read\n");
        QApplication::processEvents();
        QMouseEvent press(QEvent::MouseButtonPress, start, view.viewport()->mapToGlobal(start),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &press);
    }

    // One step of the drag, with the repaint that follows it.
    double moveMs()
    {
        ++step;
        const QPoint pos = start + QPoint(6 * (step % 40), 0);
        QElapsedTimer timer;
        timer.start();
        QMouseEvent move(QEvent::MouseMove, pos, view.viewport()->mapToGlobal(pos), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &move);
        QApplication::processEvents();
        return timer.nsecsElapsed() / 1e6;
    }
};

// The two maps' steps alternate, so that both meet the same load on the machine.
void benchMove()
{
    MoveScene many(100000);
    MoveScene one(1);
    std::vector<double> manyTimes;
    std::vector<double> oneTimes;
    for (int i = 0; i < 201; ++i) {
        manyTimes.push_back(many.moveMs());
        oneTimes.push_back(one.moveMs());
    }
    report("4 move a grabbed item one step, scale 6", median(manyTimes), median(oneTimes),
           "(100,000 items vs 1)");
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

// An 8192 x 8192 terrain image in dir, made on first use.
QString terrain8192(const QTemporaryDir &dir)
{
    const QString terrain = dir.filePath(QStringLiteral("terrain8192.png"));
    if (QFile::exists(terrain))
        return terrain;
    QImage image(8192, 8192, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF);
    }
    image.save(terrain);
    return terrain;
}

void benchPaint(const QTemporaryDir &dir)
{
    const QString terrain = terrain8192(dir);
    MapEditor editor;
    CanvasView &view = editor.view;
    view.resize(1280 + view.frameWidth() * 2 + 40, 800 + view.frameWidth() * 2 + 40);
    editor.session.newMap(terrain);
    const bool loaded = QTest::qWaitFor([&] { return !editor.session.isTerrainLoading(); }, 60000);
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
    int step = 0;
    const auto repaintScrolled = [&] {
        view.horizontalScrollBar()->setValue(1000 + 600 * (step % 20));
        view.verticalScrollBar()->setValue(800 + 300 * (step % 7));
        ++step;
        QApplication::processEvents();
        return timedMs([&] { view.viewport()->repaint(); });
    };
    // Each measured in a run of its own: in turn, each would find the caches filled with the
    // other's pixels.
    const auto medianOf = [](const std::function<double()> &work) {
        std::vector<double> times;
        for (int i = 0; i < 31; ++i)
            times.push_back(work());
        return median(times);
    };
    const double operation = medianOf(repaintScrolled);

    // The floor: a widget of the same size that paints one unscaled pixmap.
    QImage source(1280, 800, QImage::Format_RGB32);
    source.fill(Qt::darkGreen);
    PixmapWidget plain(QPixmap::fromImage(source));
    plain.show();
    QApplication::processEvents();
    const double floor = medianOf([&] { return timedMs([&] { plain.repaint(); }); });
    report("5 paint a 1280 x 800 viewport, 8192^2, scale 6", operation, floor);
    view.setScale(1);
    report("  the same viewport at scale 1", medianOf(repaintScrolled), floor);
}

// A 1280 x 800 view of a map, zoomed a step at a time through the scales, 1 to 6 and back,
// around points spread over the view.
class ZoomScene
{
public:
    ZoomScene(const QString &file, const RadarColours &colours)
    {
        m_editor.session.setRadarColours(&colours);
        m_editor.commands.readPlacementFile(file);
        if (!QTest::qWaitFor([&] { return !m_editor.session.isTerrainLoading(); }, 60000))
            std::printf("the terrain was not read\n");
        m_view.show();
        m_view.resize(m_view.size() + (QSize(1280, 800) - m_view.viewport()->size()));
        m_view.centerOn(2048, 2048);
        paintPending();
    }

    // One step and the repaint it asks for.
    double stepMs()
    {
        static constexpr std::array<int, 10> scales = {2, 3, 4, 5, 6, 5, 4, 3, 2, 1};
        const int scale = scales[size_t(m_step % int(scales.size()))];
        const QPoint anchor(160 + 97 * (m_step % 11), 100 + 61 * (m_step % 10));
        ++m_step;
        const double t = timedMs([&] {
            m_view.zoomTo(scale, anchor);
            m_view.viewport()->repaint();
        });
        return t;
    }

private:
    MapEditor m_editor;
    CanvasView &m_view = m_editor.view;
    int m_step = 0;
};

// 9: the first repaint after a zoom step with 100,000 placements, against the same steps on the
// same terrain without any.
void benchZoom(const PlacementFixture &fixture, const RadarColours &colours)
{
    ZoomScene many(fixture.file100k, colours);
    ZoomScene none(fixture.emptyFile, colours);
    const auto [operation, floor] = alternateMs(
        41, [&] { return many.stepMs(); }, [&] { return none.stepMs(); });
    report("9 repaint after a zoom step, 100,000 items", operation, floor, "(against none)");
}

// 10: keeping a map of 100,000 placements for recovery, as the editor waits for it (the map
// copied, its writing handed to the store's thread) beside writing it on the editor's thread.
void benchRecovery(const QTemporaryDir &dir, const PlacementFixture &fixture)
{
    MapEditor editor;
    editor.commands.readPlacementFile(fixture.file100k);
    const MapDocument &document = *editor.session.document();
    RecoveryStore store(dir.filePath(QStringLiteral("recovery")));
    const QString inlinePath = dir.filePath(QStringLiteral("inline.xml"));
    const auto [handed, written] = alternateMs(
        9,
        [&] {
            const double ms =
                timedMs([&] { store.write(document.content(), document.fileName()); });
            store.waitForDone();
            return ms;
        },
        [&] {
            return timedMs([&] {
                PlacementFile::saveBytes(inlinePath, *PlacementFile::write(document.content()));
            });
        });
    report("10 autosave 100,000 placements", handed, written,
           "(against writing on the editor's thread)");
}

// A 256 x 256 overview of a map opened from a file, the map view itself not shown. Each edit
// places one structure in the middle of the map, and takes it off again untimed.
class OverviewScene
{
public:
    OverviewScene(const QString &file, const RadarColours &colours, const StructureKind &kind)
        : m_overview(&m_editor.session, &m_view), m_placement{QPointF(2000, 2000), kind.offset,
                                                              kind.region, kind.path}
    {
        m_editor.session.setRadarColours(&colours);
        m_editor.commands.readPlacementFile(file);
        if (!QTest::qWaitFor([&] { return !m_editor.session.isTerrainLoading(); }, 60000))
            std::printf("the terrain was not read\n");
        // The structure's image, as a drop from the library leaves it with the view.
        if (m_editor.session.document()->placements().isEmpty())
            m_editor.session.addStructureImage(
                StructureImages::Key::of(m_placement),
                renderStructureImage(kind.path, colours, kind.region, kind.offset));
        m_overview.resize(256, 256);
        m_overview.show();
        if (!QTest::qWaitForWindowExposed(&m_overview))
            std::printf("the overview was not shown\n");
        paintPending();
    }

    // An edit and the overview drawn anew after it.
    double editMs()
    {
        const double ms = timedMs([&] {
            m_editor.session.document()->place(m_placement);
            redrawn();
        });
        m_editor.session.document()->undoStack()->undo();
        redrawn();
        return ms;
    }

private:
    void redrawn()
    {
        const int before = m_overview.renderCount();
        QElapsedTimer timer;
        timer.start();
        while (m_overview.renderCount() == before && timer.elapsed() < 10000)
            QApplication::processEvents();
        if (m_overview.renderCount() == before)
            std::printf("the overview was not drawn anew\n");
    }

    MapEditor m_editor;
    CanvasView &m_view = m_editor.view;
    OverviewWidget m_overview;
    Placement m_placement;
};

// 11: the overview drawn anew after an edit of a map of 100,000 placements, against the same on
// the same terrain without any.
void benchOverview(const PlacementFixture &fixture, const RadarColours &colours)
{
    OverviewScene many(fixture.file100k, colours, fixture.structures.front());
    OverviewScene none(fixture.emptyFile, colours, fixture.structures.front());
    const auto [operation, floor] = alternateMs(
        41, [&] { return many.editMs(); }, [&] { return none.editMs(); });
    char note[80];
    std::snprintf(note, sizeof note, "(256 x 256, against none; %.1f ms of at most 50)", operation);
    report("11 overview redraw after an edit, 100,000 items", operation, floor, note);
}

// A 1280 x 800 view of a map at scale 1, zoomed out to 1/8 and back.
class ZoomedOutScene
{
public:
    ZoomedOutScene(const QString &file, const RadarColours &colours)
    {
        m_editor.session.setRadarColours(&colours);
        m_editor.commands.readPlacementFile(file);
        if (!QTest::qWaitFor([&] { return !m_editor.session.isTerrainLoading(); }, 120000))
            std::printf("the terrain was not read\n");
        m_view.show();
        m_view.resize(m_view.size() + (QSize(1280, 800) - m_view.viewport()->size()));
        paintPending();
    }

    // Zoomed out to 1/8 and the repaint that asks for; back at scale 1 untimed.
    double zoomOutMs()
    {
        const QPoint middle = m_view.viewport()->rect().center();
        m_view.setScale(1);
        m_view.centerOn(4096, 4096);
        m_view.viewport()->repaint();
        return timedMs([&] {
            m_view.zoomTo(1.0 / 8, middle);
            m_view.viewport()->repaint();
        });
    }

private:
    MapEditor m_editor;
    CanvasView &m_view = m_editor.view;
};

// 15: the first repaint of a view zoomed out to 1/8 over an 8192 x 8192 map of 100,000
// placements, against the same on the same terrain without any.
void benchZoomedOut(const QTemporaryDir &dir, const PlacementFixture &fixture,
                    const RadarColours &colours)
{
    PlacementDocument document;
    document.terrainPath = terrain8192(dir);
    const QString empty = dir.filePath(QStringLiteral("empty8192.xml"));
    DemoData::writeFile(empty, *PlacementFile::write(document));
    DemoData::Random random(23);
    document.placements.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        const StructureKind &kind = fixture.structures[size_t(random.bounded(200))];
        Placement placement;
        placement.position = QPointF(random.bounded(8150), random.bounded(8150));
        placement.offset = kind.offset;
        placement.region = kind.region;
        placement.structurePath = kind.path;
        document.placements.append(placement);
    }
    const QString full = dir.filePath(QStringLiteral("world8192.xml"));
    DemoData::writeFile(full, *PlacementFile::write(document));
    ZoomedOutScene many(full, colours);
    ZoomedOutScene none(empty, colours);
    const auto [operation, floor] = alternateMs(
        21, [&] { return many.zoomOutMs(); }, [&] { return none.zoomOutMs(); });
    report("15 repaint zoomed out to 1/8, 100,000 items", operation, floor,
           "(1280 x 800 over 8192^2, against none)");
}

// The fixture's map with every structure path recorded as on another machine, the files to be
// found below library instead, in folders of their own.
QString writeMovedMap(const QTemporaryDir &dir, const PlacementFixture &fixture, int count,
                      const QString &library)
{
    QHash<QString, QString> moved;
    for (size_t s = 0; s < fixture.structures.size(); ++s) {
        const QString &path = fixture.structures[s].path;
        const QString name = QFileInfo(path).fileName();
        const QString folder = QStringLiteral("%1/set%2/structures").arg(library).arg(s % 20);
        QDir().mkpath(folder);
        QFile::copy(path, folder + QLatin1Char('/') + name);
        moved.insert(path, QStringLiteral("C:\\Elsewhere\\structures\\") + name);
    }
    std::optional<PlacementDocument> document = PlacementFile::read(fixture.bytes(count));
    for (Placement &placement : document->placements)
        placement.structurePath = moved.value(placement.structurePath);
    const QString file = dir.filePath(QStringLiteral("moved%1.xml").arg(count));
    DemoData::writeFile(file, *PlacementFile::write(*document));
    return file;
}

// 17: opening 10,000 placements whose structures are all found below the library folder,
// against the same map with the right paths; 18: adopting the finds for 100,000 placements in
// one step (the document and the session; the views not shown), against one pass replacing the
// paths.
void benchMovedFiles(const QTemporaryDir &dir, const PlacementFixture &fixture,
                     const RadarColours &colours, const std::function<bool(const char *)> &wanted)
{
    const QString library = dir.filePath(QStringLiteral("moved-library"));
    const QString moved10k = writeMovedMap(dir, fixture, 10000, library);
    LibraryIndex index;
    index.setRoot(library);
    if (!QTest::qWaitFor([&] { return !index.isIndexing(); }, 60000))
        std::printf("the library was not indexed\n");
    const auto lookup = [&index](const QString &name) { return index.pathsNamed(name); };
    const auto openMs = [&](const QString &file, bool *allDrawn = nullptr) {
        MapSession session(&colours);
        session.setLibrary(lookup);
        const double ms = timedMs([&] { session.openFile(file); });
        if (allDrawn)
            *allDrawn =
                session.missingStructures().size() == qsizetype(fixture.structures.size()) &&
                session.structureImages().size() >= qsizetype(fixture.structures.size());
        return ms;
    };
    if (wanted("17")) {
        bool allDrawn = false;
        const auto [found, right] = alternateMs(
            11, [&] { return openMs(moved10k, &allDrawn); },
            [&] { return openMs(fixture.file10k); });
        report("17 open 10,000 placements, files all moved", found, right,
               allDrawn ? "(found below the library, against the right paths)"
                        : "(not every structure was found)");
    }
    if (wanted("18")) {
        const QString moved100k = writeMovedMap(dir, fixture, 100000, library);
        MapSession session(&colours);
        session.setLibrary(lookup);
        session.openFile(moved100k);
        QHash<QString, QString> finds;
        for (const QString &path : session.missingStructures().keys())
            finds.insert(path, session.foundFile(path));
        const PlacementDocument content = session.document()->content();
        const auto [relink, pass] = alternateMs(
            11,
            [&] {
                const double ms = timedMs([&] { session.relink(finds); });
                session.document()->undoStack()->undo();
                return ms;
            },
            [&] {
                PlacementDocument copy = content;
                return timedMs([&] {
                    for (Placement &placement : copy.placements) {
                        const auto to = finds.constFind(placement.structurePath);
                        if (to != finds.cend())
                            placement.structurePath = *to;
                    }
                });
            });
        report("18 relink 100,000 placements, 200 files", relink, pass,
               finds.size() == qsizetype(fixture.structures.size())
                   ? "(Use Found Files, against one pass replacing paths)"
                   : "(not every structure was found)");
    }
}

// 16: the library of 20,000 structure files in 400 folders: the filter's keystroke against the
// same substring test in a plain loop over the names, and indexing it in the background against
// listing it with QDirIterator alone.
void benchLibrary(const QTemporaryDir &dir)
{
    const QString root = dir.filePath(QStringLiteral("library"));
    const QStringList words{"tower", "wall", "gate", "house",  "keep",  "bridge", "stair",
                            "well",  "barn", "mill", "shrine", "forge", "hall",   "dock"};
    DemoData::Random random(16);
    QStringList names;
    for (int folder = 0; folder < 400; ++folder) {
        const QString path = root + QStringLiteral("/region-%1/area-%2")
                                        .arg(folder / 20, 2, 10, QLatin1Char('0'))
                                        .arg(folder, 3, 10, QLatin1Char('0'));
        QDir().mkpath(path);
        for (int file = 0; file < 50; ++file) {
            const QString name = QStringLiteral("%1-%2.mlt")
                                     .arg(words.at(random.bounded(int(words.size()))))
                                     .arg(folder * 50 + file, 5, 10, QLatin1Char('0'));
            QFile(path + QLatin1Char('/') + name).open(QIODevice::WriteOnly);
            names << name;
        }
    }

    LibraryIndex index;
    const auto indexMs = [&] {
        index.setRoot(QString());
        return timedMs([&] {
            index.setRoot(root);
            while (index.isIndexing())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        });
    };
    qsizetype listed = 0;
    const auto listMs = [&] {
        return timedMs([&] {
            listed = 0;
            QDirIterator it(root, {QStringLiteral("*.mlt")}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                it.next();
                ++listed;
            }
        });
    };
    const auto [indexing, listing] = alternateMs(9, indexMs, listMs);

    LibraryPanel panel(&index);
    panel.setLibraryFolder(root);
    while (index.isIndexing())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    panel.resize(400, 800);
    panel.show();
    paintPending();
    const QString text = QStringLiteral("hal");
    qsizetype shown = 0;
    const auto [filter, loop] = alternateMs(
        15,
        [&] {
            panel.filterField()->setText(text.left(2));
            paintPending();
            return timedMs([&] {
                panel.filterField()->setText(text);
                panel.results()->viewport()->repaint();
            });
        },
        [&] {
            return timedMs([&] {
                shown = 0;
                for (const QString &name : std::as_const(names))
                    shown += name.contains(text, Qt::CaseInsensitive);
            });
        });
    report("16 library filter on 20,000 files, one keystroke", filter, loop,
           shown == panel.results()->model()->rowCount() ? "(against the substring test alone)"
                                                         : "(a count differs)");
    report("16 library indexing of 20,000 files, 400 folders", indexing, listing,
           listed == index.size() && listed == names.size() ? "(against QDirIterator alone)"
                                                            : "(a count differs)");
}

// 19: Check Map on the map of 100,000 placements (the copy of the map included, as the window
// makes it), against one pass painting every placement's opaque cells into a counter of the
// map's size.
void benchCheck(const PlacementFixture &fixture, const RadarColours &colours)
{
    MapSession session(&colours);
    session.openFile(fixture.file100k);
    if (!QTest::qWaitFor([&] { return !session.isTerrainLoading(); }, 60000))
        std::printf("the terrain was not read\n");
    const QSize terrain = session.terrainSize();
    std::vector<quint16> counter(size_t(terrain.width()) * size_t(terrain.height()));
    qsizetype findings = 0;
    qint64 covered = 0;
    double copyMs = 0;
    const auto [operation, floor] = alternateMs(
        9,
        [&] {
            // The copy is what the window waits for; the check runs on a worker thread.
            std::optional<MapCheck> check;
            const double whole = timedMs([&] {
                copyMs = timedMs([&] { check.emplace(session); });
                check->run();
                findings = check->findings().size();
            });
            return whole;
        },
        [&] {
            std::fill(counter.begin(), counter.end(), 0);
            return timedMs([&] {
                covered = 0;
                for (const Placement *placement : session.document()->placements()) {
                    const QImage image =
                        session.structureImage(StructureImages::Key::of(*placement));
                    const QPoint at = placement->recordedPosition();
                    for (int y = 0; y < image.height(); ++y) {
                        const int row = at.y() + y;
                        if (row < 0 || row >= terrain.height())
                            continue;
                        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
                        quint16 *cells = counter.data() + size_t(row) * size_t(terrain.width());
                        for (int x = 0; x < image.width(); ++x) {
                            const int column = at.x() + x;
                            if (qAlpha(line[x]) && column >= 0 && column < terrain.width()) {
                                ++cells[column];
                                ++covered;
                            }
                        }
                    }
                }
            });
        });
    char note[160];
    std::snprintf(note, sizeof note,
                  "(%.0f ms, the window waiting %.1f ms for the copy; %lld findings; against "
                  "painting %lld cells)",
                  operation, copyMs, static_cast<long long>(findings),
                  static_cast<long long>(covered));
    report("19 Check Map on 100,000 placements of 200 structures on a 4096 × 4096 terrain",
           operation, floor, note);
}

// 20: comparing the map of 100,000 placements with a copy of it in which 1,000 differ (700
// moved, 300 flagged otherwise), as --diff does, against reading both files.
void benchCompare(const QTemporaryDir &dir, const PlacementFixture &fixture)
{
    PlacementDocument other = *PlacementFile::read(fixture.bytes100k);
    DemoData::Random random(23);
    QSet<int> changed;
    while (changed.size() < 1000) {
        const int i = random.bounded(100000);
        if (changed.contains(i))
            continue;
        Placement &placement = other.placements[i];
        if (changed.size() < 700)
            placement.position += QPointF(1 + random.bounded(20), 3);
        else
            placement.invisible = !placement.invisible;
        changed.insert(i);
    }
    const QString otherFile = dir.filePath(QStringLiteral("world100k-other.xml"));
    DemoData::writeFile(otherFile, *PlacementFile::write(other));
    const auto read = [](const QString &path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return PlacementFile::read(file)->placements;
    };
    qsizetype differences = 0;
    const auto [operation, floor] = alternateMs(
        9,
        [&] {
            return timedMs([&] {
                differences =
                    MapComparison(read(fixture.file100k), read(otherFile)).differences().size();
            });
        },
        [&] {
            return timedMs(
                [&] { differences += read(fixture.file100k).size() - read(otherFile).size(); });
        });
    char note[80];
    std::snprintf(note, sizeof note, "(%lld differences; against reading both files)",
                  static_cast<long long>(differences));
    report("20 comparing two maps of 100,000 placements that differ in 1,000", operation, floor,
           note);
}

} // namespace

// 12, 13 and 14: the commands on many placements at once, each against the plainest way to do
// the same.
void benchEditing(const PlacementFixture &fixture, const RadarColours &colours,
                  const std::function<bool(const char *)> &wanted)
{
    MapEditor editor;
    editor.session.setRadarColours(&colours);
    DirView library;
    QStatusBar statusBar;
    EditCommands edit(&editor.session, &editor.view, &library, &statusBar);
    PlacementsPanel panel(&editor.session, &editor.view);
    editor.view.resize(1280, 800);
    editor.commands.readPlacementFile(fixture.file100k);
    MapDocument *document = editor.session.document();
    PlacementSelection *selection = editor.session.selection();
    const QList<Placement *> &placements = document->placements();

    if (wanted("12")) {
        const QString path = placements.first()->structurePath;
        qsizetype same = 0;
        const auto [operation, floor] = alternateMs(
            15,
            [&] {
                selection->set({placements.first()});
                return timedMs([&] { edit.selectSameStructure(); });
            },
            [&] {
                return timedMs([&] {
                    same = 0;
                    for (const Placement *placement : placements)
                        same += placement->structurePath == path;
                });
            });
        report("12 select same structure, 100,000 placements", operation, floor,
               same == selection->size() ? "(against comparing paths)" : "(a count differs)");
    }

    if (wanted("14")) {
        panel.resize(600, 800);
        panel.show();
        paintPending();
        QStringList paths;
        for (const Placement *placement : placements)
            paths << placement->structurePath;
        const QString text = QStringLiteral("s12");
        qsizetype shown = 0;
        const auto [filter, loop] = alternateMs(
            9,
            [&] {
                panel.filterField()->setText(text.left(2));
                paintPending();
                return timedMs([&] {
                    panel.filterField()->setText(text);
                    panel.table()->viewport()->repaint();
                });
            },
            [&] {
                return timedMs([&] {
                    shown = 0;
                    for (const QString &path : std::as_const(paths))
                        shown += path.contains(text, Qt::CaseInsensitive);
                });
            });
        report("14 filter 100,000 placements, one keystroke", filter, loop,
               shown == panel.table()->model()->rowCount() ? "(against the substring test alone)"
                                                           : "(a count differs)");
        panel.filterField()->clear();
        QList<Placement *> tenth;
        QItemSelection rows;
        QAbstractItemModel *model = panel.table()->model();
        for (int i = 0; i < placements.size(); i += 10) {
            tenth << placements.at(i);
            rows.select(model->index(i, 0), model->index(i, model->columnCount() - 1));
        }
        QItemSelectionModel *table = panel.table()->selectionModel();
        // The table following the selection, the map's outlines left out; and the rows selected
        // in the table, without the selection going back to the map.
        QObject::disconnect(selection, nullptr, &editor.view, nullptr);
        QObject::disconnect(selection, nullptr, &edit, nullptr);
        QObject::disconnect(table, nullptr, &panel, nullptr);
        const auto [select, direct] = alternateMs(
            9,
            [&] {
                selection->clear();
                return timedMs([&] { selection->set(tenth); });
            },
            [&] {
                table->clear();
                return timedMs([&] { table->select(rows, QItemSelectionModel::ClearAndSelect); });
            });
        report("14 select 10,000 placements, the table following", select, direct,
               "(against selecting the rows in one call)");
        panel.hide();
    }

    if (wanted("13")) {
        // The first 10,000 placements, pasted on the map of the terrain alone.
        editor.commands.readPlacementFile(fixture.emptyFile);
        const QList<Placement> copied = PlacementFile::read(fixture.bytes10k)->placements;
        const QByteArray text = *PlacementFile::writePlacements(copied);
        QApplication::clipboard()->setText(QString::fromUtf8(text));
        const auto [paste, floor] = alternateMs(
            9,
            [&] {
                const double ms = timedMs([&] { edit.paste(); });
                document->undoStack()->undo();
                return ms;
            },
            [&] {
                const double ms = timedMs([&] {
                    document->add(*PlacementFile::readPlacements(text), QStringLiteral("Paste"));
                });
                document->undoStack()->undo();
                return ms;
            });
        report("13 paste 10,000 placements", paste, floor,
               "(against reading them and placing them in one step)");
    }
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() == 4 && arguments[1] == QLatin1String(memoryProbeArgument))
        return memoryProbe(arguments[2], arguments[3]);

    QTemporaryDir dir;
    const QString radar = dir.filePath(QStringLiteral("radar.bin"));
    DemoData::writeFile(radar, DemoData::radarColourBytes(5));
    RadarColours colours;
    colours.open(radar);

    // Figures by name ("2a") or by number ("2" for 2a, 2b, ...).
    const QStringList only = arguments.mid(1);
    // A number stands for all its letters, but "1" not for "10".
    const auto number = [](QString figure) {
        while (!figure.isEmpty() && figure.back().isLetter())
            figure.chop(1);
        return figure;
    };
    const auto wanted = [&](const char *figure) {
        const QString name = QLatin1String(figure);
        return only.isEmpty() || std::any_of(only.cbegin(), only.cend(), [&](const QString &o) {
                   return number(o) == number(name) &&
                          (o == number(o) || name == number(name) || o == name);
               });
    };
    if (wanted("1"))
        benchPreview(dir, colours);
    if (wanted("2") || wanted("3") || wanted("6") || wanted("7") || wanted("8") || wanted("9") ||
        wanted("10") || wanted("11") || wanted("12") || wanted("13") || wanted("14") ||
        wanted("15") || wanted("17") || wanted("18") || wanted("19") || wanted("20")) {
        const PlacementFixture fixture = makePlacements(dir);
        if (wanted("2"))
            benchOpen(fixture, colours, wanted);
        if (wanted("3")) {
            const int runs = qEnvironmentVariableIsSet("BENCH_QUICK") ? 1 : 9;
            benchSave(dir, fixture, 10000, runs, "3 save 10,000 placements");
            benchSave(dir, fixture, 100000, runs, "3 save 100,000 placements");
        }
        if (wanted("6"))
            benchMemory(fixture, radar);
        if (wanted("7"))
            benchUndo(fixture, colours);
        if (wanted("8"))
            benchExport(dir, fixture, colours);
        if (wanted("9"))
            benchZoom(fixture, colours);
        if (wanted("10"))
            benchRecovery(dir, fixture);
        if (wanted("11"))
            benchOverview(fixture, colours);
        if (wanted("12") || wanted("13") || wanted("14"))
            benchEditing(fixture, colours, wanted);
        if (wanted("15"))
            benchZoomedOut(dir, fixture, colours);
        if (wanted("17") || wanted("18"))
            benchMovedFiles(dir, fixture, colours, wanted);
        if (wanted("19"))
            benchCheck(fixture, colours);
        if (wanted("20"))
            benchCompare(dir, fixture);
    }
    if (wanted("2c"))
        benchTerrainInView(dir);
    if (wanted("4"))
        benchMove();
    if (wanted("5"))
        benchPaint(dir);
    if (wanted("16"))
        benchLibrary(dir);
    return 0;
}
