// The main window's set-up dialog against emulated frames under the real
// dispatcher and USB port: the default interface in the store, the touch
// formats read from and written to the frame, Save, Reset and Exit, frames
// that cannot be reached, a busy device, failures on the wire, and the dialog
// opened from the real main window.

#include "comportusb.h"
#include "customersettings.h"
#include "handlework.h"
#include "hardwareinterface.h"
#include "mainsetupdialog.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "mutexholder.h"
#include "runlogcapture.h"
#include "settingstesthelpers.h"
#include "shelltestwindow.h"
#include "stationresources.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "testviewdouble.h"
#include "touchbase.h"
#include "waitfor.h"

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace SettingsTest;

namespace {
const QString kKey = QStringLiteral("DefaultInterface");
const QString kReadFailed = QStringLiteral("Set Up|Failed to get the touch box hair point format...|OK");
const QString kModified =
    QStringLiteral("Set Up|The parameter has been modified, are you sure not to save it?|Save,Cancel");
// The formats were not applied: why, and what the dialog shows now.
QString NotApplied(const QString& what, const QString& shown = QString())
{
    return QStringLiteral("Set Up|") + what + (shown.isEmpty() ? QString() : QLatin1Char('\n') + shown)
        + QStringLiteral("|OK");
}
const QString kBusy = QStringLiteral("The touch formats were not sent: the device is busy.");
const QString kRefused = QStringLiteral("The touch box did not take the touch formats (error code %1).");
const QString kOtherFrame = QStringLiteral("The touch formats were not sent: a touch box was plugged in meanwhile.");
const QString kGone = QStringLiteral("The touch formats were not sent: no touch box is attached.");
const QString kNotRead = QStringLiteral("The touch formats were not sent: they could not be read from this touch box.");
const QString kShown = QStringLiteral("The dialog shows the formats the touch box holds.");
const QString kCouldNotRead = QStringLiteral("The formats the touch box holds could not be read.");

using Step = CModalBoxAnswerer::Step;

QString Box(const CModalBoxAnswerer::SBox& box)
{
    return box.title + QLatin1Char('|') + box.text + QLatin1Char('|') + box.buttons.join(QLatin1Char(','));
}

bool IsOpening(const CModalBoxAnswerer::SBox& box)
{
    return box.kind == CModalBoxAnswerer::EKind::Dialog && box.className == QLatin1String("MainSetUpDialog");
}

// The boxes the operator saw besides the dialog itself ("<class>|title|"
// for a dialog other than a message box).
QStringList Boxes(const CModalBoxAnswerer& answerer)
{
    QStringList list;
    for (const auto& box : answerer.boxes) {
        if (box.kind == CModalBoxAnswerer::EKind::Message)
            list << Box(box);
        else if (!IsOpening(box))
            list << QLatin1Char('<') + box.className + QStringLiteral(">|") + box.title + QLatin1Char('|');
    }
    return list;
}

// The boxes against their expected texts, in which "?" stands for any one
// character and "*" for any run (the error code of a frame that leaves
// while a command runs depends on when the station notices).
bool BoxesMatch(const QStringList& actual, const QStringList& patterns)
{
    if (actual.size() != patterns.size())
        return false;
    for (int i = 0; i < actual.size(); ++i) {
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(patterns.at(i)));
        if (!re.match(actual.at(i)).hasMatch())
            return false;
    }
    return true;
}

// How often the answerer saw the dialog opened.
int Openings(const CModalBoxAnswerer& answerer)
{
    return int(std::count_if(answerer.boxes.cbegin(), answerer.boxes.cend(), IsOpening));
}

// Holds the device mutex as a running task does; let go after 20 s at the
// latest, so that a dialog that waits for it without bound goes on (and
// fails its test) instead of hanging.
std::unique_ptr<CMutexHolder> HoldDevice(QMutex* pMutex)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    return std::make_unique<CMutexHolder>(pMutex, [deadline] { return std::chrono::steady_clock::now() > deadline; });
}

// The checked radio of each group: "usb1:Multi usb2:- if:mi".
QString Radios(QWidget* pDialog)
{
    auto group = [pDialog](const QStringList& names, const QStringList& labels) {
        for (int i = 0; i < names.size(); ++i) {
            if (Child<QRadioButton>(pDialog, qPrintable(names.at(i)))->isChecked())
                return labels.at(i);
        }
        return QStringLiteral("-");
    };
    return QStringLiteral("usb1:%1 usb2:%2 if:%3")
        .arg(group({"setEnMultiTouch_usb1", "setEnSingleTouch_usb1", "setEnMouseTouch_usb1"},
                   {"Multi", "Single", "Mouse"}),
             group({"setEnMultiTouch_usb2", "setEnSingleTouch_usb2", "setEnMouseTouch_usb2"},
                   {"Multi", "Single", "Mouse"}),
             group({"miButton", "siButton", "uiButton", "ciButton"}, {"mi", "si", "ui", "ci"}));
}

QString Groups(QWidget* pDialog)
{
    auto state = [pDialog](const char* szName) {
        return Child<QFrame>(pDialog, szName)->isEnabled() ? QStringLiteral("on") : QStringLiteral("off");
    };
    return state("frameUsb1") + QLatin1Char(',') + state("frameUsb2");
}

QPushButton* ButtonOf(QWidget* pDialog, const QString& text)
{
    const auto buttons = Child<QDialogButtonBox>(pDialog, "buttonBox")->buttons();
    for (QAbstractButton* pButton : buttons) {
        if (pButton->text() == text)
            return qobject_cast<QPushButton*>(pButton);
    }
    return nullptr;
}

