#pragma once

#include "signalrange.h"

#include <QList>
#include <QString>
#include <qwt_plot_curve.h>
#include <qwt_text.h>

#include <cstdint>

class QwtSymbol;

// A signal curve that knows the test windows of its LED segments: readings
// outside their window are drawn with the out-of-window symbol and, while
// "show mark" is on, labelled with their LED's text.
class CPlotCurve : public QwtPlotCurve
{
public:
    explicit CPlotCurve(const QString& strTitle = QString());
    ~CPlotCurve() override;

    void SetShowMark(bool bShow) { m_bShowMark = bShow; }
    bool ShowMark() const { return m_bShowMark; }
    // The normal symbol becomes the curve's symbol (owned by the curve); the
    // out-of-window one is owned here.
    void SetSymbols(QwtSymbol* pNormal, QwtSymbol* pOutside);
    // Windows (both ends multiplied by nFactor) and segment ends (the
    // divisions: inclusive LED indices).
    void SetStandards(const QList<SignalRange>& lstWindows, const QList<uint32_t>& lstDivisions, int nFactor);
    void SetLabels(const QList<QString>& lstLabels);

    const QList<QPair<double, double>>& Windows() const { return m_lstWindows; }

    // The window segment of point nIndex (0 up to the number of divisions).
    int SegmentOf(int nIndex) const;
    // True when the point lies outside the window of its segment.
    bool IsOutside(int nIndex, double dValue) const;

protected:
    void drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                     const QRectF& canvasRect, int from, int to) const override;

private:
    bool m_bShowMark = false;
    QwtSymbol* m_pOutsideSymbol = nullptr;
    QList<QwtText> m_lstLabels;
    QList<QPair<double, double>> m_lstWindows;
    QList<uint32_t> m_lstSegmentEnds;
};
