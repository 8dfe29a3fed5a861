// The calibration tasks of the dispatcher: the four-point steps, finishing and
// failing, reset, saving, reading the values, the manual edge moves, the
// calibration format, fine tuning and the transfer of values to the frame;
// and the GUI-thread slots for the step time-out and the interruption of a
// waiting step.
//
// Every task runs on the worker thread against the current device object as a
// HardwareInterface, under the device mutex; without one it does nothing.
// Answers go to the calibration screens as the calibration message
// (EmitCalibrateMsg) and a few plain signals; a screen that posts a task with
// itself as the argument ("SendCalDataToDev", "READ_CAL_VALUES",
// "ExitFineTuningCalibrate") is answered by name as well (viewcontract.h).

#include "handlework.h"

#include "calibratemessage.h"
#include "deviceerror.h"
#include "hardwareinterface.h"

#include <QDebug>
#include <QMutexLocker>
#include <climits>

namespace {
// The step time-out the count-down can ask for at the least, in ms.
constexpr int kMinStepTimeoutMs = 10000;
// A step answer that names no target (neither 1..5 nor the check result)
// ends the step as a runtime error of the step command.
const int32_t kStepRuntimeError =
    HardwareInterface::FamilyCode(CommandFamily::kDoCalStep, HandleWork::ERROR_CLASS_RUNTIME);

struct SEdgeMove
{
    const char* szTask;
    int nEdge;
    bool bDir;
};
// Direction true moves an edge towards its own side of the screen.
constexpr SEdgeMove kEdgeMoves[] = {
    {"CAL_LTL", 0, true},  {"CAL_LTR", 0, false}, {"CAL_RTL", 1, false}, {"CAL_RTR", 1, true},
    {"CAL_TTT", 2, true},  {"CAL_TTB", 2, false}, {"CAL_BTB", 3, true},  {"CAL_BTT", 3, false},
};

struct SStep
{
    const char* szTask;
    int nStep;
};
constexpr SStep kSteps[] = {
    {"STEP_BEGIN", 0}, {"STEP_1", 1}, {"STEP_2", 2}, {"STEP_3", 3}, {"STEP_4", 4}, {"STEP_CHECK", 5},
};
} // namespace

// ---------------------------------------------------------------------------
// GUI thread

void HandleWork::ChangeCalStepTimeout(int timeOut)
{
    // Seconds of the on-screen count-down; ten seconds at the least.
    int nMs = kMinStepTimeoutMs;
    if (timeOut > 9)
        nMs = timeOut > INT_MAX / 1000 ? INT_MAX : timeOut * 1000;
    m_nCalStepTimeout = nMs;
}

void HandleWork::ExitCurrentWork()
{
    // Without the device mutex: the worker holds it while a step waits for
    // the frame, and this call is what ends that wait (clears the object's
    // run flag and turns reception off). The object cannot be replaced
    // meanwhile (the pointer's own lock).
    if (m_eDeviceKind == DeviceKind::Live)
        qInfo().noquote() << "ExitCurrentWork" << ": the waiting calibration work is interrupted";
    // Counted first: a step that begins its operation after the count was
    // read sees this stop in the device object (RunCalStep).
    ++m_nWorkStops;
    InterruptDeviceWait();
}

quint64 HandleWork::StopsCountedFor(const QString& task)
{
    const quint64 nStops = m_nWorkStops.load();
    if (task == QLatin1String("STEP_BEGIN")) {
        m_nStopsAtCalRun = nStops;
        return nStops;
    }
    for (const SStep& step : kSteps) {
        if (task == QLatin1String(step.szTask))
            return m_nStopsAtCalRun.load();
    }
    return nStops;
}

void HandleWork::StartFineTuningCalibrate()
{
    PostTask(QStringLiteral("StartFineTuningCalibrate"));
}

void HandleWork::ExitFineTuningCalibrate(bool bIsCalibrate)
{
    Q_UNUSED(bIsCalibrate);
    PostTask(QStringLiteral("ExitFineTuningCalibrate"));
}

int32_t HandleWork::CalValue(int32_t (HardwareInterface::*pGetter)())
{
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<HardwareInterface*>(m_pDevice.load());
    return pDevice ? (pDevice->*pGetter)() : 0;
}