// The touch-format traffic the frame saw, in order: "read" for 30 04,
// "write u1,u2" for 30 00; the retries of one request count once.
QStringList Traffic(const CEmulatedFrame& frame)
{
    QStringList out;
    for (const QByteArray& r : frame.Requests()) {
        if (quint8(r.at(0)) != 0xFC || quint8(r.at(1)) != 0x30)
            continue;
        QString entry;
        if (quint8(r.at(2)) == 0x04)
            entry = QStringLiteral("read");
        else if (quint8(r.at(2)) == 0x00)
            entry = QStringLiteral("write %1,%2").arg(quint8(r.at(5))).arg(quint8(r.at(6)));
        else
            continue;
        if (out.isEmpty() || out.last() != entry)
            out << entry;
    }
    return out;
}

QString FrameCodes(const CEmulatedFrame& frame)
{
    const CEmulatedFrame::State s = frame.Snapshot();
    return QStringLiteral("%1,%2").arg(s.settings.usb[0]).arg(s.settings.usb[1]);
}

void SetFrameCodes(CEmulatedFrame& frame, const QString& codes)
{
    const QStringList parts = codes.split(QLatin1Char(','));
    frame.Edit([&](CEmulatedFrame::State& s) {
        s.settings.usb[0] = quint8(parts.at(0).toUInt());
        s.settings.usb[1] = quint8(parts.at(1).toUInt());
    });
}
} // namespace

class TestMainSetUpDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void openingSaveResetExit_data();
    void openingSaveResetExit();
    void busyDeviceCountsAsUnreachable();
    void frameReplugWhileTheWarningIsOpen();
    void frameReplacedWhileOpen_data();
    void frameReplacedWhileOpen();
    void unplugEndsTheWaitForASilentFrame();
    void openedFromTheMainWindow();

private:
    // Plugs a frame of the kind and waits until the dispatcher has read it:
    // "one" (one USB interface), "two" (two), "boot" (bootloader), "log"
    // (a frame whose saved test log is open instead of it).
    CStationRig::SFrame* Plug(const QString& kind);
    // Opens the dialog and runs the steps in it, one after the other; false
    // when the dialog was not opened, or was closed before the last step or
    // left open by it.
    bool Open(const QList<Step>& steps);
    bool Open(const Step& script) { return Open(QList<Step>{script}); }

    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
    std::unique_ptr<CRunLogCapture> m_pLog;
    std::unique_ptr<CStationRig> m_pRig;
    std::unique_ptr<CModalBoxAnswerer> m_pAnswerer;
    CShellTestWindow* m_pWindow = nullptr;
    HandleWork* m_pWork = nullptr;
    std::unique_ptr<MainSetUpDialog> m_pDialog;
};

void TestMainSetUpDialog::initTestCase()
{
    InitStationResources();
}

void TestMainSetUpDialog::init()
{
    // 10 s reads become 50 ms: a loaded machine still answers in time.
    CTestEnvironment::FastClock(0.005);
    CCustomerSettings::GetInstance()->clear();
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    m_pLog = std::make_unique<CRunLogCapture>();
    m_pRig = std::make_unique<CStationRig>();
    m_pAnswerer = std::make_unique<CModalBoxAnswerer>();
    m_pWork = m_pRig->StartDispatcher(MAINWORK);
    m_pWindow = m_pRig->ShellWindow();
    m_pRig->Settle();
    m_pDialog = std::make_unique<MainSetUpDialog>(nullptr, m_pWork);
}

void TestMainSetUpDialog::cleanup()
{
    m_pDialog.reset();
    m_pWork = nullptr;
    m_pWindow = nullptr;
    m_pRig.reset();
    m_pAnswerer.reset();
    m_pLog.reset();
    m_pWorkDir.reset();
    CTestEnvironment::RealClock();
}

CStationRig::SFrame* TestMainSetUpDialog::Plug(const QString& kind)
{
    if (kind == QLatin1String("none"))
        return nullptr;
    const bool bBoot = kind == QLatin1String("boot");
    CStationRig::SFrame& frame = m_pRig->AddFrame(0x7201, 0x0013,
                                          bBoot ? CEmulatedFrame::Mode::Bootloader : CEmulatedFrame::Mode::Application);
    if (kind == QLatin1String("two"))
        frame.frame.Edit([](CEmulatedFrame::State& s) { s.info.product = "KT-T65WHSUC-10P"; });
    else if (kind == QLatin1String("undecoded"))
        frame.frame.Edit([](CEmulatedFrame::State& s) { s.info.product = "IR Touch Frame"; });
    frame.usb->Plug();
    if (!StationTest::WaitFor([this] { return m_pWindow->statuses.size() == 1; }))
        return nullptr;
    if (!bBoot && !StationTest::WaitFor([this] { return m_pWindow->deviceInfos.size() == 1; }))
        return nullptr;

    if (kind == QLatin1String("log")) {
        CTestViewDouble view;
        if (!m_pWork->PostTask("StartTestOnce", Qt::BlockingQueuedConnection, &view)
            || !StationTest::WaitFor([&view] { return view.nInitTestUi == 1; }))
            return nullptr;
        view.strLogPath = QDir::current().absoluteFilePath("run_PASS.xml");
        {
            QMutexLocker lock(m_pWork->GetDeviceMutex());
            if (m_pWork->GetTouchDevice()->SaveXml(view.strLogPath) != 0)
                return nullptr;
        }
        // The log replaces the frame, which stays plugged.
        if (!m_pWork->PostTask("OpenTestLog", Qt::BlockingQueuedConnection, &view)
            || !StationTest::WaitFor([&view] { return view.nInitTestUi == 2; }))
            return nullptr;
        if (m_pWork->GetTouchDevice()->GetType() != 2 || !m_pWork->GetUsbPort()->IsConnected())
            return nullptr;
    }
    frame.frame.ClearRequests();
    return &frame;
}

