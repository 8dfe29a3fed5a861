// The dispatcher layer of the station rig.

#include "stationrig.h"

#include "handlework.h"
#include "shelltestwindow.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
QString Json(const QJsonObject& obj)
{
    return QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Compact));
}
} // namespace

HandleWork* CStationRig::StartDispatcher(int nWorkType)
{
    CloseMainWindow();
    StopDispatcher();
    auto* pWindow = new CShellTestWindow;
    pWindow->SetWorkType(eWorkType(nWorkType));
    auto* pWork = new HandleWork(pWindow);
    m_pShellWindow = pWindow;
    m_pWork = pWork;
    m_pWorkPort = pWork->GetUsbPort();
    AttachRecorder();
    m_stopDispatcher = [this, pWindow, pWork] {
        m_pWork = nullptr;
        m_pWorkPort = nullptr;
        delete pWork;
        m_pShellWindow = nullptr;
        delete pWindow;
    };
    return pWork;
}

bool CStationRig::Run(const QString& task, QObject* pPara)
{
    if (!m_pWork || !m_pWork->PostTask(task, Qt::BlockingQueuedConnection, pPara))
        return false;
    Flush();
    return true;
}

void CStationRig::Settle()
{
    Flush();
    if (m_pWork)
        m_pWork->PostTask(QStringLiteral("__settle__"), Qt::BlockingQueuedConnection);
    Flush();
}

void CStationRig::AttachRecorder()
{
    m_record.Clear();
    m_pRecorder = std::make_unique<QObject>();
    QObject* pContext = m_pRecorder.get();
    SRecord* pRecord = &m_record;
    HandleWork* w = m_pWork;
    QObject::connect(w, &HandleWork::EmitCalibrateMsg, pContext,
                     [pRecord](QJsonObject msg) { pRecord->events << QStringLiteral("msg:") + Json(msg); },
                     Qt::QueuedConnection);
    QObject::connect(w, &HandleWork::UpdateCalStep, pContext,
                     [pRecord](int n) { pRecord->events << QStringLiteral("step:%1").arg(n); },
                     Qt::QueuedConnection);
    QObject::connect(w, &HandleWork::UpdateCalibrationData, pContext,
                     [pRecord] { pRecord->events << QStringLiteral("caldata"); }, Qt::QueuedConnection);
    QObject::connect(w, &HandleWork::emitResetCallBack, pContext,
                     [pRecord](bool b) { pRecord->events << QStringLiteral("reset:%1").arg(b ? "true" : "false"); },
                     Qt::QueuedConnection);
    QObject::connect(
        w, &HandleWork::EmitSaveCalibrateFileParamToDev, pContext,
        [pRecord](bool b) { pRecord->events << QStringLiteral("savefile:%1").arg(b ? "true" : "false"); },
        Qt::QueuedConnection);
    QObject::connect(
        w, &HandleWork::EmitDeviceEnumerateState, pContext,
        [pRecord](bool b) { pRecord->events << QStringLiteral("enumerate:%1").arg(b ? "true" : "false"); },
        Qt::QueuedConnection);
    QObject::connect(w, &HandleWork::UpdateDeviceInfo, pContext,
                     [pRecord](QList<QPair<QString, QString>> lstDev, QList<QPair<QString, QString>>) {
                         pRecord->events << QStringLiteral("deviceinfo");
                         pRecord->deviceInfos << lstDev;
                     },
                     Qt::QueuedConnection);
    QObject::connect(w, QOverload<QString, QString, double>::of(&HandleWork::EmitUpgradeStatus), pContext,
                     [pRecord](QString status, QString log, double dProgress) {
                         pRecord->events << QStringLiteral("upgrade:") + status;
                         pRecord->upgrades << SUpgrade{status, log, dProgress};
                     },
                     Qt::QueuedConnection);
}
