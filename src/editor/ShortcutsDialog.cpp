#include "ShortcutsDialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

ShortcutsDialog::ShortcutsDialog(const QList<QAction *> &actions, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Keyboard Shortcuts"));
    auto *table = new QTableWidget(0, 2, this);
    table->setObjectName(QStringLiteral("shortcuts"));
    table->setHorizontalHeaderLabels({tr("Command"), tr("Keys")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (const QAction *action : actions) {
        if (action->shortcuts().isEmpty())
            continue;
        QStringList keys;
        for (const QKeySequence &key : action->shortcuts())
            keys << key.toString(QKeySequence::NativeText);
        const int row = table->rowCount();
        table->insertRow(row);
        // The undo history's entries name the step they take: the command is its first word.
        QString text = action->text().remove(QLatin1Char('&'));
        if (const QString plain = action->property("commandName").toString(); !plain.isEmpty())
            text = plain;
        table->setItem(row, 0, new QTableWidgetItem(text));
        table->setItem(row, 1, new QTableWidgetItem(keys.join(QStringLiteral(", "))));
    }
    table->resizeColumnsToContents();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(buttons);
    resize(420, 480);
}
