#include "touchsignalqwtchartview.h"

#include "dirsignalinfo.h"
#include "signalkind.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QVector>
#include <QtDebug>
#include <cmath>
#include <qwt_column_symbol.h>
#include <qwt_legend.h>
#include <qwt_painter.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_multi_barchart.h>
#include <qwt_samples.h>

namespace {

QwtColumnSymbol *BarSymbol(const char *pszColor)
{
    auto *pSymbol = new QwtColumnSymbol(QwtColumnSymbol::Box);
    pSymbol->setLineWidth(2);
    pSymbol->setFrameStyle(QwtColumnSymbol::Raised);
    pSymbol->setPalette(QPalette(QColor(QLatin1String(pszColor))));
    return pSymbol;
}

// Bars drawn as their column symbols draw them, from a picture of each bar
// kept per column, direction and size in pixels. On screen every bar lies on
// whole pixels and its colours are opaque, so a bar drawn once at a place of
// its own and copied to its spot covers the same pixels with the same
// colours. Six charts of hundreds of bars, redrawn whenever the readings
// change, would otherwise spend most of the GUI thread's time rasterising
// the raised frames bar by bar. The symbols are set once, when the chart is
// built. Anything else (a scaled painter, a printer, a bar at or past the
// edge of the drawing) is drawn by the chart itself.
class CBarChart : public QwtPlotMultiBarChart
{
public:
    using QwtPlotMultiBarChart::QwtPlotMultiBarChart;

protected:
    void drawBar(QPainter *painter, int sampleIndex, int valueIndex, const QwtColumnRect &rect) const override
    {
        const QwtColumnSymbol *pSymbol = symbol(valueIndex);
        const QTransform &transform = painter->transform();
        const QRectF r = rect.toRect();
        const bool bPlain = pSymbol && painter->paintEngine() && painter->paintEngine()->type() == QPaintEngine::Raster
            && transform.type() <= QTransform::TxTranslate && transform.dx() == std::floor(transform.dx())
            && transform.dy() == std::floor(transform.dy()) && QwtPainter::roundingAlignment(painter)
            && std::isfinite(r.left()) && std::isfinite(r.right()) && std::isfinite(r.top())
            && std::isfinite(r.bottom()) && std::abs(r.left()) < kLargest && std::abs(r.right()) < kLargest
            && std::abs(r.top()) < kLargest && std::abs(r.bottom()) < kLargest;
        if (!bPlain) {
            QwtPlotMultiBarChart::drawBar(painter, sampleIndex, valueIndex, rect);
            return;
        }
        const int nLeft = qRound(r.left()), nTop = qRound(r.top());
        const int nWidth = qRound(r.right()) - nLeft, nHeight = qRound(r.bottom()) - nTop;
        // A bar that reaches past the drawing (a reading above the scale)
        // is left to the chart, which handles what lies outside.
        const QRect rcDevice(0, 0, painter->device()->width(), painter->device()->height());
        const QRect rcBar = QRect(nLeft, nTop, nWidth + 1, nHeight + 1)
                                .translated(int(transform.dx()), int(transform.dy()))
                                .adjusted(-kPad, -kPad, kPad, kPad);
        if (nWidth < 0 || nHeight < 0 || nWidth > kLargestPicture || nHeight > kLargestPicture
            || !rcDevice.adjusted(kPad, kPad, -kPad, -kPad).contains(rcBar)
            || (painter->hasClipping()
                && !painter->clipBoundingRect().contains(
                    QRectF(nLeft - kPad, nTop - kPad, nWidth + 1 + 2 * kPad, nHeight + 1 + 2 * kPad)))) {
            QwtPlotMultiBarChart::drawBar(painter, sampleIndex, valueIndex, rect);
            return;
        }
        const quint64 nKey = (quint64(quint16(valueIndex)) << 48) | (quint64(quint8(rect.direction)) << 40)
            | (quint64(nWidth) << 20) | quint64(nHeight);
        auto it = m_pictures.find(nKey);
        if (it == m_pictures.end()) {
            if (m_pictures.size() >= kMostPictures)
                m_pictures.clear();
            QImage picture(nWidth + 1 + 2 * kPad, nHeight + 1 + 2 * kPad, QImage::Format_ARGB32_Premultiplied);
            picture.fill(Qt::transparent);
            QPainter p(&picture);
            QwtColumnRect placed = rect;
            placed.hInterval = QwtInterval(kPad, kPad + nWidth);
            placed.vInterval = QwtInterval(kPad, kPad + nHeight);
            if (rect.hInterval.minValue() > rect.hInterval.maxValue())
                placed.hInterval = placed.hInterval.inverted();
            if (rect.vInterval.minValue() > rect.vInterval.maxValue())
                placed.vInterval = placed.vInterval.inverted();
            pSymbol->draw(&p, placed);
            p.end();
            it = m_pictures.insert(nKey, picture);
        }
        painter->drawImage(QPoint(nLeft - kPad, nTop - kPad), *it);
    }

private:
    static constexpr int kPad = 2;
    static constexpr int kLargestPicture = 4096;
    static constexpr int kMostPictures = 4096;
    static constexpr double kLargest = 1e6;
    mutable QHash<quint64, QImage> m_pictures;
};

} // namespace

