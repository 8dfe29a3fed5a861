#pragma once

#include <QString>
#include <QStringList>

class CEmulatedFrame;
class CEmulatedPanel;

// The kinds of frame the station can be started with instead of a real one
// (kestrel-station --emulated-frame=NAME). Each profile sets up an emulated
// frame and its panel so that the station's own test reaches a known end:
//
//   healthy           every light path in range: PASS
//   dead-emitter      one emitter of the bottom side dark: NG2
//   broken-connector  the cable from the left side to the top side open, the
//                     whole top side dark: NG1
//   weak              one emitter at a corner of the right side weak: NG3
//   deformed          the middle of the long sides weak, as a bent frame
//                     shows it: NG4
//   old-firmware      application firmware of protocol version 0x7100: the
//                     station refuses the frame as not supported
//   bootloader        the frame waits in its bootloader: the station shows it
//                     in bootloader mode and reads no identity
//   no-batch          the frame's batch field is erased, it reports no batch
//                     information: PASS, but a serial-number check gives NG
//   jump-fails        the frame answers the jump to its bootloader, leaves the
//                     bus and comes back in its application (its bootloader
//                     does not start): an upgrade fails with "Jump bootloader
//                     returns exception" after the bound of jumps
//
// The panel is the emulated panel's own: X 12 LEDs on two boards a side,
// Y 8 LEDs on two boards a side, limits ADC 100..255 with dark at or below
// 30, healthy paths at ADC 200.
class CEmulatedProfile
{
public:
    // The profile names, "healthy" (the default) first.
    static QStringList Names();
    static QString DefaultName();
    static bool IsKnown(const QString& strName);
    // One line on what the frame of the profile is and what the station makes
    // of it; empty for an unknown name.
    static QString Summary(const QString& strName);

    // Sets up a new frame and its installed panel for the profile (the frame
    // is not yet on the bus). False, with nothing changed, for an unknown name.
    static bool Apply(const QString& strName, CEmulatedFrame* pFrame, CEmulatedPanel* pPanel);
};
