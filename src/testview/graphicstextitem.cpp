#include "graphicstextitem.h"

#include <QBrush>
#include <QEvent>
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
    setAcceptedMouseButtons(Qt::NoButton);
    setAcceptHoverEvents(false);
    setAcceptDrops(false);
    m_staticText.setTextFormat(Qt::PlainText);
    m_staticText.setTextOption(QTextOption(Qt::AlignLeft));
    m_staticText.prepare(QTransform(), m_textFont);
    m_boxSize = BoxSizeOf(text, m_textFont, m_staticText);
}

QSizeF CGraphicsTextItem::BoxSizeOf(const QString &text, const QFont &font, const QStaticText &prepared)
{
    const QFontMetricsF metrics(font);
    // Whole pixels, so that the box's edges fall on pixel rows and columns.
    return QSizeF(std::ceil(std::max(metrics.horizontalAdvance(text), prepared.size().width()) + 2.0 * kPadX),
                  std::ceil(std::max(metrics.height(), prepared.size().height()) + 2.0 * kPadY));
}

QSizeF CGraphicsTextItem::BoxSize(const QString &text, const QFont &font)
{
    QStaticText prepared(text);
    prepared.setTextFormat(Qt::PlainText);
    prepared.setTextOption(QTextOption(Qt::AlignLeft));
    prepared.prepare(QTransform(), font);
    return BoxSizeOf(text, font, prepared);
}

QRectF CGraphicsTextItem::Bounds(const QSizeF &boxSize, bool bRight, bool bDown, const QPointF &ptOffset)
{
    // The outline's pixels lie on the box's edges and one beyond its right
    // and bottom edges.
    return BoxAt(boxSize, bRight, bDown, ptOffset).adjusted(-1.0, -1.0, 1.0, 1.0);
}

bool CGraphicsTextItem::sceneEvent(QEvent *event)
{
    event->ignore();
    return false;
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

QRectF CGraphicsTextItem::BoxAt(const QSizeF &boxSize, bool bRight, bool bDown, const QPointF &ptOffset)
{
    const double x = bRight ? kGap : -kGap - boxSize.width();
    const double y = bDown ? kGap : -kGap - boxSize.height();
    return QRectF(QPointF(x, y) + ptOffset, boxSize);
}

QRectF CGraphicsTextItem::Box() const
{
    return BoxAt(m_boxSize, m_bRight, m_bDown, m_ptOffset);
}

QRectF CGraphicsTextItem::boundingRect() const
{
    return Bounds(m_boxSize, m_bRight, m_bDown, m_ptOffset);
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
