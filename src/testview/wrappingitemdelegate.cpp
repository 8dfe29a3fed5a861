#include "wrappingitemdelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTableView>
#include <QTextLayout>
#include <QtMath>

qreal CWrappingItemDelegate::LayOut(QTextLayout& layout, const QString& text, const QFont& font, qreal dWidth)
{
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setText(text);
    layout.setFont(font);
    layout.setTextOption(textOption);
    // Line under line, as the style lays out the text of an item.
    qreal dHeight = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax<qreal>(dWidth, 1));
        line.setPosition(QPointF(0, dHeight));
        dHeight += line.height();
    }
    layout.endLayout();
    return dHeight;
}

int CWrappingItemDelegate::RowHeight(const QTableView* pView, int nRow)
{
    const QAbstractItemModel* pModel = pView->model();
    if (!pModel)
        return 0;
    QStyleOptionViewItem option;
    option.initFrom(pView);
    option.widget = pView;
    option.font = pView->font();
    option.rect = QRect(0, 0, 0, 1);
    int nHeight = 0;
    for (int c = 0; c < pModel->columnCount(pView->rootIndex()); ++c) {
        if (pView->isColumnHidden(c))
            continue;
        const QModelIndex index = pModel->index(nRow, c, pView->rootIndex());
        option.rect.setWidth(pView->columnWidth(c));
        nHeight = qMax(nHeight, pView->itemDelegate(index)->sizeHint(option, index).height());
    }
    return nHeight;
}

int CWrappingItemDelegate::TextMargin(const QStyleOptionViewItem& option)
{
    const QWidget* pWidget = option.widget;
    const QStyle* pStyle = pWidget ? pWidget->style() : QApplication::style();
    return pStyle->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, pWidget) + 1;
}

int CWrappingItemDelegate::CellWidth(const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const auto* pView = qobject_cast<const QTableView*>(option.widget);
    if (!pView)
        return option.rect.width();
    int nWidth = 0;
    const int nSpan = qMax(1, pView->columnSpan(index.row(), index.column()));
    for (int c = index.column(); c < index.column() + nSpan; ++c)
        nWidth += pView->columnWidth(c);
    // The grid line takes the last pixel.
    return pView->showGrid() ? nWidth - 1 : nWidth;
}

void CWrappingItemDelegate::paint(QPainter* pPainter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    const QWidget* pWidget = opt.widget;
    QStyle* pStyle = pWidget ? pWidget->style() : QApplication::style();

    // Background, selection and focus as the style draws them; the text here.
    opt.text.clear();
    pStyle->drawControl(QStyle::CE_ItemViewItem, &opt, pPainter, pWidget);
    if (text.isEmpty())
        return;

    const int nMargin = TextMargin(opt);
    const QRect textRect = opt.rect.adjusted(nMargin, 0, -nMargin, 0);
    QTextLayout layout;
    const qreal dHeight = LayOut(layout, text, opt.font, textRect.width());

    pPainter->save();
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active)  ? QPalette::Normal
                                                                             : QPalette::Inactive;
    pPainter->setPen(opt.palette.color(group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                                   : QPalette::Text));
    pPainter->setFont(opt.font);
    pPainter->setClipRect(opt.rect);
    qreal dTop = textRect.top();
    if (opt.displayAlignment & Qt::AlignVCenter)
        dTop += (textRect.height() - dHeight) / 2;
    else if (opt.displayAlignment & Qt::AlignBottom)
        dTop += textRect.height() - dHeight;
    const Qt::Alignment horizontal = QStyle::visualAlignment(opt.direction, opt.displayAlignment);
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        qreal dLeft = textRect.left();
        if (horizontal & Qt::AlignHCenter)
            dLeft += (textRect.width() - line.naturalTextWidth()) / 2;
        else if (horizontal & Qt::AlignRight)
            dLeft += textRect.width() - line.naturalTextWidth();
        line.draw(pPainter, QPointF(dLeft, dTop) - QPointF(line.x(), 0));
    }
    pPainter->restore();
}

QSize CWrappingItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QSize one = QStyledItemDelegate::sizeHint(option, index);
    if (opt.text.isEmpty())
        return one;
    const int nMargin = TextMargin(opt);
    const int nWidth = CellWidth(opt, index);
    if (nWidth <= 2 * nMargin)
        return one;
    QTextLayout layout;
    const qreal dHeight = LayOut(layout, opt.text, opt.font, nWidth - 2 * nMargin);
    // The style's hint for one line of text holds the frame around the text.
    QStyleOptionViewItem line = opt;
    line.text = QStringLiteral("X");
    line.features &= ~QStyleOptionViewItem::WrapText;
    const QWidget* pWidget = opt.widget;
    const QStyle* pStyle = pWidget ? pWidget->style() : QApplication::style();
    const int nLine = pStyle->sizeFromContents(QStyle::CT_ItemViewItem, &line, QSize(), pWidget).height();
    const int nFrame = qMax(0, nLine - QFontMetrics(opt.font).height());
    return QSize(one.width(), qMax(nLine, qCeil(dHeight) + nFrame));
}
