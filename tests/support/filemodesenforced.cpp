#include "filemodesenforced.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// ---- file modes for root

namespace {
constexpr quint32 kOverrideCaps = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

bool GetCaps(__user_cap_data_struct data[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, data) == 0;
}

bool SetCaps(__user_cap_data_struct data[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capset, &header, data) == 0;
}
} // namespace

CFileModesEnforced::CFileModesEnforced()
{
    __user_cap_data_struct data[2] = {};
    if (!GetCaps(data))
        return;
    m_savedEffective[0] = data[0].effective;
    m_savedEffective[1] = data[1].effective;
    if ((data[0].effective & kOverrideCaps) == 0) {
        m_bActive = true; // nothing to take off
        return;
    }
    data[0].effective &= ~kOverrideCaps;
    m_bActive = SetCaps(data);
    m_bChanged = m_bActive;
}

CFileModesEnforced::~CFileModesEnforced()
{
    if (!m_bChanged)
        return;
    __user_cap_data_struct data[2] = {};
    if (!GetCaps(data))
        return;
    data[0].effective = m_savedEffective[0];
    data[1].effective = m_savedEffective[1];
    SetCaps(data);
}
