#pragma once

#include "ui_selectDialog.h"

#include <QDialog>

// Asks for the terrain image of a new map: a path field, a "..." button that browses for a
// file, OK and Cancel. The caller reads the path from ui.lineTerrain after OK; the dialog
// does not check it.
class SelectImage : public QDialog
{
    Q_OBJECT

public:
    explicit SelectImage(QWidget *parent = nullptr, Qt::WindowFlags flags = {});

    Ui_selectDialog ui;

public slots:
    void fileTerrain();
};
