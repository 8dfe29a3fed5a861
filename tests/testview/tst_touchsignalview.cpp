// The signal curve view over the signal record of a hand-built panel: its
// curves, window lines, labels and keys, and that it never adds a kind to
// the record it reads.

#include "axissignalinfo.h"
#include "faketouch.h"
#include "plotcurve.h"
#include "plotmarker.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "testpanel.h"
#include "touchsignalview.h"
#include "waitfor.h"

#include <QAction>
#include <QThread>
#include <QtTest>
#include <qwt_legend_label.h>

namespace {

using Ranges = QList<QPair<double, double>>;

// The kinds of every direction of every axis, as a text (to see that nothing
// was added).
QStringList KindsOf(CFakeTouch& touch)
{
    QStringList kinds;
    const auto& axes = touch.GetAxisSignalMap();
    for (auto axis = axes.cbegin(); axis != axes.cend(); ++axis) {
        for (auto dir = axis->GetDirMap().cbegin(); dir != axis->GetDirMap().cend(); ++dir)
            kinds << axis.key() + QLatin1Char('/') + dir.key() + QLatin1Char(':') + QStringList(dir->GetTypeMap().keys()).join(QLatin1Char(','));
    }
    return kinds;
}

// One direction "T0" with one shown kind "ADC" and the given windows.
CAxisSignalInfo OneKindAxis(uint32_t nStart, uint32_t nCount, const QList<uint32_t>& lstDivisions,
                            const QList<SignalRange>& lstWindows, const QString& strStandardType = QString())
{
    CAxisSignalInfo axis;
    axis.SetSignalStart(nStart);
    axis.SetMaxSignal(nCount);
    axis.SetMaxValue(255);
    axis.SetDivide(lstDivisions);
    for (const SignalRange& window : lstWindows)
        axis.AddTestStandard(QStringLiteral("T0"), QStringLiteral("ADC"), window.lo, window.hi);
    axis.SetBaseShow(QStringLiteral("T0"), QStringLiteral("ADC"), QString(), QStringLiteral("ADC"));
    if (!strStandardType.isEmpty())
        axis.SetStandardType(QStringLiteral("T0"), QStringLiteral("ADC"), strStandardType);
    return axis;
}

// A panel of three boards per long side and two per short side, with two
// directions per axis and zones on axis X.
void BuildPanel(CFakeTouch& touch, int nSensorsPerBoard, const QList<int>& lstOffsets, const QList<uint32_t>& lstDivideX)
{
    TestPanelShape shape;
    shape.lstBottom = {nSensorsPerBoard, nSensorsPerBoard, nSensorsPerBoard};
    shape.lstTop = shape.lstBottom;
    shape.lstLeft = {nSensorsPerBoard - 1, nSensorsPerBoard - 1};
    shape.lstRight = shape.lstLeft;
    shape.lstOffsets = lstOffsets;
    shape.lstDivideX = lstDivideX;
    CTestPanel::Build(touch, shape);
}

} // namespace

class TestTouchSignalView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void oneCurvePerDirectionAndShownKind();
    void updateCurveSignal();
    void updateFromAnotherThread();
    void windowLineRanges_data();
    void windowLineRanges();
    void windowLineLabels();
    void shortcutGrid();
    void outOfWindowPoints();
    void picture();
};

void TestTouchSignalView::initTestCase()
{
    InitStationResources();
}