int32_t HandleWork::GetCalLX()
{
    return CalValue(&HardwareInterface::GetCalLX);
}

int32_t HandleWork::GetCalLY()
{
    return CalValue(&HardwareInterface::GetCalLY);
}

int32_t HandleWork::GetCalRX()
{
    return CalValue(&HardwareInterface::GetCalRX);
}

int32_t HandleWork::GetCalRY()
{
    return CalValue(&HardwareInterface::GetCalRY);
}

// ---------------------------------------------------------------------------
// Helpers of the rows (worker thread, device mutex held)

HardwareInterface* HandleWork::LiveHardware() const
{
    return dynamic_cast<HardwareInterface*>(m_pDevice.load());
}

QJsonObject HandleWork::BuildCalibrateMsg(HardwareInterface* pDevice)
{
    return CCalibrateMessage::DeviceForm(pDevice->GetPropertyList(), pDevice->GetCalLX(), pDevice->GetCalLY(),
                                         pDevice->GetCalRX(), pDevice->GetCalRY());
}

void HandleWork::EmitCalibrateResult(int32_t nResult)
{
    emit EmitCalibrateMsg(CCalibrateMessage::ResultForm(nResult));
}

void HandleWork::ResetCalibration(HardwareInterface* pDevice)
{
    const int32_t nReset = pDevice->ResetCalData();
    if (nReset != 0) {
        emit emitResetCallBack(false);
        EmitCalibrateResult(nReset);
        return;
    }
    emit emitResetCallBack(true);
    const int32_t nRead = pDevice->GetCalData();
    if (nRead == 0)
        emit UpdateCalibrationData();
    else
        EmitCalibrateResult(nRead);
}

// ---------------------------------------------------------------------------
// Rows

int32_t HandleWork::RunInitDeviceCalData(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->InitDeviceCalData();
    if (nRet >= 0) {
        emit EmitCalibrateMsg(BuildCalibrateMsg(pDevice));
        EmitDeviceInformation(pDevice);
    }
    return nRet;
}

int32_t HandleWork::RunCalStep(const STaskContext& ctx)
{
    int nStep = -1;
    for (const SStep& step : kSteps) {
        if (ctx.task == QLatin1String(step.szTask))
            nStep = step.nStep;
    }
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice || nStep < 0)
        return 0;

    qInfo().noquote() << "ProcessTask" << ":" + ctx.task;
    int nNext = 0;
    // One operation for the stop: the stops are counted after it began, so a
    // stop since the task (or its four-point run) was posted is seen either
    // here or by the step's own wait, never lost in between.
    int32_t nRet = pDevice->AsOneOperation([&] {
        if (m_nWorkStops.load() != ctx.nStopsAtStart) {
            qInfo().noquote() << "ProcessTask" << ":" + ctx.task << "stopped before it reached the frame";
            return HardwareInterface::FamilyCode(CommandFamily::kDoCalStep, ERROR_CODE_INTERRUPT);
        }
        return pDevice->DoCalStep(nStep, &nNext, m_nCalStepTimeout.load());
    });
    if (nRet == 0 && (nNext < 1 || nNext > 7)) {
        // The frame answered the step without naming a target or a check
        // result; the screens could only wait for ever.
        qWarning().noquote() << "ProcessTask" << ":" + ctx.task << "answered without a next step:" << nNext;
        nRet = kStepRuntimeError;
    }
    if (nRet != 0) {
        // Leave the frame's calibration mode before the failure is reported.
        ResetCalibration(pDevice);
        pDevice->SendCmd01FF();
        emit EmitCalibrateMsg(BuildCalibrateMsg(pDevice));
        EmitCalibrateResult(nRet);
        return 0;
    }
    if (nNext == HardwareInterface::CAL_CHECK_ACCEPTED)
        qInfo().noquote() << "ProcessTask" << ":" + ctx.task << "the frame accepts the calibration";
    else if (nNext == HardwareInterface::CAL_CHECK_DEVIATION_TOO_LARGE)
        qInfo().noquote() << "ProcessTask" << ":" + ctx.task << "the frame reports the deviation as too large";
    else
        emit UpdateCalStep(nNext);
    emit EmitCalibrateMsg(CCalibrateMessage::StepForm(nNext));
    return 0;
}

