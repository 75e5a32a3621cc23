// The File commands as the user drives them: New, Open, Save, Close, Exit and closing the
// window, with every dialog and question answered as a user would, and what lands on disk.

#include "TestSupport.h"
#include "app/MainWindow.h"
#include "canvas/CanvasItem.h"
#include "canvas/CanvasView.h"
#include "document/PlacementDocument.h"
#include "library/StructurePayload.h"
#include "library/StructurePreview.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using TestSupport::ModalScript;

// One structure as a placement file lists it.
struct Entry
{
    QPoint pos;
    QPoint offset;
    QSize region;
    QString path;
    bool invisible = false;
};

// A placement file in the layout the program writes.
QByteArray placementBytes(const QString &terrain, const QList<Entry> &entries)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<Valdrune>\n\t<Image>" +
                     terrain.toUtf8() + "</Image>\n";
    for (const Entry &e : entries) {
        out += "\t<MLT Invisible=\"" + QByteArray(e.invisible ? "True" : "False") + "\">\n";
        out += QStringLiteral("\t\t<Location X=\"%1\" Y=\"%2\" OffsetX=\"%3\" OffsetY=\"%4\" />\n")
                   .arg(e.pos.x())
                   .arg(e.pos.y())
                   .arg(e.offset.x())
                   .arg(e.offset.y())
                   .toUtf8();
        out += QStringLiteral("\t\t<File RegionX=\"%1\" RegionY=\"%2\">")
                   .arg(e.region.width())
                   .arg(e.region.height())
                   .toUtf8();
        out += e.path.toUtf8() + "</File>\n\t</MLT>\n";
    }
    out += "</Valdrune>\n";
    return out;
}

QStringList describe(const PlacementDocument &doc)
{
    QStringList lines{QStringLiteral("image ") + doc.terrainPath};
    for (const Placement &p : doc.placements) {
        lines << QStringLiteral("%1,%2 offset %3,%4 region %5x%6 %7%8")
                     .arg(p.position.x())
                     .arg(p.position.y())
                     .arg(p.offset.x())
                     .arg(p.offset.y())
                     .arg(p.region.width())
                     .arg(p.region.height())
                     .arg(p.structurePath, p.invisible ? QStringLiteral(" invisible") : QString());
    }
    return lines;
}