bool TestMainSetUpDialog::Open(const QList<Step>& steps)
{
    CModalBoxAnswerer& answerer = *m_pAnswerer;
    const int nOpenings = Openings(answerer);
    const int nProblems = answerer.problems.size();
    answerer.ScriptDialog(steps);
    m_pDialog->InitSetUpView();
    const QStringList problems = answerer.problems.mid(nProblems);
    if (!problems.isEmpty())
        qWarning().noquote() << problems.join(QLatin1Char('\n'));
    return Openings(answerer) == nOpenings + 1 && problems.isEmpty() && !m_pDialog->isVisible();
}

void TestMainSetUpDialog::form()
{
    MainSetUpDialog& dialog = *m_pDialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dialog.size(), QSize(482, 403));
    QVERIFY(!dialog.windowIcon().isNull());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    auto* pTabs = Child<QTabWidget>(&dialog, "tabWidget");
    QCOMPARE(pTabs->currentIndex(), 0);
    QCOMPARE(pTabs->tabText(0), QStringLiteral("Touch Format SetUp"));
    QCOMPARE(pTabs->tabText(1), QStringLiteral("Default interface selection"));
    QCOMPARE(Child<QLabel>(&dialog, "label_2")->text(), QStringLiteral("USB1 SetUp"));
    QCOMPARE(Child<QLabel>(&dialog, "label_3")->text(), QStringLiteral("USB2 SetUp"));
    QCOMPARE(Child<QRadioButton>(&dialog, "setEnMouseTouch_usb2")->text(), QStringLiteral("MouseTouch"));
    QCOMPARE(Child<QRadioButton>(&dialog, "ciButton")->text(), QStringLiteral("Calibration interface"));
    auto* pBox = Child<QDialogButtonBox>(&dialog, "buttonBox");
    QCOMPARE(pBox->button(QDialogButtonBox::Ok)->text(), QStringLiteral("Save"));
    QCOMPARE(pBox->button(QDialogButtonBox::No)->text(), QStringLiteral("Reset"));
    QCOMPARE(pBox->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Exit"));

    // For the reviewer: both tabs with a two-interface frame plugged.
    CStationRig::SFrame* pFrame = Plug("two");
    QVERIFY(pFrame);
    SetFrameCodes(pFrame->frame, "3,1");
    CModalBoxAnswerer& answerer = *m_pAnswerer;
    QVERIFY(Open([&](QDialog* pDialog) {
        QVERIFY(Screenshot(pDialog, "mainsetupdialog-touch-format"));
        pTabs->setCurrentIndex(1);
        QVERIFY(Screenshot(pDialog, "mainsetupdialog-default-interface"));
        QTest::keyClick(pDialog, Qt::Key_Escape);
    }));
    // The tab current at the close is the one of the next opening.
    QVERIFY(Open([&](QDialog* pDialog) {
        QCOMPARE(pTabs->currentIndex(), 1);
        QTest::keyClick(pDialog, Qt::Key_Escape);
    }));
    QCOMPARE(Boxes(answerer), QStringList());
}

