#include "plotmarker.h"

#include <QPainter>
#include <qwt_scale_map.h>

CPlotMarker::CPlotMarker(const QString& strTitle)
    : QwtPlotMarker(strTitle),
      m_range(-2147483648.0, -2147483648.0, 4294967295.0, 4294967295.0)
{
}

void CPlotMarker::SetXRange(double x1, double x2)
{
    m_range.setX(x1);
    m_range.setWidth(x2 - x1);
}

void CPlotMarker::SetYRange(double y1, double y2)
{
    m_range.setY(y1);
    m_range.setHeight(y2 - y1);
}

void CPlotMarker::draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                       const QRectF& canvasRect) const
{
    const QRectF limit = canvasRect & QwtScaleMap::transform(xMap, yMap, m_range).normalized();
    if (limit.isEmpty())
        return;
    painter->save();
    painter->setClipRect(limit, Qt::IntersectClip);
    QwtPlotMarker::draw(painter, xMap, yMap, limit);
    painter->restore();
}
