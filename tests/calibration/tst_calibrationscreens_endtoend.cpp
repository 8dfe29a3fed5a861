// The calibration screens and "Calibrate SetUp" in the station as it runs:
// the real main window with its dispatcher over an emulated frame, each
// screen built as the calibration view builds it (parented to the main
// window). Fine tuning by a long press driven by the screen's own timer, the
// manual edges, an import through the dialog run modally, the program's end
// with fine tuning open, what never waits for a busy frame, and the teardown.

#include "caladvancedsettingview.h"
#include "calibratesetupdialog.h"
#include "calibrationscreenrig.h"
#include "finetuningcalibrateview.h"
#include "mainwindow.h"
#include "stationclock.h"

#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QByteArray kValidFile = "[CalibrateParameter]\nLX=100\nLY=200\nRX=3000\nRY=4000\n";
using CalibrationTest::SendMouse;
} // namespace

class TestCalibrationScreensEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fineTuning_data();
    void fineTuning();
    void manualEdges();
    void importThroughTheDialog_data();
    void importThroughTheDialog();
    void programEndWithFineTuningOpen_data();
    void programEndWithFineTuningOpen();
    void nothingWaitsForABusyFrame();
    void teardownAfterEveryScreen();

private:
    QWidget* Window() const { return m_pRig->rig.StationWindow(); }
    // A fine-tuning screen on the main window, started and shown.
    CFineTuningCalibrateView* StartFineTuning();
    QString WriteFile(const QString& name, const QByteArray& content);

    std::unique_ptr<CCalibrationScreenRig> m_pRig;
    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestCalibrationScreensEndToEnd::init()
{
    CTestEnvironment::FastClock(0.02);
    m_pDir = std::make_unique<QTemporaryDir>();
    m_pRig = std::make_unique<CCalibrationScreenRig>(CCalibrationScreenRig::ELayer::MainWindow,
                                                     CStationRig::SFrameOptions());
    QVERIFY(m_pRig->PlugFrame());
    // What the calibration view asks for when it opens.
    QVERIFY(m_pRig->rig.Run("InitDeviceCalData"));
    m_pRig->Settle();
    m_pRig->Forget();
}

void TestCalibrationScreensEndToEnd::cleanup()
{
    // The screens go with the main window.
    m_pRig.reset();
    m_pDir.reset();
    CTestEnvironment::RealClock();
}

CFineTuningCalibrateView* TestCalibrationScreensEndToEnd::StartFineTuning()
{
    auto* pScreen = new CFineTuningCalibrateView(Window(), m_pRig->Work());
    pScreen->StartFineTuningCal();
    pScreen->showFullScreen();
    if (!QTest::qWaitForWindowExposed(pScreen))
        qWarning("the fine-tuning screen was not exposed");
    m_pRig->Settle();
    return pScreen;
}

QString TestCalibrationScreensEndToEnd::WriteFile(const QString& name, const QByteArray& content)
{
    return CalibrationTest::WriteFile(m_pDir->filePath(name), content);
}

void TestCalibrationScreensEndToEnd::fineTuning_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("Yes stores") << "Yes";
    QTest::newRow("No resets") << "No";
}

void TestCalibrationScreensEndToEnd::fineTuning()
{
    QFETCH(QString, answer);
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 2;
    });
    CFineTuningCalibrateView* pScreen = StartFineTuning();
    // Both interfaces report as a mouse while the screen is open.
    CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(1));
    QCOMPARE(s.settings.usb[1], quint8(1));

    // 5 pixels right of and 1 above the left-top dot: LX + 5, LY - 1.
    const CFineTuningCalibrateView::SGeometry g = CFineTuningCalibrateView::Geometry(pScreen->ScreenSize());
    QVERIFY(m_pRig->LongPress(pScreen, g.leftTop + QPoint(5, -1)));
    m_pRig->Settle();
    QCOMPARE(m_pRig->FrameValues(), (QList<int>{0x105, 0x1FF, 0x7E00, 0x7D00}));
    // And the right-bottom one: RX - 4, RY + 6.
    QVERIFY(m_pRig->LongPress(pScreen, g.rightBottom + QPoint(-4, 6)));
    m_pRig->Settle();
    QCOMPARE(m_pRig->FrameValues(), (QList<int>{0x105, 0x1FF, 0x7E00 - 4, 0x7D00 + 6}));

    m_pRig->Forget();
    m_pRig->answerer.Answer(answer);
    QTest::mouseClick(pScreen->findChild<QPushButton*>("Btn_Exit"), Qt::LeftButton);
    m_pRig->Settle();
    QVERIFY(!pScreen->isVisible());
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    if (answer == "Yes") {
        QCOMPARE(m_pRig->FrameFlash(), (QList<int>{0x105, 0x1FF, 0x7E00 - 4, 0x7D00 + 6}));
    } else {
        QCOMPARE(m_pRig->FrameValues(), CalibrationTest::FactoryValues());
        QCOMPARE(m_pRig->FrameFlash(), CalibrationTest::FactoryValues());
    }
    // The interfaces have their formats back.
    s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(3));
    QCOMPARE(s.settings.usb[1], quint8(2));
}