QStringList describe(const QString &terrain, const QList<Entry> &entries)
{
    PlacementDocument doc;
    doc.terrainPath = terrain;
    for (const Entry &e : entries)
        doc.placements.append(
            {QPointF(e.pos), e.offset, QRect(QPoint(), e.region), e.path, e.invisible});
    return describe(doc);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
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

// Drags a structure in at viewport position enter, moves it to each of moves, and drops it
// at the last one, with the data the library tree's drag carries.
void dragIn(CanvasView &view, const StructurePayload &payload, QPoint enter,
            const QList<QPoint> &moves = {})
{
    const std::unique_ptr<QMimeData> data(payload.toMimeData());
    QWidget *viewport = view.viewport();
    QDragEnterEvent entered(enter, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &entered);
    QPoint at = enter;
    for (const QPoint move : moves) {
        QDragMoveEvent moved(move, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &moved);
        at = move;
    }
    QDropEvent dropped(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &dropped);
}

// Captures what the process writes to its standard output meanwhile.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        std::cout.flush();
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { finish(); }

    QByteArray finish()
    {
        if (m_saved >= 0) {
            std::cout.flush();
            std::fflush(stdout);
            ::dup2(m_saved, STDOUT_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        return readAll(m_file.fileName());
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

// Lets no file grow beyond the given size meanwhile, as a full disk would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = qMin(bytes, m_saved.rlim_max);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

} // namespace

class TestDocumentCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsWithoutMap();
    void saveWritesTheExactFile();
    void save_data();
    void save();
    void newCommand_data();
    void newCommand();
    void firstSaveAfterNewAsksForAName();
    void openCommand_data();
    void openCommand();
    void closeCommand_data();
    void closeCommand();
    void saveAsCancelledStopsTheCommand_data();
    void saveAsCancelledStopsTheCommand();
    void failedSave_data();
    void failedSave();
    void closingTheWindow_data();
    void closingTheWindow();
    void placeholderItems_data();
    void placeholderItems();
    void awkwardPathsRoundTrip_data();
    void awkwardPathsRoundTrip();
    void oneStructureManyTimesSharesOnePixmap();

private:
    QString rowPath(const QString &name) const { return m_row->filePath(name); }
    ModalScript::Answer answer(const QString &token);
    QList<ModalScript::Answer> answers(const QStringList &tokens);
    bool prepare(CanvasView &view, const QString &state);
    int savedItems(const QString &name) const;

    QTemporaryDir m_dir;
    std::unique_ptr<QTemporaryDir> m_row;
    QString m_terrain;
    QString m_smallTerrain;
    QString m_tower;
    StructurePayload m_towerPayload;
    QList<Entry> m_baseEntries;
    QList<Entry> m_otherEntries;
    Entry m_dragged;
    QByteArray m_baseBytes;
    QStringList m_boxes; // "title|text" of every message box answered
};

void TestDocumentCommands::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QApplication::setQuitOnLastWindowClosed(false);
    TestSupport::openRadarColours(m_dir);
    m_terrain = TestSupport::writeTerrain(m_dir, QStringLiteral("terrain.png"), 200, 150);
    m_smallTerrain = TestSupport::writeTerrain(m_dir, QStringLiteral("small.png"), 160, 120);

    // A 4 x 3 tower whose tiles lie at x -3..0, y -2..0.
    QList<DemoData::Tile> tower;
    for (qint16 y = -2; y <= 0; ++y) {
        for (qint16 x = -3; x <= 0; ++x)
            tower.append({quint16(200 + x - 4 * y), x, y, 0});
    }
    m_tower = TestSupport::writeStructure(m_dir, QStringLiteral("tower.mlt"), tower);
    TestSupport::writeStructure(m_dir, QStringLiteral("lonely.mlt"), tower);
    m_towerPayload.path = m_tower;
    QVERIFY(renderStructurePreview(m_tower, m_towerPayload.image, m_towerPayload.offset,
                                   m_towerPayload.region));
    QCOMPARE(m_towerPayload.offset, QPoint(-3, -2));
    QCOMPARE(m_towerPayload.region, QRect(0, 0, 4, 3));

    m_baseEntries = {{QPoint(5, 6), QPoint(-3, -2), QSize(4, 3), m_tower, true},
                     {QPoint(40, 30), QPoint(-3, -2), QSize(4, 3), m_tower, false}};
    m_otherEntries = {{QPoint(70, 8), QPoint(-3, -2), QSize(4, 3), m_tower, false}};
    m_dragged = {QPoint(100, 80), QPoint(-3, -2), QSize(4, 3), m_tower, false};
    m_baseBytes = placementBytes(m_terrain, m_baseEntries);
}

void TestDocumentCommands::init()
{
    m_row = std::make_unique<QTemporaryDir>();
    QVERIFY(m_row->isValid());
    m_boxes.clear();
    QVERIFY(writeAll(rowPath(QStringLiteral("base.xml")), m_baseBytes));
    QVERIFY(writeAll(rowPath(QStringLiteral("other.xml")),
                     placementBytes(m_smallTerrain, m_otherEntries)));
    QVERIFY(writeAll(rowPath(QStringLiteral("broken.xml")),
                     "<?xml version=\"1.0\"?>\n<Valdrune>\n\t<Image>x.png</Imag>\n"));
    QVERIFY(writeAll(rowPath(QStringLiteral("noimage.xml")),
                     "<Valdrune>\n\t<MLT Invisible=\"False\" />\n</Valdrune>\n"));
    QVERIFY(writeAll(rowPath(QStringLiteral("vanishing.xml")), m_baseBytes));
}

void TestDocumentCommands::cleanup()
{
    QVERIFY(!QApplication::activeModalWidget());
    m_row.reset();
}

ModalScript::Answer TestDocumentCommands::answer(const QString &token)
{
    const QString arg = token.section(QLatin1Char(':'), 1);
    if (token.startsWith(QLatin1String("image:"))) {
        const QString path = m_dir.filePath(arg);
        return [path](QWidget *modal) {
            auto *line = modal->findChild<QLineEdit *>(QStringLiteral("lineTerrain"));
            auto *ok = modal->findChild<QPushButton *>(QStringLiteral("okButton"));
            if (!modal->inherits("SelectImage") || !line || !ok) {
                TestSupport::rejectDialog(modal);
                return;
            }
            line->setText(path);
            ok->click();
        };
    }
    if (token.startsWith(QLatin1String("file:")) || token.startsWith(QLatin1String("vanish:"))) {
        const QString path = rowPath(arg);
        const bool vanish = token.startsWith(QLatin1String("vanish:"));
        return [path, vanish](QWidget *modal) {
            // Typed into the name field: selecting a file does not change that field while
            // it has the keyboard focus.
            if (auto *edit = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(path);
            TestSupport::acceptFileDialog(modal, path);
            // Gone between the choice and the reading.
            if (vanish)
                QFile::remove(path);
        };
    }
    if (token == QLatin1String("reject"))
        return [](QWidget *modal) { TestSupport::rejectDialog(modal); };

    const QHash<QString, int> buttons = {{QStringLiteral("Yes"), QMessageBox::Yes},
                                         {QStringLiteral("No"), QMessageBox::No},
                                         {QStringLiteral("Cancel"), QMessageBox::Cancel},
                                         {QStringLiteral("OK"), QMessageBox::Ok}};
    const int button = buttons.value(token, QMessageBox::NoButton);
    return [this, button](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            m_boxes << box->windowTitle() + QLatin1Char('|') + box->text();
            if (button == QMessageBox::Ok && box->icon() != QMessageBox::Warning)
                m_boxes.last() += QLatin1String("|not a warning");
        }
        TestSupport::clickMessageBoxButton(modal, button);
    };
}

QList<ModalScript::Answer> TestDocumentCommands::answers(const QStringList &tokens)
{
    QList<ModalScript::Answer> list;
    for (const QString &token : tokens)
        list << answer(token);
    return list;
}

// Brings the view into a document state:
// "none" no map; "fresh" a new map without items and without name; "clean" base.xml opened;
// "modified" base.xml opened and one more structure dragged in; "unnamed" a new map with one
// structure dragged in.
bool TestDocumentCommands::prepare(CanvasView &view, const QString &state)
{
    if (state == QLatin1String("none"))
        return !view.canvas;
    if (state == QLatin1String("fresh") || state == QLatin1String("unnamed")) {
        ModalScript script(answers({QStringLiteral("image:terrain.png")}));
        view.fileNew();
        if (script.seen != QStringList{QStringLiteral("SelectImage")} || !view.canvas)
            return false;
        if (state == QLatin1String("unnamed"))
            dragIn(view, m_towerPayload, m_dragged.pos);
        return view.documentFile.isEmpty() && view.modified == (state != QLatin1String("fresh"));
    }
    ModalScript script(answers({QStringLiteral("file:base.xml")}));
    view.fileOpen();
    if (script.seen != QStringList{QStringLiteral("QFileDialog")} ||
        view.documentFile != rowPath(QStringLiteral("base.xml")) || view.modified)
        return false;
    if (state == QLatin1String("modified"))
        dragIn(view, m_towerPayload, m_dragged.pos);
    return view.modified == (state == QLatin1String("modified"));
}

// Number of structures in a saved file of this row, or -1 when there is no such file.
int TestDocumentCommands::savedItems(const QString &name) const
{
    const QString path = rowPath(name);
    if (!QFile::exists(path))
        return -1;
    return int(readAll(path).count("<MLT "));
}

void TestDocumentCommands::startsWithoutMap()
{
    CanvasView view;
    QVERIFY(!view.canvas);
    QVERIFY(!view.modified);
    QVERIFY(view.documentFile.isEmpty());
    QVERIFY(view.terrainFile.isEmpty());

    ModalScript script;
    QVERIFY(view.fileSave());
    view.fileClose();
    QVERIFY(!view.canvas);
    QVERIFY(view.documentFile.isEmpty());
    QVERIFY(script.seen.isEmpty());
    QCOMPARE(QDir(m_row->path()).entryList(QDir::Files).size(), 5);
}

void TestDocumentCommands::saveWritesTheExactFile()
{
    CanvasView view;
    view.resize(300, 200);
    view.show();
    QVERIFY(prepare(view, QStringLiteral("fresh")));
    QCOMPARE(view.terrainFile, m_terrain);
    dragIn(view, m_towerPayload, QPoint(12, 9), {QPoint(13, 10), QPoint(15, 11)});
    QVERIFY(view.modified);

    const QString saved = rowPath(QStringLiteral("one.xml"));
    ModalScript script(answers({QStringLiteral("file:one.xml")}));
    StdoutCapture capture;
    QVERIFY(view.fileSave());
    const QByteArray printed = capture.finish();
    QCOMPARE(script.seen, QStringList{QStringLiteral("QFileDialog")});
    QCOMPARE(view.documentFile, saved);
    QVERIFY(!view.modified);

    const QByteArray expected = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
                                "<Valdrune>\n"
                                "\t<Image>" +
                                m_terrain.toUtf8() +
                                "</Image>\n"
                                "\t<MLT Invisible=\"False\">\n"
                                "\t\t<Location X=\"15\" Y=\"11\" OffsetX=\"-3\" OffsetY=\"-2\" />\n"
                                "\t\t<File RegionX=\"4\" RegionY=\"3\">" +
                                m_tower.toUtf8() +
                                "</File>\n"
                                "\t</MLT>\n"
                                "</Valdrune>\n";
    QCOMPARE(readAll(saved), expected);
    QVERIFY2(printed.contains("Item is at 15,11\n"), printed.constData());
    QCOMPARE(printed.count("Item is at"), 1);

    // Nothing changed since: Save writes nothing and asks nothing.
    QVERIFY(QFile::remove(saved));
    QVERIFY(view.fileSave());
    QVERIFY(!QFile::exists(saved));
    QCOMPARE(script.seen.size(), 1);
}

void TestDocumentCommands::save_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<QString>("name");    // file name afterwards, empty for none
    QTest::addColumn<QString>("written"); // file written, with its structure count
    QTest::addColumn<int>("count");

    const QString base = QStringLiteral("base.xml");
    const QString dialog = QStringLiteral("QFileDialog");
    QTest::newRow("no map") << "none" << QStringList() << true << QStringList() << QString()
                            << QString() << 0;
    QTest::newRow("new map, unchanged")
        << "fresh" << QStringList() << true << QStringList() << QString() << QString() << 0;
    QTest::newRow("opened, unchanged")
        << "clean" << QStringList() << true << QStringList() << base << QString() << 0;
    QTest::newRow("changed, named")
        << "modified" << QStringList() << true << QStringList() << base << base << 3;
    QTest::newRow("changed, name chosen")
        << "unnamed" << QStringList{"file:new.xml"} << true << QStringList{dialog} << "new.xml"
        << "new.xml" << 1;
    QTest::newRow("changed, Save as cancelled")
        << "unnamed" << QStringList{"reject"} << false << QStringList{dialog} << QString()
        << QString() << 0;
}

