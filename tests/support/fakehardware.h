#pragma once

// A scripted live frame for the test-model tests: a CTouchHardware whose
// device operations build a small panel (two axes, boards, sensors,
// connectors, limits, labels) and deliver computed frames, with dark or weak
// LEDs and device failures on request. Header-only, so that a test links only
// the test model.

#include "touchhardware.h"

#include <QMap>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

// How the fake frame is built and how it misbehaves.
struct SFakeHardwareConfig
{
    uint32_t nLedsX = 24;
    uint32_t nLedsY = 12;
    QStringList lstDirs = {QStringLiteral("T0"), QStringLiteral("T1"), QStringLiteral("T2")};
    int32_t nTestTimesForUnt = 10;
    int32_t eInitAgcWhileRetest = 0;
    uint32_t nTolerantTotal = 0;
    uint32_t nTolerantEachLed = 0;
    // "<axis>-<dir>" -> LED indices read as 0 (dark) or as weak in every ADC frame.
    QMap<QString, QSet<uint32_t>> mapDark;
    QMap<QString, QSet<uint32_t>> mapWeak;
    QList<CPropertyItem> lstProperty = {
        {QStringLiteral("Product"), QStringLiteral("AB55-10P")},
        {QStringLiteral("CheckSum"), QStringLiteral("1A2B-3C4D")},
        {QStringLiteral("McuID"), QStringLiteral("0011223344556677")},
        {QStringLiteral("BatchInfo"), QStringLiteral("B2024-0042")},
    };
    int32_t nInitTestConfigResult = 0;
    int32_t nCheckLedErrorResult = 0;
    // (kind, n): the n-th read of that kind (from 0) fails with nFailCode.
    QPair<QString, int> failAt = {QString(), -1};
    int32_t nFailCode = static_cast<int32_t>(0x800F0001u);
};

class CFakeHardware : public CTouchHardware
{
public:
    using SConfig = SFakeHardwareConfig;

    // What the device operations saw, for the tests.
    struct SLog
    {
        int nInitTestConfig = 0;
        int nCheckLedError = 0;
        int nInitAgc = 0;
        QMap<QString, int> mapReads;
        bool bDriverRunningAtCheck = false;
        int nAxesAtInit = -1;
        int nPropertiesAtInit = -1;
        int nBoardsAtInit = -1;
        QString strInterfaceNameAtCheck;
    };

    explicit CFakeHardware(COperateEnvironment *pEnv, const SConfig &config = SFakeHardwareConfig(),
                           const QString &strName = QStringLiteral("fake"))
        : CTouchHardware(pEnv, nullptr, strName)
        , m_config(config)
    {
    }

    SConfig &Config() { return m_config; }
    const SLog &Log() const { return m_log; }
    void SetInterfaceTest(const QString &strName, const QString &strResult)
    {
        SetInterfaceTestResult(qMakePair(strName, strResult));
    }
    void SetRecordBase(uint32_t n) { m_nRecordBase = n; }
    void SetFrameNumber(uint32_t n) { m_nFrameNumber = n; }

    // The value LED i of (axis, dir) reads in the n-th frame of a kind.
    uint32_t Value(const QString &strKind, const QString &strKey, uint32_t i, int n) const
    {
        if (strKind == QLatin1String("AGC"))
            return 40 + (i % 7);
        if (strKind == QLatin1String("REVERSE"))
            return 5 + (i % 3);
        if (m_config.mapDark.value(strKey).contains(i))
            return 0;
        if (m_config.mapWeak.value(strKey).contains(i))
            return 60;
        return 180 + ((i * 7 + uint32_t(n) * 3) % 20);
    }

    // ---- device operations ----
    bool ReInitDeviceInfo() override { return true; }
    int32_t InitDeviceInfo() override { return 0; }
    int32_t InitAgc() override
    {
        ++m_log.nInitAgc;
        return 0;
    }

    int32_t InitTestConfig() override
    {
        ++m_log.nInitTestConfig;
        m_log.nAxesAtInit = m_mapAxisSignal.size();
        m_log.nPropertiesAtInit = m_lstProperty.size();
        m_log.nBoardsAtInit = m_hardwareInfo.GetAxisMap().size();
        if (m_config.nInitTestConfigResult < 0)
            return m_config.nInitTestConfigResult;

        m_lstProperty = m_config.lstProperty;
        TEST_TIMES_FOR_UNT = m_config.nTestTimesForUnt;
        eInitAgcWhileRetest = m_config.eInitAgcWhileRetest;
        MaxTolerantWeakSignalTotal = m_config.nTolerantTotal;
        MaxTolerantWeakSignalEachLed = m_config.nTolerantEachLed;
        BuildAxis(QStringLiteral("X"), m_config.nLedsX, QStringLiteral("Bottom"), QStringLiteral("Top"));
        BuildAxis(QStringLiteral("Y"), m_config.nLedsY, QStringLiteral("Left"), QStringLiteral("Right"));
        BuildPanel();
        return 0;
    }

