#pragma once

#include "signaltypeinfo.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QtCharts/QChartView>
#include <cstdint>

class CDirSignalInfo;

namespace QtCharts {
class QBarSeries;
class QBarSet;
class QChart;
class QValueAxis;
} // namespace QtCharts

// A bar chart of one direction of one axis over Qt Charts: one green bar per
// LED, four units high per unit of reading. The histograms of the test view
// use CTouchSignalQwtChartView; this one is kept beside it.
class CTouchSignalQChartView : public QtCharts::QChartView
{
    Q_OBJECT

public:
    // pDirInfo may be null (no bars); the key is (axis name, direction name).
    CTouchSignalQChartView(QWidget *parent, CDirSignalInfo *pDirInfo, const QPair<QString, QString> &key);
    ~CTouchSignalQChartView() override;

    // Bar i becomes reading i × 4.0; readings beyond the bars are appended.
    void SetChartData(QList<uint32_t> lstData);

    QtCharts::QBarSet *BarSet() const { return m_pBarSet; }
    QtCharts::QBarSeries *Series() const { return m_pSeries; }
    QtCharts::QValueAxis *AxisX() const { return m_pAxisX; }
    QtCharts::QValueAxis *AxisY() const { return m_pAxisY; }
    const CSignalTypeInfo &AdcInfo() const { return m_adcInfo; }

private:
    QtCharts::QChart *m_pChart = nullptr;
    QtCharts::QBarSeries *m_pSeries = nullptr;
    QtCharts::QBarSet *m_pBarSet = nullptr;
    QtCharts::QValueAxis *m_pAxisX = nullptr;
    QtCharts::QValueAxis *m_pAxisY = nullptr;
    CSignalTypeInfo m_adcInfo;
    QPair<QString, QString> m_key;
    double m_dScale = 4.0;
};