void TestCalibrationScreensEndToEnd::manualEdges()
{
    auto* pScreen = new CCalAdvancedSettingView(Window(), m_pRig->Work());
    pScreen->InitSettingView();
    pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(pScreen));
    QVERIFY(CalibrationTest::Activate(pScreen));
    m_pRig->Settle();
    const auto boxes = [pScreen] {
        QStringList texts;
        for (const char* szName : {"edit_left", "edit_top", "edit_right", "edit_bottom"})
            texts << pScreen->findChild<QLineEdit*>(QLatin1String(szName))->text();
        return texts;
    };
    QTRY_COMPARE(boxes(), (QStringList{"0x100", "0x200", "0x7e00", "0x7d00"}));

    struct SArrow
    {
        const char* szButton;
        int nValue;  // 0 LX, 1 LY, 2 RX, 3 RY
        int nDelta;
    };
    const SArrow arrows[] = {{"btn_ltl", 0, +1}, {"btn_ltr", 0, -1}, {"btn_rtl", 2, +1}, {"btn_rtr", 2, -1},
                             {"btn_ttt", 1, +1}, {"btn_ttb", 1, -1}, {"btn_btb", 3, -1}, {"btn_btt", 3, +1}};
    QList<int> expected = CalibrationTest::FactoryValues();
    for (const SArrow& arrow : arrows) {
        // Twice, so that every arrow leaves a trace.
        for (int i = 0; i < 2; ++i) {
            QTest::mouseClick(pScreen->findChild<QPushButton*>(QLatin1String(arrow.szButton)), Qt::LeftButton);
            m_pRig->Settle();
            expected[arrow.nValue] += arrow.nDelta;
            QCOMPARE(m_pRig->FrameValues(), expected);
        }
        // The screen shows a value once the dispatcher's answer reaches it,
        // which can come after the frame has taken it.
        QTRY_COMPARE(boxes(), (QStringList{CCalAdvancedSettingView::ValueText(expected[0]),
                                           CCalAdvancedSettingView::ValueText(expected[1]),
                                           CCalAdvancedSettingView::ValueText(expected[2]),
                                           CCalAdvancedSettingView::ValueText(expected[3])}));
        if (arrow.nDelta > 0 && arrow.nValue == 0)
            QVERIFY(CalibrationTest::SaveScreenshot(pScreen, "manual-calibration-endtoend.png"));
        expected = m_pRig->FrameValues();
    }

    m_pRig->answerer.Answer("Yes");
    QTest::mouseClick(pScreen->findChild<QPushButton*>("btn_exit"), Qt::LeftButton);
    m_pRig->Settle();
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QCOMPARE(m_pRig->FrameFlash(), m_pRig->FrameValues());
    QVERIFY(!pScreen->isVisible());
}

void TestCalibrationScreensEndToEnd::importThroughTheDialog_data()
{
    QTest::addColumn<bool>("flashRefused");
    QTest::addColumn<QString>("answer");
    QTest::newRow("stored") << false << "Import successful";
    QTest::newRow("flash refused") << true << "Import failed";
}

