#include "plotcurve.h"

#include <QPainter>
#include <qwt_scale_map.h>
#include <qwt_symbol.h>

CPlotCurve::CPlotCurve(const QString& strTitle)
    : QwtPlotCurve(strTitle)
{
}

CPlotCurve::~CPlotCurve()
{
    delete m_pOutsideSymbol;
}

void CPlotCurve::SetSymbols(QwtSymbol* pNormal, QwtSymbol* pOutside)
{
    setSymbol(pNormal);
    if (pOutside != m_pOutsideSymbol) {
        delete m_pOutsideSymbol;
        m_pOutsideSymbol = pOutside;
    }
}

void CPlotCurve::SetStandards(const QList<SignalRange>& lstWindows, const QList<uint32_t>& lstDivisions, int nFactor)
{
    m_lstSegmentEnds = lstDivisions;
    m_lstWindows.clear();
    for (const SignalRange& window : lstWindows)
        m_lstWindows.append(qMakePair(double(window.lo) * nFactor, double(window.hi) * nFactor));
}

void CPlotCurve::SetLabels(const QList<QString>& lstLabels)
{
    m_lstLabels.clear();
    for (const QString& strLabel : lstLabels) {
        QwtText label(strLabel);
        label.setColor(Qt::red);
        m_lstLabels.append(label);
    }
}

int CPlotCurve::SegmentOf(int nIndex) const
{
    int nSegment = 0;
    while (nSegment < m_lstSegmentEnds.size() && int64_t(m_lstSegmentEnds.at(nSegment)) < nIndex)
        ++nSegment;
    return nSegment;
}

bool CPlotCurve::IsOutside(int nIndex, double dValue) const
{
    const int nSegment = SegmentOf(nIndex);
    if (nSegment >= m_lstWindows.size())
        return false;
    const QPair<double, double>& window = m_lstWindows.at(nSegment);
    return dValue < window.first || dValue > window.second;
}

void CPlotCurve::drawSymbols(QPainter* painter, const QwtSymbol& symbol, const QwtScaleMap& xMap,
                             const QwtScaleMap& yMap, const QRectF& canvasRect, int from, int to) const
{
    const QwtSymbol& outside = m_pOutsideSymbol ? *m_pOutsideSymbol : symbol;
    const double dHalfSymbol = symbol.size().height() / 2.0;
    int nSegment = SegmentOf(from);
    for (int i = from; i <= to; ++i) {
        while (nSegment < m_lstSegmentEnds.size() && int64_t(m_lstSegmentEnds.at(nSegment)) < i)
            ++nSegment;
        const QPointF sample = this->sample(i);
        const QPointF point(xMap.transform(sample.x()), yMap.transform(sample.y()));
        bool bOutside = false;
        if (nSegment < m_lstWindows.size()) {
            const QPair<double, double>& window = m_lstWindows.at(nSegment);
            bOutside = sample.y() < window.first || sample.y() > window.second;
        }
        if (!bOutside) {
            symbol.drawSymbol(painter, point);
            continue;
        }
        outside.drawSymbol(painter, point);
        if (!m_bShowMark || i >= m_lstLabels.size())
            continue;
        // Turned by -90 degrees: the text runs upwards. It stands above a
        // point in the lower half of the canvas and below one in the upper.
        const QwtText& label = m_lstLabels.at(i);
        const QSizeF size = label.textSize(painter->font());
        painter->save();
        painter->translate(point);
        painter->rotate(-90);
        const bool bLowerHalf = point.y() > canvasRect.center().y();
        const double dX = bLowerHalf ? dHalfSymbol + 2 : -(dHalfSymbol + 2 + size.width());
        label.draw(painter, QRectF(dX, -size.height() / 2, size.width(), size.height()));
        painter->restore();
    }
}
