#pragma once

// Helpers of the device tests that run on the mocked kernel (header only).

#include "devicetesthelpers.h"
#include "emulatedframe.h"
#include "mockedhidframe.h"
#include "mockedkernel.h"
#include "waitfor.h"

#include <QString>
#include <memory>

namespace mockedtest {

// A frame on the mocked USB bus: its protocol model and its USB device.
struct CFrameOnBus
{
    explicit CFrameOnBus(quint16 nVid = 0x2FE9, quint16 nAppPid = 0x0013, quint16 nRelease = 0x7201,
                         quint16 nBootPid = 0xFF00)
    {
        frame.Edit([&](CEmulatedFrame::State &s) {
            s.id.nVid = nVid;
            s.id.nAppPid = nAppPid;
            s.id.nVersion = nRelease;
            s.id.nBootPid = nBootPid;
        });
        usb = std::make_unique<CMockedHidFrame>(CMockedKernel::Current(), &frame);
    }
    ~CFrameOnBus() { usb.reset(); } // the USB device goes before the model behind it

    CEmulatedFrame frame;
    std::unique_ptr<CMockedHidFrame> usb;
};

inline QString NameOf(quint16 nVid, quint16 nPid, quint16 nRelease)
{
    return QString::asprintf("USB\\VID_%04X&PID_%04X&REV_%04X", nVid, nPid, nRelease);
}

// The manager's key of a frame: its USB bus and device number.
inline QString KeyOf(const CMockedHidFrame &usb)
{
    return QString::number(usb.UsbBusNum() * 1000 + usb.UsbDevNum());
}

// Runs the event loop until an enumeration pass that started after this call
// has ended, so the station's view of the bus is up to date. Two "change"
// events of a plugged device trigger two passes; at most one pass runs when
// this is called, so one of the two that end afterwards started afterwards.
inline bool WaitForPass(CMockedHidFrame &plugged)
{
    const int nBefore = devicetest::PassCount();
    plugged.Announce();
    plugged.Announce();
    return StationTest::WaitFor([nBefore]() { return devicetest::PassCount() >= nBefore + 2; });
}

// An application command report: 0xFC, command, subcommand, zeros.
inline QByteArray Command(quint8 nCmd, quint8 nSub)
{
    QByteArray request(64, '\0');
    request[0] = char(0xFC);
    request[1] = char(nCmd);
    request[2] = char(nSub);
    return request;
}

inline QByteArray Bytes(const TouchData &data)
{
    return QByteArray(reinterpret_cast<const char *>(data.report), int(data.length));
}

} // namespace mockedtest
