// VeloraTestView: the test logs (saving, recording, replay) and the upload of a saved one.
#include "veloratestview.h"

#include "comportusb.h"
#include "devicemode.h"
#include "handlework.h"
#include "localclock.h"
#include "recorddialog.h"
#include "stationclock.h"
#include "testrecord.h"
#include "timerthread.h"
#include "touchbase.h"
#include "touchhardware.h"
#include "uploadservice.h"
#include "wholefile.h"

#include <QAction>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMutexLocker>
#include <QSignalBlocker>

// ---------------------------------------------------------------------------
// Test logs: saving, replay and recording

namespace {
// How long the view's destructor waits for the device mutex before it gives
// a recording up (the worker has stopped by then; only a refresh or a stuck
// reader could still hold it).
constexpr int kEndSaveWaitMs = 2000;
} // namespace

void VeloraTestView::recordResponse()
{
    // Connected through triggered(): only the operator's own check or uncheck
    // lands here, never an uncheck from code.
    const bool bChecked = m_pRecordAction->isChecked();
    qDebug().noquote() << "recordResponse" << (bChecked ? ": checked" : ": unchecked");
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice) {
            // Nothing live to record: the entry does not stay on either.
            const QSignalBlocker blocker(m_pRecordAction);
            m_pRecordAction->setChecked(false);
            return;
        }
        if (bChecked)
            pDevice->StartRecord();
        else
            pDevice->StopRecord();
    }
    if (bChecked) {
        qInfo().noquote() << "Record Data : recording started";
        m_pRecordDialog->StartClock();
        // Runs until the dialog's stop button, the menu entry or the last
        // unplug hides it; each of those saves, nothing is left to do here.
        m_pRecordDialog->exec();
        return;
    }
    m_pRecordDialog->StopClock();
    SaveLogDataManul();
}

void VeloraTestView::ExitRecordWork()
{
    // The recording is taken out as it ends: the save below writes what was
    // recorded, whatever frame arrives while its dialog is open.
    const STakenLog log = TakeLog(true);
    if (!log.bTaken)
        return;
    m_pRecordDialog->StopClock();
    m_pRecordAction->setChecked(false);
    SaveTakenLog(log);
}

void VeloraTestView::SaveRecordingAtEnd()
{
    // The program ends: no dialog holds the exit, and what was recorded is
    // kept under the name the manual save proposes.
    m_pRecordAction->setChecked(false);
    m_pRecordDialog->StopClock();
    QMutex* pMutex = DeviceMutex();
    if (!pMutex)
        return;
    const int nWaitMs = CStationClock::Timeout(kEndSaveWaitMs);
    if (!pMutex->tryLock(nWaitMs)) {
        qCritical().noquote() << "Save Log Data Manul : the device is still busy after" << nWaitMs
                              << "ms, the recording is not saved";
        return;
    }
    QString strPath;
    QString strReason;
    if (auto* pDevice = dynamic_cast<CTouchHardware*>(Device())) {
        pDevice->StopRecord();
        strPath = ProposedLogPath(pDevice) + QStringLiteral(".xml");
        strReason = WriteLog(pDevice, strPath);
    }
    pMutex->unlock();
    if (strPath.isEmpty())
        return;
    if (strReason.isEmpty())
        qWarning().noquote() << "Save Log Data Manul : the recording was saved to" << QDir(strPath).absolutePath();
    else
        qCritical().noquote() << "Save Log Data Manul : the recording cannot be saved to"
                              << QDir(strPath).absolutePath() << "-" << strReason;
}