void TestDocumentCommands::save()
{
    QFETCH(QString, state);
    QFETCH(QStringList, answers);
    QFETCH(bool, result);
    QFETCH(QStringList, seen);
    QFETCH(QString, name);
    QFETCH(QString, written);
    QFETCH(int, count);

    CanvasView view;
    QVERIFY(prepare(view, state));
    const QStringList before = describe(view.document());
    const bool wasModified = view.modified;
    // Whatever is not written must not appear: take the opened file away meanwhile.
    if (written.isEmpty())
        QFile::remove(rowPath(QStringLiteral("base.xml")));
    const QStringList filesBefore = QDir(m_row->path()).entryList(QDir::Files);

    ModalScript script(this->answers(answers));
    QCOMPARE(view.fileSave(), result);
    QCOMPARE(script.seen, seen);
    QCOMPARE(view.documentFile, name.isEmpty() ? QString() : rowPath(name));
    QCOMPARE(describe(view.document()), before);
    if (written.isEmpty()) {
        QCOMPARE(view.modified, wasModified);
        QCOMPARE(QDir(m_row->path()).entryList(QDir::Files), filesBefore);
    } else {
        QVERIFY(!view.modified);
        QCOMPARE(savedItems(written), count);
    }
}

void TestDocumentCommands::newCommand_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<QString>("written"); // file saved on the way, with its structure count
    QTest::addColumn<int>("count");

    const QString box = QStringLiteral("QMessageBox");
    const QString select = QStringLiteral("SelectImage");
    const QString small = QStringLiteral("image:small.png");
    QTest::newRow("no map") << "none" << QStringList{small} << QStringList{select} << true
                            << QString() << 0;
    QTest::newRow("unchanged: no question")
        << "clean" << QStringList{small} << QStringList{select} << true << QString() << 0;
    QTest::newRow("changed, No") << "modified" << QStringList{"No", small}
                                 << QStringList{box, select} << true << QString() << 0;
    QTest::newRow("changed, Yes") << "modified" << QStringList{"Yes", small}
                                  << QStringList{box, select} << true << "base.xml" << 3;
    QTest::newRow("changed, Yes, name chosen")
        << "unnamed" << QStringList{"Yes", "file:new.xml", small}
        << QStringList{box, "QFileDialog", select} << true << "new.xml" << 1;
    QTest::newRow("changed, Cancel")
        << "modified" << QStringList{"Cancel"} << QStringList{box} << false << QString() << 0;
    QTest::newRow("image dialog cancelled") << "modified" << QStringList{"No", "reject"}
                                            << QStringList{box, select} << false << QString() << 0;
    QTest::newRow("terrain image missing") << "modified" << QStringList{"No", "image:nothing.png"}
                                           << QStringList{box, select} << false << QString() << 0;
    QTest::newRow("unchanged, image dialog cancelled")
        << "clean" << QStringList{"reject"} << QStringList{select} << false << QString() << 0;
}

