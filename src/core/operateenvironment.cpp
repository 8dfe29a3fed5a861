#include "operateenvironment.h"

#include "cqprocess.h"

#include <QMutex>
#include <QSysInfo>
#include <QXmlStreamWriter>

namespace {
QMutex g_hookMutex;
std::function<void()> g_parameterTableHook;
} // namespace

COperateEnvironment::COperateEnvironment(QObject *parent)
    : QObject(parent), m_bDriverRunning(false), m_strDriverExeName(DriverExeName())
{
}

COperateEnvironment::EnvironmentList *COperateEnvironment::GetEnvironmentList()
{
    return &m_list;
}

const COperateEnvironment::EnvironmentList *COperateEnvironment::GetEnvironmentList() const
{
    return &m_list;
}

void COperateEnvironment::SetParameterTableHook(std::function<void()> hook)
{
    QMutexLocker lock(&g_hookMutex);
    g_parameterTableHook = std::move(hook);
}

QString COperateEnvironment::AppVersion()
{
    return QStringLiteral("0.0.0.6");
}

QString COperateEnvironment::DriverExeName()
{
    return QStringLiteral("PanelHost.exe");
}

void COperateEnvironment::Refresh()
{
    std::function<void()> hook;
    {
        QMutexLocker lock(&g_hookMutex);
        hook = g_parameterTableHook;
    }
    if (hook)
        hook();
    CollectEnvironment();
    CheckDriverRunning();
}

int COperateEnvironment::CollectEnvironment()
{
    QList<SInterface> interfaces;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nif : all)
        interfaces.append({nif.flags(), nif.hardwareAddress()});
    m_list = BuildList(QSysInfo::prettyProductName(), QNetworkInterface::allAddresses(), interfaces);
    return 0;
}

COperateEnvironment::EnvironmentList COperateEnvironment::BuildList(
    const QString &system, const QList<QHostAddress> &addresses, const QList<SInterface> &interfaces)
{
    EnvironmentList list;
    list.append({QStringLiteral("Environment"), system});
    list.append({QStringLiteral("App Version"), AppVersion()});
    for (const QHostAddress &address : addresses) {
        if (address != QHostAddress(QHostAddress::LocalHost) && address.toIPv4Address() != 0) {
            list.append({QStringLiteral("IPAddr"), address.toString()});
            break;
        }
    }
    for (const SInterface &nif : interfaces) {
        const bool upAndRunning = (nif.flags & QNetworkInterface::IsUp)
            && (nif.flags & QNetworkInterface::IsRunning);
        if (upAndRunning && !(nif.flags & QNetworkInterface::IsLoopBack)
            && !nif.hardwareAddress.isEmpty()) {
            list.append({QStringLiteral("MacAddr"), nif.hardwareAddress});
            break;
        }
    }
    return list;
}

void COperateEnvironment::SetDriverExeName(const QString &strName)
{
    m_strDriverExeName = strName;
}

void COperateEnvironment::CheckDriverRunning()
{
    CQProcess process;
    process.StartTaskList(m_strDriverExeName);
    m_bDriverRunning.store(process.CheckProcessRunning(m_strDriverExeName));
}

bool COperateEnvironment::IsDriverRunning() const
{
    return m_bDriverRunning.load();
}

bool COperateEnvironment::WriteAppInfoXml(QXmlStreamWriter &writer) const
{
    if (m_list.isEmpty())
        return false;
    writer.writeStartElement(QStringLiteral("app_info"));
    int id = 0;
    for (const auto &pair : m_list) {
        writer.writeStartElement(QStringLiteral("info"));
        writer.writeAttribute(QStringLiteral("ID"), QString::number(id++));
        writer.writeAttribute(QStringLiteral("name"), pair.first);
        writer.writeCharacters(pair.second);
        writer.writeEndElement();
    }
    writer.writeEndElement();
    return true;
}
