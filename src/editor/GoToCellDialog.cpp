#include "GoToCellDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

GoToCellDialog::GoToCellDialog(QPoint cell, const QRect &limits, QWidget *parent)
    : QDialog(parent), m_x(new QSpinBox(this)), m_y(new QSpinBox(this))
{
    setWindowTitle(tr("Go to Cell"));
    m_x->setObjectName(QStringLiteral("x"));
    m_y->setObjectName(QStringLiteral("y"));
    m_x->setRange(limits.left(), limits.right());
    m_y->setRange(limits.top(), limits.bottom());
    m_x->setValue(cell.x());
    m_y->setValue(cell.y());
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QFormLayout(this);
    layout->addRow(tr("x"), m_x);
    layout->addRow(tr("y"), m_y);
    layout->addRow(buttons);
    m_x->selectAll();
}

QPoint GoToCellDialog::cell() const
{
    return QPoint(m_x->value(), m_y->value());
}