void TestMainSetUpDialog::openingSaveResetExit_data()
{
    QTest::addColumn<QString>("frame");       // none, one, two, undecoded, boot, log
    QTest::addColumn<QString>("stored");      // "DefaultInterface" before ("" absent)
    QTest::addColumn<QString>("prior");       // frame codes of an earlier opening ("" none)
    QTest::addColumn<QString>("codes");       // frame codes at this opening
    QTest::addColumn<QString>("fault");       // "", "read", "write", "leave-read", "leave-write"
    QTest::addColumn<QStringList>("script");  // what the operator does
    QTest::addColumn<QString>("radios");      // checked radios at the opening
    QTest::addColumn<QString>("groups");      // USB groups enabled at the opening
    QTest::addColumn<QString>("radiosEnd");   // checked radios at the end ("" not checked)
    QTest::addColumn<QString>("store");       // "DefaultInterface" after
    QTest::addColumn<QStringList>("traffic"); // touch-format requests the frame saw
    QTest::addColumn<QString>("frameEnd");    // frame codes after ("" not checked)
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("log"); // a run-log line holding this ("" none)

    const QStringList none;
    QTest::newRow("no key: 0 stored, Main interface")
        << "one" << "" << "" << "3,2" << "" << QStringList{"Escape"} << "usb1:Multi usb2:- if:mi" << "on,off"
        << "" << "0" << QStringList{"read"} << "3,2" << none << "";
    QTest::newRow("7 checks no radio and is written back")
        << "one" << "7" << "" << "3,2" << "" << QStringList{"Save"} << "usb1:Multi usb2:- if:mi" << "on,off"
        << "" << "7" << QStringList{"read", "write 3,2"} << "3,2" << none << "";
    QTest::newRow("not a number reads as 0")
        << "none" << "abc" << "" << "" << "" << QStringList{"if:si", "Save"} << "usb1:- usb2:- if:mi" << "off,off"
        << "usb1:- usb2:- if:si" << "1" << none << "" << none << "";
    QTest::newRow("one interface: USB2 disabled, yet Save sends its code")
        << "one" << "2" << "" << "1,2" << "" << QStringList{"Save"} << "usb1:Mouse usb2:- if:ui" << "on,off"
        << "" << "2" << QStringList{"read", "write 1,2"} << "1,2" << none << "";
    QTest::newRow("product ending in C: both groups")
        << "two" << "3" << "" << "1,2" << "" << QStringList{"Save"} << "usb1:Mouse usb2:Single if:ci" << "on,on"
        << "" << "3" << QStringList{"read", "write 1,2"} << "1,2" << none << "";
    QTest::newRow("codes 0 and 4 keep the radios and go back unchanged")
        << "two" << "0" << "3,3" << "0,4" << "" << QStringList{"Save"} << "usb1:Multi usb2:Multi if:mi" << "on,on"
        << "" << "0" << QStringList{"read", "write 0,4"} << "0,4" << none << "";
    QTest::newRow("code 255 keeps the radio and goes back unchanged")
        << "two" << "0" << "2,1" << "255,3" << "" << QStringList{"Save"} << "usb1:Single usb2:Multi if:mi"
        << "on,on" << "" << "0" << QStringList{"read", "write 255,3"} << "255,3" << none << "";
    QTest::newRow("unchanged Exit acts as Save")
        << "two" << "2" << "" << "3,1" << "" << QStringList{"Exit"} << "usb1:Multi usb2:Mouse if:ui" << "on,on"
        << "" << "2" << QStringList{"read", "write 3,1"} << "3,1" << none << "";
    QTest::newRow("changed Exit: Cancel keeps the dialog and the next Exit asks again")
        << "one" << "0" << "" << "3,2" << ""
        << QStringList{"if:ci", "answer:Cancel", "Exit", "expectOpen", "Exit", "expectOpen", "Escape"}
        << "usb1:Multi usb2:- if:mi" << "on,off" << "usb1:Multi usb2:- if:ci" << "0" << QStringList{"read"}
        << "3,2" << QStringList{kModified, kModified} << "";
    QTest::newRow("changed Exit answered Save")
        << "one" << "0" << "" << "3,2" << "" << QStringList{"usb1:Single", "answer:Save", "Exit"}
        << "usb1:Multi usb2:- if:mi" << "on,off" << "" << "0" << QStringList{"read", "write 2,2"} << "2,2"
        << QStringList{kModified} << "";
    QTest::newRow("Reset writes at once, also when the close button follows")
        << "two" << "1" << "" << "3,2" << ""
        << QStringList{"if:ci", "usb1:Mouse", "usb2:Mouse", "store:5", "Reset", "expectOpen", "Close"}
        << "usb1:Multi usb2:Single if:si" << "on,on" << "usb1:Multi usb2:Single if:si" << "1"
        << QStringList{"read"} << "3,2" << none << "";
    QTest::newRow("Escape saves nothing")
        << "one" << "1" << "" << "3,2" << "" << QStringList{"if:ci", "usb1:Mouse", "Escape"}
        << "usb1:Multi usb2:- if:si" << "on,off" << "usb1:Mouse usb2:- if:ci" << "1" << QStringList{"read"}
        << "3,2" << none << "";
    QTest::newRow("the close button saves nothing")
        << "one" << "1" << "" << "3,2" << "" << QStringList{"if:ci", "usb1:Mouse", "Close"}
        << "usb1:Multi usb2:- if:si" << "on,off" << "usb1:Mouse usb2:- if:ci" << "1" << QStringList{"read"}
        << "3,2" << none << "";
    QTest::newRow("USB1 MultiTouch to MouseTouch, then Save")
        << "one" << "0" << "" << "3,2" << "" << QStringList{"usb1:Mouse", "Save"} << "usb1:Multi usb2:- if:mi"
        << "on,off" << "usb1:Mouse usb2:- if:mi" << "0" << QStringList{"read", "write 1,2"} << "1,2" << none << "";
    // Formats that were not read are not sent, and the dialog does not
    // close as if they were: a box says so, and it stays open.
    QTest::newRow("failed read: the warning first, then Exit sends nothing and stays open")
        << "one" << "2" << "" << "3,2" << "read" << QStringList{"Exit", "expectOpen", "Escape"}
        << "usb1:- usb2:- if:ui" << "on,off" << "" << "2" << QStringList{"read"} << "3,2"
        << QStringList{kReadFailed, NotApplied(kNotRead)} << "GetTouchFormat failed, the error code is 0x80250001";
    QTest::newRow("failed read: codes the operator chose for both are sent")
        << "two" << "0" << "" << "3,2" << "read" << QStringList{"usb1:Mouse", "usb2:Single", "Save"}
        << "usb1:- usb2:- if:mi" << "on,on" << "" << "0" << QStringList{"read", "write 1,2"} << "1,2"
        << QStringList{kReadFailed} << "";
    QTest::newRow("failed read: a code chosen for one interface alone is not sent")
        << "one" << "0" << "" << "3,2" << "read" << QStringList{"usb1:Mouse", "Save", "expectOpen", "Escape"}
        << "usb1:- usb2:- if:mi" << "on,off" << "usb1:Mouse usb2:- if:mi" << "0" << QStringList{"read"} << "3,2"
        << QStringList{kReadFailed, NotApplied(kNotRead)}
        << "the touch formats were not read from this frame, they were not sent";
    // The frame refuses the formats: the dialog stays open with the codes
    // it holds, read again; a second Save sends those.
    QTest::newRow("failed write keeps the dialog open with what the frame holds")
        << "one" << "1" << "" << "3,2" << "write"
        << QStringList{"usb1:Single", "boxshot:mainsetupdialog-formats-refused-box", "Save", "expectOpen",
                       "shot:mainsetupdialog-formats-refused", "Escape"}
        << "usb1:Multi usb2:- if:si" << "on,off" << "usb1:Multi usb2:- if:si" << "1"
        << QStringList{"read", "write 2,2", "read"} << "3,2"
        << QStringList{NotApplied(kRefused.arg("0x80160001"), kShown)}
        << "SetTouchFormat failed, the error code is 0x80160001";
    // Nor can the frame be read then: the choice stays on screen, and the
    // station still holds the codes the frame reported, not the refused ones.
    QTest::newRow("failed write, then a failed read")
        << "one" << "1" << "" << "3,2" << "write"
        << QStringList{"usb1:Single", "fault:read", "Save", "expectOpen", "Escape"} << "usb1:Multi usb2:- if:si"
        << "on,off" << "usb1:Single usb2:- if:si" << "1" << QStringList{"read", "write 2,2", "read"} << "3,2"
        << QStringList{NotApplied(kRefused.arg("0x80160001"), kCouldNotRead)}
        << "GetTouchFormat failed, the error code is 0x80250001";
    QTest::newRow("the frame leaves during the read")
        << "two" << "0" << "" << "3,2" << "leave-read" << QStringList{"Exit", "expectOpen", "Exit"}
        << "usb1:- usb2:- if:mi" << "on,on" << "" << "0" << QStringList{"read"} << "3,2"
        << QStringList{kReadFailed, NotApplied(kGone)} << "GetTouchFormat failed, the error code is 0x8025000";
    QTest::newRow("the frame leaves during the write")
        << "two" << "0" << "" << "3,2" << "leave-write" << QStringList{"Save", "expectOpen", "Escape"}
        << "usb1:Multi usb2:Single if:mi" << "on,on" << "" << "0" << QStringList{"read", "write 3,2"} << "3,2"
        << QStringList{NotApplied(kRefused.arg("0x8016000?"), "*")}
        << "SetTouchFormat failed, the error code is 0x8016000";
    QTest::newRow("a product text that cannot be decoded: one interface")
        << "undecoded" << "0" << "" << "2,3" << "" << QStringList{"Save"} << "usb1:Single usb2:- if:mi" << "on,off"
        << "" << "0" << QStringList{"read", "write 2,3"} << "2,3" << none << "";
    QTest::newRow("no frame: both groups disabled")
        << "none" << "0" << "" << "" << "" << QStringList{"if:ui", "Save"} << "usb1:- usb2:- if:mi" << "off,off"
        << "" << "2" << none << "" << none << "";
    QTest::newRow("bootloader frame: both groups disabled")
        << "boot" << "0" << "" << "" << "" << QStringList{"Save"} << "usb1:- usb2:- if:mi" << "off,off" << ""
        << "0" << none << "" << none << "";
    QTest::newRow("opened log: both groups disabled")
        << "log" << "0" << "" << "3,2" << "" << QStringList{"Save"} << "usb1:- usb2:- if:mi" << "off,off" << ""
        << "0" << none << "3,2" << none << "";
}

