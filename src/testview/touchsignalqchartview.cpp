#include "touchsignalqchartview.h"

#include "dirsignalinfo.h"
#include "signalkind.h"

#include <QColor>
#include <QPainter>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

CTouchSignalQChartView::CTouchSignalQChartView(QWidget *parent, CDirSignalInfo *pDirInfo,
                                               const QPair<QString, QString> &key)
    // Built over a chart of its own: the view's parent-only constructor makes
    // a chart that setChart() would drop without deleting it.
    : QChartView(new QChart(), parent), m_pChart(chart()), m_key(key)
{
    if (pDirInfo) {
        // Looked up without adding an "ADC" entry to the direction; the
        // recorded frames are not needed, only the windows.
        if (const CSignalTypeInfo *pAdc = pDirInfo->FindType(SignalKind::kAdc))
            m_adcInfo = *pAdc;
        m_adcInfo.ClearTestData();
    }
    const int nLabels = pDirInfo ? pDirInfo->GetSignalLabels().size() : 0;

    m_pBarSet = new QBarSet(key.first + QLatin1Char(':') + key.second);
    m_pBarSet->setColor(QColor(0, 255, 0));
    QList<qreal> lstZeros;
    lstZeros.reserve(nLabels);
    for (int i = 0; i < nLabels; ++i)
        lstZeros.append(0.0);
    m_pBarSet->append(lstZeros);

    m_pSeries = new QBarSeries();
    m_pSeries->append(m_pBarSet);

    m_pChart->addSeries(m_pSeries);
    m_pChart->setAnimationOptions(QChart::SeriesAnimations);
    m_pChart->legend()->setVisible(true);
    m_pChart->legend()->setAlignment(Qt::AlignLeft);

    m_pAxisX = new QValueAxis();
    m_pAxisX->setRange(0, nLabels);
    m_pAxisX->setTickCount(4);
    m_pAxisX->setLabelFormat(QStringLiteral("%d"));
    m_pAxisX->setLabelsVisible(false);
    m_pChart->addAxis(m_pAxisX, Qt::AlignBottom);
    m_pSeries->attachAxis(m_pAxisX);

    m_pAxisY = new QValueAxis();
    m_pAxisY->setRange(0, 1020);
    m_pAxisY->setTickCount(5);
    m_pAxisY->setLabelFormat(QStringLiteral("%d"));
    m_pAxisY->setLabelsVisible(false);
    m_pChart->addAxis(m_pAxisY, Qt::AlignLeft);
    m_pSeries->attachAxis(m_pAxisY);

    setRenderHint(QPainter::Antialiasing);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    policy.setHorizontalStretch(1);
    policy.setVerticalStretch(1);
    setSizePolicy(policy);
}

CTouchSignalQChartView::~CTouchSignalQChartView()
{
    // Bar set, series, axes, chart: each taken back from its owner first.
    m_pSeries->take(m_pBarSet);
    delete m_pBarSet;
    m_pChart->removeSeries(m_pSeries);
    delete m_pSeries;
    m_pChart->removeAxis(m_pAxisX);
    delete m_pAxisX;
    m_pChart->removeAxis(m_pAxisY);
    delete m_pAxisY;
    delete m_pChart;
}

void CTouchSignalQChartView::SetChartData(QList<uint32_t> lstData)
{
    const int nBars = m_pBarSet->count();
    QList<qreal> lstExtra;
    for (int i = 0; i < lstData.size(); ++i) {
        const qreal dValue = lstData.at(i) * m_dScale;
        if (i < nBars)
            m_pBarSet->replace(i, dValue);
        else
            lstExtra.append(dValue);
    }
    if (!lstExtra.isEmpty())
        m_pBarSet->append(lstExtra);
    viewport()->update();
}
