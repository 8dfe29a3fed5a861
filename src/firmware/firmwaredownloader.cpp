#include "firmwaredownloader.h"

#include "comportusb.h"
#include "deviceerror.h"
#include "stationclock.h"

#include <QCoreApplication>
#include <QDebug>
#include <cstring>

namespace {
constexpr quint8 kReplyId = 0xFD;
constexpr quint8 kNext = 0x04;      // FD 04: accepted, send the next record
constexpr quint8 kComplete = 0x05;  // FD 05: the firmware is complete
constexpr quint8 kError = 0x02;     // FD 02 xx
constexpr quint8 kPacketError = 0x02;
constexpr quint8 kNack = 0x03;
constexpr quint8 kUnknownMcu = 0x07;
constexpr quint8 kMcuQuery = 0x27;

bool IsDeviceGone(int32_t nResult)
{
    return nResult == ERROR_CODE_LOST_DEVICE || nResult == ERROR_CODE_NULL_DEVICE;
}
} // namespace

CFirmwareDownloader::CFirmwareDownloader(CComPortUsb* pPort, const std::atomic<bool>* pRecvEnabled,
                                         StatusSink statusSink, EnumerateSink enumerateSink)
    : m_pPort(pPort),
      m_pRecvEnabled(pRecvEnabled),
      m_statusSink(std::move(statusSink)),
      m_enumerateSink(std::move(enumerateSink))
{
}

void CFirmwareDownloader::Status(const char* szStatus, const char* szLog, double dProgress) const
{
    if (!m_statusSink)
        return;
    const QString log = (szLog && *szLog) ? QCoreApplication::translate("HandleWork", szLog) : QString();
    m_statusSink(QString::fromLatin1(szStatus), log, dProgress);
}

int CFirmwareDownloader::Download(const QString& strPath)
{
    m_bKeepRequest = false;
    m_nSent = 0;
    // The command reader of the frame stops; its answers now wait for the
    // direct reads of the download.
    m_pPort->SetUpgradeStatus(1);

    // The whole image is read and checked before the first record goes out,
    // and the records are sent from that copy.
    CFirmwareImage image;
    const CFirmwareImage::Status eStatus = image.Load(strPath);
    int nResult;
    switch (eStatus) {
    case CFirmwareImage::Status::Ok:
        nResult = Run(image);
        break;
    case CFirmwareImage::Status::PathError:
        qWarning().noquote() << "DownloadFirmwareToDevice" << ":" << image.Problem();
        Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Firmware path error"), 0);
        m_bKeepRequest = true;
        nResult = 0;
        break;
    case CFirmwareImage::Status::OpenError:
        qWarning().noquote() << "DownloadFirmwareToDevice" << ":" << image.Problem();
        Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Firmware cannot be opened"), 0);
        m_bKeepRequest = true;
        nResult = 0;
        break;
    case CFirmwareImage::Status::ReadError:
    default:
        qWarning().noquote() << "DownloadFirmwareToDevice" << ": the firmware image is refused," << image.Problem();
        Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Firmware read error"), 0);
        nResult = -1;
        break;
    }

    // Whatever ended the download, the frame's readers run normally again.
    m_pPort->SetUpgradeStatus(0);
    return nResult;
}

