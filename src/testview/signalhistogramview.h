#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>
#include <cstdint>

class CAxisSignalInfo;
class CTouchSignalQwtChartView;

namespace Ui {
class SignalHistogramView;
}

// The histograms of one axis: one bar chart per direction, stacked in
// ascending order of direction names. The directions, each chart's range and
// each chart's test window are those of the axis record when the view was
// built; later readings only change the bars.
class SignalHistogramView : public QWidget
{
    Q_OBJECT

public:
    // pAxisInfo is read only here (null: a view without charts).
    SignalHistogramView(QWidget *parent, CAxisSignalInfo *pAxisInfo, const QString &strAxisName);
    ~SignalHistogramView() override;

    // The charts, keyed "<axis>-<direction>".
    const QMap<QString, CTouchSignalQwtChartView *> &Charts() const { return m_mapCharts; }

public slots:
    // Shows the readings in the chart stored under key ("<axis>-<direction>");
    // a key the view does not hold is ignored.
    void UpdateHistogramData(QString key, QList<uint32_t> testData);

private:
    void CreateCharts(QWidget *parent);

    Ui::SignalHistogramView *ui;
    CAxisSignalInfo *m_pAxisInfo;
    QString m_strAxisName;
    QMap<QString, CTouchSignalQwtChartView *> m_mapCharts;
};
