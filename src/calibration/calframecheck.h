#pragma once

#include <QString>

class HandleWork;

// What a calibration screen notes of the frame before a nested event loop (a
// question, a box) and looks at again after it, before it sends the answer
// to the frame: the device object's generation, and whether a live frame in
// its application was attached. A frame that left during the loop, or one
// that arrived in its place (the same frame plugged again included: it has
// restarted and holds nothing of what was asked about), is another frame.
//
// GUI thread. Events not yet delivered to the GUI thread are not seen; the
// task that follows then finds the frame as it is.
class CCalFrameCheck
{
public:
    explicit CCalFrameCheck(const HandleWork* pHandleWork);

    // A live frame in its application is attached and is the current device.
    static bool IsLiveApplicationFrame(const HandleWork* pHandleWork);

    // Empty while the frame noted is still the current one; otherwise what
    // happened to it, for the run log: "the frame left" or "another frame
    // arrived" (also the same frame plugged again).
    QString WhatChanged() const;

    // After a question: true while the frame noted is still the current
    // one. Otherwise the answer is not sent: a run-log line says so for
    // szWho, naming what changed, the question and the answer.
    bool StillTheFrame(const char* szWho, const char* szQuestion, const char* szAnswer) const;

    // What the operator is told when an answer is not sent.
    static QString NotAppliedText();

private:
    const HandleWork* m_pHandleWork;
    unsigned long long m_nDevice = 0;
    bool m_bAttached = false;
};
