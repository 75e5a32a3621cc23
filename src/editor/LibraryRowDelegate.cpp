#include "LibraryRowDelegate.h"

#include <QPainter>

namespace {

constexpr int margin = 3; // pixels left and right of the text

} // namespace

void LibraryRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    if (selected)
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    const QString text = index.data().toString();
    const QFontMetrics &metrics = option.fontMetrics;
    const int width = option.rect.width() - 2 * margin;
    const QString shown = metrics.horizontalAdvance(text) <= width
                              ? text
                              : metrics.elidedText(text, Qt::ElideMiddle, width);
    painter->setPen(
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const int baseline =
        option.rect.top() + (option.rect.height() - metrics.height()) / 2 + metrics.ascent();
    painter->drawText(QPoint(option.rect.left() + margin, baseline), shown);
}

QSize LibraryRowDelegate::sizeHint(const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    return QSize(option.fontMetrics.horizontalAdvance(index.data().toString()) + 2 * margin,
                 option.fontMetrics.height() + 4);
}
