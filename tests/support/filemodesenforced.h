#pragma once

// Holds the calling thread to file modes although the tests run as root (as
// the CI does): while it lives, the capabilities that override file modes
// (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH) are off the thread's effective set,
// so that a file or node of mode 000 gives EACCES and a folder without write
// permission takes no new entry. The thread that made it, and every thread
// it starts meanwhile (which keep the restriction for their whole life), are
// held; other threads are not. Header only.

#include <QtGlobal>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class CFileModesEnforced
{
public:
    CFileModesEnforced()
    {
        __user_cap_data_struct data[2] = {};
        if (!Capabilities(false, data))
            return;
        m_savedEffective[0] = data[0].effective;
        m_savedEffective[1] = data[1].effective;
        if ((data[0].effective & kOverrideCaps) == 0) {
            m_bActive = true; // nothing to take off
            return;
        }
        data[0].effective &= ~kOverrideCaps;
        m_bActive = Capabilities(true, data);
        m_bChanged = m_bActive;
    }
    ~CFileModesEnforced() { Restore(); }
    CFileModesEnforced(const CFileModesEnforced &) = delete;
    CFileModesEnforced &operator=(const CFileModesEnforced &) = delete;

    // False when the restriction could not be put in place.
    bool IsActive() const { return m_bActive; }

    // Gives the capabilities back before the end of the object.
    void Restore()
    {
        m_bActive = false;
        if (!m_bChanged)
            return;
        m_bChanged = false;
        __user_cap_data_struct data[2] = {};
        if (!Capabilities(false, data))
            return;
        data[0].effective = m_savedEffective[0];
        data[1].effective = m_savedEffective[1];
        Capabilities(true, data);
    }

private:
    static constexpr quint32 kOverrideCaps = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

    static bool Capabilities(bool bSet, __user_cap_data_struct *pData)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(bSet ? SYS_capset : SYS_capget, &header, pData) == 0;
    }

    bool m_bActive = false;
    bool m_bChanged = false;
    quint32 m_savedEffective[2] = {0, 0};
};
