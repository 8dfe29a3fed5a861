#include "multitouchstate.h"

#include <algorithm>
#include <linux/input.h>

namespace {
int32_t Clamp(int32_t nValue, int32_t nMax)
{
    return std::min(std::max(nValue, 0), nMax);
}
} // namespace

CMultiTouchState::CMultiTouchState() = default;

int CMultiTouchState::SlotOf(int32_t nContactId) const
{
    for (int i = 0; i < MAX_CONTACTS; ++i) {
        if (m_slots[i].bActive && m_slots[i].nContactId == nContactId)
            return i;
    }
    return -1;
}

int CMultiTouchState::FreeSlot() const
{
    for (int i = 0; i < MAX_CONTACTS; ++i) {
        if (!m_slots[i].bActive)
            return i;
    }
    return -1;
}

int CMultiTouchState::ActiveCount() const
{
    int nCount = 0;
    for (const Slot &slot : m_slots)
        nCount += slot.bActive ? 1 : 0;
    return nCount;
}

void CMultiTouchState::SelectSlot(QVector<InjectEvent> &events, int nSlot)
{
    if (nSlot != m_nCurrentSlot || events.isEmpty()) {
        events.append({EV_ABS, ABS_MT_SLOT, nSlot});
        m_nCurrentSlot = nSlot;
    }
}

void CMultiTouchState::Finish(QVector<InjectEvent> &events)
{
    if (events.isEmpty())
        return;
    const bool bTouch = ActiveCount() > 0;
    if (bTouch != m_bTouch) {
        events.append({EV_KEY, BTN_TOUCH, bTouch ? 1 : 0});
        m_bTouch = bTouch;
    }
    events.append({EV_SYN, SYN_REPORT, 0});
}

QVector<InjectEvent> CMultiTouchState::Apply(const TouchPoint *points, int count)
{
    QVector<InjectEvent> events;
    const int n = points ? std::min(std::max(count, 0), MAX_CONTACTS) : 0;
    int nFirstSlot = -1;       // slot whose position feeds the single-touch axes
    int32_t nFirstX = 0, nFirstY = 0;
    for (int i = 0; i < n; ++i) {
        const TouchPoint &point = points[i];
        int nSlot = SlotOf(point.id);
        if (point.state == 1 || point.state == 2) {
            if (nSlot < 0) {
                nSlot = FreeSlot();
                if (nSlot < 0)
                    continue; // every slot is taken
                SelectSlot(events, nSlot);
                m_slots[nSlot].bActive = true;
                m_slots[nSlot].nContactId = point.id;
                events.append({EV_ABS, ABS_MT_TRACKING_ID, m_nNextTrackingId});
                m_nNextTrackingId = (m_nNextTrackingId + 1) & 0xFFFF;
            } else {
                SelectSlot(events, nSlot);
            }
            const int32_t x = Clamp(point.x, AXIS_MAX);
            const int32_t y = Clamp(point.y, AXIS_MAX);
            const int32_t w = Clamp(point.width, AXIS_MAX);
            const int32_t h = Clamp(point.height, AXIS_MAX);
            events.append({EV_ABS, ABS_MT_POSITION_X, x});
            events.append({EV_ABS, ABS_MT_POSITION_Y, y});
            events.append({EV_ABS, ABS_MT_TOUCH_MAJOR, std::max(w, h)});
            events.append({EV_ABS, ABS_MT_TOUCH_MINOR, std::min(w, h)});
            events.append({EV_ABS, ABS_MT_PRESSURE, Clamp(point.pressure, PRESSURE_MAX)});
            if (nFirstSlot < 0 || nSlot < nFirstSlot) {
                nFirstSlot = nSlot;
                nFirstX = x;
                nFirstY = y;
            }
        } else if (point.state == 3) {
            if (nSlot < 0)
                continue;
            SelectSlot(events, nSlot);
            events.append({EV_ABS, ABS_MT_TRACKING_ID, -1});
            m_slots[nSlot].bActive = false;
        }
    }
    if (nFirstSlot >= 0) {
        events.append({EV_ABS, ABS_X, nFirstX});
        events.append({EV_ABS, ABS_Y, nFirstY});
    }
    Finish(events);
    return events;
}

QVector<InjectEvent> CMultiTouchState::ReleaseAll()
{
    QVector<InjectEvent> events;
    for (int i = 0; i < MAX_CONTACTS; ++i) {
        if (!m_slots[i].bActive)
            continue;
        SelectSlot(events, i);
        events.append({EV_ABS, ABS_MT_TRACKING_ID, -1});
        m_slots[i].bActive = false;
    }
    Finish(events);
    return events;
}
