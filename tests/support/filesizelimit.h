#pragma once

#include <csignal>
#include <sys/resource.h>

// Limits the size of files this process may write (a full disk in small),
// while it lives: a write beyond the limit fails with EFBIG (SIGXFSZ is
// ignored meanwhile). The limit is the whole process's: keep it short.
class CFileSizeLimit
{
public:
    explicit CFileSizeLimit(rlim_t nBytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = m_old;
        lim.rlim_cur = nBytes;
        m_bActive = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~CFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

    bool IsActive() const { return m_bActive; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_bActive = false;
};
