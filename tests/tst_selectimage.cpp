// The dialog that asks for the terrain image of a new map: its widgets, the ways out of it,
// browsing for a file, and how it stretches.

#include "TestSupport.h"
#include "dialogs/SelectImage.h"

#include <QtTest>

namespace {

// The layout tree by object names: a box layout as "name[H|V margins/spacing](items)", a
// widget with a layout of its own as "name:layout".
QString describe(QLayoutItem *item)
{
    if (QWidget *widget = item->widget())
        return widget->objectName() +
               (widget->layout() ? QLatin1Char(':') + describe(widget->layout()) : QString());
    auto *box = qobject_cast<QBoxLayout *>(item->layout());
    if (!box)
        return QStringLiteral("spacer");
    QStringList parts;
    for (int i = 0; i < box->count(); ++i)
        parts << describe(box->itemAt(i));
    const QMargins m = box->contentsMargins();
    return QString::asprintf("%s[%c %d %d %d %d/%d](", qPrintable(box->objectName()),
                             box->direction() == QBoxLayout::TopToBottom ? 'V' : 'H', m.left(),
                             m.top(), m.right(), m.bottom(), box->spacing()) +
           parts.join(QLatin1Char(' ')) + QLatin1Char(')');
}

} // namespace

class TestSelectImage : public QObject
{
    Q_OBJECT

private slots:
    void widgetTreeAndStretching()
    {
        SelectImage dialog;
        const Ui_selectDialog &ui = dialog.ui;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Image Files"));
        QCOMPARE(dialog.size(), QSize(367, 139));
        QCOMPARE(dialog.objectName() + QLatin1Char(':') + describe(dialog.layout()),
                 QStringLiteral("selectDialog:hboxLayout[H 8 8 8 8/6](vboxLayout[V 0 0 0 0/6]("
                                "groupBox:hboxLayout1[H 8 8 8 8/6](hboxLayout2[H 0 0 0 0/6]("
                                "lineTerrain pushTerrain)) hboxLayout5[H 0 0 0 0/6]("
                                "spacer okButton cancelButton)))"));
        QCOMPARE((QStringList{ui.groupBox->title(), ui.lineTerrain->text(), ui.pushTerrain->text(),
                              ui.okButton->text(), ui.cancelButton->text()}),
                 (QStringList{"Terrain Image", "", "...", "OK", "Cancel"}));
        QVERIFY(!ui.lineTerrain->isReadOnly());

        // Widening: the field takes all the extra width, the fixed-size button follows it, and OK
        // and Cancel keep their widths, pushed to the right edge by the spacer.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_COMPARE(ui.pushTerrain->size(), QSize(20, 20));
        const int fieldWidth = ui.lineTerrain->width();
        const int okWidth = ui.okButton->width();
        dialog.resize(dialog.width() + 300, dialog.height() + 40);
        QTRY_COMPARE(ui.lineTerrain->width(), fieldWidth + 300);
        QCOMPARE(ui.pushTerrain->size(), QSize(20, 20));
        QCOMPARE(ui.pushTerrain->geometry().left(), ui.lineTerrain->geometry().right() + 1 + 6);
        QCOMPARE(ui.okButton->width(), okWidth);
        QCOMPARE(ui.cancelButton->mapTo(&dialog, QPoint(ui.cancelButton->width(), 0)).x(),
                 dialog.width() - 8);
        QVERIFY(ui.okButton->geometry().right() < ui.cancelButton->geometry().left());
    }

    void result_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("way"); // a button's object name, "escape" or "close"
        QTest::addColumn<bool>("accepted");

        // The dialog does not check the path: the caller does.
        QTest::newRow("OK, empty field") << QString() << "okButton" << true;
        QTest::newRow("OK, typed path") << "/maps/terrain one.png"
                                        << "okButton" << true;
        QTest::newRow("OK, no such file") << "no such file"
                                          << "okButton" << true;
        QTest::newRow("Cancel") << "/maps/a.png"
                                << "cancelButton" << false;
        QTest::newRow("Esc") << "/maps/a.png"
                             << "escape" << false;
        QTest::newRow("closed") << "/maps/a.png"
                                << "close" << false;
    }

    void result()
    {
        QFETCH(QString, typed);
        QFETCH(QString, way);
        QFETCH(bool, accepted);

        SelectImage dialog;
        TestSupport::answerNextModal([&](QWidget *) {
            QTest::keyClicks(dialog.ui.lineTerrain, typed);
            if (way == QLatin1String("escape"))
                QTest::keyClick(dialog.ui.lineTerrain, Qt::Key_Escape);
            else if (way == QLatin1String("close"))
                dialog.close();
            else
                QTest::mouseClick(dialog.findChild<QPushButton *>(way), Qt::LeftButton);
        });
        QCOMPARE(dialog.exec(), accepted ? QDialog::Accepted : QDialog::Rejected);
        QVERIFY(!dialog.isVisible());
        // What the caller reads after OK: the field as the user left it.
        QCOMPARE(dialog.ui.lineTerrain->text(), typed);
    }

    void browse()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString chosen =
            QFileInfo(TestSupport::writeTerrain(dir, QStringLiteral("t.png"), 16, 8))
                .absoluteFilePath();
        const QString typed = QStringLiteral("/maps/typed by hand.png");
        SelectImage dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClicks(dialog.ui.lineTerrain, typed);

        // The button opens a file chooser on the dialog: cancelled, it keeps the typed path;
        // a chosen file replaces it.
        QStringList captions;
        const auto answer = [&](bool choose) {
            return [&, choose](QWidget *modal) {
                captions << modal->windowTitle() + (modal->parentWidget() == &dialog ? "" : " (?)");
                if (choose)
                    TestSupport::acceptFileDialog(modal, chosen);
                else
                    TestSupport::rejectDialog(modal);
            };
        };
        TestSupport::ModalScript script({answer(false), answer(true)});
        QTest::mouseClick(dialog.ui.pushTerrain, Qt::LeftButton);
        QCOMPARE(dialog.ui.lineTerrain->text(), typed);
        QTest::mouseClick(dialog.ui.pushTerrain, Qt::LeftButton);
        QCOMPARE(dialog.ui.lineTerrain->text(), chosen);
        QCOMPARE(script.seen, QStringList(2, QStringLiteral("QFileDialog")));
        QCOMPARE(captions, QStringList(2, QStringLiteral("Select terrain image file")));
        QVERIFY(dialog.isVisible());
    }
};

QTEST_MAIN(TestSelectImage)
#include "tst_selectimage.moc"
