#include "emulatedstationframe.h"

#include "emulatedbootloader.h"
#include "emulatedframe.h"
#include "emulatedframeimage.h"
#include "emulatedpanel.h"
#include "emulatedprofile.h"
#include "emulatedusbframe.h"
#include "fakehidbackend.h"

#include <QByteArray>
#include <QList>

namespace {
// Time until the operator touches a four-point calibration target: each is
// seen, and the steps stay well inside the screen's count-down and step
// time-out. (The tests' rigs keep the frame's instant answers.)
constexpr int kTouchDelayMs = 1000;
// Time the bootloader takes to write one record of the image: a download of
// the provided image lasts a few seconds, and its progress is seen.
constexpr int kRecordWriteMs = 8;

// The image carries no version and no checksum; the frame reports ones made
// from the records it took, so an upgrade is seen to have taken: the
// checksum is the 16-bit sum of the records' bytes, the version their
// CRC-16 (CCITT, as qChecksum makes it). For the provided image this is
// version 0xCFE4 and checksum 0x6080 (README).
void DeriveFirmware(const QList<QByteArray>& records, quint16* pVersion, quint16* pChecksum)
{
    quint16 nSum = 0;
    QByteArray bytes;
    for (const QByteArray& record : records) {
        bytes += record;
        for (const char c : record)
            nSum = quint16(nSum + quint8(c));
    }
    *pChecksum = nSum;
    *pVersion = qChecksum(bytes.constData(), uint(bytes.size()));
}

QString Hex4(quint16 nValue)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(nValue, 4, 16, QLatin1Char('0')).toUpper();
}
} // namespace

std::unique_ptr<CEmulatedStationFrame> CEmulatedStationFrame::Create(const QString& strProfile)
{
    if (!CEmulatedProfile::IsKnown(strProfile))
        return nullptr;
    return std::unique_ptr<CEmulatedStationFrame>(new CEmulatedStationFrame(strProfile));
}

CEmulatedStationFrame::CEmulatedStationFrame(const QString& strProfile)
    : m_strProfile(strProfile),
      m_backend(CFakeHidBackend::Install()),
      m_pFrame(new CEmulatedFrame),
      m_pPanel(new CEmulatedPanel(m_pFrame.get()))
{
    m_pPanel->Install();
    CEmulatedProfile::Apply(strProfile, m_pFrame.get(), m_pPanel.get());
    m_pFrame->Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = kTouchDelayMs; });
    m_pBoot.reset(new CEmulatedBootloader(m_pFrame.get()));
    m_pBoot->ExpectImage(CEmulatedFrameImage::Data(), m_pFrame->Snapshot().boot.nMcuType);
    quint16 nVersion = 0;
    quint16 nChecksum = 0;
    DeriveFirmware(m_pBoot->ExpectedRecords(), &nVersion, &nChecksum);
    m_pBoot->SetNewFirmware(0, nChecksum, nVersion);
    m_pBoot->SetTakesEveryDownload(true);
    m_pBoot->SetRecordAnswerDelay(kRecordWriteMs);
    m_pUsb.reset(new CEmulatedUsbFrame(m_pFrame.get(), m_backend));
    m_pUsb->Plug();
}

CEmulatedStationFrame::~CEmulatedStationFrame()
{
    // The adapter stops its scheduler and takes the node off the bus before
    // the frame and panel it answers for go.
    m_pUsb.reset();
    m_pBoot.reset();
    m_pPanel.reset();
    m_pFrame.reset();
    CFakeHidBackend::Uninstall();
}

QString CEmulatedStationFrame::Identity() const
{
    const CEmulatedFrame::State s = m_pFrame->Snapshot();
    const bool bApp = s.mode == CEmulatedFrame::Mode::Application;
    QString strText = QStringLiteral("VID %1, PID %2, %3 mode, version %4, USB product \"%5\", serial \"%6\"")
                          .arg(Hex4(s.id.nVid), Hex4(bApp ? s.id.nAppPid : s.id.nBootPid),
                               bApp ? QStringLiteral("application") : QStringLiteral("bootloader"),
                               Hex4(bApp ? s.id.nVersion : s.id.nBootRelease),
                               QString::fromLatin1(s.id.product), QString::fromLatin1(s.id.serial));
    strText += QStringLiteral("; product %1, McuID %2, CheckSum %3-%4, BatchInfo %5")
                   .arg(QString::fromLatin1(s.info.product),
                        QString::fromLatin1(s.info.mcuId.toHex().toUpper()), Hex4(s.info.first.nAppChecksum),
                        Hex4(s.info.second.nAppChecksum),
                        s.info.bBatchErased ? QStringLiteral("(erased)") : QString::fromLatin1(s.info.batch));
    return strText;
}

void CEmulatedStationFrame::Plug()
{
    m_pUsb->Plug();
}

void CEmulatedStationFrame::Unplug()
{
    m_pUsb->Unplug();
}

bool CEmulatedStationFrame::IsPlugged() const
{
    return m_pUsb->IsPlugged();
}
