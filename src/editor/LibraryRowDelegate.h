#pragma once

#include <QAbstractItemDelegate>

// Draws the cells of the library filter's rows as plain single lines of text, elided only where
// they do not fit: a keystroke in the filter repaints a whole list of them.
class LibraryRowDelegate : public QAbstractItemDelegate
{
    Q_OBJECT

public:
    using QAbstractItemDelegate::QAbstractItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