void TestTouchSignalView::oneCurvePerDirectionAndShownKind()
{
    CFakeTouch touch;
    BuildPanel(touch, 4, {0, 1}, {3, 7});
    // One direction lacks a kind the other has.
    touch.GetAxisSignalMap()[QStringLiteral("X")].GetDirMap()[QStringLiteral("T1")].GetTypeMap().remove(
        QStringLiteral("AGC"));
    const QStringList kindsBefore = KindsOf(touch);

    const CAxisSignalInfo& axis = touch.GetAxisSignalMap()[QStringLiteral("X")];
    CTouchSignalView view(&axis);
    // "REVERSE" is shown as "ADC": no curve of its own.
    QCOMPARE(view.Curves().keys(), (QStringList{"T0_ADC", "T0_AGC", "T0_UNT", "T1_ADC", "T1_UNT"}));
    QCOMPARE(view.GetCurveKeys().size(), 5);
    QCOMPARE(view.GetCurveKeys().first(), qMakePair(QStringLiteral("T0"), QStringLiteral("ADC")));
    // Window lines for every kind of the record, shown or not.
    QCOMPARE(view.WindowLines().keys(), (QStringList{"T0_ADC", "T0_AGC", "T0_REVERSE", "T0_UNT", "T1_ADC",
                                                     "T1_REVERSE", "T1_UNT"}));
    QCOMPARE(view.WindowLines().value("T0_ADC").size(), 3); // one per zone

    QVERIFY(view.UpdateCurveSignal(QStringLiteral("T0"), QStringLiteral("AGC"), CTestPanel::Uniform(12, 50)));
    QVERIFY(!view.UpdateCurveSignal(QStringLiteral("T1"), QStringLiteral("AGC"), CTestPanel::Uniform(12, 50)));
    QVERIFY(!view.UpdateCurveSignal(QStringLiteral("T9"), QStringLiteral("ADC"), CTestPanel::Uniform(12, 50)));
    view.showSignalType(QStringLiteral("AGC"));
    view.showMarkResponse(true);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.replot();
    QCOMPARE(KindsOf(touch), kindsBefore);

    // The legend switches a curve and its window lines off and on.
    QwtLegendLabel* pLabel = view.LegendLabel(QStringLiteral("T0_AGC"));
    QVERIFY(pLabel);
    QTest::mouseClick(pLabel, Qt::LeftButton);
    QVERIFY(!view.Curves().value("T0_AGC")->isVisible());
    QVERIFY(!view.WindowLines().value("T0_AGC").first().first->isVisible());
    QVERIFY(!view.CurveActions().value("T0_AGC")->isChecked());
    QCOMPARE(view.GetCurveKeys().size(), 4);
    QTest::mouseClick(pLabel, Qt::LeftButton);
    QVERIFY(view.Curves().value("T0_AGC")->isVisible());
    QCOMPARE(view.GetCurveKeys().size(), 5);
}

void TestTouchSignalView::updateCurveSignal()
{
    CAxisSignalInfo axis = OneKindAxis(5, 4, {}, {{10, 100}});
    axis.SetBaseShow(QStringLiteral("T0"), QStringLiteral("REVERSE"), QStringLiteral(""), QStringLiteral("ADC"));
    CTouchSignalView view(&axis);
    QVERIFY(view.UpdateCurveSignal(QStringLiteral("T0"), QStringLiteral("ADC"), {7, 0, 300, 12}));
    const CPlotCurve* pCurve = view.Curves().value(QStringLiteral("T0_ADC"));
    QCOMPARE(int(pCurve->dataSize()), 4);
    const QList<QPointF> expected{{6, 28}, {7, 0}, {8, 1200}, {9, 48}};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(pCurve->sample(i), expected.at(i));

    // A kind reaches the curve of its show text.
    QVERIFY(view.UpdateCurveSignal(QStringLiteral("T0"), QStringLiteral("REVERSE"), {1}));
    QCOMPARE(int(pCurve->dataSize()), 1);
    QCOMPARE(pCurve->sample(0), QPointF(6, 4));

    const QStringList kinds = axis.FindDir(QStringLiteral("T0"))->GetTypeMap().keys();
    QVERIFY(!view.UpdateCurveSignal(QStringLiteral("T0"), QStringLiteral("AGC"), {1}));
    QVERIFY(!view.UpdateCurveSignal(QStringLiteral("T1"), QStringLiteral("ADC"), {1}));
    QVERIFY(!view.UpdateCurveSignal(QString(), QString(), {}));
    QCOMPARE(axis.FindDir(QStringLiteral("T0"))->GetTypeMap().keys(), kinds);
    QVERIFY(!axis.FindDir(QStringLiteral("T1")));

    // An empty reading list empties the curve.
    QVERIFY(view.UpdateCurveSignal(QStringLiteral("T0"), QStringLiteral("ADC"), {}));
    QCOMPARE(int(pCurve->dataSize()), 0);
}