int CFirmwareDownloader::Run(CFirmwareImage& image)
{
    const qint64 nSize = image.Size();
    Status("UpgradeReady", QT_TRANSLATE_NOOP("HandleWork", "Start the upgrade"), double(nSize));

    quint8 out[CFirmwareImage::RECORD_SIZE] = {};
    quint8 in[CFirmwareImage::RECORD_SIZE] = {};
    int nAttempts = 0;       // sendings of the current record that went unanswered
    int nIgnored = 0;        // reports since the last sending that answered nothing
    bool bSendNext = true;   // else: waiting for the answer to the last sending
    int32_t nLastRead = 0;
    const int nSendTimeout = CStationClock::Timeout(SEND_TIMEOUT_MS);
    const int nRecvTimeout = CStationClock::Timeout(RECV_TIMEOUT_MS);

    for (;;) {
        if (!m_pRecvEnabled->load()) {
            qInfo().noquote() << "DownloadFirmwareToDevice" << ": the frame was removed after" << m_nSent << "bytes";
            return nLastRead;
        }
        const int nLimit = (out[0] == 0xFE && out[1] == 0x06) ? MAX_SENDINGS_FE06 : MAX_SENDINGS;
        if (nAttempts >= nLimit) {
            qWarning().noquote() << "DownloadFirmwareToDevice" << ": the record at" << m_nSent
                                 << "was sent" << nAttempts << "times without an answer";
            Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Transfer timeout"), double(m_nSent));
            return -1;
        }

        if (bSendNext) {
            if (m_nSent >= nSize) {
                Status("UpgradeFinished", QT_TRANSLATE_NOOP("HandleWork", "Read data finsih"), double(m_nSent));
                return 0;
            }
            if (nAttempts > 0) {
                // The same record again. Its status tells the view the frame
                // is still being served: a record may go unanswered for a
                // minute before the download gives up.
                m_pPort->SendUpgradeData(out, CFirmwareImage::RECORD_SIZE, nSendTimeout, 0);
                Status("ProgressUpdate", "", double(m_nSent));
            } else {
                int nRead = image.ReadRecord(out);
                if (nRead <= 0) {
                    qWarning().noquote() << "DownloadFirmwareToDevice" << ": no record to read at" << image.Pos();
                    Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Firmware read error"), double(m_nSent));
                    return -1;
                }
                if (CFirmwareImage::IsPartHeader(out, nRead)) {
                    if (SelectFirmwarePart(image, out) <= 0) {
                        Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Getting MCU type error"),
                               double(m_nSent));
                        return -1;
                    }
                    const int nPartRead = image.ReadRecord(out);
                    if (nPartRead <= 0) {
                        // An empty record is never sent.
                        qWarning().noquote() << "DownloadFirmwareToDevice" << ": the selected part is empty";
                        Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Firmware read error"),
                               double(m_nSent));
                        return -1;
                    }
                    // Both were read from the file: the header and the record after it.
                    nRead += nPartRead;
                }
                m_pPort->SendUpgradeData(out, CFirmwareImage::RECORD_SIZE, nSendTimeout, 0);
                m_nSent += nRead;
                Status("ProgressUpdate", "", double(m_nSent));
            }
            bSendNext = false;
            nIgnored = 0;
        }

        std::memset(in, 0, sizeof(in));
        const int32_t nRecv = m_pPort->RecvUpgradeData(in, CFirmwareImage::RECORD_SIZE, nRecvTimeout, 0);
        nLastRead = nRecv;
        if (nRecv == ERROR_CODE_TIMEOUT) {
            ++nAttempts;
            qDebug().noquote() << "DownloadFirmwareToDevice" << ": ERROR_CODE_TIMEOUT";
            bSendNext = true;
            continue;
        }
        if (IsDeviceGone(nRecv)) {
            Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Device is disconnected"), double(m_nSent));
            return -1;
        }
        if (nRecv == ERROR_CODE_INTERRUPT) {
            // Reception was turned off: the frame is being removed. Every
            // further read would return at once, so the download ends here.
            qInfo().noquote() << "DownloadFirmwareToDevice" << ": reception turned off after" << m_nSent << "bytes";
            return nRecv;
        }
        if (nRecv <= 0 || in[0] != kReplyId || (in[1] != kNext && in[1] != kComplete && in[1] != kError)) {
            // Not an answer: read again, a bounded number of times.
            if (++nIgnored > MAX_IGNORED_REPORTS) {
                qWarning().noquote() << "DownloadFirmwareToDevice" << ": no answer among" << nIgnored << "reports";
                ++nAttempts;
                bSendNext = true;
            }
            continue;
        }
        if (in[1] == kNext) {
            nAttempts = 0;
            bSendNext = true;
            continue;
        }
        if (in[1] == kComplete) {
            Status("UpgradeFinished", QT_TRANSLATE_NOOP("HandleWork", "Firmware sent"), double(nSize));
            if (m_enumerateSink)
                m_enumerateSink(true);
            return nRecv;
        }
        if (in[2] == kPacketError) {
            Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Upgrade error Packet"), double(m_nSent));
            return -1;
        }
        if (in[2] == kNack) {
            Status("UpdateError", QT_TRANSLATE_NOOP("HandleWork", "Upgrade error Nack"), double(m_nSent));
            return -1;
        }
        // Another FD 02 answer: read again.
        if (++nIgnored > MAX_IGNORED_REPORTS) {
            ++nAttempts;
            bSendNext = true;
        }
    }
}

int CFirmwareDownloader::SelectFirmwarePart(CFirmwareImage& image, const quint8* pHeader)
{
    if (!CFirmwareImage::IsPartHeader(pHeader, CFirmwareImage::RECORD_SIZE))
        return -1;
    const CFirmwareImage::PartHeader header = CFirmwareImage::ParseHeader(pHeader);

    // The answer comes where every answer of the bootloader arrives while the
    // upgrade status is on: to the direct read.
    quint8 query[CFirmwareImage::RECORD_SIZE] = {};
    query[0] = 0xFE;
    query[1] = kMcuQuery;
    m_pPort->SendUpgradeData(query, CFirmwareImage::RECORD_SIZE, CStationClock::Timeout(SEND_TIMEOUT_MS), 0);

    const int nRecvTimeout = CStationClock::Timeout(RECV_TIMEOUT_MS);
    quint8 in[CFirmwareImage::RECORD_SIZE];
    for (int i = 0; i < MCU_QUERY_READS; ++i) {
        std::memset(in, 0, sizeof(in));
        const int32_t nRecv = m_pPort->RecvUpgradeData(in, CFirmwareImage::RECORD_SIZE, nRecvTimeout, 0);
        if (IsDeviceGone(nRecv) || nRecv == ERROR_CODE_INTERRUPT) {
            qWarning().noquote() << "SelectFirmwarePart" << ": the frame is gone, result"
                                 << QString::number(uint32_t(nRecv), 16);
            return -1;
        }
        if (nRecv <= 0 || in[0] != kReplyId)
            continue;
        if (in[1] == kMcuQuery) {
            const quint32 nType = in[2];
            const qint64 nPart = CFirmwareImage::PartOffset(header, nType);
            qInfo().noquote() << "SelectFirmwarePart" << ": MCU type" << nType << "part at"
                              << (nPart >= 0 ? QString::number(nPart) : QStringLiteral("none, next record"));
            if (nPart >= 0 && !image.Seek(nPart))
                return -1;  // a checked image never gets here
            return int(nType);
        }
        if (in[1] == kError && in[2] == kUnknownMcu) {
            qWarning().noquote() << "SelectFirmwarePart" << ": the bootloader cannot tell its MCU type";
            return 0;
        }
    }
    qWarning().noquote() << "SelectFirmwarePart" << ": no answer to the MCU-type query";
    return -1;
}
