// The File commands as the user drives them: New, Open, Save, Close, Exit and closing the
// window, with every dialog and question answered as a user would, and what lands on disk.

#include "TestSupport.h"
#include "app/MainWindow.h"
#include "canvas/Canvas.h"
#include "canvas/CanvasItem.h"
#include "canvas/CanvasView.h"
#include "document/FileCommands.h"
#include "document/MapDocument.h"
#include "document/PlacementDocument.h"
#include "document/PlacementFile.h"
#include "library/StructurePayload.h"
#include "library/StructurePreview.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <unistd.h>
#else
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define STDOUT_FILENO _fileno(stdout)
#endif

using TestSupport::ModalScript;

namespace {

// A placement file as the program writes it (the writer's bytes are pinned by its own tests).
QByteArray placementBytes(const PlacementDocument &doc)
{
    return *PlacementFile::write(doc);
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
    return view.canvas()->allItems();
}

// Runs action and returns what the process wrote to its standard output meanwhile.
QByteArray printedBy(const std::function<void()> &action)
{
    QTemporaryFile file;
    file.open();
    std::cout.flush();
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(file.handle(), STDOUT_FILENO);
    action();
    std::cout.flush();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    return readAll(file.fileName());
}

// Gives a File command as the user does: picks the File menu's entry of that name, or with
// "window" closes the window.
void run(MainWindow &window, const QString &command)
{
    if (command == "window")
        window.close();
    for (QAction *entry : window.menuBar()->actions().first()->menu()->actions()) {
        if (entry->text() == command)
            entry->trigger();
    }
}

void row(const char *command, const char *state, const QStringList &answers, const char *outcome,
         const char *written = "")
{
    QTest::addRow("%s, %s, %s", command, state, qPrintable(answers.join(' ')))
        << QString::fromLatin1(command) << QString::fromLatin1(state) << answers
        << QString::fromLatin1(outcome) << QString::fromLatin1(written);
}

} // namespace

// Lets QCOMPARE show how a map differs from the one expected.
static char *toString(const PlacementDocument &doc)
{
    return QTest::toString(placementBytes(doc));
}

class TestDocumentCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void command_data();
    void command();
    void failedSave_data();
    void failedSave();
    void placeholderItems_data();
    void placeholderItems();

private:
    QString rowPath(const QString &name) const { return m_row->filePath(name); }
    Placement tower(int x, int y, bool invisible = false) const
    {
        return {QPointF(x, y), QPoint(-3, -2), QRect(0, 0, 4, 3), m_tower, invisible};
    }
    ModalScript::Answer answer(const QString &token);
    bool answered(const QStringList &tokens, const std::function<void()> &action);
    bool save(CanvasView &view, const QStringList &tokens = {});
    bool prepare(CanvasView &view, const QString &state);
    QMap<QString, QByteArray> snapshot() const;

    QTemporaryDir m_dir;
    RadarColours m_colours;
    std::unique_ptr<QTemporaryDir> m_row;
    QString m_terrain;
    QString m_smallTerrain;
    QString m_tower;
    StructurePayload m_towerPayload;
    PlacementDocument m_base;
    PlacementDocument m_other;
    QStringList m_boxes; // "[warning|]title|text" of every message box answered
};

void TestDocumentCommands::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QApplication::setQuitOnLastWindowClosed(false);
    TestSupport::openRadarColours(m_dir, m_colours);
    m_terrain = TestSupport::writeTerrain(m_dir, "terrain.png", 200, 150);
    m_smallTerrain = TestSupport::writeTerrain(m_dir, "small.png", 160, 120);

    // A 4 x 3 tower whose tiles lie at x -3..0, y -2..0.
    QList<DemoData::Tile> tiles;
    for (qint16 y = -2; y <= 0; ++y) {
        for (qint16 x = -3; x <= 0; ++x)
            tiles.append({quint16(200 + x - 4 * y), x, y, 0});
    }
    m_tower = TestSupport::writeStructure(m_dir, "tower.mlt", tiles);
    TestSupport::writeStructure(m_dir, "lonely.mlt", tiles);
    m_towerPayload.path = m_tower;
    QVERIFY(renderStructurePreview(m_tower, m_colours, m_towerPayload.image, m_towerPayload.offset,
                                   m_towerPayload.region));
    PlacementDocument big{m_terrain, {}};
    for (int i = 0; i < 100000; ++i)
        big.placements.append(tower(i % 200, i / 500));
    QVERIFY(writeAll(m_dir.filePath("big.xml"), *PlacementFile::write(big)));
    m_base = {m_terrain, {tower(5, 6, true), tower(40, 30)}};
    m_other = {m_smallTerrain, {tower(70, 8)}};
}