void TestTouchSignalView::updateFromAnotherThread()
{
    CAxisSignalInfo axis = OneKindAxis(0, 64, {31}, {{10, 100}, {20, 120}});
    CTouchSignalView view(&axis);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    std::atomic<int> nDone{0};
    std::atomic<bool> bAllTrue{true};
    QThread* pFeeder = QThread::create([&] {
        for (int n = 0; n < 200; ++n) {
            QList<uint32_t> readings;
            for (uint32_t i = 0; i < 64; ++i)
                readings << (i * 7 + uint32_t(n)) % 200;
            if (!view.UpdateCurveSignal(QStringLiteral("T0"), QStringLiteral("ADC"), readings))
                bAllTrue = false;
            ++nDone;
        }
    });
    pFeeder->start();
    // Draw while the readings come in.
    QVERIFY(StationTest::WaitFor([&] {
        view.replot();
        return nDone.load() == 200;
    }));
    pFeeder->wait();
    delete pFeeder;
    QVERIFY(bAllTrue);
    // The last readings reach the curve on the view's thread.
    const CPlotCurve* pCurve = view.Curves().value(QStringLiteral("T0_ADC"));
    QVERIFY(StationTest::WaitFor([pCurve] { return pCurve->dataSize() == 64 && pCurve->sample(0).y() == 4.0 * 199; }));
    QCOMPARE(pCurve->sample(63).y(), 4.0 * ((63 * 7 + 199) % 200));
}

void TestTouchSignalView::windowLineRanges_data()
{
    QTest::addColumn<QList<uint32_t>>("divisions");
    QTest::addColumn<int>("windows");
    QTest::addColumn<Ranges>("ranges");

    // Signal start 2, 12 LEDs: the axis ends at 15.
    QTest::newRow("no division, one window") << QList<uint32_t>{} << 1 << Ranges{{0, 15}};
    QTest::newRow("no division, two windows") << QList<uint32_t>{} << 2 << Ranges{{0, 15}, {0, 15}};
    QTest::newRow("one division") << QList<uint32_t>{3} << 2 << Ranges{{0, 5.5}, {5.5, 15}};
    QTest::newRow("several divisions") << QList<uint32_t>{3, 7} << 3 << Ranges{{0, 5.5}, {5.5, 9.5}, {9.5, 15}};
    QTest::newRow("more windows than divisions")
        << QList<uint32_t>{3, 7} << 5 << Ranges{{0, 5.5}, {5.5, 9.5}, {9.5, 15}, {9.5, 15}, {9.5, 15}};
    QTest::newRow("fewer windows than zones") << QList<uint32_t>{3, 7} << 1 << Ranges{{0, 5.5}};
}

void TestTouchSignalView::windowLineRanges()
{
    QFETCH(QList<uint32_t>, divisions);
    QFETCH(int, windows);
    QFETCH(Ranges, ranges);

    QList<SignalRange> lstWindows;
    for (int i = 0; i < windows; ++i)
        lstWindows << SignalRange{uint32_t(10 + i), uint32_t(100 + i)};
    const CAxisSignalInfo axis = OneKindAxis(2, 12, divisions, lstWindows);
    CTouchSignalView view(&axis);
    const QList<QPair<CPlotMarker*, CPlotMarker*>> lines = view.WindowLines().value(QStringLiteral("T0_ADC"));
    QCOMPARE(lines.size(), windows);
    Ranges drawn;
    for (int i = 0; i < lines.size(); ++i) {
        const QRectF lo = lines.at(i).first->BoundingRange();
        const QRectF hi = lines.at(i).second->BoundingRange();
        QCOMPARE(lo.left(), hi.left());
        QCOMPARE(lo.right(), hi.right());
        drawn << qMakePair(lo.left(), lo.right());
        QCOMPARE(lines.at(i).first->yValue(), 4.0 * (10 + i));
        QCOMPARE(lines.at(i).second->yValue(), 4.0 * (100 + i));
        QCOMPARE(lines.at(i).first->lineStyle(), QwtPlotMarker::HLine);
    }
    QCOMPARE(drawn, ranges);
}

