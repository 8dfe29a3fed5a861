// umockdev's (and through it GLib's) headers come before every Qt header:
// Qt's "signals" keyword would break them.
#include <umockdev.h>

#include "mockedkernel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>


namespace {
CMockedKernel *g_pCurrent = nullptr;

QByteArray Utf8(const QString &text)
{
    return text.toUtf8();
}
} // namespace

CMockedKernel::CMockedKernel()
{
    // Sets UMOCKDEV_DIR, which the preload of this process and of every
    // child started later reads.
    m_pTestbed = umockdev_testbed_new();
    gchar *szRoot = umockdev_testbed_get_root_dir(m_pTestbed);
    m_strRoot = QString::fromLocal8Bit(szRoot);
    g_free(szRoot);
    g_pCurrent = this;
}

CMockedKernel::~CMockedKernel()
{
    if (g_pCurrent == this)
        g_pCurrent = nullptr;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    g_object_unref(m_pTestbed);
    m_pTestbed = nullptr;
}

CMockedKernel *CMockedKernel::Current()
{
    return g_pCurrent;
}

bool CMockedKernel::IsActive() const
{
    return umockdev_in_mock_environment();
}

const char *CMockedKernel::SkipReason()
{
    return "the umockdev preload is not active (run under umockdev-wrapper, or with "
           "LD_PRELOAD=libumockdev-preload.so.0; scripts/install-deps.sh installs umockdev)";
}

bool CMockedKernel::AddDevices(const QByteArray &description, QString *pError)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    GError *pGError = nullptr;
    const gboolean bOk = umockdev_testbed_add_from_string(m_pTestbed, description.constData(), &pGError);
    if (!bOk) {
        if (pError)
            *pError = QString::fromUtf8(pGError ? pGError->message : "unknown error");
        if (pGError)
            g_error_free(pGError);
        return false;
    }
    return true;
}

void CMockedKernel::RemoveDevice(const QString &strSysPath)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    umockdev_testbed_remove_device(m_pTestbed, Utf8(strSysPath).constData());
}

void CMockedKernel::Unlist(const QString &strSysPath)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const QString subsystem = QFileInfo(m_strRoot + strSysPath + "/subsystem").symLinkTarget();
    if (subsystem.isEmpty())
        return;
    const QString name = QFileInfo(strSysPath).fileName();
    const QString strSubsystem = QFileInfo(subsystem).fileName();
    QFile::remove(m_strRoot + "/sys/class/" + strSubsystem + "/" + name);
    QFile::remove(m_strRoot + "/sys/bus/" + strSubsystem + "/devices/" + name);
}

void CMockedKernel::Uevent(const QString &strSysPath, const char *szAction)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    umockdev_testbed_uevent(m_pTestbed, Utf8(strSysPath).constData(), szAction);
}

bool CMockedKernel::AttachIoctl(const QString &strDevNode, _UMockdevIoctlBase *pHandler)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    GError *pGError = nullptr;
    const gboolean bOk = umockdev_testbed_attach_ioctl(m_pTestbed, Utf8(strDevNode).constData(), pHandler,
                                                       &pGError);
    if (pGError) {
        qWarning("attaching a model to %s failed: %s", qPrintable(strDevNode), pGError->message);
        g_error_free(pGError);
    }
    return bOk;
}

void CMockedKernel::DetachIoctl(const QString &strDevNode)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    GError *pGError = nullptr;
    umockdev_testbed_detach_ioctl(m_pTestbed, Utf8(strDevNode).constData(), &pGError);
    if (pGError)
        g_error_free(pGError);
}

QString CMockedKernel::RootDir() const
{
    return m_strRoot;
}

QString CMockedKernel::NodeFile(const QString &strDevNode) const
{
    return QDir::cleanPath(m_strRoot + "/" + strDevNode);
}

int CMockedKernel::NextUsbPort()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_nNextPort++;
}

int CMockedKernel::NextUsbDevNum()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_nNextDevNum++;
}

int CMockedKernel::NextHidrawMinor()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_nNextMinor++;
}

int CMockedKernel::NextHidSequence()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_nNextHidSequence++;
}

