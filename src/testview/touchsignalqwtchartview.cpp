#include "touchsignalqwtchartview.h"

#include "dirsignalinfo.h"

#include <QColor>
#include <QPalette>
#include <QPen>
#include <QVector>
#include <QtDebug>
#include <qwt_column_symbol.h>
#include <qwt_legend.h>
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

} // namespace

CTouchSignalQwtChartView::CTouchSignalQwtChartView(QWidget *parent, CDirSignalInfo *pDirInfo,
                                                   const QPair<QString, QString> &key)
    : QwtPlot(parent)
{
    // A copy of the direction's "ADC" record as it stands now, looked up
    // without adding the entry to the test core's record; only its windows
    // are used, so its recorded frames are dropped.
    if (pDirInfo) {
        if (const CSignalTypeInfo *pAdc = pDirInfo->FindType(QStringLiteral("ADC")))
            m_adcInfo = *pAdc;
        m_adcInfo.ClearTestData();
    }
    m_bLive = true;
    m_key = key;
    m_dScale = 4.0;
    m_pDirInfo = pDirInfo;
    m_nLabelCount = pDirInfo ? pDirInfo->GetSignalLabels().size() : 0;

    const QString strTitle = key.first + QLatin1Char(':') + key.second;
    m_pBarChart = new QwtPlotMultiBarChart(strTitle);

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