void TestMainSetUpDialog::openingSaveResetExit()
{
    QFETCH(QString, frame);
    QFETCH(QString, stored);
    QFETCH(QString, prior);
    QFETCH(QString, codes);
    QFETCH(QString, fault);
    QFETCH(QStringList, script);
    QFETCH(QString, radios);
    QFETCH(QString, groups);
    QFETCH(QString, radiosEnd);
    QFETCH(QString, store);
    QFETCH(QStringList, traffic);
    QFETCH(QString, frameEnd);
    QFETCH(QStringList, boxes);
    QFETCH(QString, log);

    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    if (!stored.isEmpty())
        pSettings->SetString(kKey, stored);
    CStationRig::SFrame* pFrame = Plug(frame);
    QVERIFY(frame == QLatin1String("none") || pFrame);

    if (!prior.isEmpty()) {
        SetFrameCodes(pFrame->frame, prior);
        QVERIFY(Open([](QDialog* pDialog) { QTest::keyClick(pDialog, Qt::Key_Escape); }));
        pFrame->frame.ClearRequests();
    }
    if (pFrame && !codes.isEmpty())
        SetFrameCodes(pFrame->frame, codes);
    if (fault == QLatin1String("read"))
        pFrame->frame.SetFault(0x30, 0x04, CEmulatedFrame::Silent());
    else if (fault == QLatin1String("write"))
        pFrame->frame.SetFault(0x30, 0x00, CEmulatedFrame::Silent());
    // Leaving on every request: a retry after a slow unplug finds no frame either.
    CEmulatedFrame::Fault leave = CEmulatedFrame::UnplugOnCommand();
    leave.nTimes = -1;
    if (fault == QLatin1String("leave-read"))
        pFrame->frame.SetFault(0x30, 0x04, leave);
    else if (fault == QLatin1String("leave-write"))
        pFrame->frame.SetFault(0x30, 0x00, leave);
    m_pLog->Clear();

    CModalBoxAnswerer& answerer = *m_pAnswerer;
    QString radiosAtOpening;
    QString groupsAtOpening;
    bool bScriptOk = true;
    // What the operator does, one step after the other from the dialog's
    // own loop (a step closing the dialog before the last is a failure).
    QList<Step> steps{[&](QDialog* pDialog) {
        radiosAtOpening = Radios(pDialog);
        groupsAtOpening = Groups(pDialog);
    }};
    static const QMap<QString, QString> kRadioNames = {
        {"usb1:Multi", "setEnMultiTouch_usb1"}, {"usb1:Single", "setEnSingleTouch_usb1"},
        {"usb1:Mouse", "setEnMouseTouch_usb1"}, {"usb2:Multi", "setEnMultiTouch_usb2"},
        {"usb2:Single", "setEnSingleTouch_usb2"}, {"usb2:Mouse", "setEnMouseTouch_usb2"},
        {"if:mi", "miButton"}, {"if:si", "siButton"}, {"if:ui", "uiButton"}, {"if:ci", "ciButton"}};
    for (const QString& step : qAsConst(script)) {
        steps << [&, step](QDialog* pDialog) {
            if (kRadioNames.contains(step)) {
                Child<QRadioButton>(pDialog, qPrintable(kRadioNames.value(step)))->click();
            } else if (step.startsWith(QLatin1String("answer:"))) {
                answerer.Answer(step.mid(7));
            } else if (step.startsWith(QLatin1String("store:"))) {
                pSettings->SetInt(kKey, step.mid(6).toInt());
            } else if (step.startsWith(QLatin1String("shot:"))) {
                bScriptOk = Screenshot(pDialog, step.mid(5)) && bScriptOk;
            } else if (step.startsWith(QLatin1String("boxshot:"))) {
                // The next message box, as the operator sees it.
                const QString name = step.mid(8);
                answerer.OnShown([&bScriptOk, name](const CModalBoxAnswerer::SBox& box) {
                    if (box.kind == CModalBoxAnswerer::EKind::Message)
                        bScriptOk = Screenshot(QApplication::activeModalWidget(), name) && bScriptOk;
                });
            } else if (step == QLatin1String("fault:read")) {
                pFrame->frame.SetFault(0x30, 0x04, CEmulatedFrame::Silent());
            } else if (step == QLatin1String("expectOpen")) {
                bScriptOk = bScriptOk && pDialog->isVisible();
            } else if (step == QLatin1String("Escape")) {
                QTest::keyClick(pDialog, Qt::Key_Escape);
            } else if (step == QLatin1String("Close")) {
                pDialog->close();
            } else if (QPushButton* pButton = ButtonOf(pDialog, step)) {
                pButton->click();
            } else {
                qWarning() << "unknown step" << step;
                bScriptOk = false;
            }
        };
    }
    QVERIFY(Open(steps));
    QVERIFY(bScriptOk);

    QCOMPARE(radiosAtOpening, radios);
    QCOMPARE(groupsAtOpening, groups);
    if (!radiosEnd.isEmpty())
        QCOMPARE(Radios(m_pDialog.get()), radiosEnd);
    QCOMPARE(pSettings->value(kKey).toString(), store);
    if (pFrame) {
        QCOMPARE(Traffic(pFrame->frame), traffic);
        if (!frameEnd.isEmpty())
            QCOMPARE(FrameCodes(pFrame->frame), frameEnd);
        QVERIFY2(pFrame->frame.Violations().isEmpty(), qPrintable(pFrame->frame.Violations().join('\n')));
    }
    QVERIFY2(BoxesMatch(Boxes(answerer), boxes),
             qPrintable(Boxes(answerer).join(QLatin1String(" / ")) + " against " + boxes.join(QLatin1String(" / "))));
    if (!log.isEmpty())
        QVERIFY2(m_pLog->Contains(log), qPrintable(m_pLog->Lines().join('\n')));
    // The station records as the frame's formats (those fine tuning gives
    // back) only codes the frame holds, never codes it refused.
    if (pFrame && (fault.isEmpty() || fault == QLatin1String("write")) && frame != QLatin1String("boot")
        && frame != QLatin1String("log")) {
        QMutexLocker lock(m_pWork->GetDeviceMutex());
        auto* pHardware = dynamic_cast<HardwareInterface*>(m_pWork->GetTouchDevice());
        QVERIFY(pHardware);
        QCOMPARE(QStringLiteral("%1,%2").arg(pHardware->GetUsb1TouchFormat()).arg(pHardware->GetUsb2TouchFormat()),
                 FrameCodes(pFrame->frame));
    }
}

