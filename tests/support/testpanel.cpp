#include "testpanel.h"

namespace {

QList<CPcbInfo> MakeBoards(const QList<int> &lstCounts)
{
    QList<CPcbInfo> lstBoards;
    for (int nCount : lstCounts) {
        CPcbInfo pcb;
        pcb.SetSize(10.0 * nCount, 8.0, 1.6);
        QList<CSensorInfo> lstLeds;
        for (int k = 0; k < nCount; ++k) {
            CSensorInfo led;
            led.SetPos(QPointF(10.0 * k + 5.0, 4.0));
            lstLeds.append(led);
        }
        pcb.SetLeds(lstLeds);
        lstBoards.append(pcb);
    }
    return lstBoards;
}

int Sum(const QList<int> &lst)
{
    int n = 0;
    for (int v : lst)
        n += v;
    return n;
}

void BuildAxis(CTouchBase &touch, const QString &strAxis, const QString &strEmitSide, const QList<int> &lstEmit,
               const QString &strRecvSide, const QList<int> &lstRecv, const QList<int> &lstOffsets,
               const QList<uint32_t> &lstDivide)
{
    const int nEmit = Sum(lstEmit);
    const int nRecv = Sum(lstRecv);
    if (nEmit <= 0 || nRecv <= 0)
        return;
    CAxisSignalInfo &axis = touch.GetAxisSignalMap()[strAxis];
    axis.SetMaxSignal(static_cast<uint32_t>(nEmit));
    axis.SetMaxValue(255);
    axis.SetDivide(lstDivide);
    const int nZones = lstDivide.size() + 1;
    for (int d = 0; d < lstOffsets.size(); ++d) {
        const QString strDir = CTestPanel::DirName(d);
        for (int z = 0; z < nZones; ++z) {
            axis.AddTestStandard(strDir, QStringLiteral("ADC"), CTestPanel::kAdcLo, CTestPanel::kAdcHi);
            axis.AddProblemStandard(strDir, QStringLiteral("ADC"), CTestPanel::kProblemLo, CTestPanel::kProblemHi);
            axis.AddTestStandard(strDir, QStringLiteral("AGC"), CTestPanel::kAgcLo, CTestPanel::kAgcHi);
            axis.AddTestStandard(strDir, QStringLiteral("REVERSE"), CTestPanel::kAdcLo, CTestPanel::kAdcHi);
            axis.AddTestStandard(strDir, QStringLiteral("UNT"), 0, CTestPanel::kUntHi);
        }
        axis.SetStandardType(strDir, QStringLiteral("UNT"), QStringLiteral("Absolute"));
        axis.SetBaseShow(strDir, QStringLiteral("UNT"), QStringLiteral("ADC"), QStringLiteral("UNT"));
        axis.SetBaseShow(strDir, QStringLiteral("ADC"), QString(), QStringLiteral("ADC"));
        axis.SetBaseShow(strDir, QStringLiteral("AGC"), QString(), QStringLiteral("AGC"));
        axis.SetBaseShow(strDir, QStringLiteral("REVERSE"), QString(), QStringLiteral("ADC"));
        axis.SetMaxTolerantSignalCount(strDir, 0);
        for (int i = 0; i < nEmit; ++i) {
            const int r = qBound(0, i + lstOffsets.at(d), nRecv - 1);
            const QString strRelation = QStringLiteral("%1:%2-%3:%4").arg(strEmitSide).arg(i).arg(strRecvSide).arg(r);
            axis.AddSignalRelation(strDir, strRelation);
            axis.AddSignalLabel(strDir, CTestPanel::LabelPart(QLatin1Char('T'), lstEmit, i) + QLatin1Char('-')
                                            + CTestPanel::LabelPart(QLatin1Char('R'), lstRecv, r));
            touch.GetHardwareInfo().ParseRelation(strRelation);
        }
    }
}

} // namespace

void CTestPanel::Build(CTouchBase &touch, const TestPanelShape &shape)
{
    CHardwareInfo &hw = touch.GetHardwareInfo();
    hw.SetAxis(0, QStringLiteral("Bottom"), MakeBoards(shape.lstBottom));
    hw.SetAxis(1, QStringLiteral("Top"), MakeBoards(shape.lstTop));
    hw.SetAxis(2, QStringLiteral("Left"), MakeBoards(shape.lstLeft));
    hw.SetAxis(3, QStringLiteral("Right"), MakeBoards(shape.lstRight));
    BuildAxis(touch, QStringLiteral("X"), QStringLiteral("Bottom"), shape.lstBottom, QStringLiteral("Top"), shape.lstTop,
              shape.lstOffsets, shape.lstDivideX);
    BuildAxis(touch, QStringLiteral("Y"), QStringLiteral("Right"), shape.lstRight, QStringLiteral("Left"), shape.lstLeft,
              shape.lstOffsets, shape.lstDivideY);
}

QString CTestPanel::LabelPart(const QChar &cPrefix, const QList<int> &lstBoards, int nSensor)
{
    int b = 0;
    while (b < lstBoards.size() && nSensor >= lstBoards.at(b)) {
        nSensor -= lstBoards.at(b);
        ++b;
    }
    return QStringLiteral("%1%2:%3").arg(cPrefix).arg(b).arg(nSensor);
}

SignalFrame CTestPanel::Uniform(uint32_t nCount, uint32_t nValue)
{
    SignalFrame frame;
    frame.reserve(static_cast<int>(nCount));
    for (uint32_t i = 0; i < nCount; ++i)
        frame.append(nValue);
    return frame;
}

uint32_t CTestPanel::HealthyValue(const QString &strKind)
{
    if (strKind == QLatin1String("ADC") || strKind == QLatin1String("REVERSE"))
        return kAdcOk;
    if (strKind == QLatin1String("AGC"))
        return kAgcOk;
    return 0;
}
