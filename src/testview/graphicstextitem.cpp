#include "graphicstextitem.h"

#include <QBrush>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTextOption>
#include <cmath>

namespace {

// Room between the text and the box's edge, in pixels.
constexpr double kPadX = 2.0;
constexpr double kPadY = 1.0;

} // namespace

CGraphicsTextItem::CGraphicsTextItem(const QString &text, QGraphicsItem *parent)
    : QGraphicsTextItem(parent), m_staticText(text)
{
    setToolTip(text);
    setFlag(QGraphicsItem::ItemIgnoresTransformations);
    m_staticText.setTextFormat(Qt::PlainText);
    m_staticText.setTextOption(QTextOption(Qt::AlignLeft));
    m_staticText.prepare(QTransform(), m_textFont);
    const QFontMetricsF metrics(m_textFont);
    // Whole pixels, so that the box's edges fall on pixel rows and columns.
    m_boxSize = QSizeF(std::ceil(std::max(metrics.horizontalAdvance(text), m_staticText.size().width()) + 2.0 * kPadX),
                       std::ceil(std::max(metrics.height(), m_staticText.size().height()) + 2.0 * kPadY));
}

void CGraphicsTextItem::SetTextColor(const QColor &color)
{
    if (color == m_textColor)
        return;
    m_textColor = color;
    update();
}

void CGraphicsTextItem::SetSide(bool bRight, bool bDown)
{
    if (bRight == m_bRight && bDown == m_bDown)
        return;
    prepareGeometryChange();
    m_bRight = bRight;
    m_bDown = bDown;
}

void CGraphicsTextItem::SetOffset(const QPointF &ptOffset)
{
    if (ptOffset == m_ptOffset)
        return;
    prepareGeometryChange();
    m_ptOffset = ptOffset;
}

QRectF CGraphicsTextItem::Box() const
{
    const double x = m_bRight ? kGap : -kGap - m_boxSize.width();
    const double y = m_bDown ? kGap : -kGap - m_boxSize.height();
    return QRectF(QPointF(x, y) + m_ptOffset, m_boxSize);
}

QRectF CGraphicsTextItem::boundingRect() const
{
    // The outline's pixels lie on the box's edges and one beyond its right
    // and bottom edges.
    return Box().adjusted(-1.0, -1.0, 1.0, 1.0);
}

QPainterPath CGraphicsTextItem::shape() const
{
    QPainterPath path;
    path.addRect(boundingRect());
    return path;
}

void CGraphicsTextItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const QRectF rcBox = Box();
    painter->save();
    painter->setPen(QPen(QBrush(Qt::black), 0));
    painter->setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter->drawRect(rcBox);
    painter->setFont(m_textFont);
    painter->setPen(m_textColor);
    // Centred in the box.
    const QSizeF textSize = m_staticText.size();
    painter->drawStaticText(QPointF(rcBox.left() + (rcBox.width() - textSize.width()) / 2.0,
                                    rcBox.top() + (rcBox.height() - textSize.height()) / 2.0),
                            m_staticText);
    painter->restore();
}
