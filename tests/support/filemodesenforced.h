#pragma once

#include <QtGlobal>

// While it lives, the thread that made it, and every thread started by that
// thread meanwhile, are held to file modes: even root gets EACCES from a node
// whose mode is 000 (the capabilities that override file modes are taken off
// the effective set and put back at the end). Threads started meanwhile keep
// the restriction for their whole life.
class CFileModesEnforced
{
public:
    CFileModesEnforced();
    ~CFileModesEnforced();
    CFileModesEnforced(const CFileModesEnforced &) = delete;
    CFileModesEnforced &operator=(const CFileModesEnforced &) = delete;

    // False when the restriction could not be put in place.
    bool IsActive() const { return m_bActive; }

private:
    bool m_bActive = false;
    bool m_bChanged = false;
    quint32 m_savedEffective[2] = {0, 0};
};