void TestMainSetUpDialog::busyDeviceCountsAsUnreachable()
{
    CStationRig::SFrame* pFrame = Plug("two");
    QVERIFY(pFrame);
    SetFrameCodes(pFrame->frame, "3,1");
    CModalBoxAnswerer& answerer = *m_pAnswerer;

    // A task holds the device mutex for the whole opening: the dialog gives
    // up on the frame (if it waited for the mutex it would read the formats
    // once the holder lets go, and the groups would be enabled).
    {
        const auto pHolder = HoldDevice(m_pWork->GetDeviceMutex());
        QElapsedTimer timer;
        timer.start();
        QString groups;
        QVERIFY(Open([&](QDialog* pDialog) {
            groups = Groups(pDialog);
            QVERIFY(Screenshot(pDialog, "mainsetupdialog-frame-unreachable"));
            QTest::keyClick(pDialog, Qt::Key_Escape);
        }));
        qInfo() << "opening with a busy device took" << timer.elapsed() << "ms";
        QCOMPARE(groups, QStringLiteral("off,off"));
        QVERIFY(m_pLog->Contains("the device is busy, its touch formats are not read"));
    }
    QCOMPARE(Traffic(pFrame->frame), QStringList());

    // Read at the opening, busy at Save: only the default interface is
    // written; the dialog says so and stays open with the choice, which a
    // later Save sends.
    std::unique_ptr<CMutexHolder> pHolder;
    QString radiosAfterBusy;
    QVERIFY(Open(QList<Step>{[&](QDialog* pDialog) {
                                 QCOMPARE(Groups(pDialog), QStringLiteral("on,on"));
                                 Child<QRadioButton>(pDialog, "ciButton")->click();
                                 Child<QRadioButton>(pDialog, "setEnSingleTouch_usb1")->click();
                                 pHolder = HoldDevice(m_pWork->GetDeviceMutex());
                                 ButtonOf(pDialog, "Save")->click();
                             },
                             [&](QDialog* pDialog) {
                                 pHolder.reset();
                                 radiosAfterBusy = Radios(pDialog);
                                 QCOMPARE(CCustomerSettings::GetInstance()->value(kKey).toInt(), 3);
                                 QCOMPARE(Traffic(pFrame->frame), QStringList{"read"});
                                 ButtonOf(pDialog, "Save")->click();
                             }}));
    pHolder.reset();
    QCOMPARE(radiosAfterBusy, QStringLiteral("usb1:Single usb2:Mouse if:ci"));
    QCOMPARE(CCustomerSettings::GetInstance()->value(kKey).toInt(), 3);
    QCOMPARE(Traffic(pFrame->frame), (QStringList{"read", "write 2,1"}));
    QVERIFY(m_pLog->Contains("the device is busy, the touch formats were not sent"));
    QCOMPARE(Boxes(answerer), QStringList{NotApplied(kBusy, QStringLiteral("Try Save again."))});
}