void TestDocumentCommands::newCommand()
{
    QFETCH(QString, state);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, seen);
    QFETCH(bool, replaced);
    QFETCH(QString, written);
    QFETCH(int, count);

    CanvasView view;
    QVERIFY(prepare(view, state));
    const QStringList before = describe(view.document());
    const QString nameBefore = view.documentFile;
    const bool modifiedBefore = view.modified;

    ModalScript script(this->answers(answers));
    view.fileNew();
    QCOMPARE(script.seen, seen);
    if (replaced) {
        QVERIFY(view.canvas);
        QCOMPARE(view.terrainFile, m_smallTerrain);
        QCOMPARE(view.canvas->sceneRect(), QRectF(0, 0, 160, 120));
        QVERIFY(itemsOf(view).isEmpty());
        QVERIFY(!view.modified);
        QVERIFY(view.documentFile.isEmpty());
    } else {
        QCOMPARE(describe(view.document()), before);
        QCOMPARE(view.documentFile, nameBefore);
        QCOMPARE(view.modified, modifiedBefore);
    }
    if (!written.isEmpty())
        QCOMPARE(savedItems(written), count);
    if (written != QLatin1String("base.xml"))
        QCOMPARE(readAll(rowPath(QStringLiteral("base.xml"))), m_baseBytes);
}

void TestDocumentCommands::firstSaveAfterNewAsksForAName()
{
    CanvasView view;
    QVERIFY(prepare(view, QStringLiteral("clean")));
    {
        ModalScript script(answers({QStringLiteral("image:terrain.png")}));
        view.fileNew();
        QCOMPARE(script.seen, QStringList{QStringLiteral("SelectImage")});
    }
    QVERIFY(view.documentFile.isEmpty());
    dragIn(view, m_towerPayload, QPoint(10, 10));
    ModalScript script(answers({QStringLiteral("file:fresh.xml")}));
    QVERIFY(view.fileSave());
    QCOMPARE(script.seen, QStringList{QStringLiteral("QFileDialog")});
    QCOMPARE(savedItems(QStringLiteral("fresh.xml")), 1);
    QCOMPARE(readAll(rowPath(QStringLiteral("base.xml"))), m_baseBytes);
}

