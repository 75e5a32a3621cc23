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
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr quint32 radarSeed = 11;

// Remembers every child added to a widget, with the override cursor in force at that moment.
// The tree parents its QDrag to itself; under the offscreen platform QDrag::exec returns at
// once and the drag is only deleted later, so it can be read right after the mouse move.
class ChildRecorder : public QObject
{
public:
    struct Child
    {
        QPointer<QObject> object;
        int cursorShape = -1; // -1: no override cursor
    };

    explicit ChildRecorder(QObject *watched) { watched->installEventFilter(this); }

    QList<Child> children;

    QList<Child> drags() const
    {
        QList<Child> result;
        for (const Child &child : children) {
            if (qobject_cast<QDrag *>(child.object.data()))
                result.append(child);
        }
        return result;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded) {
            const QCursor *cursor = QApplication::overrideCursor();
            children.append(
                {static_cast<QChildEvent *>(event)->child(), cursor ? int(cursor->shape()) : -1});
        }
        return QObject::eventFilter(watched, event);
    }
};

// What one gesture produced: the drags started, with their payload bytes read while the drag
// objects were still alive.
struct Gesture
{
    int drags = 0;
    QByteArray payload;
    QStringList formats;
    Qt::DropActions actions;
    QObject *source = nullptr;
    int cursorAtDragStart = -1;
    bool overrideCursorAfterMove = false;
};

void appendLe32(QByteArray &bytes, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
}

} // namespace

class TestDirView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void listsFoldersAndStructuresOnly();
    void showsTheNameColumnOnly();
    void dragStart_data();
    void dragStart();
    void payloadOfAStructureDrag();
    void dragStartsOnceBackOverThePressedRow();

private:
    QString libPath(const QString &name) const { return m_lib + QLatin1Char('/') + name; }
    QStringList listedNames(const QString &folder) const;
    // The centre of the row of path, scrolled into the middle of the view first if asked;
    // (-1, -1) when the row is not on screen.
    QPoint rowCentre(const QString &path, bool scroll = true);
    Gesture dragGesture(Qt::MouseButton button, QPoint press, const QList<QPoint> &moves);

    QTemporaryDir m_dir;
    QString m_lib;
    DirView *m_view = nullptr;
};

void TestDirView::initTestCase()
{
    QVERIFY(m_dir.isValid());
    TestSupport::openRadarColours(m_dir, radarSeed);

    m_lib = QDir::cleanPath(m_dir.filePath(QStringLiteral("lib")));
    QVERIFY(QDir().mkpath(libPath(QStringLiteral("sub"))));
    QVERIFY(QDir().mkpath(libPath(QStringLiteral("x.mlt"))));

    // Cells x -3 .. 2 on row 4; the middle cell holds two tiles, the higher one seen.
    TestSupport::writeStructure(
        m_dir, QStringLiteral("lib/line.mlt"),
        {{0x0101, -3, 4, 0}, {0x0202, 0, 4, 5}, {0x0303, 0, 4, 2}, {0x0404, 2, 4, -1}});
    // Exactly as wide as a preview may be, and one cell wider / taller than that.
    TestSupport::writeStructure(m_dir, QStringLiteral("lib/edge.mlt"),
                                {{7, -2048, 0, 0}, {8, 2047, 0, 0}});
    TestSupport::writeStructure(m_dir, QStringLiteral("lib/wide.mlt"),
                                {{7, 0, 0, 0}, {8, 4096, 0, 0}});
    TestSupport::writeStructure(m_dir, QStringLiteral("lib/tall.mlt"),
                                {{7, 0, -2048, 0}, {8, 0, 2048, 0}});
    // A header and 11 stray bytes: no whole record.
    TestSupport::writeStructure(m_dir, QStringLiteral("lib/short.mlt"), {}, QByteArray(11, '\x5A'));
    QVERIFY(DemoData::writeFile(libPath(QStringLiteral("empty.mlt")), QByteArray()));
    QVERIFY(DemoData::writeFile(libPath(QStringLiteral("notes.txt")), "not a structure\n"));

    m_view = new DirView;
    m_view->resize(520, 640);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view));

    QSignalSpy loaded(m_view->dirModel, &QFileSystemModel::directoryLoaded);
    m_view->revealFolder(m_lib);
    QTRY_VERIFY(std::any_of(loaded.cbegin(), loaded.cend(), [this](const QList<QVariant> &args) {
        return QDir::cleanPath(args.value(0).toString()) == m_lib;
    }));
}

