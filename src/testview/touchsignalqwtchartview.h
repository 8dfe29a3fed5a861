#pragma once

#include "signaltypeinfo.h"

#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>
#include <qwt_plot.h>

class CDirSignalInfo;
class QwtColumnSymbol;
class QwtPlotCanvas;
class QwtPlotGrid;
class QwtPlotMultiBarChart;

// The bars of one direction of one axis: one bar per LED, four units high
// per unit of reading (a reading of 0 stands 4 high, like 1), green when the
// reading lies inside the direction's first "ADC" test window, red otherwise.
// The window is the one the record held when the chart was built; a record
// without a window draws every bar red.
class CTouchSignalQwtChartView : public QwtPlot
{
    Q_OBJECT

public:
    // pDirInfo may be null (a chart without labels and without a window); the
    // key is (axis name, direction name).
    CTouchSignalQwtChartView(QWidget *parent, CDirSignalInfo *pDirInfo, const QPair<QString, QString> &key);
    ~CTouchSignalQwtChartView() override;

    // Replaces every bar by the bars of these readings, in one call to the
    // bar chart (so the plot redraws once).
    void SetChartData(QList<uint32_t> lstData);
    // One bar of zeros per LED label the direction had when the chart was built.
    void ClearChartData();

    const QPair<QString, QString> &Key() const { return m_key; }
    const CSignalTypeInfo &AdcInfo() const { return m_adcInfo; }
    const QwtPlotMultiBarChart *BarChart() const { return m_pBarChart; }

private:
    QwtPlotMultiBarChart *m_pBarChart = nullptr;
    QwtPlotGrid *m_pGrid = nullptr;
    QwtColumnSymbol *m_pOutSymbol = nullptr;
    QwtColumnSymbol *m_pInSymbol = nullptr;
    QwtPlotCanvas *m_pCanvas = nullptr;
    CDirSignalInfo *m_pDirInfo = nullptr;
    CSignalTypeInfo m_adcInfo;
    QPair<QString, QString> m_key;
    double m_dScale = 4.0;
    bool m_bLive = false;
    int m_nLabelCount = 0;
    // The readings the bars show (valid while m_bShowsData is set).
    QList<uint32_t> m_lstShown;
    bool m_bShowsData = false;
};