    int32_t CheckLedError(bool) override
    {
        ++m_log.nCheckLedError;
        m_log.bDriverRunningAtCheck = m_bDriverRunning;
        m_log.strInterfaceNameAtCheck = GetInterfaceTestResult().first;
        return m_config.nCheckLedErrorResult;
    }

    int32_t ReadSignal(const QString &strKind, SignalMap &mapSignal) override
    {
        const int n = m_log.mapReads.value(strKind);
        m_log.mapReads[strKind] = n + 1;
        if (m_config.failAt.first == strKind && m_config.failAt.second == n)
            return m_config.nFailCode;
        for (auto itAxis = m_mapAxisSignal.cbegin(); itAxis != m_mapAxisSignal.cend(); ++itAxis) {
            for (const QString &strDir : itAxis.value().GetDirMap().keys()) {
                const QString strKey = itAxis.key() + QLatin1Char('-') + strDir;
                SignalFrame frame;
                for (uint32_t i = 0; i < itAxis.value().GetMaxSignal(); ++i)
                    frame.append(Value(strKind, strKey, i, n));
                mapSignal[strKey].append(frame);
            }
        }
        return 0;
    }

    int32_t ReadReverseSignal(SignalMap &mapSignal) override { return ReadSignal(QStringLiteral("REVERSE"), mapSignal); }

    int32_t ReadAxisSignal(const QString &strAxis, const QString &strDir, const QString &strKind, SignalFrame &lstOut,
                           uint32_t *pFrameNumber) override
    {
        lstOut.clear();
        const auto it = m_mapAxisSignal.constFind(strAxis);
        if (it == m_mapAxisSignal.cend())
            return 0;
        for (uint32_t i = 0; i < it.value().GetMaxSignal(); ++i)
            lstOut.append(Value(strKind, strAxis + QLatin1Char('-') + strDir, i, 0));
        if (pFrameNumber)
            *pFrameNumber = m_nFrameNumber;
        return lstOut.size();
    }

    // Stores the newest frame of every key as test data (as the device class does).
    int32_t RecordSignal(const QString &strKind, const SignalMap &mapSignal, uint32_t nFrameNumber) override
    {
        for (auto it = mapSignal.cbegin(); it != mapSignal.cend(); ++it) {
            if (it.value().isEmpty())
                continue;
            const QStringList lstParts = it.key().split(QLatin1Char('-'));
            auto itAxis = m_mapAxisSignal.find(lstParts.first());
            if (itAxis != m_mapAxisSignal.end())
                itAxis.value().AddTestData(lstParts.last(), strKind, it.value().last(), nFrameNumber);
        }
        return 0;
    }

    int32_t ClearSignalData() override
    {
        for (auto it = m_mapAxisSignal.begin(); it != m_mapAxisSignal.end(); ++it)
            it.value().ClearTestData();
        m_nFrameNumber = 0;
        m_mapSignalError.clear();
        m_mapAdcSignal.clear();
        m_mapAgcSignal.clear();
        m_mapUntSignal.clear();
        m_mapReverseSignal.clear();
        return 0;
    }