int32_t HandleWork::RunCalEndOk(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice) {
        // The frame left before its calibration was stored.
        emit EmitCalibrationSaved(ctx.task, ERROR_CODE_NULL_DEVICE);
        return 0;
    }
    qInfo().noquote() << "ProcessTask" << ":STEP_END_OK";
    pDevice->SendCmd01FF();
    // Every save is tried; the first that failed is the one reported.
    const int32_t results[] = {pDevice->SaveCalToFlash(), pDevice->SaveCalAsDefault(), pDevice->GetCalData()};
    int32_t nSaved = 0;
    for (int32_t nResult : results) {
        if (nResult != 0) {
            EmitCalibrateResult(nResult);
            nSaved = nResult;
            break;
        }
    }
    emit EmitCalibrationSaved(ctx.task, int(nSaved));
    const int32_t nRet = pDevice->GetCalData();
    if (nRet >= 0)
        emit EmitCalibrateMsg(BuildCalibrateMsg(pDevice));
    return nRet;
}

void HandleWork::NoteCalKeepResult(int32_t nResult)
{
    if (m_bCalKeeping && m_nCalKeepResult == 0 && nResult != 0)
        m_nCalKeepResult = nResult;
}

int32_t HandleWork::RunCalEndFail(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice)
        return 0;
    qInfo().noquote() << "ProcessTask" << ":STEP_END_FAIL";
    ResetCalibration(pDevice);
    pDevice->SendCmd01FF();
    emit EmitCalibrateMsg(BuildCalibrateMsg(pDevice));
    return 0;
}

int32_t HandleWork::RunResetCalData(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice)
        return 0;
    qInfo().noquote() << "RESET_CAL_DATA";
    ResetCalibration(pDevice);
    emit EmitCalibrateMsg(BuildCalibrateMsg(pDevice));
    return 0;
}

int32_t HandleWork::RunCalSave(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice) {
        NoteCalKeepResult(ERROR_CODE_NULL_DEVICE);
        return 0;
    }
    const bool bFlash = ctx.task == QLatin1String("SAVE_TO_FLASH");
    qInfo().noquote() << (bFlash ? "SAVE_TO_FALSH" : "SAVE_AS_DEFAULT");
    const int32_t nRet = bFlash ? pDevice->SaveCalToFlash() : pDevice->SaveCalAsDefault();
    NoteCalKeepResult(nRet);
    if (nRet == 0)
        emit UpdateCalibrationData();
    else
        EmitCalibrateResult(nRet);
    return 0;
}

int32_t HandleWork::RunGetCalData(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    const int32_t nRet = pDevice ? pDevice->GetCalData() : ERROR_CODE_NULL_DEVICE;
    // The read-back ends a keeping of the tuning screens: reported once.
    if (m_bCalKeeping) {
        NoteCalKeepResult(nRet < 0 ? nRet : 0);
        m_bCalKeeping = false;
        emit EmitCalibrationSaved(ctx.task, int(m_nCalKeepResult));
    }
    if (!pDevice)
        return 0;
    if (nRet >= 0)
        emit EmitCalibrateMsg(BuildCalibrateMsg(pDevice));
    return nRet;
}

int32_t HandleWork::RunMoveCalEdge(const STaskContext& ctx)
{
    const SEdgeMove* pMove = nullptr;
    for (const SEdgeMove& move : kEdgeMoves) {
        if (ctx.task == QLatin1String(move.szTask))
            pMove = &move;
    }
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice || !pMove)
        return 0;
    const int32_t nRet = pDevice->MoveCalEdge(pMove->nEdge, pMove->bDir);
    if (nRet < 0)
        EmitCalibrateResult(nRet);
    // The station keeps the moved value even when the frame did not take it:
    // the screen shows what the station now holds.
    emit UpdateCalibrationData();
    return 0;
}