void TestDocumentCommands::init()
{
    m_row = std::make_unique<QTemporaryDir>();
    QVERIFY(m_row->isValid());
    m_boxes.clear();
    QVERIFY(writeAll(rowPath("base.xml"), placementBytes(m_base)));
    QVERIFY(writeAll(rowPath("vanishing.xml"), placementBytes(m_base)));
    QVERIFY(writeAll(rowPath("other.xml"), placementBytes(m_other)));
    QVERIFY(writeAll(rowPath("broken.xml"),
                     "<?xml version=\"1.0\"?>\n<Valdrune>\n\t<Image>x.png</Imag>\n"));
    QVERIFY(writeAll(rowPath("noimage.xml"),
                     "<Valdrune>\n\t<MLT Invisible=\"False\" />\n</Valdrune>\n"));
    // Nested far too deep to read in reasonable time; a document type declaration.
    constexpr int depth = 200000;
    QVERIFY(writeAll(rowPath("deep.xml"), "<V>" + QByteArray("<a>").repeated(depth) +
                                              "<Image>x</Image>" +
                                              QByteArray("</a>").repeated(depth) + "</V>"));
    QVERIFY(writeAll(rowPath("doctype.xml"), "<!DOCTYPE V [<!ENTITY e \"x\">]>\n"
                                             "<V><Image>&e;</Image></V>"));
}

void TestDocumentCommands::cleanup()
{
    QVERIFY(!QApplication::activeModalWidget());
    m_row.reset();
}

// A scripted answer: "image:NAME" picks that terrain image in the image dialog, "file:NAME"
// picks that file of the row's folder in a file dialog, "vanish:NAME" too and deletes it
// right after; with no NAME either dialog is cancelled. Yes, No, Cancel and OK are buttons
// of a message box.
ModalScript::Answer TestDocumentCommands::answer(const QString &token)
{
    const QString kind = token.section(':', 0, 0);
    const QString name = token.section(':', 1);
    if (kind == "image") {
        const QString path = name.isEmpty() ? QString() : m_dir.filePath(name);
        return [path](QWidget *modal) {
            auto *line = modal->findChild<QLineEdit *>("lineTerrain");
            auto *ok = modal->findChild<QPushButton *>("okButton");
            if (path.isEmpty() || !line || !ok)
                return TestSupport::rejectDialog(modal);
            line->setText(path);
            ok->click();
        };
    }
    if (token == "progress") { // cancels the open under way
        return [](QWidget *modal) {
            if (auto *button = modal->findChild<QPushButton *>())
                button->click();
        };
    }
    if (kind == "file" || kind == "vanish" || kind == "big") {
        const QString path = name.isEmpty()  ? QString()
                             : kind == "big" ? m_dir.filePath(name)
                                             : rowPath(name);
        return [path, vanish = kind == "vanish"](QWidget *modal) {
            if (path.isEmpty())
                return TestSupport::rejectDialog(modal);
            TestSupport::acceptFileDialog(modal, path);
            if (vanish) // gone between the choice and the reading
                QFile::remove(path);
        };
    }
    if (token == "Save As...") {
        return [this](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            for (QAbstractButton *button : box ? box->buttons() : QList<QAbstractButton *>()) {
                if (button->text() == "Save As...") {
                    m_boxes << "warning|" + box->windowTitle() + '|' + box->text();
                    return button->click();
                }
            }
            modal->close();
        };
    }
    const int button = token == "Yes"      ? QMessageBox::Yes
                       : token == "No"     ? QMessageBox::No
                       : token == "Cancel" ? QMessageBox::Cancel
                                           : QMessageBox::Ok;
    return [this, button](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            const bool warning = box->icon() == QMessageBox::Warning;
            m_boxes << (warning ? "warning|" : "") + box->windowTitle() + '|' + box->text();
        }
        TestSupport::clickMessageBoxButton(modal, button);
    };
}

