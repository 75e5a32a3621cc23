#include "SelectImage.h"

#include "ui_selectDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>

SelectImage::SelectImage(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), m_ui(std::make_unique<Ui_selectDialog>())
{
    m_ui->setupUi(this);
    connect(m_ui->pushTerrain, &QPushButton::clicked, this, &SelectImage::fileTerrain);
}

SelectImage::~SelectImage() = default;

void SelectImage::fileTerrain()
{
    // Every format this build reads, then anything: a terrain named oddly still opens.
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    const QString filters = tr("Images (%1)").arg(patterns.join(QLatin1Char(' '))) +
                            QStringLiteral(";;") + tr("All files (*)");
    const QString path = QFileDialog::getOpenFileName(this, tr("Select terrain image file"),
                                                      m_browseFolder, filters);
    if (path.isEmpty())
        return;
    m_browseFolder = QFileInfo(path).absolutePath();
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