void TestDocumentCommands::openCommand_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<QString>("outcome"); // "other", "kept" or "kept, no name"
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("count");

    const QString box = QStringLiteral("QMessageBox");
    const QString dialog = QStringLiteral("QFileDialog");
    const QString other = QStringLiteral("file:other.xml");
    QTest::newRow("no map") << "none" << QStringList{other} << QStringList{dialog} << "other"
                            << QString() << 0;
    QTest::newRow("unchanged: no question")
        << "clean" << QStringList{other} << QStringList{dialog} << "other" << QString() << 0;
    QTest::newRow("changed, No") << "modified" << QStringList{"No", other}
                                 << QStringList{box, dialog} << "other" << QString() << 0;
    QTest::newRow("changed, Yes") << "modified" << QStringList{"Yes", other}
                                  << QStringList{box, dialog} << "other"
                                  << "base.xml" << 3;
    QTest::newRow("changed, Cancel")
        << "modified" << QStringList{"Cancel"} << QStringList{box} << "kept" << QString() << 0;
    QTest::newRow("changed, No, dialog cancelled")
        << "modified" << QStringList{"No", "reject"} << QStringList{box, dialog} << "kept, no name"
        << QString() << 0;
    QTest::newRow("unchanged, dialog cancelled")
        << "clean" << QStringList{"reject"} << QStringList{dialog} << "kept, no name" << QString()
        << 0;
    QTest::newRow("not well-formed") << "clean" << QStringList{"file:broken.xml", "OK"}
                                     << QStringList{dialog, box} << "kept" << QString() << 0;
    QTest::newRow("changed, no Image element")
        << "modified" << QStringList{"No", "file:noimage.xml", "OK"}
        << QStringList{box, dialog, box} << "kept" << QString() << 0;
    QTest::newRow("changed, file gone")
        << "modified" << QStringList{"No", "vanish:vanishing.xml", "OK"}
        << QStringList{box, dialog, box} << "kept" << QString() << 0;
    QTest::newRow("unnamed, not well-formed")
        << "unnamed" << QStringList{"No", "file:broken.xml", "OK"} << QStringList{box, dialog, box}
        << "kept" << QString() << 0;
}

void TestDocumentCommands::openCommand()
{
    QFETCH(QString, state);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, seen);
    QFETCH(QString, outcome);
    QFETCH(QString, written);
    QFETCH(int, count);

    CanvasView view;
    view.resize(300, 200);
    view.show();
    QVERIFY(prepare(view, state));
    const QStringList before = describe(view.document());
    const QString nameBefore = view.documentFile;
    const bool modifiedBefore = view.modified;
    const QByteArray brokenBefore = readAll(rowPath(QStringLiteral("broken.xml")));
    const QByteArray noImageBefore = readAll(rowPath(QStringLiteral("noimage.xml")));

    ModalScript script(this->answers(answers));
    view.fileOpen();
    QCOMPARE(script.seen, seen);
    if (outcome == QLatin1String("other")) {
        QCOMPARE(describe(view.document()), describe(m_smallTerrain, m_otherEntries));
        QCOMPARE(view.canvas->sceneRect(), QRectF(0, 0, 160, 120));
        QCOMPARE(view.documentFile, rowPath(QStringLiteral("other.xml")));
        QVERIFY(!view.modified);
        for (const CanvasItem *item : itemsOf(view)) {
            QVERIFY(!item->isPlaceholder());
            QVERIFY(item->isVisible());
        }
    } else {
        QCOMPARE(describe(view.document()), before);
        QCOMPARE(view.modified, modifiedBefore);
        QCOMPARE(view.documentFile, outcome == QLatin1String("kept") ? nameBefore : QString());
    }
    if (seen.endsWith(QStringLiteral("QMessageBox")) &&
        seen.contains(QStringLiteral("QFileDialog"))) {
        // The refusal names the file that could not be read.
        QVERIFY(!m_boxes.isEmpty());
        QVERIFY2(m_boxes.last().startsWith(QStringLiteral("Open failed|")),
                 qPrintable(m_boxes.last()));
        const QString chosen = answers.at(answers.size() - 2).section(QLatin1Char(':'), 1);
        QVERIFY2(m_boxes.last().contains(QDir::toNativeSeparators(rowPath(chosen))),
                 qPrintable(m_boxes.last()));
    }
    if (!written.isEmpty())
        QCOMPARE(savedItems(written), count);
    else
        QCOMPARE(readAll(rowPath(QStringLiteral("base.xml"))), m_baseBytes);

    // A later save goes to the file the map belongs to, never to the one that failed.
    if (view.modified && !view.documentFile.isEmpty()) {
        ModalScript quiet;
        QVERIFY(view.fileSave());
        QVERIFY(quiet.seen.isEmpty());
        QCOMPARE(view.documentFile, nameBefore);
        QCOMPARE(savedItems(QStringLiteral("base.xml")), 3);
    }
    QCOMPARE(readAll(rowPath(QStringLiteral("broken.xml"))), brokenBefore);
    QCOMPARE(readAll(rowPath(QStringLiteral("noimage.xml"))), noImageBefore);
}

void TestDocumentCommands::closeCommand_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("count");

    QTest::newRow("no map") << "none" << QStringList() << QStringList() << QString() << 0;
    QTest::newRow("unchanged") << "clean" << QStringList() << QStringList() << QString() << 0;
    QTest::newRow("changed, named: saved without a question")
        << "modified" << QStringList() << QStringList() << "base.xml" << 3;
    QTest::newRow("changed, name chosen") << "unnamed" << QStringList{"file:closed.xml"}
                                          << QStringList{"QFileDialog"} << "closed.xml" << 1;
}