// Runs action while the modal widgets that show up get the scripted answers; true when just
// the widgets the answers are meant for showed up, in order.
bool TestDocumentCommands::answered(const QStringList &tokens, const std::function<void()> &action)
{
    QList<ModalScript::Answer> answers;
    QStringList expected;
    for (const QString &token : tokens) {
        answers << answer(token);
        expected << (token.startsWith("image:") ? "SelectImage"
                     : token.contains(':')      ? "QFileDialog"
                     : token == "progress"      ? "QProgressDialog"
                                                : "QMessageBox");
    }
    ModalScript script(answers);
    action();
    if (script.seen == expected)
        return true;
    qWarning() << "modal widgets seen:" << script.seen;
    return false;
}

bool TestDocumentCommands::save(CanvasView &view, const QStringList &tokens)
{
    bool saved = false;
    return answered(tokens, [&] { saved = view.fileSave(); }) && saved;
}

// Brings the view into a document state: "none" no map; "fresh" a new map without items and
// without name; "clean" base.xml opened; "modified" base.xml opened and one more structure
// dragged in; "undone" the same with the drop undone; "unnamed" a new map with one structure
// dragged in.
bool TestDocumentCommands::prepare(CanvasView &view, const QString &state)
{
    if (state == "none")
        return !view.canvas() && !view.document()->isModified() &&
               view.document()->fileName().isEmpty() && view.document()->terrainPath().isEmpty();
    const bool opened = state == "clean" || state == "modified" || state == "undone";
    const bool changed = state == "modified" || state == "unnamed";
    if (!answered({opened ? "file:base.xml" : "image:terrain.png"},
                  [&] { opened ? view.fileOpen() : view.fileNew(); }))
        return false;
    if (changed || state == "undone")
        TestSupport::dragIn(view, m_towerPayload, QPoint(100, 80));
    if (state == "undone")
        view.document()->undoStack()->undo();
    return view.canvas() && view.document()->isModified() == changed &&
           view.document()->fileName() == (opened ? rowPath("base.xml") : QString());
}

// Every file and folder in the row's folder with its content.
QMap<QString, QByteArray> TestDocumentCommands::snapshot() const
{
    QMap<QString, QByteArray> files;
    QDirIterator it(m_row->path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(m_row->path()).relativeFilePath(path), readAll(path));
    }
    return files;
}