void VeloraTestView::EndRecordingOfLeftFrame()
{
    m_pRecordAction->setChecked(false);
    m_pRecordDialog->StopClock(); // hidden: the clock's exec returns
    QString strPath;
    QString strReason;
    bool bRecorded = false;
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice)
            return;
        pDevice->StopRecord();
        bRecorded = pDevice->GetRecordedFrameCount() > 0;
        if (bRecorded) {
            strPath = ProposedLogPath(pDevice) + QStringLiteral(".xml");
            strReason = WriteLog(pDevice, strPath);
        }
    }
    if (!bRecorded) {
        qWarning().noquote() << "Record Data : the recorded frame left before a frame was recorded, nothing is saved";
        return;
    }
    const QString strAbsolute = QDir(strPath).absolutePath();
    if (strReason.isEmpty())
        qWarning().noquote() << "Record Data : the recorded frame left, the recording was saved to" << strAbsolute;
    else
        ReportSaveFailure(strAbsolute, strReason);
}

QString VeloraTestView::WriteLog(CTouchHardware* pDevice, const QString& strPath)
{
    // The caller holds the device mutex.
    QString strFolderError;
    if (!MakeFolderPath(QFileInfo(strPath).absolutePath(), &strFolderError))
        return strFolderError;
    if (pDevice->SaveXml(strPath) < 0) {
        const QString strError = pDevice->LastSaveError();
        return strError.isEmpty() ? QStringLiteral("the file cannot be written") : strError;
    }
    return QString();
}

QString VeloraTestView::ProposedLogPath(CTouchHardware* pDevice)
{
    return QStringLiteral("Data/") + pDevice->GetLogDir() + QLatin1Char('/') + pDevice->GetLogFileName();
}

QString VeloraTestView::SaveOutcome(const char* szWho, const QString& strPath, const QString& strReason)
{
    if (!strReason.isEmpty()) {
        ReportSaveFailure(strPath, strReason);
        return QString();
    }
    qInfo().noquote() << szWho << ":" << strPath;
    return strPath;
}

void VeloraTestView::ReportSaveFailure(const QString& strPath, const QString& strReason)
{
    qCritical().noquote() << "The test log cannot be saved to" << strPath << "-" << strReason;
    // After the saving caller has returned and let go of every lock: a box
    // shown inside the result display or the unplug handling would run their
    // refreshes and plug events in its own event loop.
    QMetaObject::invokeMethod(
        this,
        [this, strPath] {
            QMessageBox::warning(this, QStringLiteral("Error!"), tr("The test log cannot be saved to %1.").arg(strPath),
                                 QMessageBox::Ok);
        },
        Qt::QueuedConnection);
}

QString VeloraTestView::SaveLogDataAuto(bool result)
{
    if (!m_pHandleWork)
        return QString();
    QString strPath;
    QString strReason;
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice || pDevice->GetType() != 1)
            return QString();
        const QString strFolder = QDir::currentPath() + QStringLiteral("/Data/") + pDevice->GetLogDir();
        strPath = strFolder + QLatin1Char('/') + pDevice->GetLogFileName()
                  + (result ? QStringLiteral("_PASS") : QStringLiteral("_NG")) + QStringLiteral(".xml");
        strReason = WriteLog(pDevice, strPath);
    }
    return SaveOutcome("SaveLogDataAuto", strPath, strReason);
}

QString VeloraTestView::SaveLogDataAuto()
{
    return SaveLogDataAuto(true);
}

QString VeloraTestView::SaveLogDataManul()
{
    if (!m_pHandleWork)
        return QString();
    const STakenLog log = TakeLog(false);
    if (!log.bTaken)
        return QString();
    return SaveTakenLog(log);
}

VeloraTestView::STakenLog VeloraTestView::TakeLog(bool bEndRecording)
{
    STakenLog log;
    if (!m_pHandleWork)
        return log;
    QMutexLocker lock(DeviceMutex());
    auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
    if (!pDevice)
        return log;
    if (bEndRecording)
        pDevice->StopRecord();
    log.strProposed = ProposedLogPath(pDevice);
    log.xml = pDevice->MakeXml(log.strProposed);
    log.bTaken = true;
    return log;
}