void TestMainSetUpDialog::frameReplugWhileTheWarningIsOpen()
{
    CStationRig::SFrame* pFrame = Plug("two");
    QVERIFY(pFrame);
    pFrame->frame.SetFault(0x30, 0x04, CEmulatedFrame::Silent());

    // While the warning is open the frame leaves and comes back: the
    // dispatcher replaces its device object under the device mutex, which
    // the dialog must not hold across the box.
    CModalBoxAnswerer& answerer = *m_pAnswerer;
    bool bReplugged = false;
    answerer.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.kind != CModalBoxAnswerer::EKind::Message || box.text != kReadFailed.section('|', 1, 1))
            return;
        pFrame->usb->Unplug();
        if (!StationTest::WaitFor([this] { return m_pWindow->statuses.size() == 2; }))
            return;
        pFrame->frame.ClearFaults();
        pFrame->usb->Plug();
        bReplugged = StationTest::WaitFor([this] { return m_pWindow->deviceInfos.size() == 2; });
    });
    // Exit sends nothing to the frame plugged meanwhile: the dialog says so
    // and shows that frame's codes.
    QVERIFY(Open(QList<Step>{[](QDialog* pDialog) { ButtonOf(pDialog, "Exit")->click(); },
                             [](QDialog* pDialog) { QTest::keyClick(pDialog, Qt::Key_Escape); }}));
    QVERIFY(bReplugged);
    QCOMPARE(Boxes(answerer), (QStringList{kReadFailed, NotApplied(kOtherFrame, kShown)}));
    QCOMPARE(Traffic(pFrame->frame).filter("write"), QStringList());
    QCOMPARE(m_pWindow->statuses, (QList<bool>{true, false, true}));

    // The station goes on: the next opening reads the frame again, Save writes.
    SetFrameCodes(pFrame->frame, "1,3");
    pFrame->frame.ClearRequests();
    QString radios;
    QVERIFY(Open([&](QDialog* pDialog) {
        radios = Radios(pDialog);
        Child<QRadioButton>(pDialog, "setEnSingleTouch_usb2")->click();
        ButtonOf(pDialog, "Save")->click();
    }));
    QCOMPARE(radios, QStringLiteral("usb1:Mouse usb2:Multi if:mi"));
    QCOMPARE(Traffic(pFrame->frame), (QStringList{"read", "write 1,2"}));
    QCOMPARE(Boxes(answerer), (QStringList{kReadFailed, NotApplied(kOtherFrame, kShown)}));
}

void TestMainSetUpDialog::frameReplacedWhileOpen_data()
{
    QTest::addColumn<bool>("otherFirmware"); // the new frames' firmware differs from the first's
    QTest::addColumn<int>("replacements");   // frames plugged one after the other (at most)
    QTest::addColumn<QStringList>("clicks"); // format radios clicked after the last arrival
    QTest::addColumn<QStringList>("traffic"); // touch-format writes the last frame saw
    QTest::addColumn<bool>("notSentLogged");

    // Same firmware: the dispatcher takes the newcomer for the frame that
    // left and keeps the device object, at the same address.
    QTest::newRow("same firmware: object kept") << false << 1 << QStringList() << QStringList() << true;
    // Other firmware: a new object each time; the allocator tends to hand
    // the second one the first one's address.
    QTest::newRow("other firmware: objects replaced") << true << 4 << QStringList() << QStringList() << true;
    QTest::newRow("codes chosen after the arrival are sent")
        << false << 1 << QStringList{"setEnSingleTouch_usb1", "setEnMouseTouch_usb2"} << QStringList{"write 2,1"}
        << false;
}

void TestMainSetUpDialog::frameReplacedWhileOpen()
{
    QFETCH(bool, otherFirmware);
    QFETCH(int, replacements);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, traffic);
    QFETCH(bool, notSentLogged);

    CStationRig::SFrame* pFirst = Plug("two");
    QVERIFY(pFirst);
    SetFrameCodes(pFirst->frame, "3,3");
    // The address of the current device object, as a number (under the mutex).
    auto deviceAddress = [this] {
        QMutexLocker lock(m_pWork->GetDeviceMutex());
        return quintptr(m_pWork->GetTouchDevice());
    };

    CModalBoxAnswerer& answerer = *m_pAnswerer;
    CStationRig::SFrame* pCurrent = pFirst;
    quintptr nOpeningAddress = 0;
    bool bAddressReused = false;
    int nPlugged = 0;
    QString radios;
    QString radiosAfterSave;
    QList<Step> steps{[&](QDialog* pDialog) {
        radios = Radios(pDialog);
        nOpeningAddress = deviceAddress();
        m_pLog->Clear();
        // The frame leaves and others come, each with codes of its own,
        // until one gets a device object where the first one's was.
        for (int i = 0; i < replacements && !bAddressReused; ++i) {
            CStationRig::SFrameOptions options;
            options.serial = "NEXT" + QByteArray::number(i);
            CStationRig::SFrame& next = m_pRig->AddFrame(options);
            next.frame.Edit([&](CEmulatedFrame::State& s) {
                s.info.product = "KT-T65WHSUC-10P";
                if (otherFirmware) {
                    s.info.first.nAppChecksum = quint16(0x5A00 + i);
                    s.info.second.nAppChecksum = quint16(0x6B00 + i);
                    s.info.nShortChecksum = quint16(0x5A00 + i);
                }
            });
            SetFrameCodes(next.frame, "1,2");
            const int nStatuses = m_pWindow->statuses.size();
            const int nInfos = m_pWindow->deviceInfos.size();
            pCurrent->usb->Unplug();
            if (!StationTest::WaitFor([&] { return m_pWindow->statuses.size() == nStatuses + 1; }))
                return;
            next.usb->Plug();
            if (!StationTest::WaitFor([&] { return m_pWindow->deviceInfos.size() == nInfos + 1; }))
                return;
            pCurrent = &next;
            ++nPlugged;
            pCurrent->frame.ClearRequests();
            bAddressReused = deviceAddress() == nOpeningAddress;
        }
        for (const QString& name : qAsConst(clicks))
            Child<QRadioButton>(pDialog, qPrintable(name))->click();
        ButtonOf(pDialog, "Save")->click();
    }};
    // Codes not sent: the dialog stays open with those of the frame now
    // attached.
    if (notSentLogged) {
        steps << [&](QDialog* pDialog) {
            radiosAfterSave = Radios(pDialog);
            QTest::keyClick(pDialog, Qt::Key_Escape);
        };
    }
    QVERIFY(Open(steps));
    QVERIFY(pCurrent != pFirst);
    qInfo() << "after" << nPlugged << "frame(s) the device object is at the first one's address:" << bAddressReused;
    if (!otherFirmware)
        QVERIFY(bAddressReused);
    QCOMPARE(radios, QStringLiteral("usb1:Multi usb2:Multi if:mi"));

    // The first frame's codes never reach the one plugged now.
    QCOMPARE(Traffic(pCurrent->frame).filter("write"), traffic);
    QCOMPARE(FrameCodes(pCurrent->frame), traffic.isEmpty() ? QStringLiteral("1,2") : QStringLiteral("2,1"));
    QCOMPARE(Traffic(pFirst->frame).filter("write"), QStringList());
    QCOMPARE(m_pLog->Contains("the touch formats were not read from this frame, they were not sent"),
             notSentLogged);
    if (notSentLogged) {
        QCOMPARE(radiosAfterSave, QStringLiteral("usb1:Mouse usb2:Single if:mi"));
        QCOMPARE(Boxes(answerer), QStringList{NotApplied(kOtherFrame, kShown)});
    } else {
        QCOMPARE(Boxes(answerer), QStringList());
    }
}

