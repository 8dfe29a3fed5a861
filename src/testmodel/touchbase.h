#pragma once

#include "axissignalinfo.h"
#include "hardwareinfo.h"
#include "propertyitem.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <cstdint>

class COperateEnvironment;

// One frame of readings: one value per LED index 0 .. maxSignal-1.
using SignalFrame = QList<uint32_t>;
// "<axis>-<dir>" (e.g. "X-T0") -> frames, oldest first.
using SignalMap = QMap<QString, QList<SignalFrame>>;
// "<axis>-<dir>:[<label>]" -> "<kind>:<value>[/<kind>:<value>...]".
using SignalErrorMap = QMap<QString, QString>;
// Fault key ("LIGHT_ERROR", "SENSOR_ERROR", "PCB_ERROR", "CONNECTOR_ERROR", ...)
// -> places where it was found.
using ProblemMap = QMap<QString, QList<QString>>;

// The abstract test core: one object stands for the frame under test, a live
// device or a replayed log. It holds the signal records of every axis, the
// four signal maps filled during a test, the signal-error map, the device
// information, the interface-test result and the hardware description; it
// fixes the order of a test run (RunTest) and carries the whole analysis, from
// single LEDs up to sensors, boards, connectors and the result code.
// Everything that touches the device is supplied by a derived class.
//
// No lock of its own: the owner drives it on one worker thread under its
// device mutex; readers on other threads copy the maps under that mutex.
class CTouchBase : public QObject
{
    Q_OBJECT

public:
    // Most LEDs per axis that a computed frame covers; a larger count (only
    // possible from a damaged log) is cut to it.
    static constexpr uint32_t kMaxSignalCount = 65536;

    CTouchBase(COperateEnvironment *pEnv, QString strName, QObject *parent = nullptr);
    ~CTouchBase() override;

    // ---- data model ----
    virtual QMap<QString, CAxisSignalInfo> &GetAxisSignalMap();
    virtual QList<CPropertyItem> &GetPropertyList();
    // Replaces the value of the first item with that exact key and returns
    // true; without one appends (key, value) and returns false.
    virtual bool SetProperty(const QString &strKey, const QString &strValue);
    // Value of the first item with that key, "" when none.
    virtual QString GetProperty(const QString &strKey);
    virtual CHardwareInfo &GetHardwareInfo();
    // One frame back, not below 0; returns the new frame number.
    virtual uint32_t PrevFrame();
    virtual int32_t SetReverseMode(bool bReverse);
    virtual bool IsReverseMode();
    // One frame on; returns the new frame number.
    virtual uint32_t NextFrame();
    virtual QString GetName();
    // 1 live device, 2 log replay.
    virtual int32_t GetType();
    virtual void SetInterfaceTestResult(const QPair<QString, QString> &result);
    virtual QPair<QString, QString> GetInterfaceTestResult();
    virtual void ClearInterfaceTestResult();
    // One complete signal test: REVERSE, AGC and TEST_TIMES_FOR_UNT ADC frames,
    // with the AGC re-initialisation policy of eInitAgcWhileRetest. Returns 0
    // or the first negative device result; a defective frame is not a failure,
    // its verdict lies in the signal-error map.
    virtual int32_t RunTest();
    // What the last run (RunTest) asked for and judged, counted from its start
    // to its end: per kind ("REVERSE", "AGC", "ADC"), the frames of an axis
    // and direction with LEDs that the source did not hold when the run read
    // them and, per direction ("X-T0"), those it found; and the LED readings
    // it judged against a test window. A run that judged none gave its
    // verdict over nothing.
    struct SRunCoverage
    {
        QMap<QString, uint32_t> mapFramesNotFound;
        // Kind -> every direction with LEDs the run read it in -> frames found.
        QMap<QString, QMap<QString, uint32_t>> mapFramesFound;
        uint64_t nLedsJudged = 0;

        uint32_t FramesNotFound() const;
        // The kinds the run read and found no frame of in any direction, with
        // the reads that found none: what the run cannot judge at all.
        QMap<QString, uint32_t> KindsNotFound() const;
        // Per kind found in some direction, the directions the run found no
        // frame of it in (judged on what they have); kinds without such a
        // direction are left out.
        QMap<QString, QStringList> DirectionsWithoutKind() const;
    };
    const SRunCoverage &GetRunCoverage() const { return m_runCoverage; }
    virtual SignalErrorMap &GetSignalErrors();
    virtual int32_t ResetSignalErrors();
    virtual bool ReInitDeviceInfo() = 0;
    virtual bool IsSupportRealTimeTest();
    virtual int32_t GetEnableTestUart();
    virtual int32_t GetEnableTestDoubleUsb();

