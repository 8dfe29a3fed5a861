// The station program in a child process for the tests that end it during an
// upgrade: the real qMain over the fake device layer with the station's own
// emulated frame plugged in (the frame --emulated-frame gives, made here so
// that the child holds its bootloader), the upgrade log in the folder
// STATION_CHILD_UPGRADE_DIR, time-outs scaled by STATION_CHILD_TIMEOUT_SCALE.
//
// Once the main window has the frame, the child does what the operator does:
// it chooses the frame's own image (written into the working folder), opens
// the upgrade view and presses "Upgrade". The bootloader takes the records up
// to kHeldRecord and leaves that one unanswered; when it has arrived, the
// child writes kDownloadHeld to the run log. The test then ends the station
// by a signal, in the middle of the download.

#include "childtimeoutscale.h"
#include "customersettings.h"
#include "emulatedbootloader.h"
#include "emulatedframeimage.h"
#include "emulatedstationframe.h"
#include "handlework.h"
#include "mainwindow.h"
#include "qmain.h"
#include "upgradelogfile.h"
#include "veloraupgradeview.h"
#include "wholefile.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtGlobal>

#include <memory>

namespace {
constexpr int kHeldRecord = 20;
// Sendings of the held record that go unanswered: more than the download
// makes, so it waits until the station ends.
constexpr int kSilentSendings = 1000;
const char* const kDownloadHeld = "upgrade child: the download waits for the answer to record";

CEmulatedBootloader* g_pBoot = nullptr;

MainWindow* StationWindow()
{
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        if (auto* pWindow = qobject_cast<MainWindow*>(pWidget))
            return pWindow;
    }
    return nullptr;
}

void StartUpgradeWhenReady()
{
    auto* pTimer = new QTimer(qApp);
    auto* pStep = new int(0);
    QObject::connect(pTimer, &QTimer::destroyed, [pStep] { delete pStep; });
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [pTimer, pStep] {
        MainWindow* pWindow = StationWindow();
        if (!pWindow)
            return;
        auto* pView = pWindow->findChild<VeloraUpgradeView*>();
        auto* pOpen = pWindow->findChild<QToolButton*>(QStringLiteral("upgradeToolButton"));
        if (!pView || !pOpen)
            return;
        if (*pStep == 0) {
            if (pWindow->GetHandleWork()->GetDeviceKind() != HandleWork::DeviceKind::Live || !pOpen->isEnabled())
                return;
            const QString path = QDir::current().absoluteFilePath(CEmulatedFrameImage::FileName());
            QString strError;
            if (!WriteWholeFile(path, CEmulatedFrameImage::Data(), &strError)) {
                qWarning().noquote() << "upgrade child: cannot write the image:" << strError;
                pTimer->stop();
                return;
            }
            CCustomerSettings::GetInstance()->SetString(QStringLiteral("UpgradeFilePath"), path);
            pOpen->click();
            auto* pUpgrade = pView->findChild<QPushButton*>(QStringLiteral("upgradePushButton"));
            if (!pView->isVisible() || !pUpgrade || !pUpgrade->isEnabled()) {
                qWarning().noquote() << "upgrade child: the upgrade view did not open ready";
                pTimer->stop();
                return;
            }
            pUpgrade->click();
            *pStep = 1;
            return;
        }
        if (g_pBoot->Sendings() >= kHeldRecord) {
            qInfo().noquote() << kDownloadHeld << kHeldRecord;
            pTimer->stop();
        }
    });
    pTimer->start(10);
}
} // namespace

int main(int argc, char* argv[])
{
    ApplyChildTimeoutScale();
    CUpgradeLogFile::SetProgramDir(qEnvironmentVariable("STATION_CHILD_UPGRADE_DIR"));

    std::unique_ptr<CEmulatedStationFrame> pFrame = CEmulatedStationFrame::Create(QStringLiteral("healthy"));
    g_pBoot = pFrame->Bootloader();
    g_pBoot->FailAtRecord(kHeldRecord, CEmulatedBootloader::Failure::Silence, kSilentSendings);
    qAddPreRoutine(StartUpgradeWhenReady);

    const int nExitCode = qMain(argc, argv);
    // After the station has let go of the device layer.
    g_pBoot = nullptr;
    pFrame.reset();
    return nExitCode;
}
