// The dialog that asks for the terrain image of a new map: its widgets, the ways out of it,
// browsing for a file, and how it stretches.

#include "TestSupport.h"
#include "dialogs/SelectImage.h"

#include <QBoxLayout>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QtTest>

class TestSelectImage : public QObject
{
    Q_OBJECT

private slots:
    void widgetsAndTexts_data();
    void widgetsAndTexts();
    void layouts_data();
    void layouts();
    void layoutTree();
    void startsEmpty();
    void result_data();
    void result();
    void browse_data();
    void browse();
    void widening();
};

void TestSelectImage::widgetsAndTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");

    QTest::newRow("group") << "groupBox" << QByteArray("QGroupBox") << "selectDialog"
                           << QByteArray("title") << "Terrain Image";
    QTest::newRow("path field") << "lineTerrain" << QByteArray("QLineEdit") << "groupBox"
                                << QByteArray("text") << "";
    QTest::newRow("browse") << "pushTerrain" << QByteArray("QPushButton") << "groupBox"
                            << QByteArray("text") << "...";
    QTest::newRow("ok") << "okButton" << QByteArray("QPushButton") << "selectDialog"
                        << QByteArray("text") << "OK";
    QTest::newRow("cancel") << "cancelButton" << QByteArray("QPushButton") << "selectDialog"
                            << QByteArray("text") << "Cancel";
}

void TestSelectImage::widgetsAndTexts()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, className);
    QFETCH(QString, parentName);
    QFETCH(QByteArray, property);
    QFETCH(QString, text);

    SelectImage dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("selectDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Image Files"));

    const auto *widget = dialog.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QByteArray(widget->metaObject()->className()), className);
    QVERIFY(widget->parentWidget());
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    QCOMPARE(widget->property(property.constData()).toString(), text);
}

void TestSelectImage::layouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<int>("margin");

    QTest::newRow("dialog") << "hboxLayout" << Qt::Horizontal << 8;
    QTest::newRow("column") << "vboxLayout" << Qt::Vertical << 0;
    QTest::newRow("group") << "hboxLayout1" << Qt::Horizontal << 8;
    QTest::newRow("path row") << "hboxLayout2" << Qt::Horizontal << 0;
    QTest::newRow("button row") << "hboxLayout5" << Qt::Horizontal << 0;
}

void TestSelectImage::layouts()
{
    QFETCH(QString, name);
    QFETCH(Qt::Orientation, orientation);
    QFETCH(int, margin);

    SelectImage dialog;
    const auto *layout = dialog.findChild<QBoxLayout *>(name);
    QVERIFY(layout);
    const bool horizontal = layout->direction() == QBoxLayout::LeftToRight ||
                            layout->direction() == QBoxLayout::RightToLeft;
    QCOMPARE(horizontal, orientation == Qt::Horizontal);
    QCOMPARE(layout->spacing(), 6);
    QCOMPARE(layout->contentsMargins(), QMargins(margin, margin, margin, margin));
}

void TestSelectImage::layoutTree()
{
    SelectImage dialog;
    QCOMPARE(dialog.size(), QSize(367, 139));

    auto *top = dialog.findChild<QBoxLayout *>(QStringLiteral("hboxLayout"));
    auto *column = dialog.findChild<QBoxLayout *>(QStringLiteral("vboxLayout"));
    auto *group = dialog.findChild<QBoxLayout *>(QStringLiteral("hboxLayout1"));
    auto *pathRow = dialog.findChild<QBoxLayout *>(QStringLiteral("hboxLayout2"));
    auto *buttonRow = dialog.findChild<QBoxLayout *>(QStringLiteral("hboxLayout5"));
    QVERIFY(top && column && group && pathRow && buttonRow);

    QCOMPARE(dialog.layout(), top);
    QCOMPARE(top->count(), 1);
    QCOMPARE(top->itemAt(0)->layout(), column);

    QCOMPARE(column->count(), 2);
    QCOMPARE(column->itemAt(0)->widget(), dialog.ui.groupBox);
    QCOMPARE(column->itemAt(1)->layout(), buttonRow);

    QCOMPARE(dialog.ui.groupBox->layout(), group);
    QCOMPARE(group->count(), 1);
    QCOMPARE(group->itemAt(0)->layout(), pathRow);
    QCOMPARE(pathRow->count(), 2);
    QCOMPARE(pathRow->itemAt(0)->widget(), dialog.ui.lineTerrain);
    QCOMPARE(pathRow->itemAt(1)->widget(), dialog.ui.pushTerrain);

    QCOMPARE(buttonRow->count(), 3);
    QSpacerItem *spacer = buttonRow->itemAt(0)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(131, 31));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(buttonRow->itemAt(1)->widget(), dialog.ui.okButton);
    QCOMPARE(buttonRow->itemAt(2)->widget(), dialog.ui.cancelButton);

    const QPushButton *browse = dialog.ui.pushTerrain;
    QCOMPARE(browse->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(browse->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(browse->minimumSize(), QSize(20, 20));
    QCOMPARE(browse->maximumSize(), QSize(20, 20));
}

void TestSelectImage::startsEmpty()
{
    SelectImage dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.ui.lineTerrain->isVisible());
    QCOMPARE(dialog.ui.lineTerrain->text(), QString());
    QVERIFY(!dialog.ui.lineTerrain->isReadOnly());
    QVERIFY(dialog.ui.groupBox->isVisible());
    QCOMPARE(dialog.ui.groupBox->title(), QStringLiteral("Terrain Image"));
}

