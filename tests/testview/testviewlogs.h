#pragma once

// What the tests of the view's logs share: an upload that keeps every record
// it is handed, the view's actions by text, and the device object's name,
// property and frame position read under the device mutex.

#include "handlework.h"
#include "testrecord.h"
#include "touchbase.h"
#include "uploadservice.h"
#include "veloratestview.h"
#include "waitfor.h"

#include <QAction>
#include <QList>
#include <QMenu>
#include <QMutexLocker>
#include <QString>

// The upload as the view sees it: every record it is handed.
class CRecordingUpload : public CUploadService
{
public:
    QList<CTestRecord> records;
    bool UploadTestData(const CTestRecord& record) override
    {
        records << record;
        return true;
    }
};

namespace TestViewLogs {

// An action of the view's menu or of the view itself, by its text.
inline QAction* ViewAction(VeloraTestView* pView, const QString& text)
{
    const QList<QAction*> actions = pView->ActionMenu()->actions() + pView->actions();
    for (QAction* pAction : actions) {
        if (pAction->text() == text)
            return pAction;
    }
    return nullptr;
}

// A property of the device object now ("" without one).
inline QString Property(HandleWork* pWork, const QString& name)
{
    QMutexLocker lock(pWork->GetDeviceMutex());
    CTouchBase* pDevice = pWork->GetTouchDevice();
    return pDevice ? pDevice->GetProperty(name) : QString();
}

inline QString DeviceName(HandleWork* pWork)
{
    QMutexLocker lock(pWork->GetDeviceMutex());
    CTouchBase* pDevice = pWork->GetTouchDevice();
    return pDevice ? pDevice->GetName() : QString();
}

inline uint32_t FrameNumber(HandleWork* pWork)
{
    QMutexLocker lock(pWork->GetDeviceMutex());
    CTouchBase* pDevice = pWork->GetTouchDevice();
    return pDevice ? pDevice->GetFrameNumber() : 0;
}

// Until the device object is the replay of the log at path.
inline bool WaitForReplayOf(HandleWork* pWork, const QString& path)
{
    return StationTest::WaitFor([&] {
        return pWork->GetDeviceKind() == HandleWork::DeviceKind::Replay && DeviceName(pWork) == path;
    });
}

} // namespace TestViewLogs
