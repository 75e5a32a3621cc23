// Structure name lists dropped on the library tree: straight into the model, and through the
// tree's viewport as a drag from another application arrives, checked on disk and in the tree.

#include "TestSupport.h"
#include "library/DirModel.h"
#include "library/DirView.h"
#include "library/NameList.h"

#include <QApplication>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

const QByteArray keptBytes("KEEP\x00\x01\xFE\xFF structure", 18);

// Every entry below root, relative to it: folders end in "/" and map to nothing, files map to
// their content.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = base.relativeFilePath(path);
        if (info.isDir()) {
            entries.insert(relative + QLatin1Char('/'), QByteArray());
        } else {
            QFile file(path);
            entries.insert(relative, file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                    : QByteArray("<unreadable>"));
        }
    }
    return entries;
}

} // namespace

class TestDirModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void dropNames_data();
    void dropNames();

private:
    QStringList listedNames(const QString &folder) const;
    bool loadFolder(const QString &folder);

    DirView *m_view = nullptr;
};

void TestDirModel::initTestCase()
{
    m_view = new DirView;
    m_view->resize(520, 640);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view));
}

void TestDirModel::cleanupTestCase()
{
    delete m_view;
    m_view = nullptr;
}

QStringList TestDirModel::listedNames(const QString &folder) const
{
    const DirModel *model = m_view->dirModel;
    const QModelIndex parent = model->index(folder);
    QStringList names;
    for (int row = 0; row < model->rowCount(parent); ++row)
        names.append(model->index(row, 0, parent).data().toString());
    names.sort();
    return names;
}

bool TestDirModel::loadFolder(const QString &folder)
{
    // Expands the tree down to a folder that was never listed before and waits until the
    // model has read it.
    QSignalSpy loaded(m_view->dirModel, &QFileSystemModel::directoryLoaded);
    m_view->revealFolder(folder);
    const QString wanted = QDir::cleanPath(folder);
    auto done = [&loaded, &wanted] {
        return std::any_of(loaded.cbegin(), loaded.cend(), [&wanted](const QList<QVariant> &args) {
            return QDir::cleanPath(args.value(0).toString()) == wanted;
        });
    };
    return QTest::qWaitFor(done);
}

void TestDirModel::dropNames_data()
{
    QTest::addColumn<bool>("throughView");
    QTest::addColumn<bool>("withFormat");
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QString>("row"); // relative to the folder F; empty: F itself
    QTest::addColumn<int>("between"); // model only: a drop between rows of F, before this one
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("created"); // new files in F

    auto names = [](std::initializer_list<const char *> list) {
        QStringList result;
        for (const char *name : list)
            result.append(QString::fromUtf8(name));
        return result;
    };
    const QByteArray oneTwo = NameList::encode(names({"one", "two"}));
    const QByteArray oneTwoThree = NameList::encode(names({"one", "two", "three"}));
    const QStringList oneTwoFiles = names({"one.mlt", "two.mlt"});
    const QString onF;
    const QString onFile = QStringLiteral("keep.mlt");

    for (const bool view : {false, true}) {
        const char *route = view ? "view" : "model";
        auto add = [&](const char *tag, bool withFormat, const QByteArray &list, const QString &row,
                       bool accepted, const QStringList &created, int between = -1) {
            QTest::addRow("%s: %s", route, tag)
                << view << withFormat << list << row << between << accepted << created;
        };
        add("two names", true, NameList::encode(names({"a", "b"})), onF, true,
            names({"a.mlt", "b.mlt"}));
        add("name with the extension", true, NameList::encode(names({"x.mlt"})), onF, true,
            names({"x.mlt.mlt"}));
        add("null name", true, QByteArray("\xFF\xFF\xFF\xFF", 4), onF, true, names({".mlt"}));
        add("unsafe names skipped", true,
            NameList::encode(names({"good1", "../evil", "a/b", "a\\b", ".", "..", "good2"})), onF,
            true, names({"good1.mlt", "good2.mlt"}));
        add("existing file kept", true, NameList::encode(names({"keep", "new"})), onF, true,
            names({"new.mlt"}));
        add("cut inside a name", true, oneTwoThree.chopped(3), onF, true, oneTwoFiles);
        add("cut inside a byte count", true, oneTwo + QByteArray("\x06\x00", 2), onF, true,
            oneTwoFiles);
        add("byte count beyond the end", true, oneTwo + QByteArray("\x40\x00\x00\x00zz", 6), onF,
            true, oneTwoFiles);
        add("empty list", true, QByteArray(), onF, true, {});
        add("other formats only", false, QByteArray(), onF, false, {});
        add("on a structure file row", true, NameList::encode(names({"a"})), onFile, false, {});
        // What the tree hands the model for a drop on a file row.
        if (!view)
            add("between rows", true, NameList::encode(names({"a"})), onF, false, {}, 0);
    }
}

