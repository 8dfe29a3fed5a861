#pragma once

#include "touchlogfile.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

class COperateEnvironment;
class QXmlStreamReader;

// The replay of an XML test log. StartTest and ReTest read the file named by
// the object's name into the test core (device information, station
// environment, interface test, hardware description, signal records) and run
// the test core's analysis over the recorded frames, keeping the verdict it
// gave (GetRunVerdict); the views then step and read through it as through a
// live frame.
//
// Every reading starts from an empty object, so a retest gives the result of
// the first run. A log that is not well-formed XML, or that carries counts no
// frame can have, gives ERROR_LOG_FORMAT with a run-log line; a file that
// cannot be opened gives ERROR_LOG_OPEN.
class CTouchLogfileXML : public CTouchLogfile
{
    Q_OBJECT

public:
    CTouchLogfileXML(COperateEnvironment *pEnv, QString strPath, QObject *parent = nullptr);
    ~CTouchLogfileXML() override;

    // A replay object for the log at strPath; the caller owns it.
    static CTouchLogfileXML *Create(COperateEnvironment *pEnv, const QString &strPath, QObject *parent = nullptr);

    // ---- CTouchBase ----
    // A log holds no device to ask. Returns false.
    bool ReInitDeviceInfo() override;
    // One direction's recorded frame of a kind at the current position ("UNT"
    // is computed from the ADC window). Returns the number of values.
    int32_t ReadAxisSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                           SignalFrame &lstOut, uint32_t *pFrameNumber = nullptr) override;
    // The log is not written to. Returns 0.
    int32_t RecordSignal(const QString &strKind, const SignalMap &mapSignal, uint32_t nFrameNumber) override;
    // Position 0; the four signal maps and the signal-error map emptied. Returns 0.
    int32_t ClearSignalData() override;
    // Appends the frame of the kind recorded at the current position, for
    // every axis and direction that has one. Returns 0.
    int32_t ReadSignal(const QString &strKind, SignalMap &mapSignal) override;
    int32_t ReadReverseSignal(SignalMap &mapSignal) override;
    // Read the log and run the test over it (both the same). Returns 0, an
    // error code of the log or the result of RunTest.
    int32_t StartTest(int32_t nMode) override;
    int32_t ReTest(int32_t nMode) override;
    int32_t InitTestConfig() override;
    int32_t InitDeviceInfo() override;

    // ---- log reading ----
    // The largest recorded frame number over all axes; 0 without axes.
    virtual uint32_t GetRecordCount();
    // Walks the document; 0, or ERROR_LOG_FORMAT with a run-log warning when
    // the reader stops on an error.
    virtual int32_t AnalysisXml(QXmlStreamReader &reader);
    // Section readers, entered on their start element and reading up to its
    // end element; true when the reader stopped on an error.
    virtual bool ReadTestInfo(QXmlStreamReader &reader);
    virtual bool ReadAppInfo(QXmlStreamReader &reader);
    virtual bool ReadDeviceInfo(QXmlStreamReader &reader);

    // Reads a log held in memory into the object as StartTest reads the file,
    // starting from an empty object and without running the test. Returns 0
    // or ERROR_LOG_FORMAT.
    int32_t ReadLogData(const QByteArray &data);

private:
    bool ReadInterfaceTest(QXmlStreamReader &reader);
    // Empties everything a log fills.
    void ResetLogContent();
    // Opens, checks and reads the file; 0 or an error code of the log.
    int32_t LoadFile();
};
