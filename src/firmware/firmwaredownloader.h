#pragma once

#include "firmwareimage.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cstdint>
#include <functional>

class CComPortUsb;

// Sends a firmware image to a frame in bootloader mode, record by record,
// through the port's direct upgrade path, and waits for the bootloader's
// answer to each record:
//   FD 04     accepted, send the next record;
//   FD 05     the firmware is complete;
//   FD 02 02  packet error;   FD 02 03  negative acknowledgement;
//   anything else is ignored and the next report awaited.
// A record that goes unanswered (10000 ms) is sent again, up to 6 sendings in
// all (3 for records beginning FE 06), then the download ends with "Transfer
// timeout". A part-selection header asks the frame for its MCU type and moves
// on to the part for it.
//
// Every state change goes to the status sink as (status, log, progress), with
// the station's texts translated in the context of the dispatcher. Every
// sending of a record, a resend too, is a "ProgressUpdate" with the bytes sent
// so far.
//
// Runs on the dispatcher's worker thread under the device mutex. The
// receive-enabled flag is the dispatcher's: a frame removal clears it on the
// GUI thread and the download ends at its next pass without a status.
class CFirmwareDownloader
{
public:
    using StatusSink = std::function<void(const QString& status, const QString& log, double progress)>;
    using EnumerateSink = std::function<void(bool bReEnumerate)>;

    // Time-outs of the download, in ms (scaled by CStationClock::Timeout).
    static constexpr int SEND_TIMEOUT_MS = 30;
    static constexpr int RECV_TIMEOUT_MS = 10000;
    static constexpr int MAX_SENDINGS = 6;
    static constexpr int MAX_SENDINGS_FE06 = 3;
    // Reports read for the answer to the MCU-type query.
    static constexpr int MCU_QUERY_READS = 100;
    // Reports that answer nothing, read while waiting for the answer to one
    // sending; past this many the sending counts as unanswered.
    static constexpr int MAX_IGNORED_REPORTS = 256;

    CFirmwareDownloader(CComPortUsb* pPort, const std::atomic<bool>* pRecvEnabled, StatusSink statusSink,
                        EnumerateSink enumerateSink = EnumerateSink());

    // Downloads the image at strPath. Result: 0 after a path or open failure
    // and after "Read data finsih"; the length of the answer after "Firmware
    // sent"; the result of the last read when the frame was removed; -1 after
    // every other failure. The upgrade status of the port is on during the
    // download and always off again at its end.
    int Download(const QString& strPath);

    // True when the download ended because the image file was missing or
    // could not be opened: the upgrade request then stays pending.
    bool KeepsRequest() const { return m_bKeepRequest; }
    // Bytes of the image sent when the download ended.
    qint64 BytesSent() const { return m_nSent; }

    // Asks the frame for its MCU type (FE 27) and moves the image to the part
    // for it (part A first), or leaves it after the header when neither part
    // is for it. Returns the frame's MCU type, 0 when the frame answers that
    // it cannot tell (FD 02 07), or -1 (no header, no answer, frame gone).
    int SelectFirmwarePart(CFirmwareImage& image, const quint8* pHeader);

private:
    int Run(CFirmwareImage& image);
    void Status(const char* szStatus, const char* szLog, double dProgress) const;

    CComPortUsb* m_pPort;
    const std::atomic<bool>* m_pRecvEnabled;
    StatusSink m_statusSink;
    EnumerateSink m_enumerateSink;
    bool m_bKeepRequest = false;
    qint64 m_nSent = 0;
};