    // ---- LED signal analysis ----
    // 0: the out-of-limit LEDs are tolerated and the map is emptied; -1: more
    // keys than MaxTolerantWeakSignalTotal; -2: an LED or a direction over its
    // tolerance. With -1 and -2 the map is unchanged.
    virtual int32_t CheckWeakSignalLimit(SignalErrorMap &mapErrors);
    // Judges one frame of (axis, dir, kind) against the kind's test windows,
    // zone by zone, into the signal-error map. Returns 0.
    virtual int32_t AnalyseFrame(const QString &strAxis, const QString &strDir, const QString &strKind,
                                 const SignalFrame &frame, SignalErrorMap &mapErrors);
    // AnalyseFrame on the newest frame of every axis and direction. Returns 0.
    virtual int32_t AnalyseSignal(const QString &strKind, const SignalMap &mapSignal, SignalErrorMap &mapErrors);
    // AnalyseSignal("ADC") into the signal-error map, then CheckWeakSignalLimit. Returns 0.
    virtual int32_t AnalyseAdc();
    // Newest frame of (axis, dir, kind) ("ADC" reads REVERSE in reverse mode);
    // returns the number of values in lstOut.
    virtual int32_t GetLatestSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                    SignalFrame &lstOut, uint32_t *pFrameNumber = nullptr);
    // Per-LED fluctuation over the frames: max-min ("Absolute") or
    // (max-min)*100/max (any other type). Appends nCount values (none when
    // there are no frames); returns the size of lstOut.
    virtual int32_t CalcFluctuation(const QString &strStandardType, const QList<SignalFrame> &lstFrames,
                                    SignalFrame &lstOut, uint32_t nCount);
    // One UNT frame per axis and direction from its ADC frames. Returns the
    // number of keys of the UNT map.
    virtual int32_t CalcUntSignal(SignalMap &mapAdc, SignalMap &mapUnt);
    // Removes the oldest frame once from every list that holds n or more
    // frames (never from an empty list). Returns 0.
    virtual int32_t TrimFrames(SignalMap &mapSignal, int32_t n);
    // Appends the relation texts of dark LEDs to "LIGHT_ERROR" and of weak ones
    // to "LIGHT_WEAK". Returns 0.
    virtual int32_t CheckLightThreshold(ProblemMap &mapProblems, const QString &strAxis, const QString &strDir);
    virtual int32_t CheckAllLightThresholds(ProblemMap &mapProblems);

    // ---- sensor, board and connector analysis ----
    virtual int32_t AnalyseSensorError(ProblemMap &mapProblems);
    virtual int32_t AnalysePcbGroup(ProblemMap &mapProblems, const QString &strSide, int32_t nBoard,
                                    int32_t nFirst, int32_t nLast);
    virtual int32_t AnalysePcbError(ProblemMap &mapProblems);
    virtual int32_t AnalyseConnectorError(ProblemMap &mapProblems);

    // Reads one signal of a kind for one axis and direction (device or
    // recorded frame), stores it in its signal map and returns its values:
    // negative device error, 0 a kind not read, positive a delivered signal.
    virtual int32_t ReadAxisSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                   SignalFrame &lstOut, uint32_t *pFrameNumber = nullptr) = 0;

    // Fills the caller's problem map from the newest frames (light check when
    // the map is passed in empty, then sensors, boards, connectors). Returns 0.
    virtual int32_t GetErrors(ProblemMap &mapProblems, uint32_t *pFrameNumber = nullptr);
    // One real-time cycle: read ADC and AGC, keep the windows, compute UNT,
    // record when recording, then GetErrors. Returns 0 or the first negative
    // device result (the problem map is then untouched).
    virtual int32_t AnalyseRealTimeSignal(ProblemMap &mapProblems, uint32_t *pFrameNumber = nullptr);
    // "NG1" .. "NG5" with the operator's message, in the order of precedence
    // NG1, NG5, NG2, NG4, NG3; both left unchanged for a frame without faults.
    // Returns the result of GetErrors.
    virtual int32_t GetTestResultCode(QString &strCode, QString &strMessage);

    // ---- device operations supplied by the derived class ----
    // Stores the newest frames of the kind as test data under nFrameNumber.
    virtual int32_t RecordSignal(const QString &strKind, const SignalMap &mapSignal, uint32_t nFrameNumber) = 0;
    // Frame number 0, the four signal maps and the signal-error map emptied,
    // the test data of every axis cleared.
    virtual int32_t ClearSignalData() = 0;
    // Appends one frame of the kind per axis and direction.
    virtual int32_t ReadSignal(const QString &strKind, SignalMap &mapSignal) = 0;
    virtual int32_t ReadReverseSignal(SignalMap &mapSignal) = 0;
    virtual int32_t StartTest(int32_t nMode) = 0;
    virtual int32_t ReTest(int32_t nMode) = 0;
    virtual int32_t SaveXml(const QString &strPath) = 0;
    virtual int32_t InitAgc() = 0;
    virtual int32_t InitTestConfig() = 0;
    virtual int32_t InitDeviceInfo() = 0;

    // ---- plain accessors (not part of the virtual interface) ----
    uint32_t GetFrameNumber() const { return m_nFrameNumber; }
    uint32_t GetRecordBase() const { return m_nRecordBase; }
    int32_t GetTestTimesForUnt() const { return TEST_TIMES_FOR_UNT; }
    uint32_t GetMaxTolerantWeakSignalEachLed() const { return MaxTolerantWeakSignalEachLed; }
    uint32_t GetMaxTolerantWeakSignalTotal() const { return MaxTolerantWeakSignalTotal; }
    int32_t GetInitAgcWhileRetest() const { return eInitAgcWhileRetest; }
    bool IsRecording() const { return m_bRecording; }
    // Real-time cycles stored as test data since the recording was last
    // started (0 before any recording).
    uint32_t GetRecordedFrameCount() const { return m_nRecordedFrames; }
    COperateEnvironment *GetEnvironment() const { return m_pEnv; }
    // The signal map of a kind ("REVERSE", "ADC", "AGC", "UNT"); nullptr for another text.
    const SignalMap *GetSignalMap(const QString &strKind) const;

    // Calls fn(i, s) for every LED i of an axis with nMaxSignal LEDs, s being
    // its zone: zone s ends at lstDivide[s] (inclusive) while s is below the
    // list's size, the last zone at nMaxSignal-1. Bounded by nMaxSignal
    // whatever the list holds.
    template <typename Fn>
    static void WalkSegments(uint32_t nMaxSignal, const QList<uint32_t> &lstDivide, Fn fn);

