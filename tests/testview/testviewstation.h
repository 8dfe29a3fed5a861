#pragma once

// The signal-test view as the station builds it: the real main window with
// its dispatcher over emulated frames on the real USB port (CStationRig), the
// view found among the window's children.
//
//   CTestViewStation station;
//   station.AddFrame();          // a healthy panel, plugged at Start
//   QVERIFY(station.Start());    // window, dispatcher, frames read
//   station.OpenView();          // as the signal-test button opens it

#include "comportusb.h"
#include "customersettings.h"
#include "handlework.h"
#include "mainwindow.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchbase.h"
#include "veloratestview.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QPixmap>
#include <QTest>
#include <QTextDocument>

// A child widget of the view by object name (a warning when there is none).
template <typename T>
T* Child(QObject* pParent, const char* szName)
{
    T* pChild = pParent->findChild<T*>(QLatin1String(szName));
    if (!pChild)
        qWarning("no child %s", szName);
    return pChild;
}

// What the operator reads in a tool tip (Qt shows it as rich text when it
// looks like markup).
inline QString ShownToolTip(const QString& toolTip)
{
    if (!Qt::mightBeRichText(toolTip))
        return toolTip;
    QTextDocument doc;
    doc.setHtml(toolTip);
    return doc.toPlainText();
}

inline CCustomerSettings* Settings()
{
    return CCustomerSettings::GetInstance();
}

class CTestViewStation
{
public:
    CStationRig rig;
    MainWindow* window = nullptr;
    HandleWork* work = nullptr;
    VeloraTestView* view = nullptr;

    // A frame with the emulated healthy panel; plugged in by Start.
    CStationRig::SFrame& AddFrame(const CStationRig::SFrameOptions& options = CStationRig::SFrameOptions())
    {
        return rig.AddFrame(options);
    }

    // Plugs the frames, starts the main window and waits until every frame
    // is on the dispatcher's port, its information has been read and the
    // view holds the live frame as its source.
    bool Start()
    {
        for (int i = 0; i < rig.FrameCount(); ++i)
            rig.Frame(i).usb->Plug();
        window = rig.StartMainWindow();
        work = rig.Work();
        view = window->findChild<VeloraTestView*>();
        if (!view)
            return false;
        if (rig.FrameCount() > 0) {
            if (!rig.WaitForDevices(rig.FrameCount()))
                return false;
            if (!StationTest::WaitFor([this] { return view->IsSourcePresent(); }))
                return false;
        }
        rig.Settle();
        return true;
    }

    // Start, then the view opened; with a frame, once the run it opens has
    // its first result (or failed) and the dispatcher is idle.
    bool StartOpen()
    {
        if (!Start())
            return false;
        OpenView();
        if (!StationTest::WaitFor([this] { return !view->IsTestRunning(); }, 60000))
            return false;
        rig.Settle();
        return true;
    }

    // The view as the signal-test button opens it.
    void OpenView()
    {
        window->ToggleFunction(SIGNALTESTWORK);
        if (!QTest::qWaitForWindowExposed(view))
            qWarning("The test view was not exposed.");
    }

    // Runs a task with the view as its poster; returns once its answers are in.
    bool Run(const QString& task) { return rig.Run(task, view); }

    // The device object's problem map now, or its "ADC" reading of an axis
    // and direction (under the device mutex).
    ProblemMap Problems()
    {
        QMutexLocker lock(work->GetDeviceMutex());
        ProblemMap map;
        if (CTouchBase* pDevice = work->GetTouchDevice())
            pDevice->GetErrors(map);
        return map;
    }

    // Writes the picture of the view at the given size to the test-output
    // folder (as a reviewer looks at it); false when it cannot be written.
    bool Screenshot(const QString& name, const QSize& size)
    {
        const QSize before = view->size();
        const Qt::WindowStates states = view->windowState();
        view->setWindowState(Qt::WindowNoState);
        view->resize(size);
        QCoreApplication::processEvents();
        const QPixmap picture = view->grab();
        view->resize(before);
        view->setWindowState(states);
        QDir().mkpath(CTestEnvironment::OutputDir());
        return picture.size() == size && picture.save(CTestEnvironment::OutputDir() + QLatin1Char('/') + name);
    }

    // Writes a parameter table into the working folder before the first
    // dispatcher of the process reads it (the table is read once).
    static void WriteParameterTable(const QByteArray& content)
    {
        QFile file(QStringLiteral("TouchTestInfo-V0001.csv"));
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    }
};
