#pragma once

#include <QDialog>
#include <QList>

class QAction;

// Lists the keys of a window's commands: one row an action that has a shortcut, its text as
// its menu shows it and every key sequence that triggers it, read from the actions themselves
// so that the list follows whatever the window binds.
class ShortcutsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ShortcutsDialog(const QList<QAction *> &actions, QWidget *parent = nullptr);
};
