#pragma once

#include <QRectF>
#include <qwt_plot_marker.h>

// A plot marker whose lines stop at a rectangle in plot coordinates (a test
// window's line over its own LED segment). The rectangle covers everything
// until it is narrowed.
class CPlotMarker : public QwtPlotMarker
{
public:
    explicit CPlotMarker(const QString& strTitle = QString());

    void SetXRange(double x1, double x2);
    void SetYRange(double y1, double y2);
    const QRectF& BoundingRange() const { return m_range; }

    void draw(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
              const QRectF& canvasRect) const override;

private:
    QRectF m_range;
};
