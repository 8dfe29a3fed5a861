#pragma once

#include "filemodesenforced.h"

#include <QFile>
#include <QString>

#include <memory>
#include <sys/stat.h>

// Takes the write permission off a file or folder while it lives, for the
// calling thread even as root (see CFileModesEnforced); puts the mode back
// at the end. A settings file that an engineer copied in as root, say.
class CUnwritablePath
{
public:
    explicit CUnwritablePath(const QString &strPath)
        : m_path(QFile::encodeName(strPath))
    {
        struct stat st{};
        if (::stat(m_path.constData(), &st) != 0)
            return;
        m_mode = st.st_mode & 07777;
        if (::chmod(m_path.constData(), m_mode & ~mode_t(0222)) != 0)
            return;
        m_bChanged = true;
        m_pModes = std::make_unique<CFileModesEnforced>();
        m_bActive = m_pModes->IsActive();
    }
    ~CUnwritablePath() { Restore(); }
    CUnwritablePath(const CUnwritablePath &) = delete;
    CUnwritablePath &operator=(const CUnwritablePath &) = delete;

    // False when the path could not be made unwritable for this thread.
    bool IsActive() const { return m_bActive; }
    void Restore()
    {
        m_pModes.reset();
        if (m_bChanged)
            ::chmod(m_path.constData(), m_mode);
        m_bChanged = false;
        m_bActive = false;
    }

private:
    QByteArray m_path;
    mode_t m_mode = 0;
    bool m_bChanged = false;
    bool m_bActive = false;
    std::unique_ptr<CFileModesEnforced> m_pModes;
};
