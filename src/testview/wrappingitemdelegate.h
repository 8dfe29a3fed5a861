#pragma once

#include <QStyledItemDelegate>

class QTableView;
class QTextLayout;

// Draws a table cell's text wrapped to the cell's width, at spaces where
// there are any and anywhere in a word where there are none (an LED key
// such as "X-T0:[T1:5-R1:7]", an MCU id), never elided; its size hint is the
// height that takes at the column's width. A cell spanning columns wraps to
// the span's width.
class CWrappingItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* pPainter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The height row's cells ask of pView at its columns' widths now (as
    // a row sized to its contents takes it).
    static int RowHeight(const QTableView* pView, int nRow);

    // The lines of text at nWidth pixels in font, laid out from the top left
    // corner; their height in total.
    static qreal LayOut(QTextLayout& layout, const QString& text, const QFont& font, qreal dWidth);

private:
    // The space left and right of the text inside the cell.
    static int TextMargin(const QStyleOptionViewItem& option);
    // The width of the cell of index as laid out now, with its span.
    static int CellWidth(const QStyleOptionViewItem& option, const QModelIndex& index);
};