QString VeloraTestView::WriteTakenLog(const QByteArray& xml, const QString& strPath)
{
    QString strReason;
    if (!MakeFolderPath(QFileInfo(strPath).absolutePath(), &strReason))
        return strReason;
    if (!WriteWholeFile(strPath, xml, &strReason))
        return strReason.isEmpty() ? QStringLiteral("the file cannot be written") : strReason;
    return QString();
}

QString VeloraTestView::SaveTakenLog(const STakenLog& log)
{
    // The proposed folder is the one the automatic save files under.
    QDir().mkpath(QFileInfo(log.strProposed).path());
    QString strProposed = log.strProposed;
    for (;;) {
        // The log was taken before: the dialog runs without the device
        // mutex, and the refresh, the worker and plug events go on.
        const QString strPath = QFileDialog::getSaveFileName(this, tr("Save Log file..."), strProposed, tr("*.xml"));
        if (strPath.isEmpty()) {
            qInfo().noquote() << "SaveTakenLog : no path was chosen, the log is not saved";
            return QString();
        }
        const QString strReason = WriteTakenLog(log.xml, strPath);
        if (strReason.isEmpty()) {
            qInfo().noquote() << "SaveLogDataManul :" << strPath;
            return strPath;
        }
        // Said with its reason, and the operator chooses again (or cancels).
        qCritical().noquote() << "The test log cannot be saved to" << strPath << "-" << strReason;
        QMessageBox::warning(this, QStringLiteral("Error!"),
                             tr("The test log cannot be saved to %1.").arg(strPath) + QLatin1Char('\n') + strReason
                                 + QLatin1Char('\n') + tr("Please choose another path."),
                             QMessageBox::Ok);
        strProposed = strPath;
    }
}