int32_t HandleWork::RunCalFormat(const STaskContext& ctx)
{
    const bool bWrite = ctx.task == QLatin1String("SET_CAL_FMT");
    if (bWrite) {
        // The first task of a keeping of the tuning screens.
        m_bCalKeeping = true;
        m_nCalKeepResult = 0;
    }
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice) {
        if (bWrite)
            NoteCalKeepResult(ERROR_CODE_NULL_DEVICE);
        return 0;
    }
    qInfo().noquote() << ctx.task;
    const int32_t nRet = bWrite ? pDevice->SetCalFormat() : pDevice->GetCalFormat();
    if (bWrite)
        NoteCalKeepResult(nRet < 0 ? nRet : 0);
    EmitCalibrateResult(nRet);
    return nRet;
}

int32_t HandleWork::RunStartFineTuning(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice)
        return 0;
    // The touch formats read first are kept here until the exit gives them
    // back, with what tells the frame apart if it is plugged again
    // meanwhile (its object is then another one). Only formats the frame
    // reported: after a failed read the object holds older values.
    SFineTuneStart start;
    const int32_t nRead = pDevice->GetTouchFormat();
    if (nRead >= 0) {
        start.eKept = EFormatsKept::Kept;
        start.nUsb1 = uint8_t(pDevice->GetUsb1TouchFormat());
        start.nUsb2 = uint8_t(pDevice->GetUsb2TouchFormat());
    } else {
        start.eKept = EFormatsKept::NotRead;
        start.nReadResult = nRead;
    }
    start.nGeneration = m_nDeviceGeneration.load();
    if (pDevice->QueryMcuID(&start.strMcuId) < 0)
        start.strMcuId.clear();
    // A frame that an earlier fine tuning could not give its formats back to
    // is still in the mouse format: what it had before that one is what this
    // one gives back. Formats kept for another frame are given up when this
    // one keeps formats of its own (there is room for one frame's), else
    // they stay owed.
    const SFineTuneStart owed = TakeOwedTouchFormats();
    if (owed.eKept == EFormatsKept::Kept) {
        if (!start.strMcuId.isEmpty() && start.strMcuId == owed.strMcuId) {
            if (start.eKept == EFormatsKept::NotRead)
                qInfo().noquote() << "StartFineTuningCalibrate : the frame's touch formats could not be read,"
                                  << QStringLiteral("0x%1").arg(uint32_t(nRead), 0, 16);
            start.eKept = EFormatsKept::Kept;
            start.nUsb1 = owed.nUsb1;
            start.nUsb2 = owed.nUsb2;
            qInfo().noquote() << "StartFineTuningCalibrate : the frame (McuID" << owed.strMcuId
                              << ") still waits for its touch formats" << FormatsText(owed)
                              << "; this fine tuning gives them back";
        } else if (start.eKept == EFormatsKept::Kept) {
            qWarning().noquote() << "StartFineTuningCalibrate : a new fine tuning starts; the touch formats"
                                 << FormatsText(owed) << "kept for the frame with McuID" << owed.strMcuId
                                 << "are not given back";
        } else {
            OweTouchFormats(owed);
        }
    }
    if (start.eKept == EFormatsKept::NotRead) {
        qWarning().noquote() << "StartFineTuningCalibrate : the frame's touch formats could not be read,"
                             << QStringLiteral("0x%1;").arg(uint32_t(nRead), 0, 16)
                             << "they will not be given back when fine tuning ends";
        emit EmitTouchFormatsUnread();
    }
    m_fineTuneStart = start;
    pDevice->SetTouchFormat(1, 1);
    pDevice->ReadFineTuneParams();
    pDevice->WriteFineTuneParams(false);
    pDevice->ExitFineTuning(0);
    return 0;
}