void TestTouchSignalView::windowLineLabels()
{
    // Absolute windows: value x 4; equal neighbours are labelled once, on the
    // last; 0 and values at or above the largest are not drawn.
    {
        const CAxisSignalInfo axis = OneKindAxis(0, 30, {9, 19}, {{10, 100}, {10, 100}, {0, 255}});
        CTouchSignalView view(&axis);
        const auto lines = view.WindowLines().value(QStringLiteral("T0_ADC"));
        QStringList lo, hi;
        QList<bool> loDrawn, hiDrawn;
        for (const auto& pair : lines) {
            lo << pair.first->label().text();
            hi << pair.second->label().text();
            loDrawn << (pair.first->plot() != nullptr);
            hiDrawn << (pair.second->plot() != nullptr);
        }
        QCOMPARE(lo, (QStringList{"", "40", "0"}));
        QCOMPARE(hi, (QStringList{"", "400", "1020"}));
        QCOMPARE(loDrawn, (QList<bool>{true, true, false}));
        QCOMPARE(hiDrawn, (QList<bool>{true, true, false}));
    }
    // Percent windows carry the stored value and "%".
    {
        const CAxisSignalInfo axis = OneKindAxis(0, 30, {14}, {{60, 140}, {70, 140}}, QStringLiteral("Percent"));
        CTouchSignalView view(&axis);
        const auto lines = view.WindowLines().value(QStringLiteral("T0_ADC"));
        QCOMPARE(lines.at(0).first->label().text(), QStringLiteral("60%"));
        QCOMPARE(lines.at(1).first->label().text(), QStringLiteral("70%"));
        QCOMPARE(lines.at(0).second->label().text(), QString());
        QCOMPARE(lines.at(1).second->label().text(), QStringLiteral("140%"));
        QCOMPARE(lines.at(1).second->yValue(), 560.0);
    }
}

void TestTouchSignalView::shortcutGrid()
{
    // Eight directions, five shown kinds.
    CAxisSignalInfo axis;
    axis.SetMaxSignal(10);
    axis.SetMaxValue(255);
    const QStringList kinds{"K1", "K2", "K3", "K4", "K5"};
    for (int d = 0; d < 8; ++d) {
        for (const QString& strKind : kinds) {
            axis.AddTestStandard(QStringLiteral("T%1").arg(d), strKind, 10, 100);
            axis.SetBaseShow(QStringLiteral("T%1").arg(d), strKind, QString(), strKind);
        }
    }
    CTouchSignalView view(&axis);
    QCOMPARE(view.Curves().size(), 40);
    const char* const rows[4] = {"1234567", "QWERTYU", "ASDFGHJ", "ZXCVBNM"};
    for (int d = 0; d < 8; ++d) {
        for (int t = 0; t < 5; ++t) {
            const QString strKey = QStringLiteral("T%1_%2").arg(d).arg(kinds.at(t));
            QAction* pAction = view.CurveActions().value(strKey);
            QVERIFY2(pAction, qPrintable(strKey));
            QVERIFY(pAction->isCheckable());
            QVERIFY(pAction->isChecked());
            const QKeySequence expected =
                (t < 4 && d < 7) ? QKeySequence(QString(QLatin1Char(rows[t][d]))) : QKeySequence();
            QCOMPARE(pAction->shortcut(), expected);
            const QString strLegend = view.LegendLabel(strKey)->text().text();
            QCOMPARE(strLegend, expected.isEmpty() ? strKey : strKey + "(" + expected.toString() + ")");
        }
    }

    // The key switches its curve.
    view.resize(900, 500);
    view.show();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(&view, Qt::Key_S); // row 2, column 1
    QVERIFY(!view.Curves().value(QStringLiteral("T1_K3"))->isVisible());
    QVERIFY(!view.LegendLabel(QStringLiteral("T1_K3"))->isChecked());
    QCOMPARE(view.GetCurveKeys().size(), 39);
    QTest::keyClick(&view, Qt::Key_S);
    QVERIFY(view.Curves().value(QStringLiteral("T1_K3"))->isVisible());

    // F6 turns the marks on for every curve.
    QAction* pMark = CTouchSignalView::ShowMarkAction();
    QCOMPARE(pMark->text(), QStringLiteral("Show mark..."));
    QCOMPARE(pMark->shortcut(), QKeySequence(Qt::Key_F6));
    QTest::keyClick(&view, Qt::Key_F6);
    QVERIFY(pMark->isChecked());
    for (CPlotCurve* pCurve : view.Curves())
        QVERIFY(pCurve->ShowMark());
    QTest::keyClick(&view, Qt::Key_F6);
    QVERIFY(!view.Curves().first()->ShowMark());
}

