#include "signalhistogramview.h"

#include "axissignalinfo.h"
#include "touchsignalqwtchartview.h"
#include "ui_signalhistogramview.h"

#include <QPair>

SignalHistogramView::SignalHistogramView(QWidget *parent, CAxisSignalInfo *pAxisInfo, const QString &strAxisName)
    : QWidget(parent), ui(new Ui::SignalHistogramView), m_pAxisInfo(pAxisInfo), m_strAxisName(strAxisName)
{
    ui->setupUi(this);
    CreateCharts(parent);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

SignalHistogramView::~SignalHistogramView()
{
    for (CTouchSignalQwtChartView *pChart : qAsConst(m_mapCharts)) {
        ui->verticalLayout->removeWidget(pChart);
        delete pChart;
    }
    m_mapCharts.clear();
    delete ui;
}

void SignalHistogramView::CreateCharts(QWidget *parent)
{
    if (!m_pAxisInfo)
        return;
    QMap<QString, CDirSignalInfo> &mapDirs = m_pAxisInfo->GetDirMap();
    for (auto it = mapDirs.begin(); it != mapDirs.end(); ++it) {
        auto *pChart = new CTouchSignalQwtChartView(parent, &it.value(), qMakePair(m_strAxisName, it.key()));
        m_mapCharts.insert(m_strAxisName + QLatin1Char('-') + it.key(), pChart);
        // The layout takes the chart into this view.
        ui->verticalLayout->addWidget(pChart, 0, Qt::Alignment());
    }
}

void SignalHistogramView::UpdateHistogramData(QString key, QList<uint32_t> testData)
{
    if (m_mapCharts.isEmpty())
        return;
    const auto it = m_mapCharts.constFind(key);
    if (it == m_mapCharts.cend())
        return;
    it.value()->SetChartData(testData);
}