void VeloraTestView::AfterDelivery(const char* szWhat, std::function<void()> fn)
{
    qDebug().noquote() << szWhat << ": queued until the device event has been handled";
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void VeloraTestView::openLogResponse()
{
    const SCurrent before = Current();
    // "*.xml" first, the one chosen; a recording saved without a suffix is
    // listed under the second.
    const QString strPath = QFileDialog::getOpenFileName(this, tr("Open file..."), QString(),
                                                         tr("*.xml") + QStringLiteral(";;") + tr("All files (*)"));
    if (strPath.isEmpty())
        return;
    // The chosen log wins. A run open on a live frame (one that began while
    // the dialog was open, say) ends as the last unplug ends one before the
    // log replaces its frame; its late answers are then dropped.
    const bool bCurrent = StillCurrent(before, "openLogResponse", "open dialog");
    if (IsLiveRunOpen()) {
        qInfo().noquote() << "openLogResponse"
                          << QStringLiteral(": the run on the frame%1 ends, the log %2 is opened")
                                 .arg(bCurrent ? QString() : QStringLiteral(" plugged during the open dialog"), strPath);
        EndLiveRun();
    }
    {
        QMutexLocker lock(&m_logPathMutex);
        m_strLogFilePath = strPath;
    }

    // The log that is open already: drawn again, not read again.
    bool bOpen = false;
    QMap<QString, QString> mapErrors;
    if (m_pHandleWork && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Replay) {
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (pDevice && pDevice->GetType() == 2 && pDevice->GetName() == strPath) {
            bOpen = true;
            mapErrors = pDevice->GetSignalErrors();
        }
    }
    if (bOpen) {
        DeInitTestUi();
        ShowFirstResult(mapErrors);
        return;
    }

    if (HasDevice())
        DeInitTestUi();
    m_pNoticeLabel->setText(tr("Now opening and analysising the log file..."));
    m_pNoticeLabel->show();
    m_bRefreshRunning = true;
    m_nInterval = 40;
    m_bSourcePresent = true;
    if (!PostForAnswer(QStringLiteral("OpenTestLog")))
        qDebug().noquote() << "openLogResponse" << ": OpenTestLog is running, the request is dropped";
}

void VeloraTestView::RestoreAfterFailedOpen()
{
    // The dispatcher kept the object it had; the view was torn down for the
    // log that could not be read, and now shows that object again.
    qInfo().noquote() << "openLogResponse" << ": the log cannot be opened, the current source is shown again";
    const HandleWork::DeviceKind kind =
        m_pHandleWork ? m_pHandleWork->GetDeviceKind() : HandleWork::DeviceKind::None;
    if (kind == HandleWork::DeviceKind::Live && m_pUsbPort && m_pUsbPort->GetDevCount() > 0
        && m_pUsbPort->GetDeviceMode() == DEVICE_MODE_APPLICATION) {
        // As a plug of the frame would.
        m_bSourcePresent = true;
        StartTest();
        return;
    }
    if (kind == HandleWork::DeviceKind::Replay) {
        QMap<QString, QString> mapErrors;
        bool bReplay = false;
        {
            QMutexLocker lock(DeviceMutex());
            if (CTouchBase* pDevice = Device()) {
                bReplay = true;
                mapErrors = pDevice->GetSignalErrors();
                QMutexLocker pathLock(&m_logPathMutex);
                m_strLogFilePath = pDevice->GetName();
            }
        }
        if (bReplay) {
            m_bSourcePresent = true;
            ShowFirstResult(mapErrors);
            return;
        }
    }
    m_bSourcePresent = false;
    UpdateSourceButtons();
    ResetInfoTables();
}

void VeloraTestView::SetLogFilePathForTest(const QString& path)
{
    QMutexLocker lock(&m_logPathMutex);
    m_strLogFilePath = path;
}

void VeloraTestView::speedUpResponse()
{
    m_nInterval = qMax(m_nInterval - 10, 10);
    m_pTimerThread->SetInterval(m_nInterval);
}

void VeloraTestView::speedDownResponse()
{
    m_nInterval = qMin(m_nInterval + 10, 1000);
    m_pTimerThread->SetInterval(m_nInterval);
}

void VeloraTestView::preFrameResponse()
{
    // Paused only; the dispatcher steps nothing but a replay.
    if (!m_pTimerThread->isRunning())
        Post(QStringLiteral("UpdateUIPre"));
}

void VeloraTestView::nextFrameResponse()
{
    if (!m_pTimerThread->isRunning())
        Post(QStringLiteral("UpdateUINext"));
}

void VeloraTestView::StepReplayFrame(int nStep)
{
    // The refresh tick's thread or the worker; no widget is touched here.
    if (!m_pHandleWork || nStep == 0)
        return;
    auto step = [this](int n) {
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (!pDevice)
            return false;
        for (; n > 0; --n)
            pDevice->NextFrame();
        for (; n < 0; ++n)
            pDevice->PrevFrame();
        return true;
    };
    if (!step(nStep))
        return;
    // The page takes its own locks; a step no page took is taken back.
    if (!RefreshCurrentTab())
        step(-nStep);
}

bool VeloraTestView::UploadTestData(QString logPath, QString result)
{
    // Only a log that was written is handed on: a replay and a failed save
    // have no path, and a row must never name a file that does not exist.
    if (logPath.isEmpty()) {
        qDebug().noquote() << "UploadTestData" << ": no saved log, nothing is handed over";
        return true;
    }
    QList<QPair<QString, QString>> lstDevice;
    {
        QMutexLocker lock(DeviceMutex());
        if (CTouchBase* pDevice = Device())
            lstDevice = pDevice->GetPropertyList();
    }
    const QList<QPair<QString, QString>> lstEnvironment =
        m_pHandleWork ? m_pHandleWork->GetEnvironmentList() : QList<QPair<QString, QString>>();
    const CTestRecord record =
        CTestRecord::OfRun(lstDevice, lstEnvironment, logPath, result, QDir::currentPath(), CLocalClock::Now());
    qInfo().noquote() << "UploadTestData" << ":" << result << record.GetLogUrl();
    CUploadService::Instance()->UploadTestData(record);
    return true;
}