CTouchSignalQwtChartView::CTouchSignalQwtChartView(QWidget *parent, CDirSignalInfo *pDirInfo,
                                                   const QPair<QString, QString> &key)
    : QwtPlot(parent)
{
    // A copy of the direction's "ADC" record as it stands now, looked up
    // without adding the entry to the test core's record; only its windows
    // are used, so its recorded frames are dropped.
    if (pDirInfo) {
        if (const CSignalTypeInfo *pAdc = pDirInfo->FindType(SignalKind::kAdc))
            m_adcInfo = *pAdc;
        m_adcInfo.ClearTestData();
    }
    m_bLive = true;
    m_key = key;
    m_dScale = 4.0;
    m_pDirInfo = pDirInfo;
    m_nLabelCount = pDirInfo ? pDirInfo->GetSignalLabels().size() : 0;

    const QString strTitle = key.first + QLatin1Char(':') + key.second;
    m_pBarChart = new CBarChart(strTitle);

    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    setTitle(strTitle);
    setAxisTitle(QwtPlot::yLeft, tr("Standard"));

    setFrameStyle(0);
    setLineWidth(0);
    setPalette(QPalette(QColor(255, 255, 255, 255)));

    m_pCanvas = new QwtPlotCanvas();
    m_pCanvas->setFrameStyle(0);
    setCanvas(m_pCanvas);

    setAxisScale(QwtPlot::xBottom, 0, m_nLabelCount - 1);
    enableAxis(QwtPlot::xBottom, false);

    setAxisScale(QwtPlot::yLeft, -10, 1020);
    setAxisMaxMajor(QwtPlot::yLeft, 2);
    setAxisMaxMinor(QwtPlot::yLeft, 2);

    m_pGrid = new QwtPlotGrid();
    m_pGrid->enableX(false);
    m_pGrid->enableXMin(true);
    m_pGrid->enableYMin(true);
    const QPen gridPen(QColor(193, 193, 193, 255), 1.0, Qt::SolidLine);
    m_pGrid->setMajorPen(gridPen);
    m_pGrid->setMinorPen(gridPen);
    m_pGrid->attach(this);

    m_pBarChart->setLayoutPolicy(QwtPlotAbstractBarChart::AutoAdjustSamples);
    m_pBarChart->setSpacing(2);
    m_pBarChart->setMargin(1);
    m_pBarChart->setStyle(QwtPlotMultiBarChart::Stacked);
    m_pOutSymbol = BarSymbol("Red");
    m_pInSymbol = BarSymbol("Green");
    m_pBarChart->setSymbol(0, m_pOutSymbol);
    m_pBarChart->setSymbol(1, m_pInSymbol);

    insertLegend(new QwtLegend(), QwtPlot::RightLegend, -1);

    m_pBarChart->attach(this);
    replot();
    setAutoReplot(true);
}

CTouchSignalQwtChartView::~CTouchSignalQwtChartView()
{
    qDebug().noquote() << QStringLiteral("~CTouchSignalQwtChartView") + QStringLiteral(": free ") + QLatin1Char('(')
            + m_key.first + QStringLiteral(", ") + m_key.second + QLatin1Char(')');
    m_bLive = false;
    // The plot deletes its attached items (the bar chart deletes its symbols),
    // its canvas and its legend.
}

void CTouchSignalQwtChartView::SetChartData(QList<uint32_t> lstData)
{
    if (!m_bLive)
        return;
    // The same readings give the same bars: the plot is left as it stands
    // rather than drawn again.
    if (m_bShowsData && lstData == m_lstShown)
        return;
    // The first window judges every bar; without one every bar is red.
    const QList<SignalRange> &lstWindows = m_adcInfo.GetTestStandards();
    const bool bWindow = !lstWindows.isEmpty();
    const SignalRange window = bWindow ? lstWindows.first() : SignalRange();

    QVector<QwtSetSample> vecSamples;
    vecSamples.reserve(lstData.size());
    for (int i = 0; i < lstData.size() && m_bLive; ++i) {
        const uint32_t v = lstData.at(i);
        const double h = v == 0 ? m_dScale : m_dScale * v;
        const bool bInside = bWindow && window.lo <= v && v <= window.hi;
        QVector<double> set(2);
        set[0] = bInside ? 0.0 : h;
        set[1] = bInside ? h : 0.0;
        vecSamples.append(QwtSetSample(i, set));
    }
    m_lstShown = lstData;
    m_bShowsData = m_bLive;
    m_pBarChart->setSamples(vecSamples);
}

void CTouchSignalQwtChartView::ClearChartData()
{
    if (!m_bLive)
        return;
    m_lstShown.clear();
    m_bShowsData = false;
    QVector<QwtSetSample> vecSamples;
    vecSamples.reserve(m_nLabelCount);
    for (int i = 0; i < m_nLabelCount; ++i)
        vecSamples.append(QwtSetSample(i, QVector<double>(2, 0.0)));
    m_pBarChart->setSamples(vecSamples);
}
