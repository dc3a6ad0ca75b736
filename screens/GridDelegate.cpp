#include "screens/GridDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QStyle>

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

QString GridDelegate::elidedText(const QString &text, const QFontMetrics &metrics, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    // The start of the text in reading order stays; the ellipsis takes the
    // place of its end. Shown in the text's own direction, that end is the
    // right of a Latin text and the left of an Arabic one.
    return metrics.elidedText(text, Qt::ElideRight, qMax(0, width));
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
}

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QWidget *widget = cell.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    // A cell partly scrolled out of the grid shows in the part that is in
    // view: its text is cut to that room, at its own end, instead of the
    // grid's edge cutting off whichever end lies beyond it (the beginning
    // of a Latin name in a right-to-left grid).
    if (const auto *view = qobject_cast<const QAbstractItemView *>(widget)) {
        const QRect shown = cell.rect & view->viewport()->rect();
        if (!shown.isEmpty())
            cell.rect = shown;
    }
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    cell.text = elidedText(cell.text, cell.fontMetrics, cell.rect.width() - 2 * margin);
    cell.textElideMode = Qt::ElideNone;
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
}

} // namespace core
