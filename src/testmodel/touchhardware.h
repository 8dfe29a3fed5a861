#pragma once

#include "touchbase.h"

#include <QDateTime>
#include <QString>
#include <cstdint>

class CComPort;
class COperateEnvironment;
class QXmlStreamWriter;

// A test or retest of a frame whose preparation failed or never ran: nothing
// would be tested, so it is a failure (low bits neither a time-out's nor a
// runtime error's: no error box of its own, the view shows the failed test).
constexpr int32_t ERROR_TEST_NOT_PREPARED = static_cast<int32_t>(0x81150000u);

// The test core bound to a real frame behind a port. It adds what every live
// test needs whatever the frame's protocol: the order of a first run and of a
// retest, the XML test log, the folder and name a run is filed under and the
// recording switch. Every device operation stays abstract and is supplied by
// HardwareInterface.
//
// StartTest, ReTest and the device operations run on the worker thread under
// the device mutex; the test view calls GetLogDir, GetLogFileName, SaveXml,
// StartRecord and StopRecord and is expected to hold the same mutex.
class CTouchHardware : public CTouchBase
{
    Q_OBJECT

public:
    CTouchHardware(COperateEnvironment *pEnv, CComPort *pPort, QString strName, QObject *parent = nullptr);
    ~CTouchHardware() override;

    // Creates the device class (HardwareInterface) on the port; the caller
    // owns it. Defined by the hardware library, so this library never links it.
    static CTouchHardware *CreateHardwareInterface(COperateEnvironment *pEnv, CComPort *pPort, QString strName,
                                                   QObject *parent = nullptr);

    // ---- CTouchBase ----
    // First run of a plugged frame: fresh hardware description, empty axis map
    // and property list, InitTestConfig, CheckLedError(true), RunTest. The
    // object is prepared once InitTestConfig succeeded, unprepared when it failed.
    int32_t StartTest(int32_t nMode) override;
    // A further run on the same frame; keeps layout, axes and device
    // information. ERROR_TEST_NOT_PREPARED, without touching the frame, when
    // no StartTest prepared the object.
    int32_t ReTest(int32_t nMode) override;
    bool IsPrepared() const { return m_bPrepared; }
    // Writes the test log to strPath atomically: the file appears complete or
    // not at all, and an earlier file of that name survives a failure.
    // Returns 0, or ERROR_LOG_SAVE (with a run-log line) when it could not be written.
    int32_t SaveXml(const QString &strPath) override;
    // The test log SaveXml writes, built whole in memory now (strFor names
    // it in the run log's warning about characters XML cannot hold).
    QByteArray MakeXml(const QString &strFor);
    // Why the last SaveXml failed (empty after a save that succeeded).
    QString LastSaveError() const { return m_strSaveError; }

    // ---- test driver ----
    // "<Product>/<CheckSum>" (the last of each in the property list;
    // "UnknownProduct", "UnknownCheckSum" when absent), each part a safe
    // single file name.
    virtual QString GetLogDir();
    // "yyyyMMdd_hh-mm-ss_zzz_<McuID>_<BatchInfo>" (the first of each;
    // "UnknownMcuID", "UnknownBatchInfo" when absent); the caller adds the
    // result suffix and the extension.
    virtual QString GetLogFileName();
    virtual int32_t SetDrawing(uint8_t nA, uint8_t nB) = 0;
    virtual int32_t SetTouchEnable(bool bOn) = 0;
    virtual int32_t SetSplitScreen(bool bOn) = 0;
    virtual int32_t SetPenEnable(bool bOn) = 0;
    virtual int32_t SaveBatchInfo() = 0;
    // Display text of the emitter / receiver AGC range; returns the minimum
    // in the low 16 bits and the maximum in the high 16 bits.
    virtual uint32_t GetTAgcRangeText(QString &strText) = 0;
    virtual uint32_t GetRAgcRangeText(QString &strText) = 0;
    virtual int32_t SetRTAgc(uint16_t nT, uint16_t nR) = 0;
    virtual int32_t SetRAgc(uint16_t nR) = 0;
    virtual int32_t SetTAgc(uint16_t nT) = 0;
    virtual int32_t InitAgcRange() = 0;
    virtual int32_t ResetAgc() = 0;
    // Polls the frame until idle, only while the driver program runs.
    virtual int32_t WaitDeviceIdle(int nTimeoutMs) = 0;
    virtual int32_t SetDriverRunning(bool bRunning);
    // Switches the frame's LED-error check; acts only while bCheckLedError is set.
    virtual int32_t CheckLedError(bool bOn) = 0;
    virtual int32_t SetCheckLedError(bool bCheck);
    virtual int32_t CompareMcuID(CComPort *pPort) = 0;
    virtual int32_t CompareMcuIDUpgrade(CComPort *pPort) = 0;
    // Recording on: real-time cycles store their frames as test data, numbered
    // from the record base + 1, and are counted from 0 again
    // (GetRecordedFrameCount). Returns 0.
    virtual int32_t StartRecord();
    // Recording off; the frame number stays. Returns 0.
    virtual int32_t StopRecord();
    // The "test" and "device_info" sections of the log (nothing when empty).
    virtual void WriteTestXml(QXmlStreamWriter &writer);
    virtual void WriteDeviceInfoXml(QXmlStreamWriter &writer);

    // ---- plain accessors ----
    bool IsDriverRunning() const { return m_bDriverRunning; }
    bool IsCheckLedError() const { return bCheckLedError; }
    CComPort *GetPort() const { return m_pPort; }

    // Log naming for a given time and property list (GetLogDir and
    // GetLogFileName use the current ones, and CLocalClock's time).
    static QString MakeLogDir(const QList<CPropertyItem> &lstProperty);
    static QString MakeLogFileName(const QDateTime &time, const QList<CPropertyItem> &lstProperty);
    // strText as one safe file-name component: "/", "\", control characters
    // and the characters a file name may not hold on other stations
    // (: * ? " < > |) become "_", overlong texts are shortened, and "", "."
    // and ".." give strFallback.
    static QString SafeFileNamePart(const QString &strText, const QString &strFallback);

protected:
    bool m_bPrepared = false;
    bool m_bDriverRunning = false;
    bool bCheckLedError = false;
    CComPort *m_pPort = nullptr; // not owned
    QString m_strSaveError;
};
