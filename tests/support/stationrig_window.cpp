// The main-window layer of the station rig.

#include "stationrig.h"

#include "handlework.h"
#include "mainwindow.h"
#include "stationresources.h"
#include "upgradelogfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

MainWindow* CStationRig::StartMainWindow()
{
    CloseMainWindow();
    StopDispatcher();
    InitStationResources();
    // The upgrade view writes its log into the folder "UpgradeLog" beside
    // the program: into a folder of the rig's instead, unless the test chose
    // one of its own.
    std::shared_ptr<QTemporaryDir> pProgramDir;
    if (CUpgradeLogFile::ProgramDir() == QCoreApplication::applicationDirPath()) {
        pProgramDir = std::make_shared<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/station-rig-program-XXXXXX"));
        if (pProgramDir->isValid())
            CUpgradeLogFile::SetProgramDir(pProgramDir->path());
        else
            qWarning("The rig has no program folder for the upgrade log: %s", qPrintable(pProgramDir->errorString()));
    }
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
    m_closeMainWindow = [this, guard, pProgramDir] {
        m_pWork = nullptr;
        m_pWorkPort = nullptr;
        m_pMainWindow = nullptr;
        delete guard.data();
        if (pProgramDir && pProgramDir->isValid())
            CUpgradeLogFile::SetProgramDir(QString());
    };
    return pWindow;
}
