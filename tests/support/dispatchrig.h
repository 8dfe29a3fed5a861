#pragma once

// The former dispatcher rig, now a view of CStationRig: one frame with its
// bootloader (no panel) under the real dispatcher with a recording main
// window. Kept while code written against it moves to CStationRig; new code
// uses that.

#include "handlework.h"
#include "pathview.h"
#include "shelltestwindow.h"
#include "stationrig.h"
#include "waitfor.h"

class CDispatchRig : public CStationRig
{
public:
    CFakeHidBackend* hid = nullptr;
    CEmulatedFrame* frame = nullptr;
    CEmulatedBootloader* boot = nullptr;
    CEmulatedUsbFrame* usb = nullptr;
    CShellTestWindow* window = nullptr;
    HandleWork* work = nullptr;
    QStringList& events = Record().events;
    QList<SUpgrade>& upgrades = Record().upgrades;
    QList<InfoList>& deviceInfos = Record().deviceInfos;

    // Builds the station and the frame (not plugged yet).
    void Create(eWorkType type)
    {
        Reset();
        SFrame& f = AddFrame(SFrameOptions::Upgradable());
        hid = Backend().get();
        frame = &f.frame;
        boot = f.boot.get();
        usb = f.usb.get();
        work = StartDispatcher(type);
        window = ShellWindow();
        Settle();
    }
    void Destroy()
    {
        frame = nullptr;
        boot = nullptr;
        usb = nullptr;
        window = nullptr;
        work = nullptr;
        Reset();
    }
    void Clear() { ClearRecord(); }
    bool HasUpgrade(const QString& status) const { return Record().HasUpgrade(status); }
    QStringList AppCommands(int nAtLeast = 0) { return Frame().AppCommands(nAtLeast); }
    template <typename Pred>
    static bool WaitFor(Pred pred, int nTimeoutMs = 10000)
    {
        return StationTest::WaitFor(pred, nTimeoutMs);
    }
};
