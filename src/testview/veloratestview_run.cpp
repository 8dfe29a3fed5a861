// VeloraTestView: the run (its start, end and views), the plug events and the raw reports.
#include "veloratestview.h"
#include "ui_veloratestview.h"

#include "comportusb.h"
#include "handlework.h"
#include "recorddialog.h"
#include "signalhistogramview.h"
#include "touchbase.h"
#include "touchpaintview.h"
#include "touchpanelview.h"
#include "veloratestview_p.h"

#include <QAction>
#include <QDebug>
#include <QLabel>
#include <QMutexLocker>

using VeloraTestViewPrivate::Settings;

// ---------------------------------------------------------------------------
// Resets and the views of a run

void VeloraTestView::RemoveViews()
{
    {
        QMutexLocker lock(&m_panelMutex);
        if (m_pPanelView) {
            ui->touchPannelVerticalLayout->removeWidget(m_pPanelView);
            delete m_pPanelView;
            m_pPanelView = nullptr;
        }
    }
    QMutexLocker lock(&m_histogramMutex);
    for (SignalHistogramView* pView : qAsConst(m_mapHistogramViews)) {
        ui->touchHistogramVerticalLayout->removeWidget(pView);
        delete pView;
    }
    m_mapHistogramViews.clear();
}

void VeloraTestView::ExitActiveDrawWindow()
{
    // Only teardowns close it: its closing restarts no refresh.
    if (!m_pTouchPaintView->isActiveWindow())
        return;
    m_bTearingDown = true;
    m_pTouchPaintView->ExitResponse();
    m_bTearingDown = false;
}

void VeloraTestView::DeInitTestUi()
{
    qInfo().noquote() << "DeInitTestUi...";
    ++m_nRunNumber;
    m_bRefreshRunning = false;
    ExitActiveDrawWindow();
    StopRefresh();
    RemoveViews();
    ui->drawButton->setEnabled(true);
    UpdateSourceButtons();
    ResetInfoTables();
    // Released whether or not a run held it (only this thread takes it).
    m_testMutex.tryLock();
    m_testMutex.unlock();
}

void VeloraTestView::ResetTestView()
{
    RemoveViews();
    ResetTable(ui->FirmwareInfo, tr("No Information..."));
    ResetTable(ui->testResult, tr("Unknown..."));
    m_pNoticeLabel->setText(tr("There is no device inserted, Please insert device!"));
    m_pNoticeLabel->show();
    ExitActiveDrawWindow();
    ui->drawButton->setEnabled(true);
    UpdateSourceMark();
}

bool VeloraTestView::InitPanelView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    QMutexLocker lock(&m_panelMutex);
    if (m_pPanelView) {
        ui->touchPannelVerticalLayout->removeWidget(m_pPanelView);
        delete m_pPanelView;
    }
    // The diagram copies what it needs of the record.
    m_pPanelView = new CTouchPanelView(&pDevice->GetHardwareInfo(), this);
    ui->touchPannelVerticalLayout->addWidget(m_pPanelView);
    return true;
}

