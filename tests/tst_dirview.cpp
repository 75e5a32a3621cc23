// The structure library tree as a user meets it: the rows it lists, the folder it opens on, and
// which mouse gestures on its rows start a structure drag with which payload.

#include "TestSupport.h"
#include "app/RadarColours.h"
#include "library/DirModel.h"
#include "library/DirView.h"
#include "library/StructurePayload.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QScrollBar>
#include <QtTest>

constexpr quint32 radarSeed = 11;

class TestDirView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TestSupport::openRadarColours(m_dir, m_colours, radarSeed);
        m_lib = QDir::cleanPath(m_dir.filePath(QStringLiteral("lib")));
        QVERIFY(QDir().mkpath(libPath(QStringLiteral("x.mlt"))));
        // line: cells x -3 .. 2 on row 4; the middle cell holds two tiles, the higher one seen.
        TestSupport::writeStructure(m_dir, QStringLiteral("lib/line.mlt"),
                                    {{0x0101, -3, 4, 0}, {0x0202, 0, 4, 5}, {0x0404, 2, 4, -1}});
        TestSupport::writeStructure(m_dir, QStringLiteral("lib/edge.mlt"), {{7, 0, 0, 0}});
        // A header and 11 stray bytes: no whole record.
        TestSupport::writeStructure(m_dir, QStringLiteral("lib/short.mlt"), {},
                                    QByteArray(11, 'Z'));
        QVERIFY(DemoData::writeFile(libPath(QStringLiteral("notes.txt")), "not a structure\n"));

        m_view.setRadarColours(&m_colours);
        m_view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_view));
        m_view.revealFolder(m_lib);
        // Every folder, whatever its name, and the structure files; no other file, not even
        // greyed out.
        QTRY_COMPARE(m_view.dirModel->rowCount(m_view.dirModel->index(m_lib)), 4);
    }

    void dragStart_data()
    {
        QTest::addColumn<QString>("pressed");
        QTest::addColumn<QStringList>("path"); // the rows the pointer moves over, in order
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("shortBy");         // pixels short of the start distance, each move
        QTest::addColumn<QRect>("region");        // of the payload; null: no drag starts
        QTest::addColumn<QList<QRgb>>("preview"); // the preview's pixels, row by row

        const auto pixel = [](quint16 id) {
            return RadarColours::pixelFromWord(DemoData::radarWord(radarSeed, id));
        };
        const auto add = [](const char *tag, const char *pressed, const QStringList &path,
                            int button = Qt::LeftButton, int shortBy = 0, QRect region = QRect(),
                            const QList<QRgb> &preview = {}) {
            QTest::newRow(tag) << pressed << path << button << shortBy << region << preview;
        };
        // Each move is judged afresh: over another row nothing starts, back over the pressed row
        // (still far enough from the press) the drag starts.
        add("structure, start distance, back from another row", "line.mlt",
            {"edge.mlt", "line.mlt"}, Qt::LeftButton, 0, QRect(0, 0, 6, 1),
            {pixel(0x0101), 0, 0, pixel(0x0202), 0, pixel(0x0404)});
        add("structure, one pixel short", "line.mlt", {"line.mlt"}, Qt::LeftButton, 1);
        add("structure, right button", "line.mlt", {"line.mlt"}, Qt::RightButton);
        add("no whole record", "short.mlt", {"short.mlt"});
    }

    void dragStart()
    {
        QFETCH(QString, pressed);
        QFETCH(QStringList, path);
        QFETCH(int, button);
        QFETCH(int, shortBy);
        QFETCH(QRect, region);
        QFETCH(QList<QRgb>, preview);

        // The centre of a row, scrolled into the middle of the view first if asked.
        const auto rowCentre = [this](const QString &name, bool scroll) {
            const QModelIndex index = m_view.dirModel->index(libPath(name));
            if (scroll)
                m_view.scrollTo(index, QAbstractItemView::PositionAtCenter);
            const QPoint centre = m_view.visualRect(index).center();
            return index.isValid() && m_view.indexAt(centre) == index ? centre : QPoint(-1, -1);
        };
        const QPoint press = rowCentre(pressed, true);
        QVERIFY(press.x() >= 0);
        // Mostly sideways, partly down, so that only the Manhattan length reaches the distance.
        const int distance = QApplication::startDragDistance() - shortBy;
        QWidget *viewport = m_view.viewport();
        QTest::mousePress(viewport, Qt::MouseButton(button), Qt::NoModifier, press);
        QByteArrayList payloads;
        QPoint move;
        for (const QString &name : path) {
            move = rowCentre(name, false) + QPoint(distance - 2, 2);
            QVERIFY(move.x() >= distance - 2);
            QTest::mouseMove(viewport, move);
            // The offscreen platform ends each drag at once, leaving it to be deleted later.
            for (QDrag *drag : m_view.findChildren<QDrag *>(Qt::FindDirectChildrenOnly)) {
                QCOMPARE(drag->supportedActions(), Qt::DropActions(Qt::CopyAction));
                payloads.append(drag->mimeData()->data(StructurePayload::mimeType));
                delete drag;
            }
        }
        QTest::mouseRelease(viewport, Qt::MouseButton(button), Qt::NoModifier, move);

        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(payloads.size(), region.isNull() ? 0 : 1);
        if (region.isNull())
            return;
        const auto payload = StructurePayload::decode(payloads.first());
        QVERIFY(payload);
        QCOMPARE(payload->path, libPath(pressed));
        QCOMPARE(payload->region, region);
        for (int i = 0; i < preview.size(); ++i)
            QCOMPARE(payload->image.pixel(i % region.width(), i / region.width()), preview.at(i));
    }

    // The start folder among 300 siblings: once the tree settles it is selected and in view,
    // however late its siblings arrive; after the user scrolls, the tree stays where they put it.
    void revealAmongManySiblings()
    {
        QTemporaryDir dir;
        const QString parent = QDir::cleanPath(dir.path());
        for (int i = 0; i < 300; ++i)
            QVERIFY(QDir(parent).mkdir(QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'))));
        const QString start = parent + QStringLiteral("/f150-start");
        QVERIFY(QDir().mkpath(start + QStringLiteral("/inside")));
        m_view.revealFolder(start);
        const QModelIndex parentIndex = m_view.dirModel->index(parent);
        const auto shown = [&] {
            const QModelIndex target = m_view.dirModel->index(start);
            return m_view.dirModel->rowCount(parentIndex) == 301 &&
                   m_view.currentIndex() == target && m_view.selectionModel()->isSelected(target) &&
                   m_view.viewport()->rect().contains(m_view.visualRect(target));
        };
        QTRY_VERIFY(shown());
        QTest::qWait(300); // late batches of rows, sorting
        QVERIFY(shown());

        const QPoint centre = m_view.viewport()->rect().center();
        QWheelEvent wheel(centre, m_view.viewport()->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_view.viewport(), &wheel);
        const int scrolled = m_view.verticalScrollBar()->value();
        QVERIFY(QDir(parent).mkdir(QStringLiteral("a-new")));
        QTRY_COMPARE(m_view.dirModel->rowCount(parentIndex), 302);
        QTest::qWait(100);
        QCOMPARE(m_view.verticalScrollBar()->value(), scrolled);
    }

private:
    QString libPath(const QString &name) const { return m_lib + QLatin1Char('/') + name; }

    QTemporaryDir m_dir;
    RadarColours m_colours;
    QString m_lib;
    DirView m_view;
};

QTEST_MAIN(TestDirView)
#include "tst_dirview.moc"
