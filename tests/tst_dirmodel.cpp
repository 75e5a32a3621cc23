// Structure name lists dropped on the library tree: straight into the model, and through the
// tree's viewport as a drag from another application arrives, checked on disk.

#include "TestSupport.h"
#include "library/DirModel.h"
#include "library/DirView.h"
#include "library/NameList.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QtTest>

using TestSupport::snapshot;

class TestDirModel : public QObject
{
    Q_OBJECT

private slots:
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
        m_view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_view));
        m_view.revealFolder(folder);
        DirModel *model = m_view.dirModel;
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
    DirView m_view;
};

QTEST_MAIN(TestDirModel)
#include "tst_dirmodel.moc"