void TestDocumentCommands::command_data()
{
    QTest::addColumn<QString>("command");     // see run()
    QTest::addColumn<QString>("state");       // see prepare()
    QTest::addColumn<QStringList>("answers"); // see answer()
    // "kept": the map, its name and flag as before; "no name": the same without the name;
    // "saved": kept but saved to written; "new": a new empty map on small.png; "other":
    // other.xml opened; "closed": no map; "gone": the window closed.
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("written"); // file saved on the way

    // Save asks for a name only when the map has none, and writes only when it changed.
    row("Save", "none", {}, "kept");
    row("Save", "fresh", {}, "kept");
    row("Save", "modified", {}, "saved", "base.xml");
    row("Save", "unnamed", {"file:new.xml"}, "saved", "new.xml");
    row("Save", "unnamed", {"file:"}, "kept");
    row("Save", "undone", {}, "kept");
    // Save As writes a copy even of an unchanged map, and the map then belongs to it; a name
    // typed without a suffix gets ".xml".
    row("Save As...", "none", {}, "kept");
    row("Save As...", "clean", {"file:copy.xml"}, "saved", "copy.xml");
    row("Save As...", "unnamed", {"file:typed"}, "saved", "typed.xml");
    row("Save As...", "modified", {"file:"}, "kept");
    // New, Open and closing the window ask about unsaved changes first: Yes saves, No drops
    // them, Cancel or a cancelled Save as stops the command.
    row("New", "none", {"image:small.png"}, "new");
    row("New", "clean", {"image:small.png"}, "new");
    row("New", "undone", {"image:small.png"}, "new");
    row("New", "modified", {"No", "image:small.png"}, "new");
    row("New", "unnamed", {"Yes", "file:new.xml", "image:small.png"}, "new", "new.xml");
    row("New", "modified", {"Cancel"}, "kept");
    row("New", "unnamed", {"Yes", "file:"}, "kept");
    row("New", "modified", {"No", "image:"}, "kept");
    row("New", "modified", {"No", "image:nothing.png"}, "kept");
    row("Open", "none", {"file:other.xml"}, "other");
    row("Open", "clean", {"file:other.xml"}, "other");
    row("Open", "modified", {"No", "file:other.xml"}, "other");
    row("Open", "modified", {"Yes", "file:other.xml"}, "other", "base.xml");
    row("Open", "modified", {"Cancel"}, "kept");
    row("Open", "unnamed", {"Yes", "file:"}, "kept");
    // A cancelled Open dialog keeps the map, but the next save asks where to go.
    row("Open", "modified", {"No", "file:"}, "no name");
    // A file that cannot be read is refused with a warning that names it.
    row("Open", "clean", {"file:broken.xml", "OK"}, "kept");
    row("Open", "modified", {"No", "file:noimage.xml", "OK"}, "kept");
    row("Open", "modified", {"No", "vanish:vanishing.xml", "OK"}, "kept");
    row("Open", "unnamed", {"No", "file:broken.xml", "OK"}, "kept");
    row("Open", "clean", {"file:deep.xml", "OK"}, "kept");
    row("Open", "clean", {"file:doctype.xml", "OK"}, "kept");
    // A long open shows its progress, and cancelling it keeps the map that was open.
    row("Open", "modified", {"No", "big:big.xml", "progress"}, "kept");
    row("window", "clean", {}, "gone");
    row("window", "modified", {"Yes"}, "gone", "base.xml");
    row("window", "unnamed", {"Yes", "file:last.xml"}, "gone", "last.xml");
    row("window", "modified", {"No"}, "gone");
    row("window", "modified", {"Cancel"}, "kept");
    row("window", "unnamed", {"Yes", "file:"}, "kept");
    // Close and Exit save without a question; a cancelled Save as stops them.
    row("Close", "none", {}, "closed");
    row("Close", "clean", {}, "closed");
    row("Close", "modified", {}, "closed", "base.xml");
    row("Close", "unnamed", {"file:closed.xml"}, "closed", "closed.xml");
    row("Close", "unnamed", {"file:"}, "kept");
    row("Exit", "clean", {}, "gone");
    row("Exit", "modified", {}, "gone", "base.xml");
    row("Exit", "unnamed", {"file:exit.xml"}, "gone", "exit.xml");
    row("Exit", "unnamed", {"file:"}, "kept");
}

