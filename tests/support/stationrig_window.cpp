// The main-window layer of the station rig.

#include "stationrig.h"

#include "handlework.h"
#include "mainwindow.h"
#include "stationresources.h"

#include <QPointer>
#include <QTest>

MainWindow* CStationRig::StartMainWindow()
{
    CloseMainWindow();
    StopDispatcher();
    InitStationResources();
    auto* pWindow = new MainWindow();
    m_pMainWindow = pWindow;
    m_pWork = pWindow->GetHandleWork();
    m_pWorkPort = m_pWork->GetUsbPort();
    // Before the event loop runs (waiting for the exposure does): a frame
    // already plugged arrives from there, and what the dispatcher says about
    // it (its device information) can be said before the window is exposed.
    AttachRecorder();
    pWindow->resize(1129, 748);
    pWindow->show();
    if (!QTest::qWaitForWindowExposed(pWindow))
        qWarning("The main window was not exposed.");
    QPointer<MainWindow> guard(pWindow);
    m_closeMainWindow = [this, guard] {
        m_pWork = nullptr;
        m_pWorkPort = nullptr;
        m_pMainWindow = nullptr;
        delete guard.data();
    };
    return pWindow;
}
