#pragma once

// What the histogram tests read off the test view's charts: how many bars
// each chart has and how high they stand, by chart key ("X-T0").

#include "signalhistogramview.h"
#include "touchsignalqwtchartview.h"

#include <QList>
#include <QMap>
#include <QVector>
#include <QString>
#include <qwt_plot_multi_barchart.h>

namespace HistogramBars {

// Number of bars of every chart, by key.
inline QMap<QString, int> Bars(const QMap<QString, SignalHistogramView*>& views)
{
    QMap<QString, int> bars;
    for (SignalHistogramView* pView : views) {
        for (auto it = pView->Charts().cbegin(); it != pView->Charts().cend(); ++it)
            bars.insert(it.key(), int(it.value()->BarChart()->dataSize()));
    }
    return bars;
}

// The height of every bar of every chart (the sum of its set), by key.
inline QMap<QString, QList<double>> Heights(const QMap<QString, SignalHistogramView*>& views)
{
    QMap<QString, QList<double>> heights;
    for (SignalHistogramView* pView : views) {
        for (auto it = pView->Charts().cbegin(); it != pView->Charts().cend(); ++it) {
            const QwtPlotMultiBarChart* pBars = it.value()->BarChart();
            QList<double>& list = heights[it.key()];
            for (size_t i = 0; i < pBars->dataSize(); ++i) {
                const QVector<double> set = pBars->sample(int(i)).set;
                double h = 0;
                for (double part : set)
                    h += part;
                list << h;
            }
        }
    }
    return heights;
}

} // namespace HistogramBars
