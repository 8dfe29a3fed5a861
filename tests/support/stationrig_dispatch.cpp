// The dispatcher layer of the station rig.

#include "stationrig.h"

#include "handlework.h"
#include "shelltestwindow.h"
#include "touchbase.h"
#include "waitfor.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

namespace {
// The test view as the dispatcher sees it: runs a test and opens its log.
class CReplayViewDouble : public QObject
{
    Q_OBJECT
public:
    QString strLogPath;
    int nInitTestUi = 0;
    Q_INVOKABLE QString GetLogFilePath() { return strLogPath; }
public slots:
    void InitTestUi(QMap<QString, QString>) { ++nInitTestUi; }
};

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

bool CStationRig::Run(const QString& task, QObject* pPara, const QString& strArg)
{
    if (!m_pWork || !m_pWork->PostTask(task, Qt::BlockingQueuedConnection, pPara, strArg))
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

bool CStationRig::OpenReplay(const QString& logPath, int nFrame)
{
    if (!m_pWork)
        return false;
    CReplayViewDouble view;
    if (!m_pWork->PostTask(QStringLiteral("StartTestOnce"), Qt::BlockingQueuedConnection, &view) ||
        !StationTest::WaitFor([&view] { return view.nInitTestUi == 1; }))
        return false;
    view.strLogPath = logPath;
    {
        QMutexLocker lock(m_pWork->GetDeviceMutex());
        if (!m_pWork->GetTouchDevice() || m_pWork->GetTouchDevice()->SaveXml(logPath) != 0)
            return false;
    }
    const int nDevices = m_pWorkPort->GetDevCount();
    Frame(nFrame).usb->Unplug();
    if (!WaitForDevices(nDevices - 1))
        return false;
    // The removal reaches the dispatcher before the log is opened.
    Settle();
    if (!m_pWork->PostTask(QStringLiteral("OpenTestLog"), Qt::BlockingQueuedConnection, &view) ||
        !StationTest::WaitFor([&view] { return view.nInitTestUi == 2; }))
        return false;
    return m_pWork->GetDeviceKind() == HandleWork::DeviceKind::Replay;
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

#include "stationrig_dispatch.moc"
