#include "emulatedprofile.h"

#include "emulatedframe.h"
#include "emulatedpanel.h"

namespace {

// A weak path: above the dark limit (30), below the test range (from 100 as
// the frame reports it, from 90 in the sample parameter table).
constexpr quint8 kWeakLevel = 60;
constexpr quint8 kDarkLevel = 0;
// Application firmware older than the station supports (0x7200 and later).
constexpr quint16 kOldVersion = 0x7100;
// The station's emulated frame has few LEDs; spaced this far apart it is as
// large as a 22-inch frame, so its panel diagram has a real frame's
// proportions (the USB picture beside the bottom board keeps its size).
constexpr float kStationPitch = 40.0f;

struct SProfile
{
    const char* szName;
    const char* szSummary;
    void (*pSetUp)(CEmulatedFrame::State& frame, CEmulatedPanel::Model& panel);
};

void Healthy(CEmulatedFrame::State&, CEmulatedPanel::Model&) {}

void DeadEmitter(CEmulatedFrame::State&, CEmulatedPanel::Model& m)
{
    // Its three paths (to the top receivers 3, 5 and 7) are dark.
    m.sensorAdc[CEmulatedPanel::SensorName(CEmulatedPanel::Bottom, 5)] = kDarkLevel;
}

void BrokenConnector(CEmulatedFrame::State&, CEmulatedPanel::Model& m)
{
    // Nothing behind the open cable answers: every receiver of the top side.
    for (int n = 0; n < m.nX; ++n)
        m.sensorAdc[CEmulatedPanel::SensorName(CEmulatedPanel::Top, n)] = kDarkLevel;
}

void Weak(CEmulatedFrame::State&, CEmulatedPanel::Model& m)
{
    // At the corner the emitter reaches two receivers: three weak sensors of
    // forty, well below the tenth that means a deformed frame.
    m.sensorAdc[CEmulatedPanel::SensorName(CEmulatedPanel::Right, 0)] = kWeakLevel;
}

void Deformed(CEmulatedFrame::State&, CEmulatedPanel::Model& m)
{
    // The bottom emitters 4 to 7 reach the top receivers 2 to 9: twelve weak
    // sensors of forty.
    for (int n = 4; n <= 7; ++n)
        m.sensorAdc[CEmulatedPanel::SensorName(CEmulatedPanel::Bottom, n)] = kWeakLevel;
}

void OldFirmware(CEmulatedFrame::State& s, CEmulatedPanel::Model&)
{
    s.id.nVersion = kOldVersion;
}

void Bootloader(CEmulatedFrame::State& s, CEmulatedPanel::Model&)
{
    s.mode = CEmulatedFrame::Mode::Bootloader;
}

void NoBatch(CEmulatedFrame::State& s, CEmulatedPanel::Model&)
{
    s.info.batch.clear();
    s.info.bBatchErased = true;
}

void JumpFails(CEmulatedFrame::State& s, CEmulatedPanel::Model&)
{
    s.boot.bBootFailsToStart = true;
}

const SProfile kProfiles[] = {
    {"healthy", "a healthy frame: the signal test passes", Healthy},
    {"dead-emitter", "emitter 5 of the bottom side is dark: the signal test gives NG2", DeadEmitter},
    {"broken-connector",
     "the cable from the left side to the top side is open, the top side is dark: the signal test gives NG1",
     BrokenConnector},
    {"weak", "emitter 0 of the right side is weak: the signal test gives NG3", Weak},
    {"deformed", "the middle of the long sides is weak, as in a bent frame: the signal test gives NG4", Deformed},
    {"old-firmware", "application firmware of protocol version 0x7100: the station refuses the frame",
     OldFirmware},
    {"bootloader", "the frame waits in its bootloader: the station shows it in bootloader mode", Bootloader},
    {"no-batch",
     "the frame reports no batch information (its field erased): the signal test passes, but with the "
     "serial-number check on \"SN Check\" is NG",
     NoBatch},
    {"jump-fails",
     "the frame's bootloader does not start: sent to it, the frame comes back in its application, and an "
     "upgrade fails with \"Jump bootloader returns exception\"",
     JumpFails},
};

const SProfile* Find(const QString& strName)
{
    for (const SProfile& profile : kProfiles) {
        if (strName == QLatin1String(profile.szName))
            return &profile;
    }
    return nullptr;
}

} // namespace

QStringList CEmulatedProfile::Names()
{
    QStringList names;
    for (const SProfile& profile : kProfiles)
        names << QString::fromLatin1(profile.szName);
    return names;
}

QString CEmulatedProfile::DefaultName()
{
    return QString::fromLatin1(kProfiles[0].szName);
}

bool CEmulatedProfile::IsKnown(const QString& strName)
{
    return Find(strName) != nullptr;
}

QString CEmulatedProfile::Summary(const QString& strName)
{
    const SProfile* pProfile = Find(strName);
    return pProfile ? QString::fromLatin1(pProfile->szSummary) : QString();
}

bool CEmulatedProfile::Apply(const QString& strName, CEmulatedFrame* pFrame, CEmulatedPanel* pPanel)
{
    const SProfile* pProfile = Find(strName);
    if (!pProfile)
        return false;
    // Both models under the frame's lock, which the panel shares.
    pFrame->Edit([&](CEmulatedFrame::State& s) {
        pPanel->Edit([&](CEmulatedPanel::Model& m) {
            m.fPitch = kStationPitch;
            pProfile->pSetUp(s, m);
        });
    });
    return true;
}
