#pragma once

// What the tests of the calibration screens share: the real dispatcher over
// one emulated frame (the calibration view's work type), the run log with
// the tasks the dispatcher started, the answerer of the screens' boxes and
// file dialogs, and screenshots.

#include "handlework.h"
#include "hardwareinterface.h"
#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>

namespace CalibrationTest {

// A left-button press, a move with it held, or its release at p.
inline void SendMouse(QWidget* pWidget, QEvent::Type type, const QPoint& p)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, p, button, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

} // namespace CalibrationTest

class CCalibrationScreenRig
{
public:
    // The dispatcher alone (the calibration view's work type), or the real
    // main window with its own.
    enum class ELayer { Dispatcher, MainWindow };

    // The frame is added (not plugged); the dispatcher waits for it.
    explicit CCalibrationScreenRig(ELayer layer = ELayer::Dispatcher,
                                   const CStationRig::SFrameOptions& options = CStationRig::SFrameOptions::Upgradable())
    {
        rig.AddFrame(options);
        if (layer == ELayer::MainWindow)
            rig.StartMainWindow();
        else
            rig.StartDispatcher(CALIBRATEWORK);
        rig.Settle();
    }

    HandleWork* Work() const { return rig.Work(); }
    CStationRig::SFrame& Frame() { return rig.Frame(); }

    // Plugs the frame and waits until the dispatcher has read what the
    // work type asks for (calibration data, device information); forgets
    // what was said and run so far.
    bool PlugFrame()
    {
        rig.Frame().usb->Plug();
        if (!StationTest::WaitFor([this] { return rig.Record().events.contains("deviceinfo"); }))
            return false;
        rig.Settle();
        Forget();
        return true;
    }

    // Until the tasks posted so far have run, and those their answers
    // posted in turn.
    void Settle()
    {
        rig.Settle();
        rig.Settle();
    }

    void Forget()
    {
        rig.ClearRecord();
        log.Clear();
        answerer.boxes.clear();
    }

    // The tasks the dispatcher started since the last Forget(), in order
    // (the rig's own settling left out).
    QStringList Tasks() const
    {
        QStringList tasks = log.Tasks();
        tasks.removeAll(QStringLiteral("__settle__"));
        return tasks;
    }

    // Holds the pointer at p on a running fine-tuning screen (the frame
    // reporting the touch again and again, the screen's own timer ticking)
    // until the station's values change, then releases it: one adjustment.
    // With until: until that holds instead (the values are read under the
    // device mutex, which a send to a frame that does not answer holds).
    bool LongPress(QWidget* pScreen, const QPoint& p, std::function<bool()> until = nullptr)
    {
        if (!until) {
            const QList<int> before = Cached();
            until = [this, before] { return Cached() != before; };
        }
        CalibrationTest::SendMouse(pScreen, QEvent::MouseButtonPress, p);
        const bool bDone = StationTest::WaitFor([&] {
            if (until())
                return true;
            CalibrationTest::SendMouse(pScreen, QEvent::MouseMove, p);
            return false;
        });
        CalibrationTest::SendMouse(pScreen, QEvent::MouseButtonRelease, p);
        return bDone;
    }

    // The station's cached values LX, LY, RX, RY.
    QList<int> Cached() const
    {
        QMutexLocker lock(rig.Work()->GetDeviceMutex());
        auto* pDevice = dynamic_cast<HardwareInterface*>(rig.Work()->GetTouchDevice());
        if (!pDevice)
            return {};
        return {pDevice->GetCalLX(), pDevice->GetCalLY(), pDevice->GetCalRX(), pDevice->GetCalRY()};
    }
    void SetCached(int lx, int ly, int rx, int ry)
    {
        QMutexLocker lock(rig.Work()->GetDeviceMutex());
        if (auto* pDevice = dynamic_cast<HardwareInterface*>(rig.Work()->GetTouchDevice())) {
            pDevice->SetCalLX(lx);
            pDevice->SetCalLY(ly);
            pDevice->SetCalRX(rx);
            pDevice->SetCalRY(ry);
        }
    }
    // The values the frame itself holds (RAM, flash).
    QList<int> FrameValues()
    {
        const CEmulatedFrame::State s = rig.Frame().frame.Snapshot();
        return {s.cal.value[0], s.cal.value[1], s.cal.value[2], s.cal.value[3]};
    }
    QList<int> FrameFlash()
    {
        const CEmulatedFrame::State s = rig.Frame().frame.Snapshot();
        return {s.cal.flash[0], s.cal.flash[1], s.cal.flash[2], s.cal.flash[3]};
    }

    // Before the rig: the log and the answerer outlive the dispatcher's end.
    CRunLogCapture log;
    CModalBoxAnswerer answerer;
    CStationRig rig;
};

namespace CalibrationTest {

// Activates a shown window and waits until it is the active one.
inline bool Activate(QWidget* pWindow)
{
    pWindow->activateWindow();
    return StationTest::WaitFor([pWindow] { return pWindow->isActiveWindow(); });
}

// Writes a file of the test's own and returns its path; when it cannot, the
// test fails (the path is returned all the same).
inline QString WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        QTest::qFail(qPrintable(QStringLiteral("cannot write %1: %2").arg(path, file.errorString())), __FILE__,
                     __LINE__);
    return path;
}

inline bool SaveScreenshot(QWidget* pWidget, const QString& name)
{
    return pWidget->grab().save(QDir(CTestEnvironment::OutputDir()).filePath(name));
}

// The factory values of the emulated frame.
inline QList<int> FactoryValues()
{
    return {0x0100, 0x0200, 0x7E00, 0x7D00};
}

} // namespace CalibrationTest