bool VeloraTestView::InitHistogramViews()
{
    if (!m_bSourcePresent.load() || !m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    QMutexLocker lock(&m_histogramMutex);
    for (SignalHistogramView* pView : qAsConst(m_mapHistogramViews)) {
        ui->touchHistogramVerticalLayout->removeWidget(pView);
        delete pView;
    }
    m_mapHistogramViews.clear();
    QMap<QString, CAxisSignalInfo>& mapAxes = pDevice->GetAxisSignalMap();
    for (auto it = mapAxes.begin(); it != mapAxes.end(); ++it) {
        // The view reads the record only while it builds its charts.
        auto* pView = new SignalHistogramView(this, &it.value(), it.key());
        // Its charts squeeze rather than push the view past a small screen.
        pView->setMinimumSize(1, 1);
        m_mapHistogramViews.insert(it.key(), pView);
        ui->touchHistogramVerticalLayout->addWidget(pView);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Plug events and raw reports

void VeloraTestView::InsertUsbDeviceForTest(bool value)
{
    qDebug().noquote() << "InsertUsbDeviceForTest" << ": value = " + QString::fromLatin1(value ? "true" : "false");
    if (m_pHandleWork && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Live)
        m_bSourcePresent = value;
    if (!value && m_pUsbPort && m_pUsbPort->GetDevCount() == 0) {
        // The last frame has gone: the next one starts with every contact up.
        QMutexLocker lock(&m_intakeMutex);
        m_intake.Reset();
    }
    if (!isVisible())
        return;
    const HandleWork::DeviceKind kind = m_pHandleWork ? m_pHandleWork->GetDeviceKind() : HandleWork::DeviceKind::None;
    if (value) {
        if (kind == HandleWork::DeviceKind::None) {
            qDebug().noquote() << "InsertUsbDeviceForTest" << ": device is null";
            return;
        }
        if (m_pUsbPort && m_pUsbPort->GetDeviceMode() == 1) {
            qDebug().noquote() << "InsertUsbDeviceForTest" << ": StartTest";
            DeInitTestUi();
            // The run starts (and asks for its serial number) once every
            // receiver and the main window have handled the arrival; it is
            // this arrival's only while nothing else ended or began a run.
            const quint64 nRun = m_nRunNumber;
            AfterDelivery("InsertUsbDeviceForTest", [this, nRun] {
                if (nRun != m_nRunNumber || !isVisible()) {
                    qInfo().noquote() << "InsertUsbDeviceForTest"
                                      << ": the run changed before the arrival's run started, it is not started";
                    return;
                }
                StartTest();
            });
            return;
        }
        if (kind == HandleWork::DeviceKind::Replay)
            return;
        DeInitTestUi();
        m_pNoticeLabel->setText(tr("Touch In Bootloader,Please upgrade the firmware..."));
        m_pNoticeLabel->show();
        return;
    }
    const int nCount = m_pUsbPort ? int(m_pUsbPort->GetDevCount()) : 0;
    if (nCount > 0 && kind == HandleWork::DeviceKind::Live) {
        qDebug().noquote() << "InsertUsbDeviceForTest" << ": Count = " + QString::number(nCount) + " run DeInitTestUi";
        // The port tells a removal only when the current frame left: what
        // is being recorded is that frame's, and the device object still
        // holds it until the frame that stays arrives.
        if (m_pRecordAction->isChecked())
            EndRecordingOfLeftFrame();
        DeInitTestUi();
        return;
    }
    if (kind != HandleWork::DeviceKind::Live)
        return;
    // A running recording ends here and is taken out of the device object
    // (once); its save dialog opens after the removal has reached every
    // receiver, and writes what was recorded whatever arrives meanwhile.
    if (m_pRecordAction->isChecked()) {
        const STakenLog log = TakeLog(true);
        m_pRecordDialog->StopClock();
        m_pRecordAction->setChecked(false);
        if (log.bTaken)
            AfterDelivery("InsertUsbDeviceForTest", [this, log] { SaveTakenLog(log); });
    }
    EndLiveRun();
}

void VeloraTestView::EndLiveRun()
{
    StopTest();
    UpdateSourceButtons();
    ResetInfoTables();
    emit emitSignalTestStatus(false);
}

bool VeloraTestView::IsLiveRunOpen()
{
    if (!m_pHandleWork || m_pHandleWork->GetDeviceKind() != HandleWork::DeviceKind::Live)
        return false;
    // Only this thread takes the test mutex: a lock taken here was free.
    if (!m_testMutex.tryLock())
        return true;
    m_testMutex.unlock();
    return false;
}

VeloraTestView::SCurrent VeloraTestView::Current() const
{
    SCurrent current;
    current.nRun = m_nRunNumber;
    current.nDevice = m_pHandleWork ? m_pHandleWork->GetDeviceGeneration() : 0;
    current.bSource = m_bSourcePresent.load();
    return current;
}

VeloraTestView::EChange VeloraTestView::ChangeSince(const SCurrent& before) const
{
    const SCurrent now = Current();
    const bool bRun = now.nRun == before.nRun;
    const bool bFrame = now.nDevice == before.nDevice && now.bSource == before.bSource;
    if (bRun && bFrame)
        return EChange::None;
    return !bRun && !bFrame ? EChange::RunAndFrame : !bRun ? EChange::Run : EChange::Frame;
}

bool VeloraTestView::StillCurrent(const SCurrent& before, const char* szWho, const char* szLoop) const
{
    const EChange change = ChangeSince(before);
    if (change == EChange::None)
        return true;
    const char* szWhat = change == EChange::RunAndFrame ? "the run and the frame changed"
                         : change == EChange::Run       ? "the run changed"
                                                        : "the frame changed";
    qInfo().noquote() << szWho << QStringLiteral(": %1 during the %2, what it was for is dropped")
                                      .arg(QLatin1String(szWhat), QLatin1String(szLoop));
    return false;
}

bool VeloraTestView::PostForAnswer(const QString& task)
{
    if (!Post(task))
        return false;
    // No answer is delivered before this returns: answers come through the
    // event loop.
    m_answersDue.append(SAnswerDue{task, m_nRunNumber});
    return true;
}

bool VeloraTestView::IsAnswerOfOpenRun(const char* szAnswer, const QStringList& tasks)
{
    for (auto it = m_answersDue.begin(); it != m_answersDue.end(); ++it) {
        if (!tasks.contains(it->task))
            continue;
        const SAnswerDue due = *it;
        m_answersDue.erase(it);
        if (due.nRun == m_nRunNumber)
            return true;
        qInfo().noquote() << szAnswer
                          << QStringLiteral(": the answer to %1 belongs to a run that is no longer open, it is dropped")
                                 .arg(due.task);
        return false;
    }
    return true;
}

void VeloraTestView::ProcessTouchData(TouchData data)
{
    // Any frame's reader thread; one report at a time across them all.
    QMutexLocker lock(&m_intakeMutex);
    if (m_bIntakeClosed)
        return;
    const CTouchIntake::SOutput out = m_intake.Feed(data);
    if (out.bInject && m_pUsbPort)
        m_pUsbPort->InjectTouch(out.pPoints, out.nCount, m_nScreenWidth.load(), m_nScreenHeight.load());
    if (out.eVerdict != CTouchIntake::EVerdict::None)
        emit ShowTouchTestResult(out.eVerdict == CTouchIntake::EVerdict::Pass);
}

// ---------------------------------------------------------------------------
// The run

bool VeloraTestView::IsSourceUsable() const
{
    return m_bSourcePresent.load() && HasDevice() && m_pUsbPort && m_pUsbPort->GetDevCount() > 0
           && m_pUsbPort->GetDeviceMode() == 1;
}

void VeloraTestView::StartTest()
{
    // 1.
    if (!IsSourceUsable()) {
        DeInitTestUi();
        return;
    }
    // 2.
    if (!m_testMutex.tryLock()) {
        qDebug().noquote() << "StartTest" << ": test mutex is fail";
        return;
    }
    ++m_nRunNumber;
    // 3.
    ResetTestView();
    // No real-time verdict of an earlier run reaches this one.
    m_verdictBox.Clear();
    m_diagramBox.Clear();
    m_histogramBox.Clear();

    // 4. A replay.
    if (m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Replay) {
        if (GetLogFilePath().isEmpty())
            return;
        m_pNoticeLabel->setText(tr("Now opening and analysising the log file..."));
        m_bRefreshRunning = true;
        m_nInterval = 40;
        PostForAnswer(QStringLiteral("OpenTestLog"));
        return;
    }
    if (m_pHandleWork->GetDeviceKind() != HandleWork::DeviceKind::Live)
        return;

    // 5. A plugged frame. The prompt runs an event loop, in which a plug
    // event may end this run or start another one: it goes on only while its
    // run and its frame are still current.
    if (!ScanSerialNumber())
        return;
    m_bTestRunning = true;
    SetButtonsEnabled(false);
    // The ports again (the reader threads read the USB port's pointer: it
    // is written only when it changes, which it does not while they run).
    if (m_pUsbPort != m_pHandleWork->GetUsbPort())
        m_pUsbPort = m_pHandleWork->GetUsbPort();
    m_pUartPort = m_pHandleWork->GetUartPort();
    emit emitSignalTestStatus(true);
    m_bTouchEnabled = Settings()->GetBool(QStringLiteral("DefaultTouchEnable"), true);
    Post(m_bTouchEnabled ? QStringLiteral("EnableTouch") : QStringLiteral("DisableTouch"));
    PostForAnswer(QStringLiteral("StartTestOnce"));
    m_pNoticeLabel->setText(tr("A Device is discovered, Now initializing and testing..."));
    m_pNoticeLabel->show();
    m_bRefreshRunning = true;
    m_nInterval = 10;
    m_nInterfaceTestCount = 0;
    m_nPassCount = 0;
    // A replayed log's interface results do not judge a live frame.
    m_nComTestResult = 0;
    m_nDUsbTestResult = 0;
}

void VeloraTestView::ChangeUsbDevice(QAction* action)
{
    if (!action || !m_pUsbPort)
        return;
    const QString name = action->text();
    const QStringList names = m_pUsbPort->GetDeviceNameList();
    if (names.isEmpty() || names.first() == name || !names.contains(name))
        return;
    InsertUsbDeviceForTest(false);
    m_pUsbPort->SelectDevice(name);
    if (m_pUsbPort->GetDevCount() > 0)
        InsertUsbDeviceForTest(true);
}

void VeloraTestView::InitTestUi(QMap<QString, QString> mapTestResult)
{
    if (!IsAnswerOfOpenRun("InitTestUi", {QStringLiteral("StartTestOnce"), QStringLiteral("OpenTestLog")}))
        return;
    ShowFirstResult(mapTestResult);
}

void VeloraTestView::HoldRefreshForThisTurn()
{
    // Released by the next turn of whichever event loop runs (a box's own
    // included), so a box the result asks no refresh waits for.
    if (!m_bRefreshHeld.exchange(true))
        QMetaObject::invokeMethod(this, [this] { m_bRefreshHeld = false; }, Qt::QueuedConnection);
}

void VeloraTestView::ShowFirstResult(const QMap<QString, QString>& mapTestResult)
{
    HoldRefreshForThisTurn();
    m_pNoticeLabel->hide();
    UpdateSourceButtons();
    InitDeviceInfoTable();
    StartRefresh();
    InitPanelView();
    InitHistogramViews();
    // The result in the next turn (no turn builds both the pages and the
    // result of a large frame), from the run's own frame: the refresh reads
    // none until the result is filed.
    m_bFilingHeld = true;
    const SCurrent before = Current();
    OnNextTurn([this, before, mapTestResult] {
        if (!StillCurrent(before, "InitTestUi", "building of the pages") || !ShowResultNow(mapTestResult, true))
            EndFiling();
    });
}

bool VeloraTestView::RedoInitTestUI(QMap<QString, QString> mapTestResult)
{
    HoldRefreshForThisTurn();
    InitDeviceInfoTable();
    InitPanelView();
    InitHistogramViews();
    m_pNoticeLabel->hide();
    StartRefresh();
    ShowResultNow(mapTestResult, true);
    return true;
}

void VeloraTestView::TaskFailed(QString task, int32_t errorCode)
{
    qDebug().noquote() << "TaskFailed" << ": " + task << QStringLiteral("0x%1").arg(uint32_t(errorCode), 8, 16, QLatin1Char('0'));
    if (!IsAnswerOfOpenRun("TaskFailed", {task}))
        return;
    // A log that could not be opened: the source the dispatcher kept.
    if (task == QLatin1String("OpenTestLog")) {
        RestoreAfterFailedOpen();
        return;
    }
    // Only a test that is still waiting for its first result: the operator
    // gets the view back, the run stays open (closing switches the frame's
    // LED check off) and nothing refreshes.
    if (!m_bTestRunning)
        return;
    SetButtonsEnabled(true);
    UpdateSourceButtons();
    m_bTestRunning = false;
    ResetTable(ui->testResult, tr("Unknown..."));
    m_pNoticeLabel->setText(tr("Unknown..."));
    m_pNoticeLabel->show();
}
