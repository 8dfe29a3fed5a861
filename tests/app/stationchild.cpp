// The station program as the program-start tests run it: the real qMain in a
// child process, over a fake device layer with no frame (these machines have
// no hidraw), with its time-outs scaled by STATION_CHILD_TIMEOUT_SCALE.
//
// With STATION_CHILD_SILENT_TASK=1 an emulated frame is plugged that never
// answers the reverse-mode command, and once the station has taken the frame
// the child posts "OpenReverse" for the test view: the station then ends
// (by a signal) while that task waits.

#include "childtimeoutscale.h"
#include "emulatedframe.h"
#include "emulatedusbframe.h"
#include "fakehidbackend.h"
#include "handlework.h"
#include "mainwindow.h"
#include "qmain.h"
#include "veloratestview.h"

#include <QApplication>
#include <QTimer>
#include <QtGlobal>

#include <memory>

namespace {
// Posts the waiting task as soon as the station's window has a live frame.
void PostWaitingTaskWhenReady()
{
    auto* pTimer = new QTimer(qApp);
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [pTimer] {
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            auto* pWindow = qobject_cast<MainWindow*>(pWidget);
            if (!pWindow || pWindow->GetHandleWork()->GetDeviceKind() != HandleWork::DeviceKind::Live)
                continue;
            pWindow->GetHandleWork()->PostTask(QStringLiteral("OpenReverse"), Qt::AutoConnection,
                                               pWindow->findChild<VeloraTestView*>());
            pTimer->stop();
            return;
        }
    });
    pTimer->start(10);
}
} // namespace

int main(int argc, char* argv[])
{
    ApplyChildTimeoutScale();
    const auto backend = CFakeHidBackend::Install();

    std::unique_ptr<CEmulatedFrame> pFrame;
    std::unique_ptr<CEmulatedUsbFrame> pUsb;
    if (qEnvironmentVariableIntValue("STATION_CHILD_SILENT_TASK") == 1) {
        pFrame = std::make_unique<CEmulatedFrame>();
        pFrame->SetFault(0xA8, 0x08, CEmulatedFrame::Silent());
        pUsb = std::make_unique<CEmulatedUsbFrame>(pFrame.get(), backend);
        pUsb->Plug();
        qAddPreRoutine(PostWaitingTaskWhenReady);
    }

    const int nExitCode = qMain(argc, argv);
    pUsb.reset();
    pFrame.reset();
    CFakeHidBackend::Uninstall();
    return nExitCode;
}
