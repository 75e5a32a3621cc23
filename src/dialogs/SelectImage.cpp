#include "SelectImage.h"

#include <QFileDialog>

SelectImage::SelectImage(QWidget *parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
    ui.setupUi(this);
    connect(ui.pushTerrain, &QPushButton::clicked, this, &SelectImage::fileTerrain);
}

void SelectImage::fileTerrain()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Select terrain image file"));
    if (!path.isEmpty())
        ui.lineTerrain->setText(path);
}
