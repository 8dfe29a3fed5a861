// Times the whole analysis of one test run on a large frame: the signal-error
// map (ADC windows and tolerances), the UNT frames from ten ADC frames, the
// problem map (dark and weak LEDs, sensors, boards, connectors) and the
// result code. Prints the median of 100 runs of each case.

#include "faketouch.h"
#include "testpanel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 100;
constexpr int kAdcFrames = 10;
const int kOffsets[] = {0, 4, -4}; // T0 straight, T1 and T2 slanted

struct Case
{
    const char *pszName;
    QSet<int> setDeadEmittersX; // Bottom sensors
    QSet<int> setDeadReceiversY; // Left sensors
    double dDeadLedShare;
};

// 600 LEDs on X (Bottom 15 x 40 -> Top 15 x 40), 340 on Y (Right 10 x 34 -> Left 10 x 34).
void BuildFrame(CFakeTouch &touch)
{
    TestPanelShape shape;
    for (int b = 0; b < 15; ++b) {
        shape.lstBottom.append(40);
        shape.lstTop.append(40);
    }
    for (int b = 0; b < 10; ++b) {
        shape.lstLeft.append(34);
        shape.lstRight.append(34);
    }
    shape.lstOffsets = {0, 4, -4};
    shape.lstDivideX = {99, 499};
    shape.lstDivideY = {59, 279};
    CTestPanel::Build(touch, shape);
}

// Deterministic noise so that runs are repeatable.
uint32_t Noise(uint32_t &nSeed)
{
    nSeed = nSeed * 1103515245u + 12345u;
    return (nSeed >> 16) % 11;
}

void FillFrames(CFakeTouch &touch, const Case &c)
{
    uint32_t nSeed = 7;
    for (auto itAxis = touch.GetAxisSignalMap().cbegin(); itAxis != touch.GetAxisSignalMap().cend(); ++itAxis) {
        const bool bX = itAxis.key() == QLatin1String("X");
        const int nLeds = int(itAxis->GetMaxSignal());
        for (int d = 0; d < 3; ++d) {
            const QString strKey = itAxis.key() + QStringLiteral("-T%1").arg(d);
            QList<bool> lstDark;
            for (int i = 0; i < nLeds; ++i) {
                const int r = qBound(0, i + kOffsets[d], nLeds - 1);
                bool bDark = bX ? c.setDeadEmittersX.contains(i) : c.setDeadReceiversY.contains(r);
                bDark = bDark || (Noise(nSeed) == 0 && (nSeed >> 8) % 1000 < uint32_t(c.dDeadLedShare * 11000));
                lstDark.append(bDark);
            }
            for (const QString &strKind : {QStringLiteral("REVERSE"), QStringLiteral("AGC"), QStringLiteral("ADC")}) {
                const int nFrames = strKind == QLatin1String("ADC") ? kAdcFrames : 1;
                QList<SignalFrame> &lstFrames = touch.Signals(strKind)[strKey];
                for (int f = 0; f < nFrames; ++f) {
                    SignalFrame frame;
                    for (int i = 0; i < nLeds; ++i) {
                        const uint32_t v = CTestPanel::HealthyValue(strKind) + Noise(nSeed);
                        frame.append(lstDark.at(i) && strKind != QLatin1String("AGC") ? 0 : v);
                    }
                    lstFrames.append(frame);
                }
            }
        }
    }
}

struct Result
{
    double dMedianMs = 0;
    int nErrors = 0;
    int nDark = 0;
    QString strCode;
    ProblemMap map;
};

Result Run(const Case &c)
{
    CFakeTouch touch;
    BuildFrame(touch);
    FillFrames(touch, c);
    std::vector<qint64> vecTimes;
    Result result;
    for (int n = 0; n < kRuns; ++n) {
        QElapsedTimer timer;
        timer.start();
        touch.ResetSignalErrors();
        touch.AnalyseAdc(); // keeps its keys: no tolerance
        SignalMap mapUnt;
        touch.CalcUntSignal(touch.Signals(QStringLiteral("ADC")), mapUnt);
        ProblemMap mapProblems;
        touch.GetErrors(mapProblems);
        QString strCode = QStringLiteral("PASS");
        QString strMessage;
        touch.GetTestResultCode(strCode, strMessage);
        vecTimes.push_back(timer.nsecsElapsed());
        result.nErrors = touch.GetSignalErrors().size();
        result.nDark = mapProblems.value(QStringLiteral("LIGHT_ERROR")).size();
        result.strCode = strCode;
        result.map = mapProblems;
    }
    std::sort(vecTimes.begin(), vecTimes.end());
    result.dMedianMs = vecTimes[vecTimes.size() / 2] / 1e6;
    return result;
}

void Print(const Case &c, const Result &r, double dTargetMs)
{
    std::printf("%-44s median %7.3f ms (target < %.0f ms)  error-map keys %5d, dark light paths %5d, "
                "sensors dead %3d weak %3d, boards %d, connectors %d, code %s\n",
                c.pszName, r.dMedianMs, dTargetMs, r.nErrors, r.nDark,
                int(r.map.value(QStringLiteral("SENSOR_ERROR")).size()), int(r.map.value(QStringLiteral("SENSOR_WEEK")).size()),
                int(r.map.value(QStringLiteral("PCB_ERROR")).size()), int(r.map.value(QStringLiteral("CONNECTOR_ERROR")).size()),
                qPrintable(r.strCode));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    Case healthy{"1% dead LEDs, two dead sensors", {100}, {200}, 0.01};
    Case deadBoard{"a whole dead board (Bottom board 5)", {}, {}, 0.0};
    for (int s = 200; s < 240; ++s)
        deadBoard.setDeadEmittersX.insert(s);

    std::printf("Analysis of 600 + 340 LEDs, 3 directions, REVERSE/AGC/ADC frames, %d ADC frames for UNT; %d runs each\n",
                kAdcFrames, kRuns);
    Print(healthy, Run(healthy), 2);
    Print(deadBoard, Run(deadBoard), 10);
    return 0;
}