void TestDocumentCommands::command()
{
    QFETCH(QString, command);
    QFETCH(QString, state);
    QFETCH(QStringList, answers);
    QFETCH(QString, outcome);
    QFETCH(QString, written);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CanvasView &view = *window.canvasView();
    QVERIFY(prepare(view, state));
    const PlacementDocument before = view.document()->content();
    const QString nameBefore = view.document()->fileName();
    const bool modifiedBefore = view.document()->isModified();
    // Whatever is not written must not appear: take the opened file away meanwhile.
    if (written.isEmpty())
        QVERIFY(QFile::remove(rowPath("base.xml")));
    QMap<QString, QByteArray> files = snapshot();

    if (answers.contains("progress"))
        view.fileCommands()->setProgressDelay(0);
    bool ok = false;
    const QByteArray printed =
        printedBy([&] { ok = answered(answers, [&] { run(window, command); }); });
    QVERIFY(ok);
    const bool gone = outcome == "gone";
    QCOMPARE(window.isVisible(), !gone);
    if (gone)
        outcome = written.isEmpty() ? "kept" : "saved";

    // The map, the file it belongs to and its unsaved-changes flag afterwards.
    PlacementDocument doc = outcome == "other" ? m_other : before;
    if (outcome == "new")
        doc = {m_smallTerrain, {}};
    const QString name = outcome == "kept"    ? nameBefore
                         : outcome == "saved" ? rowPath(written)
                         : outcome == "other" ? rowPath("other.xml")
                                              : QString();
    if (outcome == "closed")
        QVERIFY(!view.canvas());
    else
        QCOMPARE(view.document()->content(), doc);
    if (view.canvas())
        QCOMPARE(view.canvas()->sceneRect(),
                 QRectF(QPointF(), QImage(view.document()->terrainPath()).size()));
    QCOMPARE(view.document()->fileName(), name);
    QCOMPARE(view.document()->isModified(),
             modifiedBefore && (outcome == "kept" || outcome == "no name"));

    // Saved on the way: the map as it was, byte for byte, and a line on the standard output
    // for each structure.
    QStringList lines;
    if (!written.isEmpty()) {
        QCOMPARE(readAll(rowPath(written)), placementBytes(before));
        for (const Placement &p : before.placements)
            lines << QString::asprintf("Item is at %g,%g", p.position.x(), p.position.y());
    }
    QCOMPARE(QString::fromUtf8(printed).split('\n').filter("Item is at"), lines);
    // Nothing else changes on disk (but for the file taken away while it was being opened).
    QMap<QString, QByteArray> after = snapshot();
    for (const QString &file : {written, QStringLiteral("vanishing.xml")}) {
        files.remove(file);
        after.remove(file);
    }
    QCOMPARE(after, files);
    if (QStringList{"Yes", "No", "Cancel"}.contains(answers.value(0)))
        QCOMPARE(m_boxes.first(), QStringLiteral("Save changes|Save changes before closing?"));
    if (answers.endsWith("OK")) { // the refusal names the file and says what is wrong
        const QString file = answers.at(answers.size() - 2).section(':', 1);
        const QString why = file == "noimage.xml"     ? " names no terrain image.\n"
                            : file == "vanishing.xml" ? " could not be opened.\n"
                                                      : " is not a placement file.\nline ";
        QVERIFY2(m_boxes.last().startsWith("warning|Open failed|" +
                                           QDir::toNativeSeparators(rowPath(file)) + why),
                 qPrintable(m_boxes.last()));
    }
    // A later save goes to the file the map belongs to, never to one that failed to open.
    if (!gone && view.document()->isModified() && !view.document()->fileName().isEmpty()) {
        QVERIFY(save(view));
        QCOMPARE(readAll(rowPath("base.xml")), placementBytes(before));
    }
    view.document()->undoStack()->setClean(); // nothing left to ask about
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

    const QString folder = rowPath("maps");
    const QString target = folder + "/map.xml";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeAll(target, placementBytes(m_base)));

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CanvasView &view = *window.canvasView();
    QVERIFY(answered({"file:maps/map.xml"}, [&] { view.fileOpen(); }));
    TestSupport::dragIn(view, m_towerPayload, QPoint(50, 50));

    // What happens on disk meanwhile, or what the map holds, makes every save fail.
