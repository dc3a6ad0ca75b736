#pragma once

#include <QStyledItemDelegate>

namespace core {

// Draws a grid cell in its own text's direction: Arabic reads right to
// left, Latin names left to right, and a text without letters ("011 456",
// "1427/05/09") in the order it was typed. A text too long for its cell is
// cut at its own end with an ellipsis (the right of a Latin name, the left
// of an Arabic one): its beginning always shows. The cells of a column keep
// one alignment, the grid's.
class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The direction of a text: that of its first letter (a character of
    // strong direction); left to right when it has none.
    static Qt::LayoutDirection textDirection(const QString &text);
    // The text as a cell `width` pixels wide shows it: whole when it fits,
    // else its beginning and an ellipsis in place of its end.
    static QString elidedText(const QString &text, const QFontMetrics &metrics, int width);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

} // namespace core
