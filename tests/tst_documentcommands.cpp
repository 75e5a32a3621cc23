// The main window as the user drives it: its menus and keys, the Edit menu, and the File commands
// New, Open, Save, Close, Export Image, Exit and closing the window, with every dialog and question
// answered as a user would, and what lands on disk.

#include "TestSupport.h"
#include "core/MapDocument.h"
#include "core/MapSession.h"
#include "core/PlacementDocument.h"
#include "core/PlacementFile.h"
#include "core/StructurePayload.h"
#include "core/StructurePreview.h"
#include "editor/Canvas.h"
#include "editor/CanvasItem.h"
#include "editor/CanvasView.h"
#include "editor/DirModel.h"
#include "editor/DirView.h"
#include "editor/EditCommands.h"
#include "editor/FileCommands.h"
#include "editor/MainWindow.h"
#include "editor/SelectImage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

using TestSupport::ModalScript;
using TestSupport::snapshot;

namespace {

// The entries of the window's menu at index menu, without separators.
QList<QAction *> entriesOf(MainWindow &window, int menu)
{
    QList<QAction *> entries = window.menuBar()->actions().at(menu)->menu()->actions();
    entries.removeIf([](const QAction *action) { return action->isSeparator(); });
    return entries;
}

// The entry of that text in the window's menu at index menu.
QAction *entry(MainWindow &window, int menu, const QString &text)
{
    for (QAction *action : entriesOf(window, menu))
        if (action->text() == text)
            return action;
    return nullptr;
}

// Gives a File command as the user does: picks the File menu's entry of that name, or with "window"
// closes the window.
void run(MainWindow &window, const QString &command)
{
    if (command == "window")
        window.close();
    for (QAction *entry : entriesOf(window, 0))
        if (entry->text() == command)
            entry->trigger();
}

void row(const QString &command, const QString &state, const QStringList &answers,
         const QString &outcome, const QString &written = {})
{
    QTest::newRow(qPrintable(command + ", " + state + ", " + answers.join(' ')))
        << command << state << answers << outcome << written;
}

} // namespace

class TestDocumentCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        QStandardPaths::setTestModeEnabled(true); // where the windows keep recovery files

        // A 4 x 3 tower whose tiles lie at x -3..0, y -2..0.
        DemoData::Random random(1);
        const QList<DemoData::Tile> tiles = DemoData::rectangleStructure(4, 3, -3, -2, 200, random);
        m_towerPayload = TestSupport::payloadFor(
            TestSupport::writeStructure(m_dir, "tower.mlt", tiles), RadarColours());
        const auto tower = [this](int x, int y, bool invisible = false) {
            return Placement{QPointF(x, y), QPoint(-3, -2), QRect(0, 0, 4, 3), m_towerPayload.path,
                             invisible};
        };
        m_base = {TestSupport::writeTerrain(m_dir, "terrain.png", 200, 150),
                  {tower(5, 6, true), tower(40, 30)}};
        const PlacementDocument large{TestSupport::writeTerrain(m_dir, "large.png", 2049, 2049),
                                      {tower(5, 6)}};
        PlacementDocument big{m_base.terrainPath, {}};
        for (int i = 0; i < 100000; ++i)
            big.placements.append(tower(i % 200, i / 500));
        m_other = {TestSupport::writeTerrain(m_dir, "small.png", 160, 120), {tower(70, 8)}};
        // Nested far too deep to read in reasonable time; a document type declaration.
        const QByteArray deep = QByteArray("<a>").repeated(200000);
        const QMap<QString, QByteArray> files = {
            {"big.xml", *PlacementFile::write(big)},
            {"large.xml", *PlacementFile::write(large)},
            {"vanishing.xml", *PlacementFile::write(m_base)},
            {"other.xml", *PlacementFile::write(m_other)},
            {"broken.xml", "<?xml version=\"1.0\"?>\n<Valdrune>\n\t<Image>x.png</Imag>\n"},
            {"noimage.xml", "<Valdrune>\n\t<MLT Invisible=\"False\" />\n</Valdrune>\n"},
            {"deep.xml",
             "<V>" + deep + "<Image>x</Image>" + QByteArray(deep).replace("<", "</") + "</V>"},
            {"doctype.xml", "<!DOCTYPE V [<!ENTITY e \"x\">]>\n<V><Image>&e;</Image></V>"}};
        for (auto it = files.begin(); it != files.end(); ++it)
            QVERIFY(DemoData::writeFile(m_dir.filePath(it.key()), it.value()));
    }

    void init()
    {
        m_row = std::make_unique<QTemporaryDir>();
        m_boxes.clear();
        QVERIFY(DemoData::writeFile(m_row->filePath("base.xml"), *PlacementFile::write(m_base)));
    }

    void cleanup() { QVERIFY(!QApplication::activeModalWidget()); }

    void command_data()
    {
        QTest::addColumn<QString>("command");     // see run()
        QTest::addColumn<QString>("state");       // see prepare()
        QTest::addColumn<QStringList>("answers"); // see answered()
        // "kept": the map, its name and flag as before; "saved": kept but saved to written; "new":
        // a new empty map on small.png; "other": other.xml opened; "closed": no map; "gone": the
        // window closed.
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
        row("New", "undone", {"image:small.png"}, "new");
        row("New", "modified", {"No", "image:small.png"}, "new");
        row("New", "unnamed", {"Yes", "file:new.xml", "image:small.png"}, "new", "new.xml");
        row("New", "modified", {"Cancel"}, "kept");
        row("New", "unnamed", {"Yes", "file:"}, "kept");
        row("New", "modified", {"No", "image:"}, "kept");
        // A terrain that cannot be read is refused with a warning, and asked for again.
        row("New", "modified", {"No", "image:nothing.png", "OK", "image:"}, "kept");
        row("New", "clean", {"image:broken.xml", "OK", "image:small.png"}, "new");
        row("Open", "clean", {"file:other.xml"}, "other");
        row("Open", "modified", {"No", "file:other.xml"}, "other");
        row("Open", "modified", {"Yes", "file:other.xml"}, "other", "base.xml");
        row("Open", "modified", {"Cancel"}, "kept");
        row("Open", "unnamed", {"Yes", "file:"}, "kept");
        // A cancelled Open dialog changes nothing.
        row("Open", "modified", {"No", "file:"}, "kept");
        // A file that cannot be read is refused with a warning that names it.
        row("Open", "clean", {"file:broken.xml", "OK"}, "kept");
        row("Open", "modified", {"No", "file:noimage.xml", "OK"}, "kept");
        row("Open", "modified", {"No", "vanish:vanishing.xml", "OK"}, "kept");
        row("Open", "clean", {"file:deep.xml", "OK"}, "kept");
        row("Open", "clean", {"file:doctype.xml", "OK"}, "kept");
        // A long open shows its progress, and cancelling it keeps the map that was open.
        row("Open", "modified", {"No", "file:big.xml", "progress"}, "kept");
        row("window", "clean", {}, "gone");
        row("window", "modified", {"Yes"}, "gone", "base.xml");
        row("window", "unnamed", {"Yes", "file:last.xml"}, "gone", "last.xml");
        row("window", "modified", {"No"}, "gone");
        row("window", "modified", {"Cancel"}, "kept");
        row("window", "unnamed", {"Yes", "file:"}, "kept");
        // So do Close and Exit; without unsaved changes they act at once.
        row("Close", "none", {}, "closed");
        row("Close", "clean", {}, "closed");
        row("Close", "modified", {"Yes"}, "closed", "base.xml");
        row("Close", "modified", {"No"}, "closed");
        row("Close", "modified", {"Cancel"}, "kept");
        row("Close", "unnamed", {"Yes", "file:closed.xml"}, "closed", "closed.xml");
        row("Close", "unnamed", {"Yes", "file:"}, "kept");
        row("Exit", "clean", {}, "gone");
        row("Exit", "modified", {"Yes"}, "gone", "base.xml");
        row("Exit", "modified", {"No"}, "gone");
        row("Exit", "modified", {"Cancel"}, "kept");
        row("Exit", "unnamed", {"Yes", "file:exit.xml"}, "gone", "exit.xml");
        row("Exit", "unnamed", {"Yes", "file:"}, "kept");
    }

    void command()
    {
        QFETCH(QString, command);
        QFETCH(QString, state);
        QFETCH(QStringList, answers);
        QFETCH(QString, outcome);
        QFETCH(QString, written);

        MainWindow window;
        QVERIFY(prepare(window, state));
        m_boxes.clear();
        CanvasView &view = *window.canvasView();
        const PlacementDocument before = view.session()->document()->content();
        const QString nameBefore = view.session()->document()->fileName();
        // Take the opened file away meanwhile: whatever is written must appear anew.
        QVERIFY(QFile::remove(filePath("base.xml")));
        QMap<QString, QByteArray> files = snapshot(m_row->path());
        if (answers.contains("progress"))
            window.fileCommands()->setProgressDelay(0);
        QVERIFY(answered(answers, [&] { run(window, command); }));
        QCOMPARE(window.isVisible(), outcome != "gone");
        if (outcome == "gone")
            outcome = written.isEmpty() ? "kept" : "saved";

        // The map, the file it belongs to and its unsaved-changes flag afterwards.
        PlacementDocument doc = outcome == "other" ? m_other : before;
        if (outcome == "new")
            doc = {m_other.terrainPath, {}};
        QCOMPARE(view.canvas() ? view.session()->document()->content() : doc, doc);
        QCOMPARE(!view.canvas(), outcome == "closed" || (state == "none" && outcome == "kept"));
        QCOMPARE(view.session()->document()->fileName(), outcome == "kept"    ? nameBefore
                                                         : outcome == "saved" ? filePath(written)
                                                         : outcome == "other"
                                                             ? filePath("other.xml")
                                                             : QString());
        QCOMPARE(view.session()->document()->isModified(),
                 (state == "modified" || state == "unnamed") && outcome == "kept");
        // The title names the map's file and shows its unsaved changes.
        const QString name = QFileInfo(view.session()->document()->fileName()).fileName();
        QCOMPARE(window.windowTitle(), !view.canvas()   ? "Valdrune Structure Placer"
                                       : name.isEmpty() ? "Untitled[*] — Valdrune Structure Placer"
                                                        : name + "[*] — Valdrune Structure Placer");
        QCOMPARE(window.isWindowModified(), view.session()->document()->isModified());

        // Saved on the way: the map as it was, byte for byte. Nothing else changes on disk.
        if (!written.isEmpty())
            files.insert(filePath(written), *PlacementFile::write(before));
        QCOMPARE(snapshot(m_row->path()), files);
        if (QStringList{"Yes", "No", "Cancel"}.contains(answers.value(0)))
            QCOMPARE(m_boxes.first(), QStringLiteral("Save changes|Save changes before closing?"));
        if (command == "New" && answers.contains("OK")) {
            // The refusal names the file, and the dialog comes back with it to be mended.
            const QString terrain = filePath(answers.at(answers.indexOf("OK") - 1).section(':', 1));
            QCOMPARE(m_boxes.mid(m_boxes.size() - 3),
                     QStringList({"terrain|",
                                  "warning|New|" + QDir::toNativeSeparators(terrain) +
                                      " cannot be read as an image.",
                                  "terrain|" + terrain}));
        }
        if (answers.endsWith("OK")) { // the refusal names the file and says what is wrong
            const QString file = answers.at(answers.size() - 2).section(':', 1);
            const QString why = file == "noimage.xml"     ? " names no terrain image.\n"
                                : file == "vanishing.xml" ? " could not be opened.\n"
                                                          : " is not a placement file.\nline ";
            const QString start = "warning|Open failed|" + QDir::toNativeSeparators(filePath(file));
            QCOMPARE(m_boxes.last().left(start.size() + why.size()), start + why);
        }
        view.session()->document()->undoStack()->setClean(); // nothing left to ask about
    }

    void failedSave_data()
    {
        QTest::addColumn<QString>("failure");
        // The target is a folder, its folder is gone, the map holds a path a file cannot hold, the
        // disk is full.
        for (const char *failure : {"folder", "gone", "path", "full"})
            QTest::newRow(failure) << QString::fromLatin1(failure);
    }

    void failedSave()
    {
        QFETCH(QString, failure);
        const QString target = filePath("maps/map.xml");
        QVERIFY(QDir().mkpath(filePath("maps")) && QFile::rename(filePath("base.xml"), target));
        MainWindow window;
        QVERIFY(prepare(window, "maps/map.xml"));
        CanvasView &view = *window.canvasView();
        TestSupport::dragIn(view, m_towerPayload, QPoint(50, 50));

        // What happens on disk meanwhile, or what the map holds, makes every save fail.
#ifdef Q_OS_UNIX
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &limit); });
#endif
        if (failure == "folder")
            QVERIFY(QFile::remove(target) && QDir().mkpath(target + "/inner"));
        else if (failure == "gone")
            QVERIFY(QDir(filePath("maps")).removeRecursively());
        else if (failure == "full") {
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
        const QMap<QString, QByteArray> files = snapshot(m_row->path());

        // Each command that saves warns, naming the file, and stops there, the map still unsaved
        // and the disk as it was. All but Save ask first.
        for (const QString &command : QStringList{"Save", "Exit", "Close", "New", "window"}) {
            const int asks = command != "Save";
            QVERIFY(answered(QStringList{"Yes", "Cancel"}.mid(1 - asks),
                             [&] { run(window, command); }));
            QCOMPARE(m_boxes.last().section('\n', 0, 0),
                     "warning|Save failed|The placements could not be saved to " +
                         QDir::toNativeSeparators(target) + ':');
            QVERIFY(window.isVisible() && view.session()->document()->isModified());
            QCOMPARE(snapshot(m_row->path()), files);
        }

        // The warning offers Save As: the work goes elsewhere, and the map belongs there now.
        if (failure == "folder" || failure == "gone") {
            QVERIFY(answered({"Save As...", "file:elsewhere.xml"}, [&] { run(window, "Save"); }));
            QCOMPARE(view.session()->document()->fileName(), filePath("elsewhere.xml"));
            QCOMPARE(snapshot(m_row->path()).value(filePath("elsewhere.xml")),
                     *PlacementFile::write(view.session()->document()->content()));
        }
        view.session()->document()->undoStack()->setClean();
    }

    void placeholderItems_data()
    {
        QTest::addColumn<QString>("structure");
        QTest::addColumn<QSize>("region");
        QTest::newRow("structure file missing") << "gone.mlt" << QSize(4, 3);
        QTest::newRow("structure file is a folder") << "." << QSize(4, 3);
        // The same structure file is placed properly too, before and after the odd one.
        QTest::newRow("RegionX 5000") << "tower.mlt" << QSize(5000, 3);
        QTest::newRow("RegionX negative") << "tower.mlt" << QSize(-4, 3);
    }

    // A structure that cannot be drawn shows as a placeholder where it lies, and saved again it
    // keeps all the file said of it; a structure file is rendered once however often placed.
    void placeholderItems()
    {
        QFETCH(QString, structure);
        QFETCH(QSize, region);
        const QList<Placement> &base = m_base.placements;
        PlacementDocument doc{m_base.terrainPath, {base[1], base[0], m_other.placements[0]}};
        doc.placements[1].region.setSize(region);
        doc.placements[1].structurePath = QDir::cleanPath(m_dir.filePath(structure));
        QVERIFY(DemoData::writeFile(filePath("odd.xml"), *PlacementFile::write(doc)));
        MainWindow window;
        QVERIFY(prepare(window, "odd.xml"));
        CanvasView &view = *window.canvasView();
        const QList<CanvasItem *> items = view.canvas()->allItems();
        QCOMPARE(items.size(), 3);
        QVERIFY(items[1]->isPlaceholder() && items[1]->isVisible() && !items[0]->isPlaceholder());
        QCOMPARE(items[2]->pixmap().cacheKey(), items[0]->pixmap().cacheKey());
        QTRY_VERIFY(!view.session()->isTerrainLoading());
        const QRgb shown = view.viewport()->grab().toImage().pixel(5, 6);
        QVERIFY(((shown ^ QImage(m_base.terrainPath).pixel(5, 6)) & 0xFFFFFF) != 0);
        QVERIFY(answered({"file:again.xml"}, [&] { run(window, "Save As..."); }));
        QCOMPARE(snapshot(m_row->path()).value(filePath("again.xml")), *PlacementFile::write(doc));
    }

    // One line per menu: its title, then its entries, "-" for a separator, "[ ]" or "[x]" after
    // a checkable one and "(off)" after a disabled one; and the platform's keys for each command.
    void menus()
    {
        MainWindow window;
        QVERIFY(prepare(window, "none"));
        QStringList lines;
        for (const QAction *menu : window.menuBar()->actions()) {
            lines << menu->text() + ':';
            for (const QAction *action : menu->menu()->actions())
                lines.last() += ' ' + (action->isSeparator() ? "-" : action->text()) +
                                (!action->isCheckable() ? ""
                                 : action->isChecked()  ? "[x]"
                                                        : "[ ]") +
                                (action->isEnabled() ? "" : "(off)");
        }
        QCOMPARE(
            lines,
            (QStringList{
                "File: New Open Open Recent Close - Save Save As... Export Image...(off) - Set "
                "Library Folder... - Exit",
                "Edit: Undo(off) Redo(off) - Cut(off) Copy(off) Paste(off) Paste in "
                "Place(off) Duplicate(off) - Delete(off) - Select All(off) Select "
                "None(off) Select Same Structure(off) - Replace Structure(off) - "
                "Raise(off) Lower(off) Bring to Front(off) Send to Back(off) - "
                "Invisible[ ](off)",
                "Scale: 1[x] 2[ ] 3[ ] 4[ ] 5[ ] 6[ ]",
                "View: Files[x] Overview[x] Placements[ ] Missing Files[ ] Checks[ ] "
                "Differences[ ] - Dim Invisible Structures[ ] Show Grid[ ] Snap to Grid[ ] Grid "
                "Size... - Zoom to Fit(off) Go to Cell...(off)",
                "Tools: Check Map(off) Compare With File...(off)",
                "Help: Keyboard Shortcuts About Valdrune Structure Placer About Qt"}));
        const QList<QKeySequence::StandardKey> keys = {
            QKeySequence::New,    QKeySequence::Open, QKeySequence::Close, QKeySequence::Save,
            QKeySequence::SaveAs, QKeySequence::Quit, QKeySequence::Undo,  QKeySequence::Redo};
        QList<QAction *> entries = entriesOf(window, 0) + entriesOf(window, 1);
        QVERIFY(entries.takeAt(2)->shortcuts().isEmpty()); // Open Recent has no key,
        QVERIFY(entries.takeAt(5)->shortcuts().isEmpty()); // nor Export Image...,
        QVERIFY(entries.takeAt(5)->shortcuts().isEmpty()); // nor Set Library Folder...
        for (int i = 0; i < keys.size(); ++i) { // the platform's own, else the usual ones
            const QList<QKeySequence> own = MainWindow::commandKeys(keys[i]);
            const QList<QKeySequence> given = entries[i]->shortcuts();
            QVERIFY(!own.isEmpty() && std::all_of(own.cbegin(), own.cend(), [&](const auto &key) {
                return given.contains(key);
            }));
        }
        // Redo answers Ctrl+Y too, and Delete only the Delete key (never Ctrl+D).
        QVERIFY(entries[7]->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Y)));
        QCOMPARE(entry(window, 1, "Delete")->shortcuts(),
                 QList<QKeySequence>{QKeySequence(Qt::Key_Delete)});
        // The title, and the build as the compiler dates it, in the status bar.
        QCOMPARE(window.windowTitle(), QStringLiteral("Valdrune Structure Placer"));
        const QRegularExpression build(
            "^Build: [A-Z][a-z]{2} [ 0-9]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$");
        const QList<QLabel *> labels = window.statusBar()->findChildren<QLabel *>();
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(),
                            [&](const QLabel *l) { return build.match(l->text()).hasMatch(); }));
    }

    // Help > Keyboard Shortcuts lists every command that has keys, from the actions themselves:
    // one added later shows too.
    void keyboardShortcuts()
    {
        MainWindow window;
        QVERIFY(prepare(window, "none"));
        auto *later = new QAction("Later", &window);
        later->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F9));
        window.addAction(later);
        QStringList rows;
        ModalScript script({[&](QWidget *modal) {
            const auto *table = modal->findChild<QTableWidget *>("shortcuts");
            for (int row = 0; table && row < table->rowCount(); ++row)
                rows << table->item(row, 0)->text() + '=' + table->item(row, 1)->text();
            modal->close();
        }});
        entriesOf(window, 5).at(0)->trigger();
        for (const char *row : {"Save=Ctrl+S", "Delete=Del", "Check Map=F7",
                                "Zoom In=Ctrl++, Ctrl+=", "Later=Ctrl+F9", "Exit=Ctrl+Q"})
            QVERIFY2(rows.contains(row), qPrintable(rows.join(" | ")));
        QVERIFY(std::any_of(rows.cbegin(), rows.cend(), [](const QString &row) {
            return row.startsWith("Redo=") && row.contains("Ctrl+Y");
        }));
        QVERIFY(!rows.contains("Export Image...="));
    }

    void exportImage_data()
    {
        QTest::addColumn<QString>("state");       // see prepare()
        QTest::addColumn<QStringList>("answers"); // see answered()
        QTest::addColumn<QString>("written");     // the image that appears
        // A name typed without a suffix gets ".png".
        QTest::newRow("typed name") << "clean" << QStringList{"file:shot"} << "shot.png";
        QTest::newRow("cancelled") << "clean" << QStringList{"file:"} << "";
        // A failed export warns, naming the file, and leaves the disk as it was, a file it was
        // to replace included.
        QTest::newRow("folder gone") << "clean" << QStringList{"file:gone/shot.png", "OK"} << "";
        QTest::newRow("disk full") << "clean" << QStringList{"replace:old.png", "OK"} << "";
        // A large map shows the progress, and Cancel there leaves no file.
        QTest::newRow("large map, cancelled")
            << "large.xml" << QStringList{"file:large-map.png", "progress"} << "";
    }

    void exportImage()
    {
        QFETCH(QString, state);
        QFETCH(QStringList, answers);
        QFETCH(QString, written);
        MainWindow window;
        QVERIFY(prepare(window, state));
        QVERIFY(DemoData::writeFile(filePath("old.png"), "an older image"));
        QMap<QString, QByteArray> files = snapshot(m_row->path());
#ifdef Q_OS_UNIX
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &limit); });
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
        const rlimit full{qMin<rlim_t>(256, limit.rlim_max), limit.rlim_max};
        if (QTest::currentDataTag() == QLatin1String("disk full"))
            ::setrlimit(RLIMIT_FSIZE, &full);