#ifdef Q_OS_UNIX
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &limit); });
#endif
    if (failure == "folder") {
        QVERIFY(QFile::remove(target));
        QVERIFY(QDir().mkpath(target));
        QVERIFY(writeAll(target + "/inner.txt", "not a placement file\n"));
    } else if (failure == "gone") {
        QVERIFY(QDir(folder).removeRecursively());
    } else if (failure == "full") {
#ifdef Q_OS_UNIX
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
        const rlimit full{qMin<rlim_t>(256, limit.rlim_max), limit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &full);
#else
        QSKIP("a full disk is simulated with a file size limit, which needs POSIX");
#endif
    } else {
        StructurePayload odd = m_towerPayload;
        odd.path = m_dir.filePath("odd\x01name.mlt");
        TestSupport::dragIn(view, odd, QPoint(80, 50));
    }
    const PlacementDocument doc = view.document()->content();
    const QMap<QString, QByteArray> files = snapshot();

    // Each command that saves warns, naming the file, and stops there, with the map, its
    // name, its flag and what is on disk as they were. New and closing the window ask first.
    bool saved = true;
    QVERIFY(answered({"OK"}, [&] { saved = view.fileSave(); }));
    QVERIFY(!saved);
    for (const QString &command : QStringList{"Save", "Exit", "Close", "New", "window"}) {
        const bool asks = command == "New" || command == "window";
        QVERIFY(answered(asks ? QStringList{"Yes", "OK"} : QStringList{"OK"},
                         [&] { run(window, command); }));
        QVERIFY2(m_boxes.last().startsWith("warning|") &&
                     m_boxes.last().contains(QDir::toNativeSeparators(target)),
                 qPrintable(m_boxes.last()));
        QVERIFY(window.isVisible());
        QVERIFY(view.document()->isModified());
        QCOMPARE(view.document()->fileName(), target);
        QCOMPARE(view.document()->content(), doc);
        QCOMPARE(snapshot(), files);
    }

    // The warning offers Save As: the work goes elsewhere, and the map belongs there now.
    if (failure == "folder" || failure == "gone") {
        QVERIFY(answered({"Save As...", "file:elsewhere.xml"}, [&] { saved = view.fileSave(); }));
        QVERIFY(saved);
        QCOMPARE(readAll(rowPath("elsewhere.xml")), placementBytes(doc));
        QCOMPARE(view.document()->fileName(), rowPath("elsewhere.xml"));
    }
    view.document()->undoStack()->setClean();
}

void TestDocumentCommands::placeholderItems_data()
{
    QTest::addColumn<QString>("structure");
    QTest::addColumn<QSize>("region");

    QTest::newRow("structure file missing") << "gone.mlt" << QSize(4, 3);
    QTest::newRow("structure file is a folder") << "." << QSize(4, 3);
    // The same structure file is placed properly too, before and after the odd one.
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

    PlacementDocument doc{m_terrain, {tower(40, 30), tower(10, 10, true), tower(70, 8)}};
    doc.placements[1].region.setSize(region);
    doc.placements[1].structurePath = QDir::cleanPath(m_dir.filePath(structure));
    const QByteArray bytes = placementBytes(doc);
    QVERIFY(writeAll(rowPath("odd.xml"), bytes));

    CanvasView view;
    view.resize(300, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(answered({"file:odd.xml"}, [&] { view.fileOpen(); }));
    QCOMPARE(view.document()->content(), doc);
    const QList<CanvasItem *> items = itemsOf(view);
    QCOMPARE(items.size(), 3);
    QVERIFY(items[1]->isPlaceholder());
    QVERIFY(items[1]->isVisible());
    // A structure file is rendered once however many times it is placed.
    QVERIFY(!items[0]->isPlaceholder());
    QCOMPARE(items[2]->pixmap().cacheKey(), items[0]->pixmap().cacheKey());

    // The placeholder is drawn where the structure lies.
    QTRY_VERIFY(!view.isTerrainLoading());
    const QImage terrain(m_terrain);
    const QImage shown = view.viewport()->grab().toImage();
    QVERIFY2((shown.pixel(10, 10) & 0xFFFFFF) != (terrain.pixel(10, 10) & 0xFFFFFF),
             "no placeholder at its top-left corner");

    // Saved again, the placeholder keeps all the file said of it.
    bool saved = false;
    QVERIFY(answered({"file:again.xml"}, [&] { saved = view.fileSaveAs(); }));
    QVERIFY(saved);
    QCOMPARE(readAll(rowPath(QStringLiteral("again.xml"))), bytes);
}

QTEST_MAIN(TestDocumentCommands)
#include "tst_documentcommands.moc"