void TestDirView::cleanup()
{
    // Leave no state behind for the next case, even after a failed check.
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList TestDirView::listedNames(const QString &folder) const
{
    // Children are read row by row: asking the model for a filtered-out file by its path
    // would make the model list it.
    const DirModel *model = m_view->dirModel;
    const QModelIndex parent = model->index(folder);
    QStringList names;
    for (int row = 0; row < model->rowCount(parent); ++row)
        names.append(model->index(row, 0, parent).data().toString());
    names.sort();
    return names;
}

QPoint TestDirView::rowCentre(const QString &path, bool scroll)
{
    const QModelIndex index = m_view->dirModel->index(path);
    if (!index.isValid())
        return QPoint(-1, -1);
    if (scroll)
        m_view->scrollTo(index, QAbstractItemView::PositionAtCenter);
    const QRect rect = m_view->visualRect(index);
    if (rect.isEmpty() || !m_view->viewport()->rect().contains(rect.center()) ||
        m_view->indexAt(rect.center()) != index)
        return QPoint(-1, -1);
    return rect.center();
}

Gesture TestDirView::dragGesture(Qt::MouseButton button, QPoint press, const QList<QPoint> &moves)
{
    QWidget *viewport = m_view->viewport();
    ChildRecorder recorder(m_view);
    Gesture result;

    QTest::mousePress(viewport, button, Qt::NoModifier, press);
    for (const QPoint &move : moves) {
        QTest::mouseMove(viewport, move);
        // Read each drag before the event loop runs again and deletes it.
        const QList<ChildRecorder::Child> drags = recorder.drags();
        for (int i = result.drags; i < drags.size(); ++i) {
            const auto *drag = qobject_cast<QDrag *>(drags.at(i).object.data());
            result.payload = drag->mimeData()->data(StructurePayload::mimeType);
            result.formats = drag->mimeData()->formats();
            result.actions = drag->supportedActions();
            result.source = drag->source();
            result.cursorAtDragStart = drags.at(i).cursorShape;
        }
        result.drags = int(drags.size());
        result.overrideCursorAfterMove |= QApplication::overrideCursor() != nullptr;
    }
    QTest::mouseRelease(viewport, button, Qt::NoModifier, moves.isEmpty() ? press : moves.last());
    return result;
}

void TestDirView::listsFoldersAndStructuresOnly()
{
    // Every folder, whatever its name, and the structure files; other files are not listed
    // at all (not merely greyed out).
    const QStringList expected = {QStringLiteral("edge.mlt"), QStringLiteral("empty.mlt"),
                                  QStringLiteral("line.mlt"), QStringLiteral("short.mlt"),
                                  QStringLiteral("sub"),      QStringLiteral("tall.mlt"),
                                  QStringLiteral("wide.mlt"), QStringLiteral("x.mlt")};
    QTRY_COMPARE(listedNames(m_lib), expected);

    const DirModel *model = m_view->dirModel;
    QVERIFY(model->isDir(model->index(libPath(QStringLiteral("sub")))));
    QVERIFY(model->isDir(model->index(libPath(QStringLiteral("x.mlt")))));
    QVERIFY(!model->isDir(model->index(libPath(QStringLiteral("line.mlt")))));
    QVERIFY(model->fileInfo(model->index(libPath(QStringLiteral("line.mlt")))).isFile());
}

void TestDirView::showsTheNameColumnOnly()
{
    const DirModel *model = m_view->dirModel;
    const QModelIndex lib = model->index(m_lib);
    QCOMPARE(model->columnCount(), 1);
    QCOMPARE(model->columnCount(lib), 1);
    QCOMPARE(model->columnCount(model->index(libPath(QStringLiteral("line.mlt")))), 1);
    QVERIFY(m_view->isHeaderHidden() || m_view->header()->count() == 1);
    QCOMPARE(m_view->header()->count(), 1);
    QCOMPARE(model->index(libPath(QStringLiteral("line.mlt"))).data().toString(),
             QStringLiteral("line.mlt"));
}

void TestDirView::dragStart_data()
{
    QTest::addColumn<QString>("pressed");
    QTest::addColumn<QString>("movedOnto"); // the row the pointer ends on
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("shortBy"); // pixels short of the start distance
    QTest::addColumn<bool>("dragExpected");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QRect>("region");

    const int left = Qt::LeftButton;
    const QPoint noOffset;
    const QRect noRegion;
    const QString line = QStringLiteral("line.mlt");
    QTest::newRow("structure, start distance")
        << line << line << left << 0 << true << QPoint(-3, 4) << QRect(0, 0, 6, 1);
    QTest::newRow("structure, one pixel short")
        << line << line << left << 1 << false << noOffset << noRegion;
    QTest::newRow("structure, right button")
        << line << line << int(Qt::RightButton) << 0 << false << noOffset << noRegion;
    QTest::newRow("structure, moved onto another row")
        << line << QStringLiteral("edge.mlt") << left << 0 << false << noOffset << noRegion;
    QTest::newRow("folder") << QStringLiteral("sub") << QStringLiteral("sub") << left << 0 << false
                            << noOffset << noRegion;
    QTest::newRow("folder named like a structure")
        << QStringLiteral("x.mlt") << QStringLiteral("x.mlt") << left << 0 << false << noOffset
        << noRegion;
    QTest::newRow("empty file") << QStringLiteral("empty.mlt") << QStringLiteral("empty.mlt")
                                << left << 0 << false << noOffset << noRegion;
    QTest::newRow("no whole record") << QStringLiteral("short.mlt") << QStringLiteral("short.mlt")
                                     << left << 0 << false << noOffset << noRegion;
    QTest::newRow("4097 cells wide") << QStringLiteral("wide.mlt") << QStringLiteral("wide.mlt")
                                     << left << 0 << false << noOffset << noRegion;
    QTest::newRow("4097 cells tall") << QStringLiteral("tall.mlt") << QStringLiteral("tall.mlt")
                                     << left << 0 << false << noOffset << noRegion;
    QTest::newRow("4096 cells wide")
        << QStringLiteral("edge.mlt") << QStringLiteral("edge.mlt") << left << 0 << true
        << QPoint(-2048, 0) << QRect(0, 0, 4096, 1);
}

void TestDirView::dragStart()
{
    QFETCH(QString, pressed);
    QFETCH(QString, movedOnto);
    QFETCH(int, button);
    QFETCH(int, shortBy);
    QFETCH(bool, dragExpected);
    QFETCH(QPoint, offset);
    QFETCH(QRect, region);

    QTRY_VERIFY(listedNames(m_lib).contains(pressed));
    QTRY_VERIFY(listedNames(m_lib).contains(movedOnto));
    const QPoint press = rowCentre(libPath(pressed));
    const QPoint target = rowCentre(libPath(movedOnto), false);
    QVERIFY(press.x() >= 0);
    QVERIFY(target.x() >= 0);

    // Mostly sideways, partly down, so that only the Manhattan length reaches the distance.
    const int distance = QApplication::startDragDistance() - shortBy;
    const int down = qMin(2, distance);
    const QPoint end = target + QPoint(distance - down, down);
    QCOMPARE((end - press).manhattanLength() >= QApplication::startDragDistance(),
             pressed != movedOnto || shortBy == 0);

    const Gesture gesture = dragGesture(Qt::MouseButton(button), press, {end});

    QVERIFY(!gesture.overrideCursorAfterMove);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(m_view->pressPos, press);
    if (!dragExpected) {
        QCOMPARE(gesture.drags, 0);
        return;
    }
    QCOMPARE(gesture.drags, 1);
    QCOMPARE(gesture.formats, QStringList{StructurePayload::mimeType});
    QCOMPARE(gesture.actions, Qt::DropActions(Qt::CopyAction));
    QCOMPARE(gesture.source, static_cast<QObject *>(m_view));
    QCOMPARE(gesture.cursorAtDragStart, int(Qt::WaitCursor));

    const std::optional<StructurePayload> payload = StructurePayload::decode(gesture.payload);
    QVERIFY(payload);
    QCOMPARE(payload->path, QFileInfo(libPath(pressed)).absoluteFilePath());
    QCOMPARE(payload->offset, offset);
    QCOMPARE(payload->region, region);
    QCOMPARE(payload->image.size(), region.size());
}

void TestDirView::payloadOfAStructureDrag()
{
    const QString path = QFileInfo(libPath(QStringLiteral("line.mlt"))).absoluteFilePath();
    const QPoint press = rowCentre(path);
    QVERIFY(press.x() >= 0);
    const int distance = QApplication::startDragDistance();
    const Gesture gesture = dragGesture(Qt::LeftButton, press, {press + QPoint(distance - 1, 1)});
    QCOMPARE(gesture.drags, 1);
    const QByteArray &bytes = gesture.payload;

    // Byte layout: path (byte count, UTF-16LE), offset, region, image marker, then a PNG.
    QByteArray head;
    appendLe32(head, quint32(path.size() * 2));
    for (const QChar c : path) {
        head.append(char(c.unicode() & 0xFF));
        head.append(char(c.unicode() >> 8));
    }
    appendLe32(head, quint32(-3));
    appendLe32(head, 4);
    appendLe32(head, 0);
    appendLe32(head, 0);
    appendLe32(head, 5);
    appendLe32(head, 0);
    appendLe32(head, 1);
    head.append("\x89PNG\r\n\x1a\n", 8);
    QCOMPARE(bytes.left(head.size()), head);
    QVERIFY(bytes.endsWith(QByteArray("IEND\xAE\x42\x60\x82", 8)));

    const std::optional<StructurePayload> payload = StructurePayload::decode(bytes);
    QVERIFY(payload);
    QCOMPARE(payload->path, path);
    QVERIFY(QFileInfo(payload->path).isAbsolute());
    QCOMPARE(payload->offset, QPoint(-3, 4));
    QCOMPARE(payload->region, QRect(QPoint(0, 0), QPoint(5, 0)));
    QCOMPARE(payload->image.size(), QSize(6, 1));

    auto pixelOf = [](quint16 id) {
        return RadarColours::pixelFromWord(DemoData::radarWord(radarSeed, id));
    };
    const QList<QRgb> expected = {pixelOf(0x0101), 0, 0, pixelOf(0x0202), 0, pixelOf(0x0404)};
    for (int x = 0; x < 6; ++x)
        QCOMPARE(payload->image.pixel(x, 0), expected.at(x));
}

void TestDirView::dragStartsOnceBackOverThePressedRow()
{
    // Each move is judged afresh: over another row nothing starts, back over the pressed
    // row (still far enough from the press) the drag starts.
    const QString line = libPath(QStringLiteral("line.mlt"));
    const QPoint press = rowCentre(line);
    const QPoint other = rowCentre(libPath(QStringLiteral("edge.mlt")), false);
    QVERIFY(press.x() >= 0);
    QVERIFY(other.x() >= 0);
    const int distance = QApplication::startDragDistance();

    const Gesture gesture = dragGesture(Qt::LeftButton, press,
                                        {other + QPoint(distance, 0), press + QPoint(distance, 0)});
    QCOMPARE(gesture.drags, 1);
    const std::optional<StructurePayload> payload = StructurePayload::decode(gesture.payload);
    QVERIFY(payload);
    QCOMPARE(payload->path, QFileInfo(line).absoluteFilePath());
    QVERIFY(!QApplication::overrideCursor());
}

QTEST_MAIN(TestDirView)
#include "tst_dirview.moc"
