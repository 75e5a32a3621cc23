// The structure library tree as a user meets it: the rows it lists, the folder it opens on,
// which mouse gestures on its rows start a structure drag with which payload, and what structure
// name lists dropped on it create.

#include "TestSupport.h"
#include "core/NameList.h"
#include "core/RadarColours.h"
#include "core/StructurePayload.h"
#include "editor/DirModel.h"
#include "editor/DirView.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QMimeData>
#include <QTextDocument>
#include <QToolTip>
#include <QtTest>

constexpr quint32 radarSeed = 11;

QRgb pixel(quint16 id)
{
    return RadarColours::pixelFromWord(DemoData::radarWord(radarSeed, id));
}

using TestSupport::snapshot;

class TestDirView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
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
        TestSupport::writeStructure(m_dir, QStringLiteral("lib/large.mlt"),
                                    {{7, 0, 0, 0}, {7, 599, 299, 0}});

        m_view.setRadarColours(&m_colours);
        m_view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_view));
        m_view.revealFolder(m_lib);
        // Every folder, whatever its name, and the structure files; no other file, not even
        // greyed out.
        QTRY_COMPARE(m_view.dirModel()->rowCount(m_view.dirModel()->index(m_lib)), 5);
    }

    // Each move is judged afresh: over another row nothing starts, back over the pressed row
    // (still far enough from the press) the drag starts. A file with no whole record starts none.
    void dragStart()
    {
        QVERIFY(drag(QStringLiteral("short.mlt"), {QStringLiteral("short.mlt")}).isEmpty());
        const QByteArrayList payloads = drag(
            QStringLiteral("line.mlt"), {QStringLiteral("edge.mlt"), QStringLiteral("line.mlt")});
        QCOMPARE(payloads.size(), 1);
        const auto payload = StructurePayload::decode(payloads.first());
        QVERIFY(payload && payload->path == libPath(QStringLiteral("line.mlt")));
        QCOMPARE(payload->region, QRect(0, 0, 6, 1));
        const QList<QRgb> preview{pixel(0x0101), 0, 0, pixel(0x0202), 0, pixel(0x0404)};
        for (int x = 0; x < preview.size(); ++x)
            QCOMPARE(payload->image.pixel(x, 0), preview.at(x));
    }

    // Hovering a structure file shows its preview: small ones magnified a whole number of times,
    // large ones scaled down to 256 at most; a file that cannot be rendered says why, and a
    // folder named like a structure file has no tooltip.
    void toolTip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size"); // of the image shown
        QTest::addColumn<QString>("text");
        QTest::newRow("small") << "line.mlt" << QSize(126, 21) << "line.mlt  6 x 1 cells";
        QTest::newRow("large") << "large.mlt" << QSize(256, 128) << "large.mlt  600 x 300 cells";
        QTest::newRow("no whole record")
            << "short.mlt" << QSize()
            << "short.mlt cannot be rendered: the file holds no whole tile record";
        QTest::newRow("folder") << "x.mlt" << QSize() << "";
    }

    void toolTip()
    {
        QToolTip::hideText();
        QTRY_VERIFY(QToolTip::text().isEmpty());
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(QString, text);
        QTextDocument shown;
        shown.setHtml(hover(name));
        QCOMPARE(shown.toPlainText().remove(QChar::ObjectReplacementCharacter).trimmed(), text);
        const QString source = QToolTip::text().section('"', -2, -2);
        const QImage image = QImage::fromData(QByteArray::fromBase64(source.mid(22).toLatin1()));
        QCOMPARE(image.isNull() ? QSize() : image.size(), size);
        if (name != "line.mlt")
            return;
        // The tooltip shows the line's three tiles 21 pixels a side, 63 pixels apart.
        const QList<QWidget *> all = QApplication::topLevelWidgets();
        const auto label = std::find_if(all.cbegin(), all.cend(), [](QWidget *w) {
            return w->inherits("QTipLabel") && w->isVisible();
        });
        QVERIFY(label != all.cend());
        const QImage grabbed = (*label)->grab().toImage();
        QPoint first(-1, -1);
        for (int y = 0; y < grabbed.height() && first.x() < 0; ++y)
            for (int x = 0; x < grabbed.width() && first.x() < 0; ++x)
                first = grabbed.pixel(x, y) == pixel(0x0101) ? QPoint(x, y) : first;
        for (const auto &[at, id] : {std::pair(QPoint(20, 20), 0x0101),
                                     {QPoint(63, 0), 0x0202},
                                     {QPoint(125, 20), 0x0404}})
            QCOMPARE(grabbed.pixel(first + at), pixel(quint16(id)));
        QVERIFY(grabbed.pixel(first + QPoint(21, 0)) != pixel(0x0101));
    }

    // A tooltip is made once for each state of the file: kept while its time and size stay,
    // made anew when they change.
    void toolTipKeptUntilFileChanges()
    {
        const QString path = libPath(QStringLiteral("edge.mlt"));
        const QString before = hover(QStringLiteral("edge.mlt"));
        const QDateTime time = QFileInfo(path).lastModified();
        QVERIFY(DemoData::writeFile(path, DemoData::structureBytes({{8, 0, 0, 0}})));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(time, QFileDevice::FileModificationTime));
        QCOMPARE(hover(QStringLiteral("edge.mlt")), before);
        QVERIFY(file.setFileTime(time.addSecs(2), QFileDevice::FileModificationTime));
        QVERIFY(hover(QStringLiteral("edge.mlt")) != before);
    }

    // The start folder among 300 siblings: once the tree settles it is selected and in view,
    // however late its siblings arrive.
    void revealAmongManySiblings()
    {
        QTemporaryDir dir;
        const QString parent = QDir::cleanPath(dir.path());
        for (int i = 0; i < 300; ++i)
            QVERIFY(QDir(parent).mkdir(QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'))));
        const QString start = parent + QStringLiteral("/f150-start");
        QVERIFY(QDir().mkpath(start + QStringLiteral("/inside")));
        m_view.revealFolder(start);
        const auto shown = [&] {
            // Indexes go stale as rows arrive: looked up afresh each time.
            const QModelIndex target = m_view.dirModel()->index(start);
            return m_view.dirModel()->rowCount(target.parent()) == 301 &&
                   m_view.currentIndex() == target && m_view.selectionModel()->isSelected(target) &&
                   m_view.viewport()->rect().contains(m_view.visualRect(target));
        };
        QTRY_VERIFY(shown());
        // Late batches of rows and sorting move it; on a busy machine they come later still.
        QTest::qWait(300);
        QTRY_VERIFY(shown());
    }

    // Structure name lists dropped on the tree, as a drag from another application arrives,
    // checked on disk.
    void dropNames_data()
    {
        QTest::addColumn<QByteArray>("list"); // null: a file URL and text instead of a name list
        QTest::addColumn<QString>("row");     // relative to the folder F; empty: F itself
        QTest::addColumn<QStringList>("created"); // new files in F; none: the drop is refused

        using NameList::encode;
        QTest::newRow("two names") << encode({"a", "b"}) << "" << QStringList{"a.mlt", "b.mlt"};
        QTest::newRow("other formats only") << QByteArray() << "" << QStringList();
        // A drop on a file row must not create the files in the file's folder: the tree hands it
        // to the model as a drop between the rows of that folder.
        QTest::newRow("on a structure file row") << encode({"a"}) << "keep.mlt" << QStringList();
        // The empty name gives the file ".mlt" in the folder.
        QTest::newRow("unsafe names skipped")
            << encode({"good1", "../evil", "a/b", "a\\b", ".", "..", "...", ".. ", "", "x.mlt",
                       "keep"})
            << "" << QStringList{"good1.mlt", "....mlt", ".. .mlt", ".mlt", "x.mlt.mlt"};
    }

    void dropNames()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, row);
        QFETCH(QStringList, created);
        const bool accepted = !created.isEmpty();

        // T/F is the folder dropped on. F/a is there so that "a/b" would have somewhere to land,
        // T so that "../evil" would; T/outside.mlt is what a file drop would copy or move.
        QTemporaryDir dir;
        const QString top = QDir::cleanPath(dir.path()), folder = top + QStringLiteral("/F"),
                      outside = top + QStringLiteral("/outside.mlt");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/a")) &&
                DemoData::writeFile(folder + QStringLiteral("/keep.mlt"), "kept") &&
                DemoData::writeFile(outside, "outside"));
        QMap<QString, QByteArray> expected = snapshot(top);

        // A folder never listed before: the tree is expanded down to it while the model reads it.
        m_view.revealFolder(folder);
        DirModel *model = m_view.dirModel();
        QTRY_COMPARE(model->rowCount(model->index(folder)), 2);

        // Every drop carries the file and a text as well: only the name list counts.
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(outside)});
        mime.setText(QStringLiteral("a"));
        if (!list.isNull())
            mime.setData(NameList::mimeType, list);
        const QModelIndex target = model->index(row.isEmpty() ? folder : folder + '/' + row);
        m_view.scrollTo(target, QAbstractItemView::PositionAtCenter);
        const QPoint pos = m_view.visualRect(target).center();
        QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QDragMoveEvent move(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        // Even a drop that arrives where the tree refused it must create nothing.
        for (QEvent *event : std::initializer_list<QEvent *>{&enter, &move, &drop})
            QApplication::sendEvent(m_view.viewport(), event);
        QCOMPARE(enter.isAccepted() && move.isAccepted(), accepted);
        QVERIFY(!accepted || (drop.isAccepted() && drop.dropAction() == Qt::CopyAction));

        // On disk: exactly the new empty files in F; everything else, including the existing
        // structure file's bytes, as it was.
        for (const QString &name : created)
            expected.insert(folder + '/' + name, QByteArray());
        QCOMPARE(snapshot(top), expected);
    }