void TestMainSetUpDialog::unplugEndsTheWaitForASilentFrame()
{
    // With the real time-outs a silent frame keeps the GUI waiting for ten
    // reads of 10 s; unplugging it ends the wait at once.
    CTestEnvironment::RealClock();
    CStationRig::SFrame* pFrame = Plug("one");
    QVERIFY(pFrame);
    pFrame->frame.SetFault(0x30, 0x04, CEmulatedFrame::Silent());

    std::atomic<bool> bStop{false};
    std::thread unplugger([&] {
        while (!bStop && pFrame->frame.RequestsFor(0x30, 0x04).isEmpty())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!bStop)
            pFrame->usb->Unplug();
    });
    CModalBoxAnswerer& answerer = *m_pAnswerer;
    QElapsedTimer timer;
    timer.start();
    const bool bOpened = Open(QList<Step>{[](QDialog* pDialog) { ButtonOf(pDialog, "Exit")->click(); },
                                          [](QDialog* pDialog) { QTest::keyClick(pDialog, Qt::Key_Escape); }});
    bStop = true;
    unplugger.join();
    qInfo() << "the read ended" << timer.elapsed() << "ms after the opening began";
    QVERIFY(bOpened);
    // Exit: nothing was read, and the frame is gone.
    QCOMPARE(Boxes(answerer), (QStringList{kReadFailed, NotApplied(kGone)}));
    // Ended by the frame leaving, not by the time-outs.
    const QStringList lines = m_pLog->Lines(QtWarningMsg).filter("MainSetUpDialog : GetTouchFormat failed");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(!lines.first().endsWith("0x80250001"), qPrintable(lines.first()));
    QCOMPARE(Traffic(pFrame->frame), QStringList{"read"});
}

void TestMainSetUpDialog::openedFromTheMainWindow()
{
    // The real main window over its own dispatcher.
    m_pDialog.reset();
    m_pWork = nullptr;
    m_pWindow = nullptr;
    CStationRig::SFrame& frame = m_pRig->AddFrame();
    frame.frame.Edit([](CEmulatedFrame::State& s) {
        s.info.product = "KT-T65WHSUC-10P";
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 1;
    });
    MainWindow& window = *m_pRig->StartMainWindow();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    frame.usb->Plug();
    QTRY_COMPARE(Child<QLabel>(&window, "snLabel")->text(), QStringLiteral("B2024-11-05"));
    frame.frame.ClearRequests();

    auto* pDialog = window.findChild<MainSetUpDialog*>();
    QVERIFY(pDialog);
    CModalBoxAnswerer& answerer = *m_pAnswerer;
    QString radios;
    QString groups;
    answerer.ScriptDialog({[&](QDialog* pOpen) {
        radios = Radios(pOpen);
        groups = Groups(pOpen);
        QVERIFY(Screenshot(pOpen, "mainsetupdialog-from-main-window"));
        Child<QRadioButton>(pOpen, "setEnSingleTouch_usb1")->click();
        Child<QRadioButton>(pOpen, "setEnMultiTouch_usb2")->click();
        ButtonOf(pOpen, "Save")->click();
    }});
    QTest::keyClick(&window, Qt::Key_S);
    QTRY_COMPARE(Openings(answerer), 1);
    QTRY_VERIFY(!pDialog->isVisible());
    QVERIFY2(answerer.problems.isEmpty(), qPrintable(answerer.problems.join('\n')));
    QCOMPARE(Boxes(answerer), QStringList());
    QCOMPARE(radios, QStringLiteral("usb1:Multi usb2:Mouse if:mi"));
    QCOMPARE(groups, QStringLiteral("on,on"));
    QCOMPARE(Traffic(frame.frame), (QStringList{"read", "write 2,3"}));
    QCOMPARE(FrameCodes(frame.frame), QStringLiteral("2,3"));
    QCOMPARE(CCustomerSettings::GetInstance()->value(kKey).toInt(), 0);
}

STATION_TEST_MAIN(TestMainSetUpDialog)
#include "tst_mainsetupdialog.moc"
