// The signal histograms: one Qwt bar chart per direction of an axis, bars
// read from the chart's samples (not from pixels); the feed by key from the
// refresh thread; the windows as they stood when the charts were built; and
// the bar chart over Qt Charts that is kept beside them. The axis records
// come from a hand-built test panel: X 12 LEDs, Y 8, directions T0..T2,
// "ADC" windows 50..200 in every zone.

#include "faketouch.h"
#include "runlogcapture.h"
#include "signalhistogramview.h"
#include "stationmetatypes.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "testpanel.h"
#include "timerthread.h"
#include "touchsignalqchartview.h"
#include "touchsignalqwtchartview.h"
#include "waitfor.h"

#include <QDir>
#include <QThread>
#include <QVBoxLayout>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QValueAxis>
#include <QtTest>
#include <qwt_column_symbol.h>
#include <qwt_plot_multi_barchart.h>
#include <qwt_scale_div.h>

using Bars = QList<QVector<double>>; // [out of window, in window] per bar
Q_DECLARE_METATYPE(Bars)
using Readings = QList<uint32_t>;

namespace {

const uint32_t kLo = CTestPanel::kAdcLo; // 50
const uint32_t kHi = CTestPanel::kAdcHi; // 200

void BuildPanel(CFakeTouch &touch)
{
    TestPanelShape shape;
    shape.lstBottom = {6, 6};
    shape.lstTop = {6, 6};
    shape.lstLeft = {4, 4};
    shape.lstRight = {4, 4};
    shape.lstOffsets = {0, 1, -1};
    CTestPanel::Build(touch, shape);
}

Bars BarsOf(const CTouchSignalQwtChartView *pChart)
{
    Bars bars;
    const QwtPlotMultiBarChart *pBarChart = pChart->BarChart();
    for (size_t i = 0; i < pBarChart->dataSize(); ++i) {
        const QwtSetSample sample = pBarChart->sample(int(i));
        if (sample.value != double(i))
            return Bars{QVector<double>{-1.0, double(i)}}; // out of place
        bars << sample.set;
    }
    return bars;
}

QVector<double> Red(double h)
{
    return {h, 0.0};
}

QVector<double> Green(double h)
{
    return {0.0, h};
}

// A direction with nLabels LEDs and one "ADC" window (none when lo > hi).
CDirSignalInfo Direction(int nLabels, uint32_t lo, uint32_t hi)
{
    CDirSignalInfo dir;
    for (int i = 0; i < nLabels; ++i)
        dir.AddSignalLabel(QStringLiteral("T0:%1-R0:%1").arg(i));
    if (lo <= hi)
        dir.AddTestStandard(QStringLiteral("ADC"), lo, hi);
    return dir;
}

} // namespace