void TestDocumentCommands::closeCommand()
{
    QFETCH(QString, state);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, seen);
    QFETCH(QString, written);
    QFETCH(int, count);

    CanvasView view;
    view.resize(300, 200);
    view.show();
    QVERIFY(prepare(view, state));
    ModalScript script(this->answers(answers));
    view.fileClose();
    QCOMPARE(script.seen, seen);
    QVERIFY(!view.canvas);
    QVERIFY(!view.currentItem);
    QVERIFY(!view.modified);
    QVERIFY(view.documentFile.isEmpty());
    QVERIFY(view.items().isEmpty());
    if (!written.isEmpty())
        QCOMPARE(savedItems(written), count);
    if (written != QLatin1String("base.xml"))
        QCOMPARE(readAll(rowPath(QStringLiteral("base.xml"))), m_baseBytes);

    // Closed means closed: saving again does nothing.
    QVERIFY(view.fileSave());
    QVERIFY(script.seen == seen);
}

void TestDocumentCommands::saveAsCancelledStopsTheCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("seen");

    const QString box = QStringLiteral("QMessageBox");
    const QString dialog = QStringLiteral("QFileDialog");
    QTest::newRow("Close") << "Close" << QStringList{"reject"} << QStringList{dialog};
    QTest::newRow("Exit") << "Exit" << QStringList{"reject"} << QStringList{dialog};
    QTest::newRow("New, Yes") << "New" << QStringList{"Yes", "reject"} << QStringList{box, dialog};
    QTest::newRow("Open, Yes") << "Open" << QStringList{"Yes", "reject"}
                               << QStringList{box, dialog};
    QTest::newRow("closing the window, Yes")
        << "window" << QStringList{"Yes", "reject"} << QStringList{box, dialog};
}

void TestDocumentCommands::saveAsCancelledStopsTheCommand()
{
    QFETCH(QString, command);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, seen);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CanvasView &view = *window.canvasView;
    QVERIFY(prepare(view, QStringLiteral("unnamed")));
    const QStringList before = describe(view.document());
    const QList<CanvasItem *> items = itemsOf(view);

    ModalScript script(this->answers(answers));
    if (command == QLatin1String("Close"))
        window.actionClose->trigger();
    else if (command == QLatin1String("Exit"))
        window.actionExit->trigger();
    else if (command == QLatin1String("New"))
        window.actionNew->trigger();
    else if (command == QLatin1String("Open"))
        window.actionOpen->trigger();
    else
        QVERIFY(!window.close());
    QCOMPARE(script.seen, seen);
    QVERIFY(window.isVisible());
    QVERIFY(view.canvas);
    QCOMPARE(itemsOf(view), items);
    QCOMPARE(describe(view.document()), before);
    QVERIFY(view.modified);
    QVERIFY(view.documentFile.isEmpty());
    QCOMPARE(QDir(m_row->path()).entryList(QDir::Files).size(), 5);

    ModalScript discard(this->answers({QStringLiteral("No")}));
    QVERIFY(window.close());
}

void TestDocumentCommands::failedSave_data()
{
    QTest::addColumn<QString>("failure");

    QTest::newRow("target is a folder") << "folder";
    QTest::newRow("folder gone") << "gone";
    QTest::newRow("path a file cannot hold") << "path";
    QTest::newRow("disk full") << "full";
}

void TestDocumentCommands::failedSave()
{
    QFETCH(QString, failure);

    const QString folder = rowPath(QStringLiteral("maps"));
    const QString target = folder + QStringLiteral("/map.xml");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeAll(target, m_baseBytes));

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CanvasView &view = *window.canvasView;
    {
        ModalScript script(answers({QStringLiteral("file:maps/map.xml")}));
        view.fileOpen();
        QCOMPARE(view.documentFile, target);
    }
    dragIn(view, m_towerPayload, QPoint(50, 50));

    // What happens on disk meanwhile, or what the map holds, makes the next save fail.
    const QByteArray inner = "not a placement file\n";
    std::optional<FileSizeLimit> limit;
    if (failure == QLatin1String("folder")) {
        QVERIFY(QFile::remove(target));
        QVERIFY(QDir().mkpath(target));
        QVERIFY(writeAll(target + QStringLiteral("/inner.txt"), inner));
    } else if (failure == QLatin1String("gone")) {
        QVERIFY(QDir(folder).removeRecursively());
    } else if (failure == QLatin1String("full")) {
        limit.emplace(256);
    } else {
        StructurePayload odd = m_towerPayload;
        odd.path = m_dir.filePath(QStringLiteral("odd\x01name.mlt"));
        dragIn(view, odd, QPoint(80, 50));
    }
    QVERIFY(view.modified);
    const QStringList before = describe(view.document());

    const auto checkUntouched = [&] {
        if (failure == QLatin1String("folder")) {
            QVERIFY(QFileInfo(target).isDir());
            QCOMPARE(readAll(target + QStringLiteral("/inner.txt")), inner);
            QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                     QStringList{QStringLiteral("map.xml")});
        } else if (failure == QLatin1String("gone")) {
            QVERIFY(!QFileInfo::exists(folder));
        } else {
            QCOMPARE(readAll(target), m_baseBytes);
            QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                     QStringList{QStringLiteral("map.xml")});
        }
        QVERIFY(view.modified);
        QCOMPARE(view.documentFile, target);
        QCOMPARE(describe(view.document()), before);
    };
    const auto checkWarning = [&](const ModalScript &script, const QStringList &seen) {
        QCOMPARE(script.seen, seen);
        QVERIFY(!m_boxes.isEmpty());
        QVERIFY2(m_boxes.last().contains(QDir::toNativeSeparators(target)),
                 qPrintable(m_boxes.last()));
        QVERIFY2(!m_boxes.last().contains(QLatin1String("not a warning")),
                 qPrintable(m_boxes.last()));
    };
    const QString box = QStringLiteral("QMessageBox");

    {
        ModalScript script(answers({QStringLiteral("OK")}));
        QVERIFY(!view.fileSave());
        checkWarning(script, {box});
        checkUntouched();
    }
    {
        ModalScript script(answers({QStringLiteral("OK")}));
        window.actionExit->trigger();
        checkWarning(script, {box});
        QVERIFY(window.isVisible());
        checkUntouched();
    }
    {
        ModalScript script(answers({QStringLiteral("OK")}));
        window.actionClose->trigger();
        checkWarning(script, {box});
        QVERIFY(view.canvas);
        checkUntouched();
    }
    {
        // Yes to the question, the save fails: New stops before asking for an image.
        ModalScript script(answers({QStringLiteral("Yes"), QStringLiteral("OK")}));
        window.actionNew->trigger();
        checkWarning(script, {box, box});
        checkUntouched();
    }
    {
        ModalScript script(answers({QStringLiteral("Yes"), QStringLiteral("OK")}));
        QVERIFY(!window.close());
        checkWarning(script, {box, box});
        QVERIFY(window.isVisible());
        checkUntouched();
    }
    ModalScript discard(answers({QStringLiteral("No")}));
    QVERIFY(window.close());
    QCOMPARE(discard.seen, QStringList{box});
}

