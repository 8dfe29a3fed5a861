#pragma once

// TRANSITIONAL: the former names of the station rig, until every test uses CStationRig.
// The former names of the station rig's frames and of the run-log capture,
// kept while code written against them moves to CStationRig and
// CRunLogCapture; new code uses those.

#include "runlogcapture.h"
#include "stationrig.h"

using CShellFrame = CStationRig::SFrame;

// Frames with a healthy panel and no bootloader, serial "EMU<pid>".
class CShellRig : public CStationRig
{
public:
    CShellFrame& AddFrame(quint16 nVersion = 0x7201, quint16 nPid = 0x0013,
                          CEmulatedFrame::Mode mode = CEmulatedFrame::Mode::Application)
    {
        CShellFrame& frame = CStationRig::AddFrame(nVersion, nPid, mode);
        frame.frame.Edit([nPid](CEmulatedFrame::State& s) { s.id.serial = "EMU" + QByteArray::number(nPid, 16); });
        return frame;
    }
};

using CRunLogRecord = CRunLogCapture;