protected:
    int32_t m_nType = 0;
    QMap<QString, CAxisSignalInfo> m_mapAxisSignal;
    QList<CPropertyItem> m_lstProperty;
    QList<CPropertyItem> m_lstPrevProperty;
    SignalMap m_mapReverseSignal;
    SignalMap m_mapAdcSignal;
    SignalMap m_mapAgcSignal;
    SignalMap m_mapUntSignal;
    SignalErrorMap m_mapSignalError;
    QString m_strInterfaceTestName;
    QString m_strInterfaceTestResult;
    COperateEnvironment *m_pEnv = nullptr; // not owned
    CHardwareInfo m_hardwareInfo;
    int32_t TEST_TIMES_FOR_UNT = 10;
    uint32_t m_nFrameNumber = 0;
    uint32_t m_nRecordBase = 0;
    uint32_t MaxTolerantWeakSignalEachLed = 0;
    uint32_t MaxTolerantWeakSignalTotal = 0;
    bool m_bReverseMode = false;
    bool SupportRealTimeTest = false;
    bool m_bRecording = false;
    uint32_t m_nRecordedFrames = 0;
    int32_t bEnableTestUart = 0;
    int32_t bEnableTestDoubleUsb = 0;
    int32_t eInitAgcWhileRetest = 0;
    QString m_strName;

    // A read of the run for one axis and direction with LEDs ("X-T0") found
    // a frame of the kind or none (counted only while RunTest runs).
    void NoteFrameRead(const QString &strKind, const QString &strKey, bool bFound);

    // Calibration values cached by the device class; the test core never reads them.
    uint8_t m_nCalFormat = 1;
    int32_t m_nCalLX = 0;
    int32_t m_nCalLY = 0;
    int32_t m_nCalRX = 0;
    int32_t m_nCalRY = 0;
    int32_t m_nCalParam5 = 0;
    int32_t m_nFineTune[7] = {0, 0, 0, 0, 0, 0, 0};
    int32_t m_nUsb1TouchFormat = 3;
    int32_t m_nUsb2TouchFormat = 3;

private:
    // One pass of RunTest (the REVERSE frame, the AGC frame, the ADC frames
    // with their analysis, then the UNT frames): 0 = pass completed without
    // errors (UNT computed), 1 = pass ended with errors, negative = device error.
    int32_t RunPass();
    bool HasErrors() const { return !m_mapSignalError.isEmpty(); }

    SRunCoverage m_runCoverage;
    bool m_bCountingRun = false;
};

template <typename Fn>
void CTouchBase::WalkSegments(uint32_t nMaxSignal, const QList<uint32_t> &lstDivide, Fn fn)
{
    const uint32_t nDivide = static_cast<uint32_t>(lstDivide.size());
    uint32_t i = 0;
    uint32_t s = 0;
    while (i < nMaxSignal) {
        uint32_t nEnd = (s < nDivide) ? lstDivide.at(static_cast<int>(s)) : nMaxSignal - 1;
        if (nEnd > nMaxSignal - 1)
            nEnd = nMaxSignal - 1;
        for (; i <= nEnd; ++i)
            fn(i, s);
        ++s;
    }
}
