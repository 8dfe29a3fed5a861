#pragma once

#include "touchbase.h"

#include <QHash>
#include <QPair>
#include <QStringList>
#include <functional>

// A test core without a device: every read appends scripted frames, and
// every device operation is written to a call log.
//
// The n-th read of a kind (counted from 0 over the object's life, "REVERSE"
// for ReadReverseSignal) appends, for every axis and direction of the axis
// map, the frame the frame source gives for (kind, n, "<axis>-<dir>"). The
// default source gives healthy frames of the axis's LED count (see
// CTestPanel for the values).
class CFakeTouch : public CTouchBase
{
    Q_OBJECT

public:
    using FrameSource = std::function<SignalFrame(const QString &strKind, int nCall, const QString &strKey)>;

    explicit CFakeTouch(QObject *parent = nullptr);

    void SetFrameSource(FrameSource fn) { m_fnSource = std::move(fn); }
    // The nCall-th read of the kind returns nCode (negative) and appends nothing.
    void FailRead(const QString &strKind, int nCall, int32_t nCode) { m_mapFailures.insert(qMakePair(strKind, nCall), nCode); }
    void FailInitAgc(int32_t nCode) { m_nInitAgcResult = nCode; }
    // Makes GetErrors hand out this map (skipping the analysis); for tests of
    // the result code alone.
    void SetCannedProblems(const ProblemMap &mapProblems);

    // "REVERSE", "AGC", "ADC", "InitAgc", "ClearSignalData", "CalcUntSignal",
    // "Record:<kind>:<frame>" in call order.
    QStringList Calls() const { return m_lstCalls; }
    int CallCount(const QString &strCall) const { return m_lstCalls.count(strCall); }
    void ClearCalls() { m_lstCalls.clear(); }
    int ReadCount(const QString &strKind) const { return m_mapReads.value(strKind); }

    void SetTestTimesForUnt(int32_t n) { TEST_TIMES_FOR_UNT = n; }
    void SetTolerances(uint32_t nEachLed, uint32_t nTotal)
    {
        MaxTolerantWeakSignalEachLed = nEachLed;
        MaxTolerantWeakSignalTotal = nTotal;
    }
    void SetInitAgcWhileRetest(int32_t n) { eInitAgcWhileRetest = n; }
    void SetRecording(bool b) { m_bRecording = b; }
    void SetRecordBase(uint32_t n) { m_nRecordBase = n; }
    void SetFrameNumber(uint32_t n) { m_nFrameNumber = n; }
    SignalMap &Signals(const QString &strKind);

    // ---- CTouchBase ----
    int32_t CalcUntSignal(SignalMap &mapAdc, SignalMap &mapUnt) override;
    int32_t GetErrors(ProblemMap &mapProblems, uint32_t *pFrameNumber = nullptr) override;
    bool ReInitDeviceInfo() override { return true; }
    int32_t ReadAxisSignal(const QString &strAxis, const QString &strDir, const QString &strKind, SignalFrame &lstOut,
                           uint32_t *pFrameNumber = nullptr) override;
    int32_t RecordSignal(const QString &strKind, const SignalMap &mapSignal, uint32_t nFrameNumber) override;
    int32_t ClearSignalData() override;
    int32_t ReadSignal(const QString &strKind, SignalMap &mapSignal) override;
    int32_t ReadReverseSignal(SignalMap &mapSignal) override;
    int32_t StartTest(int32_t) override { return RunTest(); }
    int32_t ReTest(int32_t) override { return RunTest(); }
    int32_t SaveXml(const QString &) override { return 0; }
    int32_t InitAgc() override;
    int32_t InitTestConfig() override { return 0; }
    int32_t InitDeviceInfo() override { return 0; }

private:
    FrameSource m_fnSource;
    QHash<QPair<QString, int>, int32_t> m_mapFailures;
    QHash<QString, int> m_mapReads;
    int32_t m_nInitAgcResult = 0;
    bool m_bCanned = false;
    ProblemMap m_mapCanned;
    QStringList m_lstCalls;
};
