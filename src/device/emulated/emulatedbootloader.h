#pragma once

#include "emulatedframe.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QtGlobal>
#include <memory>

// The bootloader side of a firmware download for an emulated frame: it knows
// the image it is meant to receive and takes it record by record.
//
// From the image and the frame's MCU type it works out, as the bootloader
// protocol defines it, the records that must arrive: 64-byte records from the
// start (a short last one padded with zeros), a part-selection header
// (FF FF FF FF, MCU type and file offset of part A at bytes 8 and 12, of part
// B at 16 and 20) never sent but answered by continuing at the part for the
// frame's MCU type, or after the header when neither matches. It answers:
//   FE 27     with FD 27 t (its MCU type), or FD 02 07 when it cannot tell;
//   a record  with FD 04, or FD 05 once the last expected record is in, after
//             which it leaves the bus and comes back as an application frame
//             with the new version and checksum;
//   a record that is not the expected one with FD 02 02 (packet error).
// Failures can be set per record number: a packet error, a NACK, silence for
// a number of sendings, leaving the bus; and for the MCU query.
//
// It registers a handler on the frame for FE 27 00 and takes every other
// bootloader report (id 0xFE) as a record, whatever its command byte, so an
// image of other records than the expected ones is refused record by record;
// the frame's own model keeps the boot-information query FE 03 00 and the
// jump. With no image expected, the frame's own model takes the records.
class CEmulatedBootloader
{
public:
    enum class Failure {
        None,
        PacketError,  // FD 02 02
        Nack,         // FD 02 03
        Silence,      // no answer at all
        Unplug,       // leaves the bus when the record arrives
    };
    enum class McuAnswer {
        Type,     // FD 27 t
        Unknown,  // FD 02 07
        Silent,   // no answer
    };

    // Installs the handlers on pFrame (which must outlive this object; the
    // handlers hold a pointer to it as well, so keep both for the test).
    explicit CEmulatedBootloader(CEmulatedFrame* pFrame);
    ~CEmulatedBootloader();
    CEmulatedBootloader(const CEmulatedBootloader&) = delete;
    CEmulatedBootloader& operator=(const CEmulatedBootloader&) = delete;

    // The image to be sent and the MCU type of the frame (also set in the
    // frame's boot state). Resets what was received.
    void ExpectImage(const QByteArray& image, quint8 nMcuType = 0x21);
    // The records the bootloader expects, in order (each 64 bytes).
    QList<QByteArray> ExpectedRecords() const;

    // Record nRecord (1-based, counted over accepted records) fails with
    // eFailure for nTimes sendings (the next sendings are taken normally).
    void FailAtRecord(int nRecord, Failure eFailure, int nTimes = 1);
    void SetMcuAnswer(McuAnswer eAnswer, int nReportsBefore = 0);
    // What the frame reports after a complete image (each 0: unchanged): the
    // USB release number of its application, the application checksum and
    // the application version (of its first firmware set, A3 05, and of
    // the short information, A3 00).
    void SetNewFirmware(quint16 nVersion, quint16 nAppChecksum, quint16 nAppVersion = 0);
    // False: after FD 05 the frame stays in its bootloader.
    void SetReturnsToApplication(bool bReturns);
    // False: the last record is answered FD 04 like every other one (no
    // FD 05) and the frame stays in its bootloader.
    void SetAnswersComplete(bool bAnswers);
    // True: every download takes the expected image afresh. The records
    // received are forgotten whenever the frame is sent to its bootloader
    // (AA 04) and whenever a download begins (the boot-information query
    // FE 03 that comes first), so every upgrade with that image completes,
    // also after a complete one or one that failed half-way. Off by default:
    // after one complete image every further record is refused.
    void SetTakesEveryDownload(bool bEvery);
    // The time a record takes to be written: its answer comes that much
    // later (0, the default: at once).
    void SetRecordAnswerDelay(int nDelayMs);

    // Accepted records, in order, and every sending (resends included).
    QList<QByteArray> Received() const;
    int Sendings() const;
    int McuQueries() const;
    bool IsComplete() const;
    // Protocol faults seen (a record other than the expected one...).
    QStringList Problems() const;

private:
    struct Fail
    {
        Failure eFailure = Failure::None;
        int nLeft = 0;
    };

    // Forgets the records received (frame locked).
    void Rearm(CEmulatedFrame& frame);
    bool OnRecord(CEmulatedFrame& frame, const QByteArray& request, QList<CEmulatedFrame::Action>* pActions);
    bool OnMcuQuery(CEmulatedFrame& frame, QList<CEmulatedFrame::Action>* pActions);
    void Reply(CEmulatedFrame& frame, QList<CEmulatedFrame::Action>* pActions, const QByteArray& report) const;
    void Reply(CEmulatedFrame& frame, QList<CEmulatedFrame::Action>* pActions, int nDelayMs,
               const QByteArray& report) const;

    CEmulatedFrame* m_pFrame;
    // State below is guarded by the frame's mutex (handlers run under it).
    QList<QByteArray> m_expected;
    QList<QByteArray> m_received;
    QMap<int, Fail> m_fails;
    McuAnswer m_eMcuAnswer = McuAnswer::Type;
    int m_nMcuReportsBefore = 0;
    int m_nMcuQueries = 0;
    int m_nSendings = 0;
    bool m_bComplete = false;
    bool m_bReturns = true;
    bool m_bAnswersComplete = true;
    bool m_bTakesEvery = false;
    int m_nRecordDelayMs = 0;
    bool m_bRearmRegistered = false;
    quint16 m_nNewVersion = 0;
    quint16 m_nNewChecksum = 0;
    quint16 m_nNewAppVersion = 0;
    QStringList m_problems;
    std::shared_ptr<bool> m_pAlive;
};