void TestDocumentCommands::closingTheWindow_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("count");

    const QString box = QStringLiteral("QMessageBox");
    QTest::newRow("no map") << "none" << QStringList() << true << QStringList() << QString() << 0;
    QTest::newRow("unchanged") << "clean" << QStringList() << true << QStringList() << QString()
                               << 0;
    QTest::newRow("changed, Yes") << "modified" << QStringList{"Yes"} << true << QStringList{box}
                                  << "base.xml" << 3;
    QTest::newRow("changed, Yes, name chosen")
        << "unnamed" << QStringList{"Yes", "file:last.xml"} << true
        << QStringList{box, "QFileDialog"} << "last.xml" << 1;
    QTest::newRow("changed, No") << "modified" << QStringList{"No"} << true << QStringList{box}
                                 << QString() << 0;
    QTest::newRow("changed, Cancel")
        << "modified" << QStringList{"Cancel"} << false << QStringList{box} << QString() << 0;
}

void TestDocumentCommands::closingTheWindow()
{
    QFETCH(QString, state);
    QFETCH(QStringList, answers);
    QFETCH(bool, closed);
    QFETCH(QStringList, seen);
    QFETCH(QString, written);
    QFETCH(int, count);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(prepare(*window.canvasView, state));
    const QStringList before = describe(window.canvasView->document());

    ModalScript script(this->answers(answers));
    QCOMPARE(window.close(), closed);
    QCOMPARE(script.seen, seen);
    QCOMPARE(window.isVisible(), !closed);
    if (!seen.isEmpty()) {
        QCOMPARE(m_boxes.first(), QStringLiteral("Save changes|Save changes before closing?"));
    }
    if (!written.isEmpty())
        QCOMPARE(savedItems(written), count);
    if (written != QLatin1String("base.xml"))
        QCOMPARE(readAll(rowPath(QStringLiteral("base.xml"))), m_baseBytes);
    if (!closed) {
        QVERIFY(window.canvasView->modified);
        QCOMPARE(describe(window.canvasView->document()), before);
        ModalScript discard(this->answers({QStringLiteral("No")}));
        QVERIFY(window.close());
    }
}

void TestDocumentCommands::placeholderItems_data()
{
    QTest::addColumn<QString>("structure");
    QTest::addColumn<QSize>("region");

    QTest::newRow("structure file missing") << "gone.mlt" << QSize(4, 3);
    QTest::newRow("structure file is a folder") << "." << QSize(4, 3);
    // The same structure file is placed properly too, as the first structure in the file.
    QTest::newRow("RegionX 5000") << "tower.mlt" << QSize(5000, 3);
    QTest::newRow("RegionX 5000, file of its own") << "lonely.mlt" << QSize(5000, 3);
    QTest::newRow("RegionY 4097") << "tower.mlt" << QSize(4, 4097);
    QTest::newRow("RegionX 0") << "tower.mlt" << QSize(0, 3);
    QTest::newRow("RegionX 0, file of its own") << "lonely.mlt" << QSize(0, 3);
    QTest::newRow("RegionY 0") << "tower.mlt" << QSize(4, 0);
    QTest::newRow("RegionX negative") << "tower.mlt" << QSize(-4, 3);
}

