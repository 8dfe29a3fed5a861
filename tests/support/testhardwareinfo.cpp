#include "testhardwareinfo.h"

#include "testloglimits.h"

#include <QPointF>
#include <cstdio>

namespace {

struct SBoard
{
    const char *id;
    double x, y, length;
    int placement; // 0 Standing, 1 Lying
    QList<int> types;
};

CPcbInfo MakeBoard(const SBoard &b, double dAngle)
{
    CPcbInfo pcb;
    pcb.SetID(QLatin1String(b.id));
    pcb.SetSize(10.0, b.length, 6.0); // width, length, height
    pcb.SetPlacement(b.placement);
    pcb.SetAngle(dAngle);
    pcb.SetPos(QPointF(b.x, b.y));
    QList<CSensorInfo> lstLeds;
    const int n = b.types.size();
    const double dPitch = b.length / n;
    for (int k = 0; k < n; ++k) {
        CSensorInfo led;
        led.SetID(QString::number(k + 1));
        led.SetType(b.types.at(k));
        led.SetPos(QPointF(-b.length / 2.0 + dPitch * (k + 0.5), 0.0));
        lstLeds.append(led);
    }
    pcb.SetLeds(lstLeds);
    return pcb;
}

QList<CPcbInfo> MakeSide(const QList<SBoard> &lstBoards, double dAngle)
{
    QList<CPcbInfo> lst;
    for (const SBoard &b : lstBoards)
        lst.append(MakeBoard(b, dAngle));
    return lst;
}

CConnectorInfo MakeConnector(const char *id, double x, double y, double dAngle)
{
    CConnectorInfo con;
    con.SetID(QLatin1String(id));
    con.SetSize(6.0, 8.0, 3.0); // width, length, height
    con.SetDipLength(CTestHardwareInfo::kPins[0], CTestHardwareInfo::kPins[1], CTestHardwareInfo::kPins[2],
                     CTestHardwareInfo::kPins[3]);
    con.SetAngle(dAngle);
    con.SetPos(QPointF(x, y));
    return con;
}

} // namespace

CHardwareInfo CTestHardwareInfo::Build(int nInterfaceDir)
{
    CHardwareInfo info;
    info.SetAxis(0, QStringLiteral("Bottom"),
                 MakeSide({{"B1", 40.0, -2.0, 80.0, 1, {0, 2, 4, 6}},
                           {"B2", 110.0, -2.0, 60.0, 0, {0, 9, 4}},
                           {"B3", 170.0, -2.0, 60.0, 1, {6, 0}}},
                          0.0));
    info.SetAxis(1, QStringLiteral("Top"),
                 MakeSide({{"T1", 50.0, 122.0, 100.0, 1, {1, 3}}, {"T2", 150.0, 122.0, 100.0, 1, {5, 7, 1}}},
                          180.0));
    info.SetAxis(2, QStringLiteral("Left"), MakeSide({{"L1", 0.0, 60.0, 120.0, 1, {1, 3, 5, 7}}}, 270.0));
    info.SetAxis(3, QStringLiteral("Right"), MakeSide({{"R1", 200.0, 60.0, 120.0, 1, {0, 2, 4, 6}}}, 90.0));

    info.AddConnector(QStringLiteral("Bottom:0-Bottom:1"), MakeConnector("B1-B2", 80.0, -2.0, 0.0));
    info.AddConnector(QStringLiteral("Bottom:1-Bottom:2"), MakeConnector("B2-B3", 140.0, -2.0, 0.0));
    info.AddConnector(QStringLiteral("Top:0-Top:1"), MakeConnector("T1-T2", 100.0, 122.0, 180.0));
    info.AddConnector(QStringLiteral("Bottom:0-Left:0"), MakeConnector("B1-L1", 0.0, -2.0, 0.0));
    info.AddConnector(QStringLiteral("Left:0-Top:0"), MakeConnector("L1-T1", 0.0, 122.0, 270.0));
    info.AddConnector(QStringLiteral("Top:1-Right:0"), MakeConnector("T2-R1", 200.0, 122.0, 180.0));
    info.AddConnector(QStringLiteral("Bottom:2-Right:0"), MakeConnector("B3-R1", 200.0, -2.0, 90.0));
    info.AddConnector(MissingBoardConnector(), MakeConnector("L3-T1", 0.0, 90.0, 270.0));

    const QList<QString> lstRelations = {
        QStringLiteral("Bottom:0-Top:0"),  QStringLiteral("Bottom:2-Top:1"), QStringLiteral("Bottom:4-Top:2"),
        QStringLiteral("Bottom:6-Top:3"),  QStringLiteral("Bottom:8-Top:4"), QStringLiteral("Right:0-Left:0"),
        QStringLiteral("Right:1-Left:1"),  QStringLiteral("Right:2-Left:2"), QStringLiteral("Right:3-Left:3"),
        OutOfRangeRelation(),
    };
    for (const QString &strRelation : lstRelations)
        info.ParseRelation(strRelation);

    info.SetOpenArea(kOpenX0, kOpenY1, kOpenY0, kOpenX1);
    info.SetInterfaceDir(nInterfaceDir);
    return info;
}

CHardwareInfo CTestHardwareInfo::AtTheLimits()
{
    CHardwareInfo info;
    const char *sides[4] = {"Bottom", "Top", "Left", "Right"};
    const int nBoards = CTestLogLimits::kMaxBoards / 4;
    const int nPerSide = CTestLogLimits::kMaxSensors / 4;
    const int nPerBoard = nPerSide / nBoards;
    const double dSide = nBoards * 640.0;
    for (int s = 0; s < 4; ++s) {
        QList<CPcbInfo> lst;
        for (int b = 0; b < nBoards; ++b) {
            CPcbInfo pcb;
            pcb.SetSize(10.0, 640.0, 2.0);
            pcb.SetPlacement(1);
            pcb.SetAngle(s * 90.0);
            pcb.SetPos(s < 2 ? QPointF(b * 640.0, s * dSide) : QPointF((s - 2) * dSide, b * 640.0));
            QList<CSensorInfo> lstLeds;
            for (int k = 0; k < nPerBoard; ++k) {
                CSensorInfo led;
                led.SetType(k % 8);
                led.SetID(QString::number(k + 1));
                led.SetPos(QPointF(-320.0 + 640.0 / nPerBoard * k, 0.0));
                lstLeds.append(led);
            }
            pcb.SetLeds(lstLeds);
            lst.append(pcb);
        }
        info.SetAxis(uint32_t(s), QLatin1String(sides[s]), lst);
    }
    // Each text written in one go: QString::arg would make four strings of
    // each, which costs a sanitizer build seconds at this count.
    const int nSpread = CTestLogLimits::kMaxRelations / nPerSide;
    char szRelation[48];
    for (int i = 0; i < nPerSide; ++i)
        for (int k = 0; k < nSpread; ++k) {
            const int n = std::snprintf(szRelation, sizeof szRelation, "Bottom:%d-Top:%d", i, (i + k) % nPerSide);
            info.ParseRelation(QString::fromLatin1(szRelation, n));
        }
    info.SetOpenArea(0.0, dSide, 0.0, dSide);
    return info;
}

QList<int> CTestHardwareInfo::SensorCounts(const QString &strSide)
{
    if (strSide == QLatin1String("Bottom"))
        return {4, 3, 2};
    if (strSide == QLatin1String("Top"))
        return {2, 3};
    if (strSide == QLatin1String("Left") || strSide == QLatin1String("Right"))
        return {4};
    return {};
}