class TestSignalHistogram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitStationResources();
        RegisterStationMetaTypes();
    }

    // One chart per direction, stacked in ascending order, each set up from
    // its direction's record.
    void chartsOfAnAxis()
    {
        CFakeTouch touch;
        BuildPanel(touch);
        SignalHistogramView view(nullptr, &touch.GetAxisSignalMap()[QStringLiteral("X")], QStringLiteral("X"));
        QCOMPARE(view.windowTitle(), QStringLiteral("Form"));
        QCOMPARE(view.objectName(), QStringLiteral("SignalHistogramView"));
        QCOMPARE(view.sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
        QCOMPARE(view.sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
        QCOMPARE(view.Charts().keys(), (QList<QString>{"X-T0", "X-T1", "X-T2"}));

        auto *pLayout = view.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
        QVERIFY(pLayout);
        QCOMPARE(pLayout->count(), 3);
        int i = 0;
        for (auto it = view.Charts().cbegin(); it != view.Charts().cend(); ++it, ++i) {
            const CTouchSignalQwtChartView *pChart = it.value();
            QCOMPARE(pLayout->itemAt(i)->widget(), pChart);
            QCOMPARE(pChart->parentWidget(), &view);
            QCOMPARE(pChart->Key(), qMakePair(QStringLiteral("X"), QStringLiteral("T%1").arg(i)));
            QCOMPARE(pChart->title().text(), QStringLiteral("X:T%1").arg(i));
            QCOMPARE(pChart->BarChart()->title().text(), QStringLiteral("X:T%1").arg(i));
            QCOMPARE(pChart->axisTitle(QwtPlot::yLeft).text(), QStringLiteral("Standard"));
            QVERIFY(!pChart->axisEnabled(QwtPlot::xBottom));
            QCOMPARE(pChart->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 0.0);
            QCOMPARE(pChart->axisScaleDiv(QwtPlot::xBottom).upperBound(), 11.0);
            QCOMPARE(pChart->axisScaleDiv(QwtPlot::yLeft).lowerBound(), -10.0);
            QCOMPARE(pChart->axisScaleDiv(QwtPlot::yLeft).upperBound(), 1020.0);
            QCOMPARE(pChart->axisMaxMajor(QwtPlot::yLeft), 2);
            QCOMPARE(pChart->axisMaxMinor(QwtPlot::yLeft), 2);
            QVERIFY(pChart->autoReplot());
            QCOMPARE(pChart->BarChart()->style(), QwtPlotMultiBarChart::Stacked);
            QCOMPARE(pChart->BarChart()->layoutPolicy(), QwtPlotAbstractBarChart::AutoAdjustSamples);
            QCOMPARE(pChart->BarChart()->spacing(), 2);
            QCOMPARE(pChart->BarChart()->margin(), 1);
            QCOMPARE(pChart->BarChart()->symbol(0)->palette().color(QPalette::Window), QColor("Red"));
            QCOMPARE(pChart->BarChart()->symbol(1)->palette().color(QPalette::Window), QColor("Green"));
            QCOMPARE(pChart->BarChart()->symbol(0)->frameStyle(), QwtColumnSymbol::Raised);
            QCOMPARE(pChart->BarChart()->dataSize(), size_t(0)); // nothing until the first readings
            QCOMPARE(pChart->AdcInfo().GetTestStandards().first(), (SignalRange{kLo, kHi}));
            QVERIFY(pChart->AdcInfo().GetTestDataMap().isEmpty());
        }
    }

    void bars_data()
    {
        QTest::addColumn<uint32_t>("lo");
        QTest::addColumn<uint32_t>("hi");
        QTest::addColumn<Readings>("readings");
        QTest::addColumn<Bars>("bars");

        QTest::newRow("0 stands 4 high, red") << 50u << 200u << Readings{0} << Bars{Red(4)};
        QTest::newRow("0 is green when lo is 0") << 0u << 200u << Readings{0, 1} << Bars{Green(4), Green(4)};
        QTest::newRow("both ends inside") << 50u << 200u << Readings{50, 200, 120} << Bars{Green(200), Green(800), Green(480)};
        QTest::newRow("just outside") << 50u << 200u << Readings{49, 201} << Bars{Red(196), Red(804)};
        QTest::newRow("255 reaches the top") << 50u << 255u << Readings{255, 256} << Bars{Green(1020), Red(1024)};
        QTest::newRow("the largest reading") << 0u << 0xFFFFFFFFu << Readings{0xFFFFFFFFu}
                                             << Bars{Green(4.0 * 0xFFFFFFFFu)};
        QTest::newRow("a window of one value") << 7u << 7u << Readings{6, 7, 8} << Bars{Red(24), Green(28), Red(32)};
        QTest::newRow("no window: every bar red") << 1u << 0u << Readings{0, 100, 300}
                                                  << Bars{Red(4), Red(400), Red(1200)};
        QTest::newRow("more readings than labels") << 50u << 200u << Readings{100, 100, 100, 100, 10}
                                                   << Bars{Green(400), Green(400), Green(400), Green(400), Red(40)};
        QTest::newRow("empty list") << 50u << 200u << Readings() << Bars();
    }

    // Bar i at position i; the reading, not the height, judged against the
    // first window, ends included.
    void bars()
    {
        QFETCH(uint32_t, lo);
        QFETCH(uint32_t, hi);
        QFETCH(Readings, readings);
        QFETCH(Bars, bars);
        CDirSignalInfo dir = Direction(3, lo, hi);
        if (lo <= hi)
            dir.AddTestStandard(QStringLiteral("ADC"), 0, 0xFFFFFFFFu); // a second window plays no part
        CTouchSignalQwtChartView chart(nullptr, &dir, qMakePair(QStringLiteral("X"), QStringLiteral("T0")));
        chart.SetChartData(Readings{1, 2, 3, 4, 5, 6, 7}); // replaced by the next call
        chart.SetChartData(readings);
        QCOMPARE(BarsOf(&chart), bars);
    }

    // ClearChartData: one bar of zeros per label the direction had at the build.
    void clearKeepsTheLabelCountOfTheBuild()
    {
        CDirSignalInfo dir = Direction(5, kLo, kHi);
        CTouchSignalQwtChartView chart(nullptr, &dir, qMakePair(QStringLiteral("Y"), QStringLiteral("T1")));
        dir.GetSignalLabels().clear();
        chart.SetChartData(Readings{100});
        chart.ClearChartData();
        QCOMPARE(BarsOf(&chart), Bars::fromVector(QVector<QVector<double>>(5, QVector<double>{0.0, 0.0})));
    }

    // Readings equal to those shown leave the bars as they are; any change,
    // a reading that crosses the window included, reaches its bar; after a
    // clear the earlier readings are drawn again.
    void repeatedReadings()
    {
        CDirSignalInfo dir = Direction(3, kLo, kHi);
        CTouchSignalQwtChartView chart(nullptr, &dir, qMakePair(QStringLiteral("X"), QStringLiteral("T0")));
        Readings readings{100, 100, 100};
        chart.SetChartData(readings);
        chart.SetChartData(readings);
        QCOMPARE(BarsOf(&chart), (Bars{Green(400), Green(400), Green(400)}));
        readings[1] = 101;
        chart.SetChartData(readings);
        QCOMPARE(BarsOf(&chart), (Bars{Green(400), Green(404), Green(400)}));
        readings[2] = kHi + 1;
        chart.SetChartData(readings);
        QCOMPARE(BarsOf(&chart), (Bars{Green(400), Green(404), Red(4 * (kHi + 1))}));
        chart.SetChartData(readings.mid(0, 2));
        QCOMPARE(BarsOf(&chart), (Bars{Green(400), Green(404)}));
        chart.SetChartData(readings);
        chart.ClearChartData();
        chart.SetChartData(readings);
        QCOMPARE(BarsOf(&chart), (Bars{Green(400), Green(404), Red(4 * (kHi + 1))}));
    }

    // The bars on screen are those the column symbols draw: bars of every
    // kind (in and out of the window, a reading of 0, the top of the scale,
    // beyond it) at several sizes of the chart look the same as when the
    // library's own bar chart draws them.
    void barsAsTheSymbolsDrawThem()
    {
        const int nBars = 600;
        CDirSignalInfo dir = Direction(nBars, kLo, kHi);
        Readings readings;
        for (int i = 0; i < nBars; ++i)
            readings << uint32_t((i * 37) % 300);
        for (const QSize &size : {QSize(1700, 170), QSize(900, 300), QSize(333, 97), QSize(2400, 120)}) {
            CTouchSignalQwtChartView chart(nullptr, &dir, qMakePair(QStringLiteral("X"), QStringLiteral("T0")));
            chart.resize(size);
            chart.SetChartData(readings);
            chart.grab(); // laid out
            const QImage drawn = chart.canvas()->grab().toImage();

            const QwtPlotMultiBarChart *pOwn = chart.BarChart();
            auto *pPlain = new QwtPlotMultiBarChart(pOwn->title());
            pPlain->setLayoutPolicy(pOwn->layoutPolicy());
            pPlain->setSpacing(pOwn->spacing());
            pPlain->setMargin(pOwn->margin());
            pPlain->setStyle(pOwn->style());
            for (int c = 0; c < 2; ++c) {
                const QwtColumnSymbol *pSymbol = pOwn->symbol(c);
                auto *pCopy = new QwtColumnSymbol(pSymbol->style());
                pCopy->setLineWidth(pSymbol->lineWidth());
                pCopy->setFrameStyle(pSymbol->frameStyle());
                pCopy->setPalette(pSymbol->palette());
                pPlain->setSymbol(c, pCopy);
            }
            QVector<QwtSetSample> samples;
            for (size_t i = 0; i < pOwn->dataSize(); ++i)
                samples << pOwn->sample(int(i));
            pPlain->setSamples(samples);
            const_cast<QwtPlotMultiBarChart *>(pOwn)->setVisible(false);
            pPlain->attach(&chart);
            chart.replot();
            const QImage plain = chart.canvas()->grab().toImage();
            int nBarPixels = 0; // bars were drawn
            for (int y = 0; y < drawn.height(); ++y)
                for (int x = 0; x < drawn.width(); ++x)
                    nBarPixels += drawn.pixelColor(x, y) != QColor(Qt::white);
            QVERIFY(nBarPixels > drawn.width() * drawn.height() / 10);
            QCOMPARE(drawn.size(), plain.size());
            QVERIFY2(drawn == plain, qPrintable(QStringLiteral("at %1 x %2").arg(size.width()).arg(size.height())));
        }
    }

    // Only the chart under the exact key "<axis>-<direction>" updates.
    void keys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("updated"); // the chart that shows the readings, "" for none
        QTest::newRow("own key") << "X-T1" << "X-T1";
        QTest::newRow("another axis") << "Y-T1" << "";
        QTest::newRow("colon instead of dash") << "X:T1" << "";
        QTest::newRow("unknown direction") << "X-T9" << "";
        QTest::newRow("lower case") << "x-t1" << "";
        QTest::newRow("empty") << "" << "";
    }

    void keys()
    {
        QFETCH(QString, key);
        QFETCH(QString, updated);
        CFakeTouch touch;
        BuildPanel(touch);
        SignalHistogramView view(nullptr, &touch.GetAxisSignalMap()[QStringLiteral("X")], QStringLiteral("X"));
        for (CTouchSignalQwtChartView *pChart : view.Charts())
            pChart->SetChartData(Readings{100});
        view.UpdateHistogramData(key, Readings{10, 20});
        for (auto it = view.Charts().cbegin(); it != view.Charts().cend(); ++it)
            QCOMPARE(BarsOf(it.value()), it.key() == updated ? (Bars{Red(40), Red(80)}) : (Bars{Green(400)}));
    }

    void viewWithoutCharts()
    {
        SignalHistogramView none(nullptr, nullptr, QStringLiteral("X"));
        QVERIFY(none.Charts().isEmpty());
        none.UpdateHistogramData(QStringLiteral("X-T0"), Readings{1});
        CAxisSignalInfo empty;
        SignalHistogramView noDirs(nullptr, &empty, QStringLiteral("X"));
        QVERIFY(noDirs.Charts().isEmpty());
        QVERIFY(empty.GetDirMap().isEmpty());
    }

    // The refresh thread's EmitTestData reaches every axis view queued; only
    // the view holding the key updates its chart.
    void feedFromTheRefreshThread()
    {
        CFakeTouch touch;
        BuildPanel(touch);
        SignalHistogramView viewX(nullptr, &touch.GetAxisSignalMap()[QStringLiteral("X")], QStringLiteral("X"));
        SignalHistogramView viewY(nullptr, &touch.GetAxisSignalMap()[QStringLiteral("Y")], QStringLiteral("Y"));
        CTimerThread timer([](void *) {}, nullptr);
        QVERIFY(connect(&timer, &CTimerThread::EmitTestData, &viewX, &SignalHistogramView::UpdateHistogramData));
        QVERIFY(connect(&timer, &CTimerThread::EmitTestData, &viewY, &SignalHistogramView::UpdateHistogramData));

        QThread *pThread = QThread::create([&timer] {
            emit timer.EmitTestData(QStringLiteral("X-T2"), Readings{60, 70});
            emit timer.EmitTestData(QStringLiteral("Y-T0"), Readings{5});
            emit timer.EmitTestData(QStringLiteral("Z-T0"), Readings{5});
            emit timer.EmitTestData(QStringLiteral("X-T2"), Readings{60, 70, 300});
        });
        pThread->start();
        QVERIFY(pThread->wait(10000));
        delete pThread;
        // Queued: nothing has reached a chart while the GUI thread waited.
        QCOMPARE(viewX.Charts().value("X-T2")->BarChart()->dataSize(), size_t(0));

        QVERIFY(StationTest::WaitFor([&] { return viewX.Charts().value("X-T2")->BarChart()->dataSize() == 3; }));
        QVERIFY(StationTest::WaitFor([&] { return viewY.Charts().value("Y-T0")->BarChart()->dataSize() == 1; }));
        QCOMPARE(BarsOf(viewX.Charts().value("X-T2")), (Bars{Green(240), Green(280), Red(1200)}));
        QCOMPARE(BarsOf(viewY.Charts().value("Y-T0")), (Bars{Red(20)}));
        for (const char *strKey : {"X-T0", "X-T1"})
            QCOMPARE(viewX.Charts().value(strKey)->BarChart()->dataSize(), size_t(0));
        for (const char *strKey : {"Y-T1", "Y-T2"})
            QCOMPARE(viewY.Charts().value(strKey)->BarChart()->dataSize(), size_t(0));
    }

    // The windows are those of the build: a later change in the test core
    // does not recolour; a rebuilt view does.
    void windowOfTheBuild()
    {
        CFakeTouch touch;
        BuildPanel(touch);
        CAxisSignalInfo &axis = touch.GetAxisSignalMap()[QStringLiteral("X")];
        SignalHistogramView view(nullptr, &axis, QStringLiteral("X"));
        QCOMPARE(axis.SetTestStandard(QStringLiteral("T0"), QStringLiteral("ADC"), 150, 160, -1), 1);
        view.UpdateHistogramData(QStringLiteral("X-T0"), Readings{100});
        QCOMPARE(BarsOf(view.Charts().value("X-T0")), (Bars{Green(400)}));

        SignalHistogramView rebuilt(nullptr, &axis, QStringLiteral("X"));
        rebuilt.UpdateHistogramData(QStringLiteral("X-T0"), Readings{100});
        QCOMPARE(BarsOf(rebuilt.Charts().value("X-T0")), (Bars{Red(400)}));
    }

    // A direction without an "ADC" entry: every bar red, and building and
    // feeding the charts adds no entry to the test core's record.
    void directionWithoutAdc()
    {
        CAxisSignalInfo axis;
        axis.AddSignalLabel(QStringLiteral("T0"), QStringLiteral("T0:0-R0:0"));
        axis.AddSignalLabel(QStringLiteral("T0"), QStringLiteral("T0:1-R0:1"));
        axis.AddTestStandard(QStringLiteral("T1"), QStringLiteral("AGC"), 0, 1000);
        SignalHistogramView view(nullptr, &axis, QStringLiteral("X"));
        view.UpdateHistogramData(QStringLiteral("X-T0"), Readings{0, 100});
        view.UpdateHistogramData(QStringLiteral("X-T1"), Readings{100});
        QCOMPARE(BarsOf(view.Charts().value("X-T0")), (Bars{Red(4), Red(400)}));
        QCOMPARE(BarsOf(view.Charts().value("X-T1")), (Bars{Red(400)}));
        for (const CDirSignalInfo &dir : axis.GetDirMap())
            QVERIFY(!dir.GetTypeMap().contains(QStringLiteral("ADC")));
    }

    // Directions stand in ascending order of their names, whatever order
    // they were added in.
    void directionsAscending()
    {
        CAxisSignalInfo axis;
        for (const char *dir : {"T2", "T10", "T0", "B1"})
            axis.AddSignalLabel(QLatin1String(dir), QStringLiteral("L"));
        SignalHistogramView view(nullptr, &axis, QStringLiteral("Y"));
        auto *pLayout = view.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
        QStringList order;
        for (int i = 0; i < pLayout->count(); ++i)
            order << qobject_cast<CTouchSignalQwtChartView *>(pLayout->itemAt(i)->widget())->Key().second;
        QCOMPARE(order, (QStringList{"B1", "T0", "T10", "T2"}));
    }

    // A chart going says so in the run log; the view takes its charts along.
    void destructionIsLogged()
    {
        CRunLogCapture log;
        {
            CFakeTouch touch;
            BuildPanel(touch);
            SignalHistogramView view(nullptr, &touch.GetAxisSignalMap()[QStringLiteral("Y")], QStringLiteral("Y"));
        }
        QCOMPARE(log.Lines().filter(QStringLiteral("~CTouchSignalQwtChartView: free ")),
                 (QStringList{"~CTouchSignalQwtChartView: free (Y, T0)", "~CTouchSignalQwtChartView: free (Y, T1)",
                              "~CTouchSignalQwtChartView: free (Y, T2)"}));
    }

    // The chart over Qt Charts: one bar set "axis:dir", one bar per label,
    // readings times 4.
    void qtChartsView()
    {
        CDirSignalInfo dir = Direction(6, kLo, kHi);
        CTouchSignalQChartView view(nullptr, &dir, qMakePair(QStringLiteral("X"), QStringLiteral("T1")));
        QCOMPARE(view.Series()->count(), 1);
        QCOMPARE(view.Series()->barSets().first(), view.BarSet());
        QCOMPARE(view.BarSet()->label(), QStringLiteral("X:T1"));
        QCOMPARE(view.BarSet()->color(), QColor(0, 255, 0));
        QCOMPARE(view.BarSet()->count(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(view.BarSet()->at(i), 0.0);
        QCOMPARE(view.AxisX()->min(), 0.0);
        QCOMPARE(view.AxisX()->max(), 6.0);
        QCOMPARE(view.AxisX()->tickCount(), 4);
        QCOMPARE(view.AxisY()->max(), 1020.0);
        QCOMPARE(view.AxisY()->tickCount(), 5);
        QCOMPARE(view.AxisY()->labelFormat(), QStringLiteral("%d"));
        QVERIFY(!view.AxisX()->labelsVisible() && !view.AxisY()->labelsVisible());
        QVERIFY(view.chart()->legend()->isVisible());
        QCOMPARE(view.chart()->legend()->alignment(), Qt::AlignLeft);
        QCOMPARE(view.chart()->animationOptions(), QtCharts::QChart::SeriesAnimations);
        QVERIFY(view.renderHints() & QPainter::Antialiasing);
        QCOMPARE(view.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(view.sizePolicy().horizontalStretch(), 1);
        QCOMPARE(view.sizePolicy().verticalStretch(), 1);
        QCOMPARE(view.AdcInfo().GetTestStandards().first(), (SignalRange{kLo, kHi}));

        view.SetChartData(Readings{1, 2, 255});
        QCOMPARE(view.BarSet()->at(0), 4.0);
        QCOMPARE(view.BarSet()->at(1), 8.0);
        QCOMPARE(view.BarSet()->at(2), 1020.0);
        QCOMPARE(view.BarSet()->at(3), 0.0);
        view.SetChartData(Readings{1, 1, 1, 1, 1, 1, 2, 3});
        QCOMPARE(view.BarSet()->count(), 8);
        QCOMPARE(view.BarSet()->at(7), 12.0);

        CTouchSignalQChartView none(nullptr, nullptr, qMakePair(QStringLiteral("Y"), QStringLiteral("T0")));
        QCOMPARE(none.BarSet()->count(), 0);
        none.SetChartData(Readings{5});
        QCOMPARE(none.BarSet()->at(0), 20.0);
        QVERIFY(!dir.GetTypeMap().isEmpty());
    }

    // An axis view of 60 LEDs with bars inside and outside the window.
    void screenshot()
    {
        CFakeTouch touch;
        TestPanelShape shape;
        shape.lstBottom = {30, 30};
        shape.lstTop = {30, 30};
        shape.lstOffsets = {0, 1, -1};
        CTestPanel::Build(touch, shape);
        QWidget page;
        auto *pLayout = new QVBoxLayout(&page);
        auto *pView = new SignalHistogramView(&page, &touch.GetAxisSignalMap()[QStringLiteral("X")], QStringLiteral("X"));
        pLayout->addWidget(pView);
        page.resize(860, 510);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        for (int d = 0; d < 3; ++d) {
            Readings readings;
            for (int i = 0; i < 60; ++i)
                readings << uint32_t(125 + 110 * std::sin((i + 20 * d) * 0.21));
            readings[7 + d] = 0;
            pView->UpdateHistogramData(QStringLiteral("X-T%1").arg(d), readings);
        }
        QDir().mkpath(CTestEnvironment::OutputDir());
        QVERIFY(page.grab().save(CTestEnvironment::OutputDir() + QStringLiteral("/histogram_axis_x.png")));
    }
};

STATION_TEST_MAIN(TestSignalHistogram)
#include "tst_signalhistogram.moc"
