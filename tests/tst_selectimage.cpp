// The dialog that asks for the terrain image of a new map: which button Return presses, and the
// "..." file picker.

#include "TestSupport.h"
#include "dialogs/SelectImage.h"

#include <QtTest>

class TestSelectImage : public QObject
{
    Q_OBJECT

private slots:
    void answer_data()
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

    void answer()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, result);
        QTemporaryDir dir;
        const QString chosen = TestSupport::writeTerrain(dir, QStringLiteral("t.png"), 16, 8);
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
        dialog.ui.lineTerrain->setFocus();
        QTest::keyClicks(dialog.ui.lineTerrain, typed);
        for (const QString &step : steps) {
            if (step == QLatin1String("return"))
                QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
            else if (step == QLatin1String("cancel"))
                QTest::mouseClick(dialog.ui.cancelButton, Qt::LeftButton);
            else
                QTest::mouseClick(dialog.ui.pushTerrain, Qt::LeftButton);
        }
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), result);
        QCOMPARE(script.seen.size(), answers.size());
        QCOMPARE(dialog.ui.lineTerrain->text(), steps.contains("pick") ? chosen : typed);
    }
};

QTEST_MAIN(TestSelectImage)
#include "tst_selectimage.moc"