void TestTouchSignalView::outOfWindowPoints()
{
    CPlotCurve curve(QStringLiteral("T0_ADC"));
    curve.SetStandards({{10, 20}, {30, 40}}, {4}, 4);
    QCOMPARE(curve.Windows(), (Ranges{{40, 80}, {120, 160}}));
    struct
    {
        int nIndex;
        double dValue;
        bool bOutside;
    } cases[] = {
        {0, 40, false}, {0, 39, true}, {4, 80, false}, {4, 81, true},     // LED 4 ends zone 0
        {5, 80, true},  {5, 120, false}, {9, 160, false}, {9, 161, true}, // zone 1
        {500, 0, true},                                                   // past the last division
    };
    for (const auto& c : cases)
        QVERIFY2(curve.IsOutside(c.nIndex, c.dValue) == c.bOutside, qPrintable(QString::number(c.nIndex)));
    // Points of a zone without a window are never outside.
    CPlotCurve open(QStringLiteral("T0_UNT"));
    open.SetStandards({{10, 20}}, {4}, 4);
    QVERIFY(!open.IsOutside(7, 1000));
}

void TestTouchSignalView::picture()
{
    CFakeTouch touch;
    BuildPanel(touch, 10, {0, 2}, {9, 19});
    CAxisSignalInfo& axis = touch.GetAxisSignalMap()[QStringLiteral("X")];
    CTouchSignalView view(&axis);
    QList<uint32_t> adc, agc;
    for (uint32_t i = 0; i < 30; ++i) {
        adc << (i == 12 ? 30 : 100 + (i * 37) % 60);
        agc << 40 + (i * 13) % 30;
    }
    QVERIFY(view.UpdateCurveSignal(QStringLiteral("T0"), QStringLiteral("ADC"), adc));
    QVERIFY(view.UpdateCurveSignal(QStringLiteral("T0"), QStringLiteral("AGC"), agc));
    for (uint32_t& v : adc)
        v = v > 20 ? v - 15 : v;
    QVERIFY(view.UpdateCurveSignal(QStringLiteral("T1"), QStringLiteral("ADC"), adc));
    view.showMarkResponse(true);
    view.resize(1100, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.replot();
    const QImage image = view.grab().toImage();
    // The reading below its window is drawn red.
    bool bRed = false;
    for (int y = 0; y < image.height() && !bRed; ++y)
        for (int x = 0; x < image.width() && !bRed; ++x)
            bRed = image.pixelColor(x, y) == QColor(Qt::red);
    QVERIFY(bRed);
    QVERIFY(image.save(CTestEnvironment::OutputDir() + QStringLiteral("/testview_signalcurves.png")));
}

STATION_TEST_MAIN(TestTouchSignalView)
#include "tst_touchsignalview.moc"
