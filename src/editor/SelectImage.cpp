#include "SelectImage.h"

#include "ui_selectDialog.h"

#include <QFileDialog>

SelectImage::SelectImage(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), m_ui(std::make_unique<Ui_selectDialog>())
{
    m_ui->setupUi(this);
    connect(m_ui->pushTerrain, &QPushButton::clicked, this, &SelectImage::fileTerrain);
}

SelectImage::~SelectImage() = default;

void SelectImage::fileTerrain()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Select terrain image file"));
    if (!path.isEmpty())
        m_ui->lineTerrain->setText(path);
}

QString SelectImage::terrainPath() const
{
    return m_ui->lineTerrain->text();
}

void SelectImage::setTerrainPath(const QString &path)
{
    m_ui->lineTerrain->setText(path);
}