void TestDocumentCommands::placeholderItems()
{
    QFETCH(QString, structure);
    QFETCH(QSize, region);

    const QString odd = QDir::cleanPath(m_dir.filePath(structure));
    const QList<Entry> entries = {{QPoint(40, 30), QPoint(-3, -2), QSize(4, 3), m_tower, false},
                                  {QPoint(10, 10), QPoint(-3, -2), region, odd, true}};
    const QByteArray bytes = placementBytes(m_terrain, entries);
    QVERIFY(writeAll(rowPath(QStringLiteral("odd.xml")), bytes));

    CanvasView view;
    view.resize(300, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    {
        ModalScript script(answers({QStringLiteral("file:odd.xml")}));
        view.fileOpen();
        QCOMPARE(script.seen, QStringList{QStringLiteral("QFileDialog")});
    }
    QCOMPARE(describe(view.document()), describe(m_terrain, entries));
    const QList<CanvasItem *> items = itemsOf(view);
    QCOMPARE(items.size(), 2);
    QVERIFY(!items[0]->isPlaceholder());
    QVERIFY(items[1]->isPlaceholder());
    QVERIFY(items[1]->isVisible());

    // The placeholder is drawn where the structure lies.
    QTRY_VERIFY(!view.isTerrainLoading());
    const QImage terrain(m_terrain);
    const QImage shown = view.viewport()->grab().toImage();
    int changed = 0;
    for (int y = 10; y < 12; ++y) {
        for (int x = 10; x < 12; ++x)
            changed += (shown.pixel(x, y) & 0xFFFFFF) != (terrain.pixel(x, y) & 0xFFFFFF);
    }
    QVERIFY2(changed > 0, "no placeholder pixels");

    // Move the good structure away and back: the map counts as changed, the content is not.
    QWidget *viewport = view.viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(41, 31));
    QTest::mouseMove(viewport, QPoint(60, 60));
    QTest::mouseMove(viewport, QPoint(41, 31));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(41, 31));
    QVERIFY(view.modified);
    ModalScript quiet;
    QVERIFY(view.fileSave());
    QVERIFY(quiet.seen.isEmpty());
    QCOMPARE(readAll(rowPath(QStringLiteral("odd.xml"))), bytes);
}

void TestDocumentCommands::awkwardPathsRoundTrip_data()
{
    QTest::addColumn<QString>("terrainName");
    QTest::addColumn<QString>("structureName");

    QTest::newRow("]]>") << "a]]>b.png"
                         << "s]]>t.mlt";
    QTest::newRow("carriage return") << "a\rb.png"
                                     << "s\rt.mlt";
    QTest::newRow("line ends and markup") << "a\r\n]]>&<b.png"
                                          << "s\r\n]]>&<t>.mlt";
    QTest::newRow("blanks at the ends") << " a .png"
                                        << " t .mlt";
}

void TestDocumentCommands::awkwardPathsRoundTrip()
{
    QFETCH(QString, terrainName);
    QFETCH(QString, structureName);

    const QString terrain = TestSupport::writeTerrain(*m_row, terrainName, 90, 70);
    QVERIFY(QFile::exists(terrain));
    QFile::copy(m_tower, rowPath(structureName));
    StructurePayload payload;
    payload.path = rowPath(structureName);
    QVERIFY(renderStructurePreview(payload.path, payload.image, payload.offset, payload.region));

    CanvasView view;
    view.newCanvas(terrain);
    dragIn(view, payload, QPoint(20, 15));
    const QStringList before = describe(view.document());
    {
        ModalScript script(answers({QStringLiteral("file:awkward.xml")}));
        QVERIFY(view.fileSave());
        QCOMPARE(script.seen, QStringList{QStringLiteral("QFileDialog")});
    }
    view.fileClose();
    QVERIFY(!view.canvas);
    {
        ModalScript script(answers({QStringLiteral("file:awkward.xml")}));
        view.fileOpen();
        QCOMPARE(script.seen, QStringList{QStringLiteral("QFileDialog")});
    }
    QCOMPARE(view.terrainFile, terrain);
    QCOMPARE(view.canvas->sceneRect(), QRectF(0, 0, 90, 70));
    QCOMPARE(describe(view.document()), before);
    const QList<CanvasItem *> items = itemsOf(view);
    QCOMPARE(items.size(), 1);
    QVERIFY2(!items.first()->isPlaceholder(), "the structure file was found again");
}

void TestDocumentCommands::oneStructureManyTimesSharesOnePixmap()
{
    QList<Entry> entries;
    for (int i = 0; i < 50; ++i)
        entries.append(
            {QPoint(i * 3, (i * 7) % 140), QPoint(-3, -2), QSize(4, 3), m_tower, i % 2 == 1});
    QVERIFY(writeAll(rowPath(QStringLiteral("many.xml")), placementBytes(m_terrain, entries)));

    CanvasView view;
    ModalScript script(answers({QStringLiteral("file:many.xml")}));
    view.fileOpen();
    QCOMPARE(script.seen, QStringList{QStringLiteral("QFileDialog")});
    QVERIFY(!view.modified);
    QCOMPARE(describe(view.document()), describe(m_terrain, entries));
    const QList<CanvasItem *> items = itemsOf(view);
    QCOMPARE(items.size(), 50);
    const qint64 key = items.first()->pixmap().cacheKey();
    for (const CanvasItem *item : items) {
        QVERIFY(!item->isPlaceholder());
        QCOMPARE(item->pixmap().cacheKey(), key);
    }
}

QTEST_MAIN(TestDocumentCommands)
#include "tst_documentcommands.moc"
