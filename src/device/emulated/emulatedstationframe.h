#pragma once

#include <QString>
#include <memory>

class CEmulatedBootloader;
class CEmulatedFrame;
class CEmulatedPanel;
class CEmulatedUsbFrame;
class CFakeHidBackend;

// One emulated frame for a whole run of the station, in place of the USB
// bus: it makes the fake hidraw/udev backend the one the device layer uses
// (so the station reaches no real USB frame), builds a frame and its panel as a
// profile (emulatedprofile.h) describes and plugs the frame in.
//
// Its bootloader takes the image of emulatedframeimage.h at every upgrade, a
// record every few milliseconds, and then restarts the frame in its
// application, which then reports a version and checksum made from the
// image; any other image is refused (a packet error at its first record).
// In a four-point calibration its "operator" touches each target a second
// after it is shown, so that each is seen.
//
// Create it before anything builds the device manager (the station's USB
// port) and destroy it after the station has released the device layer.
class CEmulatedStationFrame
{
public:
    // Null for an unknown profile (nothing is installed then).
    static std::unique_ptr<CEmulatedStationFrame> Create(const QString& strProfile);
    ~CEmulatedStationFrame();
    CEmulatedStationFrame(const CEmulatedStationFrame&) = delete;
    CEmulatedStationFrame& operator=(const CEmulatedStationFrame&) = delete;

    QString Profile() const { return m_strProfile; }
    // What the frame says of itself, on one line: USB identity, product, MCU
    // id, checksum and batch information.
    QString Identity() const;

    // The frame arrives on the bus, or leaves it.
    void Plug();
    void Unplug();
    bool IsPlugged() const;

    CEmulatedFrame* Frame() const { return m_pFrame.get(); }
    CEmulatedPanel* Panel() const { return m_pPanel.get(); }
    CEmulatedBootloader* Bootloader() const { return m_pBoot.get(); }

private:
    explicit CEmulatedStationFrame(const QString& strProfile);

    QString m_strProfile;
    std::shared_ptr<CFakeHidBackend> m_backend;
    std::unique_ptr<CEmulatedFrame> m_pFrame;
    std::unique_ptr<CEmulatedPanel> m_pPanel;
    std::unique_ptr<CEmulatedBootloader> m_pBoot;
    std::unique_ptr<CEmulatedUsbFrame> m_pUsb;
};
