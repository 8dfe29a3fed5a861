// The firmware upgrade of the dispatcher: "Start_Upgrade" sends a frame in
// application mode to its bootloader under the bootloader-detect timer; when
// the frame comes back in bootloader mode the arrival posts "Start_Upgrade"
// again, the boot information is read and the image is downloaded record by
// record. Every state change reaches the upgrade view through
// EmitUpgradeStatus(status, log, progress).

#include "handlework.h"

#include "comportusb.h"
#include "deviceerror.h"
#include "devicemode.h"
#include "firmwaredownloader.h"
#include "firmwareimage.h"
#include "hardwareinterface.h"
#include "touchbase.h"

#include <QDebug>
#include <QMetaObject>
#include <QMutexLocker>
#include <QTimer>

namespace {
// Idle ticks of the detect timer after which the jump is given up.
constexpr int kBootDetectIdleTicks = 5;
} // namespace

// ---------------------------------------------------------------------------
// Rows

int32_t HandleWork::RunStartUpgrade(const STaskContext& ctx)
{
    if (ctx.mPara) {
        // The upgrade view's start carries the image the view shows: that
        // one is downloaded, whatever the settings file could keep of it.
        m_strFirmwarePath = ctx.strArg;
        m_bUpgradeRequested = true;
        m_nBootJumps = 0;
        qInfo().noquote() << "ProcessTask" << ": Start_Upgrade, firmware" << ctx.strArg;
        emit EmitUpgradeStartTaken();
    }
    // Only a requested upgrade runs: a post of the arrival that waited in the
    // queue while the download ended (or "Stop_Upgrade" ran) must not send the
    // frame through the bootloader once more.
    if (!m_bUpgradeRequested) {
        qInfo().noquote() << "ProcessTask" << ": Start_Upgrade - no upgrade is requested";
        return 0;
    }
    QMutexLocker lock(m_pDeviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (pDevice && m_pUsbPort->GetDevCount() > 0 && pDevice->GetType() == 1) {
        // Also when the view's own post finds a frame that arrived after the
        // view looked (its arrival came before this request was taken and
        // posted no upgrade): the upgrade has its frame now. Queued to the
        // view, ahead of every status of the upgrade.
        emit EmitUpgradeFrameTaken();
        UpgradeTask();
    }
    return 0;
}

int32_t HandleWork::RunStopUpgrade(const STaskContext&)
{
    m_bUpgradeRequested = false;
    m_nBootJumps = 0;
    return 0;
}

// ---------------------------------------------------------------------------
// The arrival of a frame for a requested upgrade (GUI thread)

void HandleWork::PostRequestedUpgrade()
{
    // From here on the upgrade has its frame: the view's wait for one is
    // over. A post that is refused (the last upgrade's task still runs)
    // starts nothing, and the view keeps waiting.
    if (PostTask(QStringLiteral("Start_Upgrade")))
        emit EmitUpgradeFrameTaken();
    else
        qWarning().noquote() << "InsertUsbDevice" << ": Start_Upgrade was refused, the frame is not taken for the upgrade";
}

// ---------------------------------------------------------------------------
// The upgrade sequence (worker thread, device mutex held)

void HandleWork::EmitUpgradeState(const QString& status, const QString& log, double dProgress)
{
    emit EmitUpgradeStatus(status, log, dProgress);
}

void HandleWork::StartBootDetectTimer()
{
    m_bBootDetectRunning = true;
    emit EmitStartDevToBootDetectTimer();
}

void HandleWork::StopBootDetectTimer(const char* szWhy)
{
    qDebug().noquote() << "UpgradeTask" << szWhy;
    m_bBootDetectRunning = false;
    emit EmitStopDevToBootDetectTimer();
}

int HandleWork::UpgradeTask()
{
    m_bBootJumpActivity = true;
    if (!m_bBootDetectRunning) {
        qDebug().noquote() << "UpgradeTask" << " start DevToBootDetectTimer";
        StartBootDetectTimer();
    }

    auto* pDevice = dynamic_cast<HardwareInterface*>(m_pDevice.load());
    const uint32_t nMode = m_pUsbPort->GetDeviceMode();
    if (nMode == DEVICE_MODE_APPLICATION && pDevice) {
        if (m_nBootJumps >= kMaxBootJumpsPerUpgrade) {
            // Back in its application after every jump it answered: its
            // bootloader does not start, and another jump would not change that.
            qWarning().noquote() << "UpgradeTask : the frame came back in its application after" << m_nBootJumps
                                 << "jumps to its bootloader; the upgrade is given up";
            m_bUpgradeRequested = false;
            m_nBootJumps = 0;
            StopBootDetectTimer(":66666 EmitStopDevToBootDetectTimer ");
            EmitUpgradeState(QStringLiteral("UpdateError"), tr("Jump bootloader returns exception"), 0);
            return 0;
        }
        // The image is checked before the frame leaves its application: a
        // frame sent to its bootloader with nothing to take stays there.
        CFirmwareImage image;
        const CFirmwareImage::Status eStatus = image.Load(m_strFirmwarePath);
        if (eStatus != CFirmwareImage::Status::Ok) {
            qWarning().noquote() << "UpgradeTask" << ": the firmware image is refused," << image.Problem();
            StopBootDetectTimer(":55555 EmitStopDevToBootDetectTimer ");
            EmitUpgradeState(QStringLiteral("UpdateError"), tr(CFirmwareImage::StatusText(eStatus)), 0);
            // A missing or unreadable file keeps the request, as the download does.
            if (eStatus == CFirmwareImage::Status::ReadError)
                m_bUpgradeRequested = false;
            return -1;
        }

        EmitUpgradeState(QStringLiteral("UpdateLog"), tr("Jump to bootloader"), 0);
        // Told before the jump is sent: a frame leaves the bus as soon as it
        // has answered, and the view must know that departure for the
        // restart before it sees it. A failed jump's error ends that.
        emit EmitDeviceEnumerateState(true);
        const int32_t nRet = pDevice->JumpToBoot();
        if (nRet != 0 && !LeftDuringTheJump(nRet)) {
            StopBootDetectTimer(":00000 EmitStopDevToBootDetectTimer ");
            EmitUpgradeState(QStringLiteral("UpdateError"), tr("Jump bootloader returns exception"), 0);
            return nRet;
        }
        if (nRet != 0) {
            // The frame went before its answer was read (a loaded station
            // reads it late, and a frame restarts at once): the departure is
            // its answer. Its arrival in bootloader mode goes on with the
            // upgrade; the detect timer bounds the wait for it, and a return
            // in its application counts against the jumps.
            qWarning().noquote() << "UpgradeTask : the frame left the bus before its answer to the jump was read ("
                                 << QString::number(uint32_t(nRet), 16) << "); its return is awaited";
        }
        qDebug().noquote() << "UpgradeTask" << ": result = " + QString::number(uint32_t(nRet), 16);
        ++m_nBootJumps;
        m_bBootJumpActivity = true;
        return 0;
    }

    if (m_pUsbPort->GetDevCount() <= 0 || nMode != DEVICE_MODE_BOOTLOADER || !pDevice) {
        StopBootDetectTimer(":44444 EmitStopDevToBootDetectTimer ");
        EmitUpgradeState(QStringLiteral("UpdateError"), tr("No device found yet"), 0);
        return 0;
    }

    m_bBootJumpActivity = true;
    const int32_t nBootInfo = pDevice->GetBootInfo();
    if (nBootInfo > 0) {
        StopBootDetectTimer(": 33333 EmitStopDevToBootDetectTimer ");
        EmitUpgradeState(QStringLiteral("UpdateError"),
                         tr("Failed to obtain bootloader information:") + QString::number(nBootInfo, 32), 0);
        return nBootInfo;
    }
    const QList<CPropertyItem> lstProperty = pDevice->GetPropertyList();
    if (lstProperty.isEmpty()) {
        StopBootDetectTimer(":111 EmitStopDevToBootDetectTimer ");
        EmitUpgradeState(QStringLiteral("UpdateError"), tr("Failed to obtain bootloader information"), 0);
        return nBootInfo;
    }
    QString strPairs;
    for (const CPropertyItem& item : lstProperty)
        strPairs += item.first + QLatin1Char(':') + item.second + QLatin1Char(' ');
    EmitUpgradeState(QStringLiteral("UpdateLog"), strPairs, 0);
    EmitUpgradeState(QStringLiteral("UpdateLog"), tr("Ready to upgrade"), 0);
    StopBootDetectTimer(":222 EmitStopDevToBootDetectTimer ");
    return DownloadFirmwareToDevice();
}

bool HandleWork::LeftDuringTheJump(int32_t nResult) const
{
    // The command's family code keeps the port's error in its low bits.
    const int32_t nPortError = int32_t(0x80000000u | (uint32_t(nResult) & 0xFFFFu));
    if (nPortError == ERROR_CODE_LOST_DEVICE)
        return true;
    // Reception switched off by the removal of the frame (not by a stop of
    // the station, which ends the task anyway).
    return nPortError == ERROR_CODE_INTERRUPT && !m_bClosing
        && (m_pUsbPort->GetDevCount() <= 0 || m_pUsbPort->GetDeviceMode() == DEVICE_MODE_BOOTLOADER);
}

int HandleWork::DownloadFirmwareToDevice()
{
    CFirmwareDownloader downloader(
        m_pUsbPort, &m_bRecvEnabled,
        [this](const QString& status, const QString& log, double dProgress) {
            EmitUpgradeState(status, log, dProgress);
        },
        [this](bool bValue) { emit EmitDeviceEnumerateState(bValue); });
    const int nRet = downloader.Download(m_strFirmwarePath);
    // The jumps of this upgrade are over, whatever the download's end.
    m_nBootJumps = 0;
    if (!downloader.KeepsRequest())
        m_bUpgradeRequested = false;
    qInfo().noquote() << "DownloadFirmwareToDevice" << ": ended with" << nRet << "after"
                      << downloader.BytesSent() << "bytes";
    return nRet;
}

// ---------------------------------------------------------------------------
// Bootloader-detect timer (GUI thread)

void HandleWork::SetBootDetectInterval(int nMs)
{
    m_pBootDetectTimer->setInterval(nMs);
}

void HandleWork::UpgradeDetectTimer_CB()
{
    const bool bActivity = m_bBootJumpActivity.exchange(false);
    qDebug().noquote() << "UpgradeDetectTimer_CB" << ": m_bUpgradeContinue = " << (bActivity ? "true" : "false")
                       << " count = " << m_nBootDetectTicks;
    if (bActivity) {
        m_nBootDetectTicks = 0;
        return;
    }
    if (++m_nBootDetectTicks < kBootDetectIdleTicks)
        return;
    qDebug().noquote() << "UpgradeDetectTimer_CB" << ": Jump bootloader returns exception";
    EmitUpgradeState(QStringLiteral("UpdateError"), tr("Jump bootloader returns exception"), 0);
    m_nBootDetectTicks = 0;
    m_bBootDetectRunning = false;
    emit EmitStopDevToBootDetectTimer();
}