#endif
        QVERIFY(answered(answers, [&] { run(window, "Export Image..."); }));
        if (!written.isEmpty()) {
            QCOMPARE(QImage(filePath(written), "PNG").size(), QSize(200, 150));
            files.insert(filePath(written), snapshot(m_row->path()).value(filePath(written)));
        }
        QCOMPARE(snapshot(m_row->path()), files);
        if (answers.endsWith("OK"))
            QCOMPARE(m_boxes.last().section('\n', 0, 0),
                     "warning|Export failed|The map could not be exported to " +
                         QDir::toNativeSeparators(filePath(answers[0].section(':', 1))) + ':');
    }

    // Undo names the step it takes back; Delete acts on the selection and is on only while there
    // is one, as after a drop. (The end-to-end test presses the keys of all three.)
    void editMenu()
    {
        MainWindow window;
        QVERIFY(prepare(window, "none"));
        CanvasView &view = *window.canvasView();
        QAction *remove = entry(window, 1, "Delete");
        const QList<QAction *> edit = entriesOf(window, 1);
        view.session()->newMap(m_base.terrainPath);
        TestSupport::dragIn(view, m_towerPayload, QPoint(30, 40));
        TestSupport::dragIn(view, m_towerPayload, QPoint(60, 40));
        // What is dropped is selected, and the map takes the keys.
        QVERIFY(remove->isEnabled() && view.hasFocus());
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(150, 120));
        QVERIFY(!remove->isEnabled());
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(31, 41));
        QVERIFY(remove->isEnabled());
        QTest::keyClick(&window, Qt::Key_Delete);
        QCOMPARE(view.session()->document()->placements().size(), 1);
        QVERIFY(!remove->isEnabled());
        QCOMPARE(edit[0]->text(), QStringLiteral("Undo Delete"));
        view.session()->document()->undoStack()->setClean(); // nothing left to ask about
    }

    // The clipboard, the selection commands, the drawing order, the flag and Replace Structure,
    // each with its keys or its entry as the user gives them: one step each, what is pasted or
    // duplicated selected afterwards, the counts in the status bar following.
    void editCommands()
    {
        MainWindow window;
        QVERIFY(prepare(window, "clean") && activate(window));
        CanvasView &view = *window.canvasView();
        MapDocument *document = view.session()->document();
        const auto *counts = window.statusBar()->findChild<QLabel *>("countLabel");
        const auto keys = [&](QKeyCombination key) {
            QTest::keyClick(&window, key.key(), key.keyboardModifiers());
        };
        const auto positions = [&](qsizetype from) {
            QList<QPointF> at;
            for (const Placement *placement : document->placements().mid(from))
                at << placement->position;
            return at;
        };
        const auto selected = [&] { return view.session()->selection()->placements(); };

        keys(Qt::CTRL | Qt::Key_A);
        QCOMPARE(counts->text(), QStringLiteral("2 placements, 2 selected"));
        keys(Qt::CTRL | Qt::Key_C);
        const QMimeData *data = QApplication::clipboard()->mimeData();
        QCOMPARE(data->data(EditCommands::mimeType),
                 *PlacementFile::writePlacements(m_base.placements));
        QCOMPARE(data->text().toUtf8(), data->data(EditCommands::mimeType));
        keys(Qt::CTRL | Qt::Key_D);
        QCOMPARE(positions(2), (QList<QPointF>{{13, 14}, {48, 38}}));
        QCOMPARE(selected(), document->placements().mid(2));
        keys(Qt::CTRL | Qt::SHIFT | Qt::Key_V);
        QCOMPARE(positions(4), (QList<QPointF>{{5, 6}, {40, 30}}));
        QVERIFY(document->placements().at(4)->invisible && view.hasFocus());
        // Over the map, the middle of the group lands on the pointer's cell.
        const QPoint pointer = view.mapFromScene(QPointF(100.5, 80.5));
        QTest::mouseMove(view.viewport(), pointer);
        keys(Qt::CTRL | Qt::Key_V);
        QPoint cell;
        QVERIFY(view.cellAt(pointer, &cell));
        const QList<QPointF> pasted = positions(6);
        QCOMPARE(pasted.at(1) - pasted.at(0), QPointF(35, 24));
        const QPointF middle = (pasted.at(0) + pasted.at(1) + QPointF(4, 3)) / 2; // 4 x 3 towers
        QVERIFY(qAbs(middle.x() - cell.x()) <= 0.5 && qAbs(middle.y() - cell.y()) <= 0.5);
        QCOMPARE(counts->text(), QStringLiteral("8 placements, 2 selected"));
        QCOMPARE(document->undoStack()->undoText(), QStringLiteral("Paste"));
        // Text that holds no placement changes nothing, and says so.
        QApplication::clipboard()->setText(QStringLiteral("<Valdrune><Image>x</Image></Valdrune>"));
        keys(Qt::CTRL | Qt::Key_V);
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("The clipboard holds no placements."));
        QCOMPARE(document->placements().size(), 8);

        // The flag of the selection, one step; the entry shows it.
        QAction *invisible = entry(window, 1, "Invisible");
        keys(Qt::CTRL | Qt::Key_I);
        QVERIFY(selected().at(0)->invisible && selected().at(1)->invisible &&
                invisible->isChecked());
        QCOMPARE(document->undoStack()->undoText(), QStringLiteral("Invisible"));
        // The drawing order, with the map's keys: the second pasted one to the back.
        view.session()->selection()->set({document->placements().at(7)});
        view.setFocus();
        const QPointF last = document->placements().at(7)->position;
        QTest::keyClick(&view, Qt::Key_End);
        QCOMPARE(document->placements().first()->position, last);
        QTest::keyClick(&view, Qt::Key_PageUp);
        QCOMPARE(document->placements().at(1)->position, last);

        // Every tower, then another structure in their place, each keeping its origin cell.
        entry(window, 1, "Select Same Structure")->trigger();
        QCOMPARE(selected(), document->placements());
        QAction *replace = entry(window, 1, "Replace Structure");
        QVERIFY(!replace->isEnabled()); // nothing chosen in the library
        DemoData::Random random(2);
        const QString wall = TestSupport::writeStructure(
            m_dir, "wall.mlt", DemoData::rectangleStructure(6, 1, 1, 4, 150, random));
        DirView *library = window.dirView();
        library->setCurrentIndex(library->dirModel()->index(wall));
        QVERIFY(replace->isEnabled());
        replace->trigger();
        for (const Placement *placement : document->placements())
            QVERIFY(placement->structurePath == wall && placement->offset == QPoint(1, 4) &&
                    placement->region == QRect(0, 0, 6, 1));
        QCOMPARE(document->placements().at(1)->position, last + QPointF(3 + 1, 2 + 4));

        // Cut takes them all away in one step, onto the clipboard.
        keys(Qt::CTRL | Qt::Key_X);
        QVERIFY(document->placements().isEmpty());
        QCOMPARE(PlacementFile::readPlacements(QApplication::clipboard()->text().toUtf8())->size(),
                 8);
        QCOMPARE(document->undoStack()->undoText(), QStringLiteral("Cut"));
        document->undoStack()->undo();
        QCOMPARE(document->placements().size(), 8);
        document->undoStack()->setClean();
    }

    // The Placements dock: a row per placement, a filter on the path, the selection shared with
    // the map both ways, an edit that aligns every selected row in one step, and a double-click
    // that centres the map on the row's placement; View > Go to Cell... centres on a cell.
    void placementsAndGoToCell()
    {
        MainWindow window;
        QVERIFY(prepare(window, "clean") && activate(window));
        CanvasView &view = *window.canvasView();
        MapDocument *document = view.session()->document();
        document->add(
            {{QPointF(150, 100), QPoint(), QRect(0, 0, 5, 5), m_dir.filePath("gone.mlt")}},
            "Paste");
        entry(window, 3, "Placements")->trigger();
        auto *table = window.findChild<QTableView *>("placementsTable");
        QVERIFY(QTest::qWaitForWindowExposed(table));
        QAbstractItemModel *rows = table->model();
        const auto text = [&](int row, int column) {
            return rows->index(row, column).data().toString();
        };
        QCOMPARE(rows->rowCount(), 3);
        QCOMPARE(QStringList({text(0, 0), text(0, 1), text(0, 2), text(0, 3)}),
                 QStringList({"1", "tower.mlt", "5", "6"}));
        QCOMPARE(rows->index(0, 4).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QTest::keyClicks(window.findChild<QLineEdit *>("placementsFilter"), "GONE");
        QCOMPARE(rows->rowCount(), 1);
        QCOMPARE(text(0, 1), QStringLiteral("gone.mlt (missing)"));
        window.findChild<QLineEdit *>("placementsFilter")->clear();

        // A click in the table selects on the map; a selection on the map shows in the table.
        const auto cell = [&](int row, int column) {
            return table->visualRect(rows->index(row, column)).center();
        };
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell(2, 1));
        QCOMPARE(view.selectedPlacements(), QList<Placement *>{document->placements().at(2)});
        view.session()->selection()->set(document->placements().mid(0, 2));
        QCOMPARE(table->selectionModel()->selectedRows().size(), 2);
        // Typed into one selected row's X, the value goes to both, as one step.
        table->setFocus();
        table->selectionModel()->setCurrentIndex(rows->index(1, 2), QItemSelectionModel::NoUpdate);
        QTest::keyClick(table, Qt::Key_1); // starts the editor, which takes the rest
        QTest::keyClicks(QApplication::focusWidget(), "20");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(document->placements().at(0)->position, QPointF(120, 6)); // committed later
        QCOMPARE(document->placements().at(1)->position, QPointF(120, 30));
        QCOMPARE(document->undoStack()->undoText(), QStringLiteral("Set X"));
        // A double-click on the structure's name centres the map on it.
        view.setScale(6);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell(2, 1));
        QCOMPARE(view.mapToScene(view.viewport()->rect().center()).toPoint(), QPoint(152, 102));
        // Qt Test leaves the double-click's button down: let go, for the tests that follow.
        QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, cell(2, 1));

        TestSupport::ModalScript script({[](QWidget *modal) {
            modal->findChild<QSpinBox *>("x")->setValue(60);
            modal->findChild<QSpinBox *>("y")->setValue(70);
            qobject_cast<QDialog *>(modal)->accept();
        }});
        entry(window, 3, "Go to Cell...")->trigger();
        QCOMPARE(view.mapToScene(view.viewport()->rect().center()).toPoint(), QPoint(60, 70));
        document->undoStack()->setClean();
    }

    // View > Zoom to Fit shows the whole map, as large as it fits, zoomed out below 1 where
    // it must; the Scale menu then has none checked.
    void zoomToFit()
    {
        MainWindow window;
        QVERIFY(prepare(window, "large.xml"));
        CanvasView &view = *window.canvasView();
        window.resize(700, 500);
        entry(window, 3, "Zoom to Fit")->trigger();
        const QRectF shown = view.mapToScene(view.viewport()->rect()).boundingRect();
        QVERIFY2(shown.contains(QRectF(0, 0, 2049, 2049)),
                 qPrintable(QString::number(view.zoom())));
        // One step larger would not show it all.
        QVERIFY(2049 * view.zoom() * 2 > view.viewport()->height());
        QCOMPARE(view.scale(), 0);
        for (QAction *scale : entriesOf(window, 2))
            QVERIFY(!scale->isChecked());
    }

    // Ctrl++ (or Ctrl+=) and Ctrl+- step the zoom from 1/8 to 6, the Scale menu's check
    // following (none below 1); the status bar tells the cell under the pointer, left of the
    // build.
    void zoomKeysAndPointer()
    {
        MainWindow window;
        QVERIFY(prepare(window, "clean") && activate(window));
        CanvasView &view = *window.canvasView();
        const QList<QAction *> scales = entriesOf(window, 2);
        const QList<std::pair<Qt::Key, qreal>> steps = {
            {Qt::Key_Minus, 0.5},   {Qt::Key_Minus, 0.25}, {Qt::Key_Minus, 0.125},
            {Qt::Key_Minus, 0.125}, {Qt::Key_Equal, 0.25}, {Qt::Key_Plus, 0.5},
            {Qt::Key_Plus, 1},      {Qt::Key_Plus, 2},     {Qt::Key_Equal, 3},
            {Qt::Key_Minus, 2}};
        for (const auto &[key, zoom] : steps) {
            QTest::keyClick(&window, key, Qt::ControlModifier);
            QCOMPARE(view.zoom(), zoom);
            for (int n = 1; n <= 6; ++n)
                QCOMPARE(scales[n - 1]->isChecked(), n == zoom);
        }
        // Choosing the scale in use keeps it checked.
        scales[1]->trigger();
        QVERIFY(scales[1]->isChecked());
        view.centerOn(41, 31);
        QTest::mouseMove(view.viewport(), view.mapFromScene(QPointF(41.2, 31.7)));
        const auto *pointer = window.statusBar()->findChild<QLabel *>("pointerLabel");
        QCOMPARE(pointer->text(), QStringLiteral("41, 31  tower.mlt"));
        // Right of the counts, left of the build.
        const auto *counts = window.statusBar()->findChild<QLabel *>("countLabel");
        QCOMPARE(counts->text(), QStringLiteral("2 placements, 0 selected"));
        for (const QLabel *label : window.statusBar()->findChildren<QLabel *>())
            QVERIFY(label == pointer || label == counts ||
                    label->x() > pointer->x() + pointer->width());
        QVERIFY(counts->x() + counts->width() <= pointer->x());
        view.session()->document()->undoStack()->setClean();
    }

    // The dialog that asks for the terrain image of a new map: which button Return presses, and
    // the "..." file picker.
    void selectImage_data()
    {
        // Steps: "return" (to the focused widget), "cancel" (a click), "pick" and "skip"
        // (click "..." and choose the file, or cancel the picker). No other picker may show up.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("result");
        QTest::newRow("Return in the field presses OK") << QStringList{"return"} << 1;
        QTest::newRow("Return after a cancelled picker presses OK")
            << QStringList{"skip", "return"} << 1;
        QTest::newRow("a picked file replaces the typed path, Cancel")
            << QStringList{"pick", "cancel"} << 0;
    }

    void selectImage()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, result);
        const QString chosen = m_base.terrainPath;
        const QString typed = QStringLiteral("/maps/typed by hand.png");

        QList<TestSupport::ModalScript::Answer> answers;
        for (const QString &step : steps) {
            if (step == QLatin1String("pick"))
                answers << [&](QWidget *modal) { TestSupport::acceptFileDialog(modal, chosen); };
            else if (step == QLatin1String("skip"))
                answers << TestSupport::rejectDialog;
        }
        TestSupport::ModalScript script(answers);

        SelectImage dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *line = dialog.findChild<QLineEdit *>("lineTerrain");
        line->setFocus();
        QTest::keyClicks(line, typed);
        for (const QString &step : steps) {
            if (step == QLatin1String("return"))
                QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
            else if (step == QLatin1String("cancel"))
                QTest::mouseClick(dialog.findChild<QWidget *>("cancelButton"), Qt::LeftButton);
            else
                QTest::mouseClick(dialog.findChild<QWidget *>("pushTerrain"), Qt::LeftButton);
        }
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), result);
        QCOMPARE(script.seen.size(), answers.size());
        QCOMPARE(dialog.terrainPath(), steps.contains("pick") ? chosen : typed);
    }

