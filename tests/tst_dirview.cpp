// The structure library tree as a user meets it: which rows it lists, and which mouse gestures
// on those rows start a structure drag with which payload.

#include "TestSupport.h"
#include "app/RadarColours.h"
#include "library/DirModel.h"
#include "library/DirView.h"
#include "library/StructurePayload.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QtTest>

namespace {

constexpr quint32 radarSeed = 11;

// A drag the tree started, read while it was still alive: under the offscreen platform
// QDrag::exec returns at once and the drag is only deleted later.
struct Drag
{
    QStringList formats;
    QByteArray payload;
    Qt::DropActions actions;
    QObject *source = nullptr;
    int cursorAtStart = -1; // the override cursor's shape when the drag was made; -1: none
};

// Notes the override cursor in force whenever the watched tree is given a child.
class CursorAtNewChild : public QObject
{
public:
    int shape = -1;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded)
            shape = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1;
        return false;
    }
};

} // namespace

class TestDirView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TestSupport::openRadarColours(m_dir, m_colours, radarSeed);
        m_lib = QDir::cleanPath(m_dir.filePath(QStringLiteral("lib")));
        QVERIFY(QDir().mkpath(libPath(QStringLiteral("sub"))));
        QVERIFY(QDir().mkpath(libPath(QStringLiteral("x.mlt"))));

        // line: cells x -3 .. 2 on row 4; the middle cell holds two tiles, the higher one seen.
        // edge: exactly as wide as a preview may be; wide, tall: one cell wider / taller than that.
        const QList<QPair<const char *, QList<DemoData::Tile>>> structures = {
            {"line",
             {{0x0101, -3, 4, 0}, {0x0202, 0, 4, 5}, {0x0303, 0, 4, 2}, {0x0404, 2, 4, -1}}},
            {"edge", {{7, -2048, 0, 0}, {8, 2047, 0, 0}}},
            {"wide", {{7, 0, 0, 0}, {8, 4096, 0, 0}}},
            {"tall", {{7, 0, -2048, 0}, {8, 0, 2048, 0}}},
            {"short", {}}, // a header and 11 stray bytes: no whole record
        };
        for (const auto &[name, tiles] : structures)
            TestSupport::writeStructure(m_dir, QStringLiteral("lib/%1.mlt").arg(name), tiles,
                                        tiles.isEmpty() ? QByteArray(11, 'Z') : QByteArray());
        QVERIFY(DemoData::writeFile(libPath(QStringLiteral("empty.mlt")), QByteArray()));
        QVERIFY(DemoData::writeFile(libPath(QStringLiteral("notes.txt")), "not a structure\n"));

        m_view = new DirView;
        m_view->setRadarColours(&m_colours);
        m_view->resize(520, 640);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view));
        m_view->revealFolder(m_lib);
        // All eight listed rows are there (the listing is checked below).
        QTRY_VERIFY(m_view->dirModel->rowCount(m_view->dirModel->index(m_lib)) >= 8);
    }

    void cleanup()
    {
        // Leave no state behind for the next case, even after a failed check.
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void listsFoldersAndStructuresByName()
    {
        // Every folder, whatever its name, and the structure files; other files are not listed
        // at all (not merely greyed out). Children are read row by row: asking the model for a
        // filtered-out file by its path would make the model list it.
        const DirModel *model = m_view->dirModel;
        const QModelIndex lib = model->index(m_lib);
        QStringList names;
        for (int row = 0; row < model->rowCount(lib); ++row)
            names.append(model->index(row, 0, lib).data().toString());
        names.sort();
        QCOMPARE(names, (QStringList{"edge.mlt", "empty.mlt", "line.mlt", "short.mlt", "sub",
                                     "tall.mlt", "wide.mlt", "x.mlt"}));
        QVERIFY(model->isDir(model->index(libPath(QStringLiteral("x.mlt")))));

        // One column, the name, and no header over it.
        QCOMPARE(model->columnCount(lib), 1);
        QCOMPARE(m_view->header()->count(), 1);
        QVERIFY(m_view->isHeaderHidden());
    }

    void dragStart_data()
    {
        QTest::addColumn<QString>("pressed");
        QTest::addColumn<QStringList>("path"); // the rows the pointer moves over, in order
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("shortBy");         // pixels short of the start distance, each move
        QTest::addColumn<QRect>("region");        // of the payload; null: no drag starts
        QTest::addColumn<QByteArray>("head");     // the payload's first bytes
        QTest::addColumn<QList<QRgb>>("preview"); // the preview's pixels, row by row

        // Byte layout: absolute path (byte count, UTF-16LE), offset, region as left, top, right,
        // bottom, image marker, then a PNG.
        const QString line = libPath(QStringLiteral("line.mlt"));
        QByteArray head;
        const auto le = [&head](quint32 value, int bytes) {
            for (int i = 0; i < bytes; ++i)
                head.append(char(value >> (8 * i)));
        };
        le(quint32(line.size() * 2), 4);
        for (const QChar c : line)
            le(c.unicode(), 2);
        for (const int value : {-3, 4, 0, 0, 5, 0, 1})
            le(quint32(value), 4);
        head.append("\x89PNG\r\n\x1a\n", 8);
        const auto pixel = [](quint16 id) {
            return RadarColours::pixelFromWord(DemoData::radarWord(radarSeed, id));
        };

        const auto add = [](const char *tag, const char *pressed, const QStringList &path,
                            int button = Qt::LeftButton, int shortBy = 0, QRect region = QRect(),
                            const QByteArray &head = {}, const QList<QRgb> &preview = {}) {
            QTest::newRow(tag) << pressed << path << button << shortBy << region << head << preview;
        };
        // Each move is judged afresh: over another row nothing starts, back over the pressed row
        // (still far enough from the press) the drag starts.
        add("structure, start distance, back from another row", "line.mlt",
            {"edge.mlt", "line.mlt"}, Qt::LeftButton, 0, QRect(0, 0, 6, 1), head,
            {pixel(0x0101), 0, 0, pixel(0x0202), 0, pixel(0x0404)});
        add("structure, one pixel short", "line.mlt", {"line.mlt"}, Qt::LeftButton, 1);
        add("structure, right button", "line.mlt", {"line.mlt"}, Qt::RightButton);
        add("structure, moved onto another row", "line.mlt", {"edge.mlt"});
        add("folder", "sub", {"sub"});
        add("folder named like a structure", "x.mlt", {"x.mlt"});
        add("empty file", "empty.mlt", {"empty.mlt"});
        add("no whole record", "short.mlt", {"short.mlt"});
        add("4097 cells wide", "wide.mlt", {"wide.mlt"});
        add("4097 cells tall", "tall.mlt", {"tall.mlt"});
        add("4096 cells wide", "edge.mlt", {"edge.mlt"}, Qt::LeftButton, 0, QRect(0, 0, 4096, 1));
    }

    void dragStart()
    {
        QFETCH(QString, pressed);
        QFETCH(QStringList, path);
        QFETCH(int, button);
        QFETCH(int, shortBy);
        QFETCH(QRect, region);
        QFETCH(QByteArray, head);
        QFETCH(QList<QRgb>, preview);

        // The centre of a row, scrolled into the middle of the view first if asked.
        const auto rowCentre = [this](const QString &name, bool scroll) {
            const QModelIndex index = m_view->dirModel->index(libPath(name));
            if (scroll)
                m_view->scrollTo(index, QAbstractItemView::PositionAtCenter);
            const QPoint centre = m_view->visualRect(index).center();
            return index.isValid() && m_view->indexAt(centre) == index ? centre : QPoint(-1, -1);
        };
        const QPoint press = rowCentre(pressed, true);
        QVERIFY(press.x() >= 0);
        // Mostly sideways, partly down, so that only the Manhattan length reaches the distance.
        const int distance = QApplication::startDragDistance() - shortBy;
        QList<QPoint> moves;
        for (const QString &name : path) {
            moves << rowCentre(name, false);
            QVERIFY(moves.last().x() >= 0);
            moves.last() += QPoint(distance - qMin(2, distance), qMin(2, distance));
        }

        QWidget *viewport = m_view->viewport();
        CursorAtNewChild cursor;
        m_view->installEventFilter(&cursor);
        QList<QPointer<QDrag>> seen;
        QList<Drag> drags;
        QTest::mousePress(viewport, Qt::MouseButton(button), Qt::NoModifier, press);
        for (const QPoint &move : moves) {
            QTest::mouseMove(viewport, move);
            // Read each drag before the event loop runs again and deletes it.
            for (QDrag *drag : m_view->findChildren<QDrag *>(Qt::FindDirectChildrenOnly)) {
                if (!seen.contains(drag)) {
                    seen.append(drag);
                    drags.append({drag->mimeData()->formats(),
                                  drag->mimeData()->data(StructurePayload::mimeType),
                                  drag->supportedActions(), drag->source(), cursor.shape});
                }
            }
        }
        QTest::mouseRelease(viewport, Qt::MouseButton(button), Qt::NoModifier, moves.last());

        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(drags.size(), region.isNull() ? 0 : 1);
        if (region.isNull())
            return;
        const Drag &drag = drags.first();
        QCOMPARE(drag.formats, QStringList{StructurePayload::mimeType});
        QCOMPARE(drag.actions, Qt::DropActions(Qt::CopyAction));
        QCOMPARE(drag.source, static_cast<QObject *>(m_view));
        // The wait cursor shows while the preview is rendered, and only then.
        QCOMPARE(drag.cursorAtStart, int(Qt::WaitCursor));
        QCOMPARE(drag.payload.left(head.size()), head);
        QVERIFY(drag.payload.endsWith(QByteArray("IEND\xAE\x42\x60\x82", 8)));

        const auto payload = StructurePayload::decode(drag.payload);
        QVERIFY(payload);
        QCOMPARE(payload->region, region);
        QCOMPARE(payload->image.size(), region.size());
        for (int i = 0; i < preview.size(); ++i)
            QCOMPARE(payload->image.pixel(i % region.width(), i / region.width()), preview.at(i));
    }

    // The start folder among 300 siblings: once the tree settles it is selected and in view,
    // however late its siblings arrive; after the user scrolls, the tree stays where they put it.
    void revealAmongManySiblings()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString parent = QDir::cleanPath(dir.path());
        for (int i = 0; i < 300; ++i)
            QVERIFY(QDir(parent).mkdir(QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'))));
        const QString start = parent + QStringLiteral("/f150-start");
        QVERIFY(QDir().mkpath(start + QStringLiteral("/inside")));

        DirView view;
        view.resize(300, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.revealFolder(start);
        const QModelIndex parentIndex = view.dirModel->index(parent);
        const auto shown = [&] {
            const QModelIndex target = view.dirModel->index(start);
            return view.dirModel->rowCount(parentIndex) == 301 && view.currentIndex() == target &&
                   view.selectionModel()->isSelected(target) &&
                   view.viewport()->rect().contains(view.visualRect(target));
        };
        QTRY_VERIFY(shown());
        QTest::qWait(300); // late batches of rows, sorting
        QVERIFY(shown());

        const QPoint centre = view.viewport()->rect().center();
        QWheelEvent wheel(centre, view.viewport()->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &wheel);
        const int scrolled = view.verticalScrollBar()->value();
        QVERIFY(QDir(parent).mkdir(QStringLiteral("a-new")));
        QTRY_COMPARE(view.dirModel->rowCount(parentIndex), 302);
        QTest::qWait(100);
        QCOMPARE(view.verticalScrollBar()->value(), scrolled);
    }

private:
    QString libPath(const QString &name) const { return m_lib + QLatin1Char('/') + name; }

    QTemporaryDir m_dir;
    RadarColours m_colours;
    QString m_lib;
    DirView *m_view = nullptr;
};

QTEST_MAIN(TestDirView)
#include "tst_dirview.moc"