int32_t HandleWork::RunExitFineTuning(const STaskContext& ctx)
{
    int32_t nFormats = ERROR_CODE_NULL_DEVICE;
    const SFineTuneStart start = m_fineTuneStart;
    m_fineTuneStart = SFineTuneStart();
    bool bGivenBack = false;
    bool bOwed = false;
    {
        QMutexLocker lock(m_pDeviceMutex);
        if (HardwareInterface* pDevice = LiveHardware()) {
            pDevice->WriteFineTuneParams(pDevice->GetFineTune1() == 1);
            pDevice->ExitFineTuning(1);
            if (start.eKept == EFormatsKept::NoStart) {
                // No start found a frame: the object's own formats.
                nFormats = pDevice->SetTouchFormat(uint8_t(pDevice->GetUsb1TouchFormat()),
                                                   uint8_t(pDevice->GetUsb2TouchFormat()));
            } else if (start.eKept == EFormatsKept::NotRead) {
                // Nothing is known to give back: the frame stays as it is.
                nFormats = start.nReadResult;
                qWarning().noquote() << "ExitFineTuningCalibrate : the frame's touch formats were not read when"
                                     << "fine tuning started; no touch formats are given back";
            } else {
                // Given back to the same frame only: the object of the start,
                // or (the frame was plugged again) one whose frame answers
                // with the McuID read at the start.
                bool bSameFrame = start.nGeneration == m_nDeviceGeneration.load();
                QString strMcuId;
                if (!bSameFrame && pDevice->QueryMcuID(&strMcuId) >= 0)
                    bSameFrame = !start.strMcuId.isEmpty() && strMcuId == start.strMcuId;
                if (bSameFrame) {
                    nFormats = pDevice->SetTouchFormat(start.nUsb1, start.nUsb2);
                    bGivenBack = nFormats >= 0;
                } else {
                    qWarning().noquote()
                        << "ExitFineTuningCalibrate : the frame is not the one fine tuning started on (McuID"
                        << (start.strMcuId.isEmpty() ? QStringLiteral("unread") : start.strMcuId) << "then,"
                        << (strMcuId.isEmpty() ? QStringLiteral("unread") : strMcuId)
                        << "now); no touch formats are given back";
                }
            }
        }
        // The frame that fine tuning started on did not get its formats back
        // (it is out, it did not take them, or another one is here): they
        // wait for its return, under the device mutex, so that an arrival
        // handled meanwhile sees them.
        if (start.eKept == EFormatsKept::Kept && !bGivenBack) {
            if (start.strMcuId.isEmpty()) {
                qWarning().noquote() << "ExitFineTuningCalibrate : no McuID was read when fine tuning started; the"
                                     << "touch formats" << FormatsText(start)
                                     << "cannot be given back to the frame when it returns";
            } else {
                OweTouchFormats(start);
                bOwed = true;
            }
        }
    }
    const bool bFormatsRead = start.eKept != EFormatsKept::NotRead;
    if (nFormats < 0 && nFormats != ERROR_CODE_NULL_DEVICE && bFormatsRead) {
        qWarning().noquote() << "ExitFineTuningCalibrate : the frame did not take back its touch formats,"
                             << QStringLiteral("0x%1").arg(uint32_t(nFormats), 0, 16);
    }
    if (bOwed) {
        qWarning().noquote() << "ExitFineTuningCalibrate : the touch formats" << FormatsText(start)
                             << "are kept for the frame with McuID" << start.strMcuId
                             << "and given back when it arrives again";
        emit EmitTouchFormatsOwed();
    }
    // The fine-tuning screen posts it itself when the program ends and waits
    // for this answer (the slot posts it without a poster).
    if (ctx.mPara)
        AnswerPoster(ctx, ViewContract::kFineTuningExited, int(nFormats), bFormatsRead);
    return 0;
}

int32_t HandleWork::RunGiveBackTouchFormats(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice || !m_bFormatsOwed.load())
        return 0;
    SFineTuneStart owed;
    {
        QMutexLocker owedLock(&m_formatsOwedMutex);
        owed = m_formatsOwed;
    }
    QString strMcuId;
    if (pDevice->QueryMcuID(&strMcuId) < 0)
        strMcuId.clear();
    if (strMcuId != owed.strMcuId) {
        qWarning().noquote() << "GiveBackTouchFormats : the frame that arrived (McuID"
                             << (strMcuId.isEmpty() ? QStringLiteral("unread") : strMcuId)
                             << ") keeps its own touch formats; those kept for the frame with McuID"
                             << owed.strMcuId << "wait for it";
        return 0;
    }
    const int32_t nRet = pDevice->SetTouchFormat(owed.nUsb1, owed.nUsb2);
    if (nRet < 0) {
        // Not reported as an error of a task: nobody asked for it now.
        qWarning().noquote() << "GiveBackTouchFormats : the frame with McuID" << owed.strMcuId
                             << "did not take back its touch formats" << FormatsText(owed) << ","
                             << QStringLiteral("0x%1;").arg(uint32_t(nRet), 0, 16) << "they wait for its next return";
        return 0;
    }
    TakeOwedTouchFormats();
    qInfo().noquote() << "GiveBackTouchFormats : the frame with McuID" << owed.strMcuId
                      << "has its touch formats" << FormatsText(owed) << "back";
    emit EmitTouchFormatsGivenBack();
    return 0;
}

