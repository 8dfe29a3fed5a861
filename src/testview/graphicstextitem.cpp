#include "graphicstextitem.h"

#include "diagramvalue.h"

#include <QGraphicsScene>
#include <QPainter>
#include <QTextOption>
#include <cmath>

CGraphicsTextItem::CGraphicsTextItem(const QString &text, QGraphicsItem *parent)
    : QGraphicsTextItem(text, parent)
{
    setToolTip(text);
}

void CGraphicsTextItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    // 1/sx and 1/sy are the view's current scale: drawing scaled by (sx, sy)
    // undoes the zoom.
    const QRectF rcScene = scene() ? scene()->sceneRect() : QRectF();
    const QRect rcViewport = painter->viewport();
    if (rcViewport.width() > 0 && rcViewport.height() > 0) {
        const double sx = rcScene.width() / rcViewport.width();
        const double sy = rcScene.height() / rcViewport.height();
        if (std::isfinite(sx) && std::isfinite(sy) && sx > 0.0 && sy > 0.0) {
            m_dLastSx = sx;
            m_dLastSy = sy;
        }
    }

    const QRectF rcBounds = boundingRect();
    const QPointF ptWanted(DiagramValue::Finite(m_dLastSy * rcBounds.height() / 2.0), 0.0);
    if (pos() != ptWanted)
        setPos(ptWanted);

    painter->save();
    painter->setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter->scale(m_dLastSx, m_dLastSy);
    if (m_staticText.text().isNull() || m_rcTextBounds != rcBounds || m_textFont != painter->font()) {
        const QString strText = toPlainText();
        m_rcTextBounds = rcBounds;
        m_textFont = painter->font();
        m_rcText = painter->boundingRect(rcBounds, Qt::AlignHCenter | Qt::AlignVCenter, strText);
        m_staticText = QStaticText(strText);
        m_staticText.setTextFormat(Qt::PlainText);
        m_staticText.setTextOption(QTextOption());
    }
    painter->drawRect(m_rcText);
    painter->setPen(defaultTextColor());
    painter->drawStaticText(m_rcText.topLeft(), m_staticText);
    painter->restore();
}
