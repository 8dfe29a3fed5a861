#pragma once

#include "touchpoint.h"

#include <QVector>
#include <cstdint>

// One input event as written to uinput (type, code, value).
struct InjectEvent
{
    uint16_t type;
    uint16_t code;
    int32_t value;

    bool operator==(const InjectEvent &o) const { return type == o.type && code == o.code && value == o.value; }
};

// Turns frames of contacts into the events of the multi-touch protocol B:
// one slot per contact id with its own tracking id, released when the
// contact is lifted. Coordinates keep the frame's scale (0..32767 across the
// screen): the injector's axes cover exactly that range, so 0 lands on the
// first pixel and 32767 on the last, whatever the screen size.
class CMultiTouchState
{
public:
    static constexpr int MAX_CONTACTS = 32;
    static constexpr int AXIS_MAX = 32767;
    static constexpr int PRESSURE_MAX = 255;

    CMultiTouchState();

    // Events for the first min(count, 32) points, followed by one SYN_REPORT;
    // empty when no point changed anything. A move of an unknown contact
    // counts as a touch, a touch of a known one as a move, a lift of an
    // unknown one is ignored; other states are skipped.
    QVector<InjectEvent> Apply(const TouchPoint *points, int count);
    // Lifts every contact still down (empty when none is).
    QVector<InjectEvent> ReleaseAll();
    int ActiveCount() const;

private:
    int SlotOf(int32_t nContactId) const;
    int FreeSlot() const;
    void SelectSlot(QVector<InjectEvent> &events, int nSlot);
    void Finish(QVector<InjectEvent> &events);

    struct Slot
    {
        bool bActive = false;
        int32_t nContactId = 0;
    };
    Slot m_slots[MAX_CONTACTS];
    int m_nCurrentSlot = 0;
    int32_t m_nNextTrackingId = 0;
    bool m_bTouch = false;
};