private:
    // The file of that name the test made once (vanishing.xml even when gone), else the row's.
    QString filePath(const QString &name) const
    {
        const bool once = name == "vanishing.xml" || QFile::exists(m_dir.filePath(name));
        return once ? m_dir.filePath(name) : m_row->filePath(name);
    }
    // Runs action while the modal widgets that show up get the scripted answers, in order; true
    // when just the widgets the answers are meant for showed up. "image:NAME" picks that terrain
    // image in the image dialog, "file:NAME" that file (see filePath()) in a file dialog,
    // "vanish:NAME" too and deletes it right after, "replace:NAME" that existing file, taking the
    // file dialog's question whether to replace it as answered; with no NAME the dialog is
    // cancelled.
    // "progress" cancels the open under way; any other token is a message box's button.
    bool answered(const QStringList &tokens, const std::function<void()> &action)
    {
        QList<ModalScript::Answer> answers;
        QStringList expected;
        for (const QString &token : tokens) {
            const QString kind = token.section(':', 0, 0), name = token.section(':', 1);
            const QString path = name.isEmpty() ? QString() : filePath(name);
            answers << [this, token, kind, path](QWidget *modal) {
                if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                    m_boxes << (box->icon() == QMessageBox::Warning ? "warning|" : "") +
                                   box->windowTitle() + '|' + box->text();
                    for (QAbstractButton *button : box->buttons())
                        if (button->text().remove('&') == token)
                            return button->click();
                    return void(modal->close());
                }
                auto *button = modal->findChild<QPushButton *>(kind == "image" ? "okButton" : "");
                if (token == "progress" && button)
                    return button->click();
                if (auto *line = modal->findChild<QLineEdit *>("lineTerrain"); line && button) {
                    m_boxes << "terrain|" + line->text();
                    if (path.isEmpty())
                        return TestSupport::rejectDialog(modal);
                    line->setText(path);
                    return button->click();
                }
                if (path.isEmpty())
                    return TestSupport::rejectDialog(modal);
                if (auto *dialog = qobject_cast<QFileDialog *>(modal); dialog && kind == "replace")
                    dialog->setOption(QFileDialog::DontConfirmOverwrite); // Qt's own question
                TestSupport::acceptFileDialog(modal, path);
                if (kind == "vanish") // gone between the choice and the reading
                    QFile::remove(path);
            };
            expected << (kind == "image"       ? "SelectImage"
                         : token.contains(':') ? "QFileDialog"
                         : token == "progress" ? "QProgressDialog"
                                               : "QMessageBox");
        }
        ModalScript script(answers);
        action();
        if (script.seen != expected)
            qWarning() << "modal widgets seen:" << script.seen;
        return script.seen == expected;
    }

    // Shows the window with its map in a state: "none" no map; "fresh" a new map without items
    // and without name; "clean" base.xml opened; "modified" base.xml opened and one more
    // structure dragged in; "undone" the same with the drop undone; "unnamed" a new map with one
    // structure dragged in; "NAME.xml" that file opened.
    bool prepare(MainWindow &window, const QString &state)
    {
        window.show();
        CanvasView &view = *window.canvasView();
        if (!QTest::qWaitForWindowExposed(&window) || state == "none")
            return !view.canvas();
        const bool opened = state != "fresh" && state != "unnamed";
        const bool changed = state == "modified" || state == "unnamed";
        const bool shown =
            answered({opened ? "file:" + (state.endsWith(".xml") ? state : "base.xml")
                             : "image:terrain.png"},
                     [&] { run(window, opened ? "Open" : "New"); });
        if (changed || state == "undone")
            TestSupport::dragIn(view, m_towerPayload, QPoint(100, 80));
        if (state == "undone")
            view.session()->document()->undoStack()->undo();
        return shown && view.canvas() && view.session()->document()->isModified() == changed;
    }

    // The window active again after the dialogs of prepare(), so that the keys reach it.
    static bool activate(MainWindow &window)
    {
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QTemporaryDir> m_row;
    StructurePayload m_towerPayload;
    PlacementDocument m_base;
    PlacementDocument m_other;
    QStringList m_boxes; // "[warning|]title|text" of every message box answered
};

QTEST_MAIN(TestDocumentCommands)
#include "tst_documentcommands.moc"