void TestSelectImage::result_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("way"); // how the user leaves the dialog
    QTest::addColumn<int>("expected");

    QTest::newRow("OK, empty field") << QString() << "ok" << int(QDialog::Accepted);
    QTest::newRow("OK, typed path") << "/maps/terrain one.png"
                                    << "ok" << int(QDialog::Accepted);
    QTest::newRow("OK, path that does not exist") << "no such file"
                                                  << "ok" << int(QDialog::Accepted);
    QTest::newRow("Cancel") << "/maps/a.png"
                            << "cancel" << int(QDialog::Rejected);
    QTest::newRow("Esc") << "/maps/a.png"
                         << "escape" << int(QDialog::Rejected);
    QTest::newRow("closed") << "/maps/a.png"
                            << "close" << int(QDialog::Rejected);
}

void TestSelectImage::result()
{
    QFETCH(QString, typed);
    QFETCH(QString, way);
    QFETCH(int, expected);

    SelectImage dialog;
    bool answered = false;
    TestSupport::answerNextModal([&](QWidget *modal) {
        if (modal != &dialog) {
            modal->close();
            return;
        }
        answered = true;
        QTest::keyClicks(dialog.ui.lineTerrain, typed);
        if (way == QLatin1String("ok")) {
            QTest::mouseClick(dialog.ui.okButton, Qt::LeftButton);
        } else if (way == QLatin1String("cancel")) {
            QTest::mouseClick(dialog.ui.cancelButton, Qt::LeftButton);
        } else if (way == QLatin1String("escape")) {
            QWidget *focus = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
            QTest::keyClick(focus, Qt::Key_Escape);
        } else {
            dialog.close();
        }
    });
    const int code = dialog.exec();
    QVERIFY(answered);
    QCOMPARE(code, expected);
    QCOMPARE(dialog.result(), expected);
    QVERIFY(!dialog.isVisible());
    // What the caller reads after OK: the field as the user left it.
    QCOMPARE(dialog.ui.lineTerrain->text(), typed);
}

void TestSelectImage::browse_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("choose");

    QTest::newRow("chooser cancelled") << "/maps/typed by hand.png" << false;
    QTest::newRow("chooser cancelled, empty field") << QString() << false;
    QTest::newRow("file chosen") << "/maps/typed by hand.png" << true;
    QTest::newRow("file chosen, empty field") << QString() << true;
}

void TestSelectImage::browse()
{
    QFETCH(QString, before);
    QFETCH(bool, choose);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString terrain = TestSupport::writeTerrain(dir, QStringLiteral("terrain.png"), 16, 8);
    const QString chosen = QFileInfo(terrain).absoluteFilePath();

    SelectImage dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClicks(dialog.ui.lineTerrain, before);
    QCOMPARE(dialog.ui.lineTerrain->text(), before);

    QString caption;
    QWidget *chooserParent = nullptr;
    bool wasFileDialog = false;
    TestSupport::answerNextModal([&](QWidget *modal) {
        auto *chooser = qobject_cast<QFileDialog *>(modal);
        wasFileDialog = chooser != nullptr;
        if (chooser) {
            caption = chooser->windowTitle();
            chooserParent = chooser->parentWidget();
        }
        // QFileDialog::selectFile leaves the name field alone while it has the focus, and
        // accept() then finds no file and keeps the chooser open: take the focus off it, as a
        // click elsewhere in the chooser would.
        if (chooser && chooser->focusWidget())
            chooser->focusWidget()->clearFocus();
        if (choose)
            TestSupport::acceptFileDialog(modal, chosen);
        else
            TestSupport::rejectDialog(modal);
    });
    QTest::mouseClick(dialog.ui.pushTerrain, Qt::LeftButton);

    QVERIFY(wasFileDialog);
    QCOMPARE(caption, QStringLiteral("Select terrain image file"));
    QCOMPARE(chooserParent, static_cast<QWidget *>(&dialog));
    QCOMPARE(dialog.ui.lineTerrain->text(), choose ? chosen : before);
    QVERIFY(dialog.isVisible());
}

void TestSelectImage::widening()
{
    SelectImage dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLineEdit *field = dialog.ui.lineTerrain;
    QPushButton *browse = dialog.ui.pushTerrain;
    QPushButton *cancel = dialog.ui.cancelButton;
    QTRY_COMPARE(browse->size(), QSize(20, 20));
    const int fieldWidth = field->width();
    const int okWidth = dialog.ui.okButton->width();

    const int extra = 300;
    dialog.resize(dialog.width() + extra, dialog.height() + 40);
    QTRY_COMPARE(field->width(), fieldWidth + extra);
    QCOMPARE(browse->size(), QSize(20, 20));
    // The field runs up to the button, which stays at the group's right.
    QCOMPARE(browse->geometry().left(), field->geometry().right() + 1 + 6);
    // OK and Cancel keep their widths, pushed to the right edge by the spacer.
    QCOMPARE(dialog.ui.okButton->width(), okWidth);
    QCOMPARE(cancel->mapTo(&dialog, QPoint(cancel->width(), 0)).x(), dialog.width() - 8);
    QVERIFY(dialog.ui.okButton->geometry().right() < cancel->geometry().left());
}

QTEST_MAIN(TestSelectImage)
#include "tst_selectimage.moc"
