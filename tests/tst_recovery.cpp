// Recovery files: kept while a map has unsaved changes and gone once it has none, never touched
// by another running copy, and offered at the start when a copy ended without cleaning up.

#include "TestSupport.h"
#include "core/AutoSaver.h"
#include "core/MapDocument.h"
#include "core/MapSession.h"
#include "core/PlacementFile.h"
#include "editor/CanvasView.h"
#include "editor/FileCommands.h"
#include "editor/MainWindow.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QTest>
#include <QTextDocumentFragment>

#include <memory>

namespace {

Placement placementAt(int x, int y)
{
    return {QPointF(x, y), QPoint(-3, -2), QRect(0, 0, 4, 3), QStringLiteral("/s/tower.mlt")};
}

} // namespace

class TestRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath("data")));
        m_folder = RecoveryStore::defaultFolder();
        QVERIFY(m_folder.startsWith(m_dir.path()));
        m_map = {TestSupport::writeTerrain(m_dir, "terrain.png", 80, 60),
                 {placementAt(5, 6), placementAt(40, 30)}};
    }
    void init() { QVERIFY(QDir(m_folder).removeRecursively()); }

    // Written an interval after a change, even amid a stream of changes, with the map's bytes;
    // gone when the map has no unsaved changes any more, and when the program ends.
    void autosave_data()
    {
        QTest::addColumn<QString>("end");
        for (const char *end : {"save", "close", "new", "open", "undo", "exit", "stream"})
            QTest::newRow(end) << QString::fromLatin1(end);
    }
    void autosave()
    {
        QFETCH(QString, end);
        MapDocument document;
        auto saver = std::make_unique<AutoSaver>(&document, m_folder);
        saver->setInterval(100);
        const QString mapPath = saver->store().mapPath();
        document.open(m_map, m_dir.filePath("map.xml"));
        document.place(placementAt(70, 50));
        for (int i = 0; end == "stream" && !QFile::exists(mapPath) && i < 150; ++i) {
            document.move({document.placements().first()}, QPointF(1, 0));
            QTest::qWait(20);
        }
        QVERIFY(end != "stream" || QFile::exists(mapPath));
        QTRY_COMPARE(TestSupport::snapshot(m_folder).value(mapPath),
                     *PlacementFile::write(document.content()));
        // Another copy, running, neither offers it nor removes it.
        QVERIFY(RecoveryStore(m_folder).orphans().isEmpty());
        QVERIFY(QFile::exists(mapPath));

        if (end == "save" || end == "stream")
            QVERIFY(document.save(m_dir.filePath("saved.xml")));
        else if (end == "close")
            document.close();
        else if (end == "new" || end == "open")
            document.open(end == "new" ? PlacementDocument{m_map.terrainPath, {}} : m_map);
        else if (end == "undo")
            document.undoStack()->undo();
        else
            saver.reset();
        const QStringList left =
            saver ? QStringList{QFileInfo(mapPath).baseName() + ".lock"} : QStringList();
        QTRY_COMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), left);
    }

    // Orphans ("map" of map.xml, "unsaved" of no file, "bad sidecar", "bad map") offered newest
    // first until one is taken: the boxes seen ("ask N", "warn N") and which orphans are kept.
    void recover_data()
    {
        QTest::addColumn<QStringList>("orphans");
        QTest::addColumn<QString>("answers");
        QTest::addColumn<QString>("seen");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("taken");
        const auto row = [](const char *orphans, const char *answers, const char *seen,
                            const char *kept, bool taken) {
            QTest::newRow(orphans)
                << QString(orphans).split(',') << answers << seen << kept << taken;
        };
        row("map", "Yes", "ask0", "0", true);
        row("unsaved", "No", "ask0", "0", false);
        row("bad sidecar", "OK", "warn0", "1", false);
        row("bad map", "Yes OK", "ask0 warn0", "1", false);
        row("unsaved,map,map", "No Yes", "ask0 ask1", "001", true);
    }
    void recover()
    {
        QFETCH(QStringList, orphans);
        QFETCH(QString, answers);
        QFETCH(QString, seen);
        QFETCH(QString, kept);
        QFETCH(bool, taken);
        // A long name, with spaces and hyphens where a line could break.
        const QString original =
            m_dir.filePath("maps of the north-east coast, second draft/harbour-district.xml");
        QVERIFY(QDir().mkpath(QFileInfo(original).path()));
        const QDateTime saved(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC);
        PlacementDocument edited = m_map;
        edited.placements.append(placementAt(70, 50));

        // The files a copy leaves when it crashes, the first the newest, and their boxes.
        QStringList paths, asks;
        for (qsizetype i = 0; i < orphans.size(); ++i) {
            const QString name = orphans[i] == "map" ? original : "";
            paths << m_folder + QString("/c%1.xml").arg(i);
            const QString sidecar = "{\"fileName\": \"" + name + "\", \"saved\": \"" +
                                    saved.toString(Qt::ISODate) + "\"}";
            QVERIFY(DemoData::writeFile(
                paths[i], orphans[i] == "bad map" ? "<Valdrune>" : *PlacementFile::write(edited)));
            QVERIFY(DemoData::writeFile(paths[i].chopped(4) + ".json",
                                        sidecar.chopped(orphans[i] == "bad sidecar").toUtf8()));
            QFile file(paths[i]);
            QVERIFY(file.open(QIODevice::Append) &&
                    file.setFileTime(saved.addSecs(-i), QFileDevice::FileModificationTime));
            asks << "Recover unsaved changes?|The changes to " +
                        (name.isEmpty() ? "an unsaved map" : QDir::toNativeSeparators(name)) +
                        " were kept for recovery on " +
                        QLocale().toString(saved.toLocalTime(), QLocale::ShortFormat) + '.';
        }

        MainWindow window;
        window.show();
        QStringList boxes;
        QList<TestSupport::ModalScript::Answer> script;
        for (const QString &answer : answers.split(' '))
            script << [&, answer](QWidget *modal) {
                auto *box = qobject_cast<QMessageBox *>(modal);
                QString text = box->informativeText();
                if (Qt::mightBeRichText(text)) {
                    // The map's name is shown whole on one line of the box.
                    const QString open = "<span style=\"white-space:pre\">";
                    const qsizetype from = text.indexOf(open) + open.size();
                    const QString name = QTextDocumentFragment::fromHtml(
                                             text.mid(from, text.indexOf("</span>") - from))
                                             .toPlainText();
                    const auto *label = box->findChild<QLabel *>("qt_msgbox_informativelabel");
                    QVERIFY(from >= open.size() &&
                            label->width() >= label->fontMetrics().horizontalAdvance(name));
                    text = QTextDocumentFragment::fromHtml(text).toPlainText();
                }
                boxes << box->text() + '|' + text;
                for (QAbstractButton *button : box->buttons())
                    if (button->text().remove('&') == answer)
                        button->click();
            };
        TestSupport::ModalScript modals(script);
        window.offerRecovery();
        const QStringList tokens = seen.split(' ');
        QCOMPARE(boxes.size(), tokens.size());
        for (qsizetype i = 0; i < boxes.size(); ++i) {
            const int orphan = tokens[i].back().digitValue();
            QVERIFY2(boxes[i].startsWith(tokens[i].startsWith("ask")
                                             ? asks[orphan]
                                             : "The recovery file " +
                                                   QDir::toNativeSeparators(paths[orphan]) +
                                                   " could not be read; it is kept.\n"),
                     qPrintable(boxes[i]));
        }
        for (qsizetype i = 0; i < orphans.size(); ++i)
            QCOMPARE(QFile::exists(paths[i]), kept[i] == '1');

        // Taken, the map is as it was left, unsaved, and Save writes it to its own file.
        MapDocument &document = *window.session()->document();
        QCOMPARE(document.isOpen(), taken);
        if (!taken)
            return;
        QCOMPARE(document.content(), edited);
        QVERIFY(document.isModified());
        QCOMPARE(document.fileName(), original);
        QVERIFY(window.fileCommands()->save());
        QCOMPARE(TestSupport::snapshot(m_dir.path()).value(original),
                 *PlacementFile::write(edited));
    }

private:
    QTemporaryDir m_dir;
    QString m_folder;
    PlacementDocument m_map;
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