void TestDirModel::dropNames()
{
    QFETCH(bool, throughView);
    QFETCH(bool, withFormat);
    QFETCH(QByteArray, list);
    QFETCH(QString, row);
    QFETCH(int, between);
    QFETCH(bool, accepted);
    QFETCH(QStringList, created);

    // T/F is the folder dropped on. F/a is there so that "a/b" would have somewhere to land,
    // T so that "../evil" would; T/outside.mlt is what a file drop would copy or move.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString top = QDir::cleanPath(dir.path());
    const QString folder = top + QStringLiteral("/F");
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/a")));
    QVERIFY(DemoData::writeFile(folder + QStringLiteral("/keep.mlt"), keptBytes));
    const QString outside = top + QStringLiteral("/outside.mlt");
    QVERIFY(DemoData::writeFile(outside, DemoData::structureBytes({{5, 0, 0, 0}})));
    const QMap<QString, QByteArray> before = snapshot(top);

    QVERIFY(loadFolder(folder));
    QTRY_COMPARE(listedNames(folder),
                 QStringList({QStringLiteral("a"), QStringLiteral("keep.mlt")}));

    auto mime = std::make_unique<QMimeData>();
    if (withFormat) {
        mime->setData(NameList::mimeType, list);
    } else {
        mime->setUrls({QUrl::fromLocalFile(outside)});
        mime->setText(QStringLiteral("a"));
    }

    DirModel *model = m_view->dirModel;
    const QString rowPath = row.isEmpty() ? folder : folder + QLatin1Char('/') + row;
    const QModelIndex target = model->index(rowPath);
    QVERIFY(target.isValid());
    const int column = between >= 0 ? 0 : -1;
    QCOMPARE(model->canDropMimeData(mime.get(), Qt::CopyAction, between, column, target), accepted);

    if (!throughView) {
        QVERIFY(model->dropMimeData(mime.get(), Qt::CopyAction, between, column, target));
    } else {
        m_view->scrollTo(target, QAbstractItemView::PositionAtCenter);
        const QPoint pos = m_view->visualRect(target).center();
        QVERIFY(m_view->viewport()->rect().contains(pos));
        QCOMPARE(m_view->indexAt(pos), target);
        QWidget *viewport = m_view->viewport();

        QDragEnterEvent enter(pos, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(pos, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QCOMPARE(move.isAccepted(), accepted);
        if (accepted) {
            QVERIFY(enter.isAccepted());
            QCOMPARE(move.dropAction(), Qt::CopyAction);
        }
        // Even a drop that arrives where the tree refused it must create nothing.
        QDropEvent drop(pos, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        if (accepted) {
            QVERIFY(drop.isAccepted());
            QCOMPARE(drop.dropAction(), Qt::CopyAction);
        }
    }

    // On disk: exactly the new empty files in F; everything else, including the existing
    // structure file's bytes, as it was.
    QMap<QString, QByteArray> expected = before;
    for (const QString &name : created)
        expected.insert(QStringLiteral("F/") + name, QByteArray());
    const QMap<QString, QByteArray> after = snapshot(top);
    QCOMPARE(after.value(QStringLiteral("F/keep.mlt")), keptBytes);
    QCOMPARE(after, expected);

    // In the tree: F lists the new structure files (hidden ones aside) without being
    // re-expanded.
    QStringList listed = {QStringLiteral("a"), QStringLiteral("keep.mlt")};
    for (const QString &name : created) {
        if (!name.startsWith(QLatin1Char('.')))
            listed.append(name);
    }
    listed.sort();
    QTRY_COMPARE(listedNames(folder), listed);
}

QTEST_MAIN(TestDirModel)
#include "tst_dirmodel.moc"
