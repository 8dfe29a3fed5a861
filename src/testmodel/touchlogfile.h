#pragma once

#include "touchbase.h"

#include <cstdint>

class COperateEnvironment;

// A saved test log standing in for the device: the replay base. Its signal
// reads take the recorded frames out of the signal records; the positions
// 0 .. last record number are stepped with wrap-around at both ends, and the
// operations only a frame can perform succeed without doing anything.
class CTouchLogfile : public CTouchBase
{
    Q_OBJECT

public:
    CTouchLogfile(COperateEnvironment *pEnv, QString strName, QObject *parent = nullptr);
    ~CTouchLogfile() override;

    // One position back; from 0 to the last record number.
    uint32_t PrevFrame() override;
    // Stores the flag; nothing is sent anywhere. Returns 0.
    int32_t SetReverseMode(bool bReverse) override;
    // One position on; from the last record number to 0.
    uint32_t NextFrame() override;
    // A replay writes no log. Returns 0.
    int32_t SaveXml(const QString &strPath) override;
    // Nothing to initialise. Returns 0.
    int32_t InitAgc() override;

    // The largest frame number recorded in the log (0 without frames).
    uint32_t GetLastRecordNumber() const { return m_nLastRecord; }

    // The verdict of the run over the log, as GetTestResultCode gave it right
    // after the run: the code ("NG1" .. "NG5") and its message, both empty
    // when the run found no board, sensor or connector fault. Stepping the
    // replay replaces the newest frames that GetTestResultCode reads, so a
    // verdict shown again is taken from here. False before a run has kept one.
    bool GetRunVerdict(QString &strCode, QString &strMessage) const;

protected:
    // Called by the run over the log once it has finished.
    void KeepRunVerdict();
    void ForgetRunVerdict();

    uint32_t m_nLastRecord = 0;

private:
    bool m_bRunVerdict = false;
    QString m_strRunCode;
    QString m_strRunMessage;
};