    int32_t SetDrawing(uint8_t, uint8_t) override { return 0; }
    int32_t SetTouchEnable(bool) override { return 0; }
    int32_t SetSplitScreen(bool) override { return 0; }
    int32_t SetPenEnable(bool) override { return 0; }
    int32_t SaveBatchInfo() override { return 0; }
    uint32_t GetTAgcRangeText(QString &strText) override
    {
        strText = QStringLiteral("TAgc(0-0)");
        return 0;
    }
    uint32_t GetRAgcRangeText(QString &strText) override
    {
        strText = QStringLiteral("RAgc(0-0)");
        return 0;
    }
    int32_t SetRTAgc(uint16_t, uint16_t) override { return 0; }
    int32_t SetRAgc(uint16_t) override { return 0; }
    int32_t SetTAgc(uint16_t) override { return 0; }
    int32_t InitAgcRange() override { return 0; }
    int32_t ResetAgc() override { return 0; }
    int32_t WaitDeviceIdle(int) override { return 0; }
    int32_t CompareMcuID(CComPort *) override { return 0; }
    int32_t CompareMcuIDUpgrade(CComPort *) override { return 0; }

private:
    // Emitter board b, LED k on side A read against receiver LED j on side B.
    void BuildAxis(const QString &strAxis, uint32_t nLeds, const QString &strSideA, const QString &strSideB)
    {
        CAxisSignalInfo &axis = m_mapAxisSignal[strAxis];
        axis.SetMaxSignal(nLeds);
        axis.SetMaxValue(255);
        axis.SetSignalStart(2);
        axis.SetDivide({nLeds / 3, nLeds - nLeds / 3});
        const uint32_t nHalf = nLeds / 2;
        int nOffset = -1;
        for (const QString &strDir : m_config.lstDirs) {
            for (uint32_t i = 0; i < nLeds; ++i) {
                const int nRecv = qBound(0, int(i) + nOffset, int(nLeds) - 1);
                axis.AddSignalLabel(strDir, QStringLiteral("T%1:%2-R%3:%4")
                                                .arg(i < nHalf ? 0 : 1)
                                                .arg(i % nHalf)
                                                .arg(uint32_t(nRecv) < nHalf ? 0 : 1)
                                                .arg(uint32_t(nRecv) % nHalf));
                axis.AddSignalRelation(strDir,
                                       QStringLiteral("%1:%2-%3:%4").arg(strSideA).arg(i).arg(strSideB).arg(nRecv));
            }
            for (int s = 0; s < 3; ++s) {
                axis.AddTestStandard(strDir, QStringLiteral("ADC"), 100, 255);
                axis.AddProblemStandard(strDir, QStringLiteral("ADC"), 0, 30);
                axis.AddTestStandard(strDir, QStringLiteral("AGC"), 0, 200);
                axis.AddProblemStandard(strDir, QStringLiteral("AGC"), 0, 0);
                axis.AddTestStandard(strDir, QStringLiteral("UNT"), 0, 50);
                axis.AddTestStandard(strDir, QStringLiteral("REVERSE"), 0, 4294967295u);
            }
            axis.SetStandardType(strDir, QStringLiteral("ADC"), QStringLiteral("Absolute"));
            axis.SetStandardType(strDir, QStringLiteral("AGC"), QStringLiteral("Absolute"));
            axis.SetStandardType(strDir, QStringLiteral("UNT"), QStringLiteral("Percent"));
            axis.SetStandardType(strDir, QStringLiteral("REVERSE"), QStringLiteral("Absolute"));
            axis.SetBaseShow(strDir, QStringLiteral("ADC"), QStringLiteral("ADC"), QStringLiteral("ADC"));
            axis.SetBaseShow(strDir, QStringLiteral("AGC"), QStringLiteral("AGC"), QStringLiteral("AGC"));
            axis.SetBaseShow(strDir, QStringLiteral("UNT"), QStringLiteral("ADC"), QStringLiteral("UNT"));
            axis.SetBaseShow(strDir, QStringLiteral("REVERSE"), QStringLiteral("REVERSE"), QStringLiteral("ADC"));
            axis.SetMaxTolerantSignalCount(strDir, 2);
            ++nOffset;
        }
    }

    // Two boards per side, a connector between them, every light path.
    void BuildPanel()
    {
        m_hardwareInfo.SetInterfaceType(5);
        m_hardwareInfo.SetInterfaceDir(1);
        m_hardwareInfo.SetOpenArea(600.5, 340.25, 12, 8.5);
        const QStringList lstSides = {QStringLiteral("Bottom"), QStringLiteral("Top"), QStringLiteral("Left"),
                                      QStringLiteral("Right")};
        for (int nSide = 0; nSide < lstSides.size(); ++nSide) {
            const uint32_t nLeds = nSide < 2 ? m_config.nLedsX : m_config.nLedsY;
            QList<CPcbInfo> lstBoards;
            for (int b = 0; b < 2; ++b) {
                CPcbInfo pcb;
                pcb.SetSize(100.0 + b, 8.0, 1.6);
                pcb.SetAngle(nSide < 2 ? 0 : 90);
                pcb.SetPos(QPointF(b * 100.0, nSide * 10.0));
                pcb.SetPlacement(b);
                const uint32_t nCount = b == 0 ? nLeds / 2 : nLeds - nLeds / 2;
                QList<CSensorInfo> lstLeds;
                for (uint32_t k = 0; k < nCount; ++k) {
                    CSensorInfo led;
                    led.SetType(int32_t(k % 8));
                    led.SetAngle(0);
                    led.SetPos(QPointF(k * 5.0 + 0.25, 1.5));
                    lstLeds.append(led);
                }
                pcb.SetLeds(lstLeds);
                lstBoards.append(pcb);
            }
            m_hardwareInfo.SetAxis(uint32_t(nSide), lstSides.at(nSide), lstBoards);
            CConnectorInfo conn;
            conn.SetSize(4, 10, 2);
            conn.SetDipLength(1.5, 2, 0, 0.25);
            conn.SetPos(QPointF(100, nSide * 10.0));
            m_hardwareInfo.AddConnector(lstSides.at(nSide) + QStringLiteral(":0-") + lstSides.at(nSide)
                                            + QStringLiteral(":1"),
                                        conn);
        }
        for (auto itAxis = m_mapAxisSignal.cbegin(); itAxis != m_mapAxisSignal.cend(); ++itAxis) {
            const QMap<QString, CDirSignalInfo> &mapDirs = itAxis.value().GetDirMap();
            for (auto itDir = mapDirs.cbegin(); itDir != mapDirs.cend(); ++itDir) {
                for (const QString &strRelation : itDir.value().GetSignalRelations())
                    m_hardwareInfo.ParseRelation(strRelation);
            }
        }
    }

    SConfig m_config;
    SLog m_log;
};
