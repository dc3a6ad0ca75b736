#include "screens/GridDelegate.h"

namespace core {

Qt::LayoutDirection GridDelegate::textDirection(const QString &text)
{
    for (const QChar c : text) {
        switch (c.direction()) {
        case QChar::DirL:
            return Qt::LeftToRight;
        case QChar::DirR:
        case QChar::DirAL:
            return Qt::RightToLeft;
        default:
            break;
        }
    }
    // Digits, blanks and signs alone keep the order they were typed in.
    return Qt::LeftToRight;
}

void GridDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const Qt::LayoutDirection grid = option->direction;
    // The column's alignment is fixed on the screen (leading side of the
    // grid), whatever the direction of this cell's text.
    const Qt::Alignment side = grid == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    option->displayAlignment = side | Qt::AlignAbsolute | Qt::AlignVCenter;
    option->direction = textDirection(option->text);
    // The end of the text in reading order: the right of a Latin text, the
    // left of an Arabic one.
    option->textElideMode = Qt::ElideRight;
}

} // namespace core