private:
    // Presses on a row and moves over the rows in path, each time to the start distance from the
    // row's centre, mostly sideways and partly down so that only the Manhattan length reaches it;
    // the payloads of the drags that started.
    QByteArrayList drag(const QString &pressed, const QStringList &path)
    {
        // The centre of a row, the pressed one scrolled into the middle of the view first.
        m_view.scrollTo(m_view.dirModel()->index(libPath(pressed)),
                        QAbstractItemView::PositionAtCenter);
        const auto centre = [this](const QString &name) {
            return m_view.visualRect(m_view.dirModel()->index(libPath(name))).center();
        };
        QWidget *viewport = m_view.viewport();
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, centre(pressed));
        QByteArrayList payloads;
        QPoint move;
        for (const QString &name : path) {
            move = centre(name) + QPoint(QApplication::startDragDistance() - 2, 2);
            QTest::mouseMove(viewport, move);
            // The offscreen platform ends each drag at once, leaving it to be deleted later.
            for (QDrag *drag : m_view.findChildren<QDrag *>(Qt::FindDirectChildrenOnly)) {
                if (drag->supportedActions() == Qt::CopyAction)
                    payloads.append(drag->mimeData()->data(StructurePayload::mimeType));
                delete drag;
            }
        }
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, move);
        return payloads;
    }

    // The tooltip text shown over the row of a file in lib.
    QString hover(const QString &name)
    {
        const QModelIndex index = m_view.dirModel()->index(libPath(name));
        m_view.scrollTo(index);
        const QPoint pos = m_view.visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, pos, m_view.viewport()->mapToGlobal(pos));
        QApplication::sendEvent(m_view.viewport(), &help);
        return QToolTip::text();
    }

    QString libPath(const QString &name) const { return m_lib + QLatin1Char('/') + name; }

    QTemporaryDir m_dir;
    RadarColours m_colours;
    QString m_lib;
    DirView m_view;
};

QTEST_MAIN(TestDirView)
#include "tst_dirview.moc"
