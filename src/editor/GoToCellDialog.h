#pragma once

#include <QDialog>
#include <QPoint>

class QSpinBox;

// Asks for a map cell to go to: its x and y, counted from the terrain's top-left corner.
class GoToCellDialog : public QDialog
{
    Q_OBJECT

public:
    // Starts at cell, allowing those within limits.
    GoToCellDialog(QPoint cell, const QRect &limits, QWidget *parent = nullptr);

    QPoint cell() const;

private:
    QSpinBox *m_x;
    QSpinBox *m_y;
};