void TestCalibrationScreensEndToEnd::importThroughTheDialog()
{
    QFETCH(bool, flashRefused);
    QFETCH(QString, answer);
    if (flashRefused)
        m_pRig->Frame().frame.SetFault(0xA1, 0x03,
                                       CEmulatedFrame::CustomReplies({QByteArray::fromHex("FCFE830000A212")}));

    // As the calibration view opens it: the values, then modally.
    auto* pDialog = new CalibrateSetUpDialog(Window(), m_pRig->Work());
    pDialog->UpdateDevCalParameter();
    m_pRig->answerer.AnswerFile(WriteFile("param.ini", kValidFile));
    m_pRig->answerer.Answer("OK");
    m_pRig->answerer.AnswerDialog(false, {"browseCalParameterFile_Btn", "importCalParameter_Btn"});
    pDialog->exec();
    // The answer comes once the dispatcher has run the import.
    QVERIFY(StationTest::WaitFor([this, &answer] {
        for (const CModalBoxAnswerer::SBox& box : m_pRig->answerer.boxes) {
            if (box.text == answer)
                return true;
        }
        return false;
    }));
    m_pRig->Settle();
    if (flashRefused) {
        // Read back from the frame, which holds the values sent but not
        // stored in its flash.
        QVERIFY(m_pRig->Tasks().contains("InitDeviceCalData"));
        QCOMPARE(m_pRig->FrameFlash(), CalibrationTest::FactoryValues());
        QCOMPARE(m_pRig->Cached(), m_pRig->FrameValues());
    } else {
        QCOMPARE(m_pRig->FrameFlash(), (QList<int>{100, 200, 3000, 4000}));
        QCOMPARE(pDialog->findChild<QLineEdit*>("devCalParameter_RY")->text(), QStringLiteral("0xfa0"));
    }
    QVERIFY2(m_pRig->answerer.problems.isEmpty(), qPrintable(m_pRig->answerer.problems.join('\n')));
}

void TestCalibrationScreensEndToEnd::programEndWithFineTuningOpen_data()
{
    QTest::addColumn<bool>("silent");
    QTest::newRow("frame answers") << false;
    QTest::newRow("frame silent") << true;
}

void TestCalibrationScreensEndToEnd::programEndWithFineTuningOpen()
{
    QFETCH(bool, silent);
    CFineTuningCalibrateView* pScreen = StartFineTuning();
    const CFineTuningCalibrateView::SGeometry g = CFineTuningCalibrateView::Geometry(pScreen->ScreenSize());
    QVERIFY(m_pRig->LongPress(pScreen, g.leftTop + QPoint(5, -1)));
    m_pRig->Settle();
    if (silent)
        m_pRig->Frame().frame.SetFault(0x30, 0x00, CEmulatedFrame::Silent());
    else
        CStationClock::SetTimeoutScale(100.0);  // the answer, not the bound, ends the wait
    m_pRig->Forget();

    // The event loop ends (the exit button, a signal): the worker still runs.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    qApp->exec();

    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QVERIFY(!pScreen->isVisible());
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("neither stored nor reset").size(), 1);
    const bool bStaysMouse = m_pRig->log.Contains("it stays in the mouse format");
    QCOMPARE(bStaysMouse, silent);
    const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(silent ? 1 : 3));
    // Neither stored nor reset.
    QCOMPARE(m_pRig->FrameFlash(), CalibrationTest::FactoryValues());
    QCOMPARE(m_pRig->FrameValues(), (QList<int>{0x105, 0x1FF, 0x7E00, 0x7D00}));
}

