// Structure name lists dropped on the library tree: straight into the model, and through the
// tree's viewport as a drag from another application arrives, checked on disk.

#include "TestSupport.h"
#include "library/DirModel.h"
#include "library/DirView.h"
#include "library/NameList.h"

#include <QApplication>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QtTest>

namespace {

// Every file below root, relative to it, with its content.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        files.insert(QDir(root).relativeFilePath(file.fileName()),
                     file.open(QIODevice::ReadOnly) ? file.readAll() : "?");
    }
    return files;
}

// How the names arrive: through the tree's viewport, or straight into the model.
enum Route { View, Model };

} // namespace

class TestDirModel : public QObject
{
    Q_OBJECT

private slots:
    void dropNames_data()
    {
        QTest::addColumn<int>("route");
        QTest::addColumn<QByteArray>("list"); // null: a file URL and text instead of a name list
        QTest::addColumn<QString>("row");     // relative to the folder F; empty: F itself
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("created"); // new files in F

        using NameList::encode;
        const auto add = [](const char *tag, Route route, const QByteArray &list,
                            const QString &row, bool accepted, const QStringList &created) {
            QTest::newRow(tag) << int(route) << list << row << accepted << created;
        };
        add("view: two names", View, encode({"a", "b"}), {}, true, {"a.mlt", "b.mlt"});
        add("view: other formats only", View, {}, {}, false, {});
        // A drop on a file row must not create the files in the file's folder: the tree hands it
        // to the model as a drop between the rows of that folder.
        add("view: on a structure file row", View, encode({"a"}), "keep.mlt", false, {});
        // The empty name gives the file ".mlt" in the folder.
        add("unsafe names skipped", Model,
            encode(
                {"good1", "../evil", "a/b", "a\\b", ".", "..", "...", ".. ", "", "x.mlt", "keep"}),
            {}, true, {"good1.mlt", "....mlt", ".. .mlt", ".mlt", "x.mlt.mlt"});
    }

    void dropNames()
    {
        QFETCH(int, route);
        QFETCH(QByteArray, list);
        QFETCH(QString, row);
        QFETCH(bool, accepted);
        QFETCH(QStringList, created);

        // T/F is the folder dropped on. F/a is there so that "a/b" would have somewhere to land,
        // T so that "../evil" would; T/outside.mlt is what a file drop would copy or move.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString top = QDir::cleanPath(dir.path());
        const QString folder = top + QStringLiteral("/F");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/a")));
        QVERIFY(DemoData::writeFile(folder + QStringLiteral("/keep.mlt"), "kept"));
        const QString outside = top + QStringLiteral("/outside.mlt");
        QVERIFY(DemoData::writeFile(outside, "outside"));
        const QMap<QString, QByteArray> before = snapshot(top);

        // A folder never listed before: the tree is expanded down to it while the model reads it.
        m_view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_view));
        m_view.revealFolder(folder);
        DirModel *model = m_view.dirModel;
        QTRY_COMPARE(model->rowCount(model->index(folder)), 2);

        QMimeData mime;
        if (!list.isNull()) {
            mime.setData(NameList::mimeType, list);
        } else {
            mime.setUrls({QUrl::fromLocalFile(outside)});
            mime.setText(QStringLiteral("a"));
        }
        const QModelIndex target = model->index(row.isEmpty() ? folder : folder + '/' + row);
        QVERIFY(target.isValid());
        QCOMPARE(model->canDropMimeData(&mime, Qt::CopyAction, -1, -1, target), accepted);
        if (route == Model) {
            QVERIFY(model->dropMimeData(&mime, Qt::CopyAction, -1, -1, target));
        } else {
            m_view.scrollTo(target, QAbstractItemView::PositionAtCenter);
            const QPoint pos = m_view.visualRect(target).center();
            QCOMPARE(m_view.indexAt(pos), target);
            QWidget *viewport = m_view.viewport();
            QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &enter);
            QDragMoveEvent move(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
            QCOMPARE(enter.isAccepted() && move.isAccepted(), accepted);
            // Even a drop that arrives where the tree refused it must create nothing.
            QDropEvent drop(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &drop);
            if (accepted)
                QVERIFY(drop.isAccepted() && drop.dropAction() == Qt::CopyAction);
        }

        // On disk: exactly the new empty files in F; everything else, including the existing
        // structure file's bytes, as it was.
        QMap<QString, QByteArray> expected = before;
        for (const QString &name : created)
            expected.insert(QStringLiteral("F/") + name, QByteArray());
        QCOMPARE(snapshot(top), expected);
    }

private:
    DirView m_view;
};

QTEST_MAIN(TestDirModel)
#include "tst_dirmodel.moc"