void HandleWork::OweTouchFormats(const SFineTuneStart& start)
{
    QMutexLocker lock(&m_formatsOwedMutex);
    m_formatsOwed = start;
    m_bFormatsOwed = true;
}

HandleWork::SFineTuneStart HandleWork::TakeOwedTouchFormats()
{
    QMutexLocker lock(&m_formatsOwedMutex);
    const SFineTuneStart owed = m_formatsOwed;
    m_formatsOwed = SFineTuneStart();
    m_bFormatsOwed = false;
    return owed;
}

void HandleWork::PostGiveBackIfOwed()
{
    // Queued even while an earlier one still runs: that one may have found
    // the frame gone again.
    if (m_bFormatsOwed.load())
        Queue(QStringLiteral("GiveBackTouchFormats"), Qt::AutoConnection, nullptr, false);
}

void HandleWork::WarnOfOwedTouchFormats()
{
    if (!m_bFormatsOwed.load())
        return;
    const SFineTuneStart owed = TakeOwedTouchFormats();
    qWarning().noquote() << "StopWorker : the frame with McuID" << owed.strMcuId
                         << "did not return; its touch formats" << FormatsText(owed)
                         << "were never given back";
}

QString HandleWork::FormatsText(const SFineTuneStart& formats)
{
    return QStringLiteral("%1/%2").arg(formats.nUsb1).arg(formats.nUsb2);
}

int32_t HandleWork::RunSendCalDataToDev(const STaskContext& ctx)
{
    int32_t nRet = ERROR_CODE_NULL_DEVICE;
    {
        QMutexLocker lock(m_pDeviceMutex);
        if (HardwareInterface* pDevice = LiveHardware()) {
            nRet = pDevice->SendCalDataToDev();
            if (nRet < 0)
                EmitCalibrateResult(nRet);
            else
                emit UpdateCalibrationData();
        }
    }
    // The fine-tuning screen adjusts again only after this answer.
    if (ctx.mPara)
        AnswerPoster(ctx, ViewContract::kCalDataSent, int(nRet));
    return 0;
}

int32_t HandleWork::RunReadCalValues(const STaskContext& ctx)
{
    // The cached values only: no frame command, so the manual screen never
    // waits on the GUI thread for a task that holds the device mutex.
    int nValues[4] = {0, 0, 0, 0};
    {
        QMutexLocker lock(m_pDeviceMutex);
        if (HardwareInterface* pDevice = LiveHardware()) {
            nValues[0] = pDevice->GetCalLX();
            nValues[1] = pDevice->GetCalLY();
            nValues[2] = pDevice->GetCalRX();
            nValues[3] = pDevice->GetCalRY();
        }
    }
    AnswerPoster(ctx, ViewContract::kCalValuesRead, nValues[0], nValues[1], nValues[2], nValues[3]);
    return 0;
}

int32_t HandleWork::RunSendFileCalParam(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    HardwareInterface* pDevice = LiveHardware();
    if (!pDevice)
        return 0;
    int32_t nRet = pDevice->SendCalParam();
    if (nRet < 0) {
        emit EmitSaveCalibrateFileParamToDev(false);
        return nRet;
    }
    nRet = pDevice->SetCalFormat();
    if (nRet >= 0)
        nRet = pDevice->SaveCalToFlash();
    if (nRet >= 0)
        nRet = pDevice->SaveCalAsDefault();
    if (nRet >= 0)
        emit UpdateCalibrationData();
    // Stored only when every step succeeded: values sent but not saved are
    // not what the operator asked for (the dialog then reads the frame's
    // values back).
    emit EmitSaveCalibrateFileParamToDev(nRet >= 0);
    emit EmitCalibrateMsg(BuildCalibrateMsg(pDevice));
    EmitDeviceInformation(pDevice);
    return nRet;
}