void TestCalibrationScreensEndToEnd::nothingWaitsForABusyFrame()
{
    // Real waits: the frame does not answer calibration commands, and an
    // edge move holds the device for ten tries of 80 s.
    CTestEnvironment::RealClock();
    auto* pFine = StartFineTuning();
    auto* pManual = new CCalAdvancedSettingView(Window(), m_pRig->Work());
    auto* pDialog = new CalibrateSetUpDialog(Window(), m_pRig->Work());
    pDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(pDialog));
    m_pRig->Frame().frame.SetFault(0xA1, 0x01, CEmulatedFrame::Silent());
    m_pRig->Forget();
    QVERIFY(m_pRig->Work()->PostTask("CAL_LTL"));
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Frame().frame.RequestsFor(0xA1, 0x01).size() == 1; }));

    // An adjustment: the long press counts, its ticks skip the adjustment.
    const CFineTuningCalibrateView::SGeometry g = CFineTuningCalibrateView::Geometry(pFine->ScreenSize());
    SendMouse(pFine, QEvent::MouseButtonPress, g.leftTop + QPoint(5, -1));
    for (int i = 0; i < 60; ++i) {
        pFine->repaint();
        pFine->CalWork();
    }
    // Released before the frame goes: the screen's own ticks adjust no more.
    SendMouse(pFine, QEvent::MouseButtonRelease, g.leftTop + QPoint(5, -1));
    // Opening the manual screen: its values are asked for, not waited for.
    pManual->InitSettingView();
    QCOMPARE(pManual->findChild<QLineEdit*>("edit_left")->text(), QStringLiteral("0xffff"));
    // An export and an import: the device is busy, said at once.
    m_pRig->answerer.AnswerFile(m_pDir->filePath("out.ini"));
    QTest::mouseClick(pDialog->findChild<QPushButton*>("outputCalparameter_Btn"), Qt::LeftButton);
    m_pRig->answerer.AnswerFile(WriteFile("param.ini", kValidFile));
    QTest::mouseClick(pDialog->findChild<QPushButton*>("browseCalParameterFile_Btn"), Qt::LeftButton);
    QTest::mouseClick(pDialog->findChild<QPushButton*>("importCalParameter_Btn"), Qt::LeftButton);
    QStringList texts;
    for (const CModalBoxAnswerer::SBox& box : m_pRig->answerer.boxes)
        texts << box.text;
    QCOMPARE(texts.filter("Failed to write the calibration parameter file").size(), 1);
    QCOMPARE(texts.filter("Import failed").size(), 1);

    // All of it while the edge move still waits for the frame.
    QVERIFY(m_pRig->Work()->IsTaskRunning("CAL_LTL"));
    QVERIFY(!QFile::exists(m_pDir->filePath("out.ini")));
    // The press ends before the frame leaves, as it does on a station (the
    // frame reports it). Held on, it would adjust at the first tick after
    // the move let go of the device, which may come before the station has
    // seen the frame go.
    SendMouse(pFine, QEvent::MouseButtonRelease, g.leftTop + QPoint(5, -1));

    // The frame leaves: the move ends, the manual screen gets its values.
    m_pRig->Frame().usb->Unplug();
    QVERIFY(StationTest::WaitFor([pManual] {
        return pManual->findChild<QLineEdit*>("edit_left")->text() != QLatin1String("0xffff");
    }));
    QVERIFY(!m_pRig->Work()->IsTaskRunning("CAL_LTL"));
    m_pRig->Settle();
    // Nothing was adjusted, sent or imported.
    QStringList tasks = m_pRig->Tasks();
    QVERIFY(tasks.removeAll("READ_CAL_VALUES") > 0);
    QCOMPARE(tasks, QStringList{"CAL_LTL"});

    QCOMPARE(m_pRig->Cached().value(0), 0x100);

    // A long press now: the station keeps the frame's values, but no frame is
    // on the bus; nothing is adjusted or sent, and the log says why.
    m_pRig->Forget();
    SendMouse(pFine, QEvent::MouseButtonPress, g.leftTop + QPoint(5, -1));
    for (int i = 0; i < 60; ++i) {
        pFine->repaint();
        pFine->CalWork();
    }
    SendMouse(pFine, QEvent::MouseButtonRelease, g.leftTop + QPoint(5, -1));
    m_pRig->Settle();
    QCOMPARE(m_pRig->log.Count("CalWork : no frame is plugged; nothing is adjusted"), 1);
    QVERIFY(m_pRig->Tasks().isEmpty());
    QCOMPARE(m_pRig->Cached().value(0), 0x100);
    pFine->CloseFineTuningCal();
}

void TestCalibrationScreensEndToEnd::teardownAfterEveryScreen()
{
    // Each screen and the dialog shown, then the main window goes (the
    // dispatcher before the windows parented to the main window).
    QPointer<CFineTuningCalibrateView> pFine = StartFineTuning();
    QPointer<CCalAdvancedSettingView> pManual = new CCalAdvancedSettingView(Window(), m_pRig->Work());
    pManual->InitSettingView();
    pManual->showFullScreen();
    QPointer<CalibrateSetUpDialog> pDialog = new CalibrateSetUpDialog(Window(), m_pRig->Work());
    pDialog->UpdateDevCalParameter();
    pDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(pDialog));
    QTest::mouseClick(pManual->findChild<QPushButton*>("btn_ltl"), Qt::LeftButton);
    m_pRig->Settle();

    m_pRig->rig.CloseMainWindow();
    QVERIFY(!pFine && !pManual && !pDialog);
    // Said, not asked.
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QVERIFY(m_pRig->log.Contains("~CFineTuningCalibrateView : fine tuning was not left"));
    QVERIFY(m_pRig->log.Contains("~CCalAdvancedSettingView : the calibration values changed by hand"));
}

STATION_TEST_MAIN(TestCalibrationScreensEndToEnd)
#include "tst_calibrationscreens_endtoend.moc"
