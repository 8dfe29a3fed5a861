// The result table and verdict of the signal-test view over the emulated
// frame: the check rows and the overall line for the frame's properties and
// the check lists, the rows of failing LEDs, their looks, the draw test after
// the first pass, and what a final result does besides the table.

#include "firmwarechecksettings.h"
#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "snchecksumsettings.h"
#include "stationresources.h"
#include "testviewstation.h"
#include "timerthread.h"
#include "touchpaintview.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

QColor Colour(const QTableWidgetItem* pItem)
{
    return pItem->foreground().color();
}

// The check rows below the overall line: name -> "verdict|tool tip".
QMap<QString, QString> CheckRows(QTableWidget* pTable)
{
    QMap<QString, QString> rows;
    for (int r = 1; r < pTable->rowCount(); ++r) {
        const QTableWidgetItem* pName = pTable->item(r, 0);
        const QTableWidgetItem* pVerdict = pTable->item(r, 1);
        if (!pName || !pVerdict || pName->font().pointSizeF() == QTableWidgetItem().font().pointSizeF())
            continue; // an LED row
        rows.insert(pName->text(), pVerdict->text() + "|" + ShownToolTip(pVerdict->toolTip()));
    }
    return rows;
}

QTableWidget* ResultTable(VeloraTestView* pView)
{
    return Child<QTableWidget>(pView, "testResult");
}

void SetProperties(CTestViewStation& station, const QMap<QString, QString>& properties)
{
    QMutexLocker lock(station.work->GetDeviceMutex());
    CTouchBase* pDevice = station.work->GetTouchDevice();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        pDevice->SetProperty(it.key(), it.value());
}

QMap<QString, QString> SignalErrors(CTestViewStation& station)
{
    QMutexLocker lock(station.work->GetDeviceMutex());
    return station.work->GetTouchDevice()->GetSignalErrors();
}

const QString kDetail = QStringLiteral(" And you can check the detail problem in the Touch Frame page!");
} // namespace

class TestTestVerdict : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    // On the one station of the table cases.
    void passingResult();
    void checks_data();
    void checks();
    void sameResultIsNotRebuilt();
    void finalAndRealTimeResults();
    void largeResultInTurns_data();
    void largeResultInTurns();
    // On stations of their own (one station lives at a time).
    void screenshots();
    void deadEmitter();
    void drawTestAfterTheFirstPass();
    void hiddenOrWithoutSource();

private:
    // One station for the table cases: its frame tested once, the view open.
    std::unique_ptr<CTestViewStation> m_pStation;
    VeloraTestView* View() const { return m_pStation->view; }
};

void TestTestVerdict::initTestCase()
{
    InitStationResources();
    CTestViewStation::WriteParameterTable("********,SupportRealTimeTest:1\n");
    Settings()->clear();
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
    m_pStation = std::make_unique<CTestViewStation>();
    m_pStation->AddFrame();
    QVERIFY(m_pStation->Start());
    m_pStation->OpenView();
    QVERIFY(StationTest::WaitFor([this] { return !View()->IsTestRunning() && View()->PanelView(); }));
    // The refresh would redraw the table under the cases.
    View()->on_startTestButton_clicked(false);
    QVERIFY(StationTest::WaitFor([this] { return !View()->TimerThread()->isRunning(); }));
    m_pStation->rig.Settle();
}

void TestTestVerdict::cleanupTestCase()
{
    m_pStation.reset();
}

void TestTestVerdict::init()
{
    for (const char* szKey : {"SupportSNCheck", "FirmwareCheckEnable", "SNChecksumCheckEnable", "DefaultJumpToDraw"})
        Settings()->SetBool(szKey, false);
    Settings()->SetBool("DisableDrawWhenFail", true);
    Settings()->SetBool("DefaultTouchEnable", true);
    CFirmwareCheckSettings::GetInstance()->WriteAll({});
    CSNChecksumSettings::GetInstance()->WriteAll({});
}

// Nothing failed, no check on: the overall line and "Signal Test", green,
// in their sizes, the overall line across both columns.
void TestTestVerdict::passingResult()
{
    QVERIFY(View()->ShowTestResult({}, false));
    QTableWidget* pTable = ResultTable(View());
    QCOMPARE(pTable->rowCount(), 2);
    QCOMPARE(pTable->columnCount(), 2);
    QCOMPARE(pTable->item(0, 0)->text(), QStringLiteral("PASS"));
    QCOMPARE(pTable->columnSpan(0, 0), 2);
    QCOMPARE(ShownToolTip(pTable->item(0, 0)->toolTip()), QStringLiteral("PASS"));
    QCOMPARE(pTable->item(1, 0)->text(), QStringLiteral("Signal Test"));
    QCOMPARE(pTable->item(1, 1)->text(), QStringLiteral("PASS"));
    for (const QTableWidgetItem* pItem : {pTable->item(0, 0), pTable->item(1, 0), pTable->item(1, 1)}) {
        QCOMPARE(Colour(pItem), QColor(Qt::darkGreen));
        QCOMPARE(int(pItem->textAlignment()), int(Qt::AlignCenter));
        QVERIFY(pItem->font().bold());
    }
    const double dDefault = QTableWidgetItem().font().pointSizeF();
    const double dScale = View()->FontScale();
    QCOMPARE(pTable->item(1, 0)->font().pointSizeF(), 1.5 * dDefault * dScale);
    QCOMPARE(pTable->item(1, 1)->font().pointSizeF(), 4.0 * dDefault * dScale);
    QCOMPARE(pTable->item(0, 0)->font().pointSize(), int(6.0 * dDefault * dScale));
    QVERIFY(pTable->item(0, 0)->font().italic());
    QCOMPARE(pTable->editTriggers(), QAbstractItemView::NoEditTriggers);
}

// The dead emitter: NG, the code and sentence of the test core with the
// pointer to the diagram, one red row per failing LED in key order.
void TestTestVerdict::deadEmitter()
{
    m_pStation.reset();
    CTestViewStation station;
    station.AddFrame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.insert("Bottom:5", 0); });
    QVERIFY(station.Start());
    station.OpenView();
    VeloraTestView* pView = station.view;
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsTestRunning() && pView->PanelView(); }));
    pView->on_startTestButton_clicked(false);
    const QMap<QString, QString> errors = SignalErrors(station);
    QVERIFY(!errors.isEmpty());

    for (bool bDisable : {true, false}) {
        Settings()->SetBool("DisableDrawWhenFail", bDisable);
        QVERIFY(pView->ShowTestResult(errors, false));
        QCOMPARE(Child<QToolButton>(pView, "drawButton")->isEnabled(), !bDisable);
    }
    QTableWidget* pTable = ResultTable(pView);
    QCOMPARE(pTable->rowCount(), 2 + errors.size());
    QCOMPARE(pTable->item(0, 0)->text(), QStringLiteral("NG"));
    QCOMPARE(Colour(pTable->item(0, 0)), QColor(Qt::red));
    QCOMPARE(pTable->item(1, 0)->text(), QStringLiteral("Signal Test"));
    QCOMPARE(pTable->item(1, 1)->text(), QStringLiteral("NG2"));
    QCOMPARE(ShownToolTip(pTable->item(1, 1)->toolTip()), "Some emitters or detectors are damaged!" + kDetail);
    QCOMPARE(Colour(pTable->item(1, 1)), QColor(Qt::red));
    int nRow = 2;
    for (auto it = errors.cbegin(); it != errors.cend(); ++it, ++nRow) {
        QCOMPARE(pTable->item(nRow, 0)->text(), it.key());
        QCOMPARE(pTable->item(nRow, 1)->text(), it.value());
        QCOMPARE(ShownToolTip(pTable->item(nRow, 0)->toolTip()), it.key());
        QCOMPARE(ShownToolTip(pTable->item(nRow, 1)->toolTip()), it.value());
        QCOMPARE(Colour(pTable->item(nRow, 1)), QColor(Qt::red));
        QCOMPARE(int(pTable->item(nRow, 0)->textAlignment()), int(Qt::AlignLeft | Qt::AlignVCenter));
    }

    // Failing LEDs without a fault of a board, sensor or connector: "NG".
    const QMap<QString, QString> unexplained{{"X-T0:[<b>1</b>]", "ADC:3 & <i>low</i>"}};
    station.rig.Frame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.clear(); });
    QVERIFY(station.Run("ReTest"));
    QVERIFY(pView->ShowTestResult(unexplained, false));
    QCOMPARE(pTable->item(1, 1)->text(), QStringLiteral("NG"));
    QCOMPARE(ShownToolTip(pTable->item(1, 1)->toolTip()), "NG" + kDetail);
    QCOMPARE(pTable->item(2, 0)->text(), QStringLiteral("X-T0:[<b>1</b>]"));
    QCOMPARE(ShownToolTip(pTable->item(2, 1)->toolTip()), QStringLiteral("ADC:3 & <i>low</i>"));
}

void TestTestVerdict::checks_data()
{
    QTest::addColumn<QString>("checks");  // "sn", "fw", "batch"
    QTest::addColumn<QString>("scanned");
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("checksum");
    QTest::addColumn<QString>("list");  // key=value,...
    QTest::addColumn<QString>("expected");  // row -> "verdict|tool tip"; ";" between rows
    QTest::addColumn<bool>("overallPass");

    QTest::newRow("SN equal") << "sn" << "SN-1" << "SN-1" << "P" << "C" << ""
                              << "SN Check=PASS|PASS" << true;
    QTest::newRow("SN different") << "sn" << "SN-1" << "SN-2" << "P" << "C" << ""
                                  << "SN Check=NG|The correct serial number is SN-1." << false;
    QTest::newRow("SN prompt cancelled") << "sn" << "" << "SN-2" << "P" << "C" << ""
                                         << "SN Check=NG|The correct serial number is ." << false;
    QTest::newRow("SN markup") << "sn" << "<b>S</b>" << "x" << "P" << "C" << ""
                               << "SN Check=NG|The correct serial number is <b>S</b>." << false;
    QTest::newRow("firmware ABC-65P as ABC") << "fw" << "" << "" << "ABC-65P" << "1234" << "ABC=1234"
                                             << "Firmware Check=PASS|PASS" << true;
    QTest::newRow("firmware A-12P-34P as A") << "fw" << "" << "" << "A-12P-34P" << "77" << "A=77,A-12P=1"
                                             << "Firmware Check=PASS|PASS" << true;
    QTest::newRow("firmware wrong checksum") << "fw" << "" << "" << "ABC-65P" << "1235" << "ABC=1234"
                                             << "Firmware Check=NG|The correct checksum is 1234." << false;
    QTest::newRow("firmware -65P alone") << "fw" << "" << "" << "-65P" << "9" << "65P=9"
                                         << "Firmware Check=NG|The correct checksum is ." << false;
    QTest::newRow("firmware lower case kept") << "fw" << "" << "" << "a-65p" << "9" << "a=9"
                                              << "Firmware Check=NG|The correct checksum is ." << false;
    QTest::newRow("firmware product missing") << "fw" << "" << "" << "XYZ" << "9" << "ABC=1"
                                              << "Firmware Check=NG|The correct checksum is ." << false;
    QTest::newRow("firmware missing, empty checksum") << "fw" << "" << "" << "XYZ" << "" << ""
                                                      << "Firmware Check=PASS|PASS" << true;
    QTest::newRow("batch 16 without $") << "batch" << "" << "ABCDEFGHIJKLMNOP" << "P" << "C1"
                                        << "ABCDEFGHIJKLM=C1" << "Batch Check=PASS|PASS" << true;
    QTest::newRow("batch with $") << "batch" << "" << "AB$CD$EF" << "P" << "C2" << "AB=C2"
                                  << "Batch Check=PASS|PASS" << true;
    QTest::newRow("batch $ first") << "batch" << "" << "$ABC" << "P" << "C3" << "ABC=C3"
                                   << "Batch Check=NG|The correct checksum is ." << false;
    QTest::newRow("batch 5") << "batch" << "" << "ABCDE" << "P" << "C4" << "ABCDE=C4"
                             << "Batch Check=PASS|PASS" << true;
    QTest::newRow("batch 13") << "batch" << "" << "ABCDEFGHIJKLM" << "P" << "C4" << "ABCDEFGHIJKL=C4"
                              << "Batch Check=NG|The correct checksum is ." << false;
    QTest::newRow("batch empty") << "batch" << "" << "" << "P" << "C5" << "X=C5"
                                 << "Batch Check=NG|The correct checksum is ." << false;
    QTest::newRow("batch of 200") << "batch" << "" << QString(200, QLatin1Char('B')) << "P" << "C6"
                                  << QString(13, QLatin1Char('B')) + "=C6" << "Batch Check=PASS|PASS" << true;
    QTest::newRow("all three, rows in name order")
        << "sn,fw,batch" << "S" << "S" << "ABC-65P" << "C" << "ABC=C,S=D"
        << "Batch Check=NG|The correct checksum is D.;Firmware Check=PASS|PASS;SN Check=PASS|PASS" << false;
}

// Each check row from the frame's properties, the scanned number and the
// check lists; a failing check makes the overall line NG.
void TestTestVerdict::checks()
{
    QFETCH(QString, checks);
    QFETCH(QString, scanned);
    QFETCH(QString, batch);
    QFETCH(QString, product);
    QFETCH(QString, checksum);
    QFETCH(QString, list);
    QFETCH(QString, expected);
    QFETCH(bool, overallPass);

    const QStringList enabled = checks.split(',');
    Settings()->SetBool("SupportSNCheck", enabled.contains("sn"));
    Settings()->SetBool("FirmwareCheckEnable", enabled.contains("fw"));
    Settings()->SetBool("SNChecksumCheckEnable", enabled.contains("batch"));
    QMap<QString, QString> table;
    for (const QString& pair : list.split(',', QString::SkipEmptyParts))
        table.insert(pair.section('=', 0, 0), pair.section('=', 1));
    CFirmwareCheckSettings::GetInstance()->WriteAll(enabled.contains("fw") ? table : QMap<QString, QString>());
    CSNChecksumSettings::GetInstance()->WriteAll(enabled.contains("batch") ? table : QMap<QString, QString>());
    SetProperties(*m_pStation, {{"BatchInfo", batch}, {"Product", product}, {"CheckSum", checksum}});
    {
        CModalBoxAnswerer boxes;
        if (scanned.isEmpty())
            boxes.CancelInput();
        else
            boxes.AnswerInput(scanned);
        Settings()->SetBool("SupportSNCheck", true);
        View()->ScanSerialNumber();
        Settings()->SetBool("SupportSNCheck", enabled.contains("sn"));
    }

    QVERIFY(View()->ShowTestResult({}, false));
    QMap<QString, QString> want{{"Signal Test", "PASS|PASS"}};
    for (const QString& row : expected.split(';'))
        want.insert(row.section('=', 0, 0), row.section('=', 1));
    QTableWidget* pTable = ResultTable(View());
    QCOMPARE(CheckRows(pTable), want);
    QStringList order;
    for (int r = 1; r < pTable->rowCount(); ++r)
        order << pTable->item(r, 0)->text();
    QCOMPARE(order, want.keys());
    for (int r = 1; r < pTable->rowCount(); ++r) {
        const bool bPass = pTable->item(r, 1)->text() == "PASS";
        QCOMPARE(Colour(pTable->item(r, 0)), bPass ? QColor(Qt::darkGreen) : QColor(Qt::red));
    }
    QCOMPARE(pTable->item(0, 0)->text(), QString(overallPass ? "PASS" : "NG"));
}

// The same result again is not built anew; a final result still saves and
// hands over the run.
void TestTestVerdict::sameResultIsNotRebuilt()
{
    const QMap<QString, QString> errors{{"X-T1:[3]", "ADC:12"}};
    QVERIFY(View()->ShowTestResult(errors, false));
    QTableWidget* pTable = ResultTable(View());
    const QTableWidgetItem* pBefore = pTable->item(2, 0);
    QVERIFY(View()->ShowTestResult(errors, false));
    QCOMPARE(pTable->item(2, 0), pBefore);
    CRunLogCapture log;
    QVERIFY(View()->ShowTestResult(errors, true));
    QCOMPARE(pTable->item(2, 0), pBefore);
    // Filed in the turns after the table.
    QVERIFY(StationTest::WaitFor([&] { return log.Count("SaveLogDataAuto") > 0 && !View()->IsTestRunning(); }));
    QCOMPARE(log.Count("SaveLogDataAuto"), 1);
    QCOMPARE(log.Count("UploadTestData"), 1);
    // Another result is.
    QVERIFY(View()->ShowTestResult({{"X-T1:[4]", "ADC:12"}}, false));
    QCOMPARE(pTable->item(2, 0)->text(), QStringLiteral("X-T1:[4]"));
    // So is the one before, once the table was reset.
    QVERIFY(View()->ShowTestResult(errors, false));
    View()->ResetTestView();
    QVERIFY(View()->ShowTestResult(errors, false));
    QCOMPARE(pTable->item(2, 0)->text(), QStringLiteral("X-T1:[3]"));
}

// A real-time result only fills the table; a final one refreshes the pages,
// saves the log and hands the run over, in this order, once.
void TestTestVerdict::finalAndRealTimeResults()
{
    CRunLogCapture log;
    QVERIFY(View()->ShowTestResult({}, false));
    QVERIFY(!log.Contains("SaveLogDataAuto"));
    QVERIFY(!log.Contains("UploadTestData"));
    QVERIFY(!log.Contains("ShowTestResult :"));

    QVERIFY(View()->ShowTestResult({}, true));
    // Shown at once, filed in the turns after the table.
    QVERIFY(log.Contains("ShowTestResult : PASS PASS"));
    QVERIFY(!log.Contains("SaveLogDataAuto"));
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("UploadTestData"); }));
    QCOMPARE(log.Count("SaveLogDataAuto"), 1);
    QCOMPARE(log.Count("UploadTestData"), 1);
    const QStringList lines = log.Lines();
    QVERIFY(lines.indexOf("ShowTestResult : PASS PASS") >= 0);
    const int nSaved = lines.indexOf(QRegularExpression("^SaveLogDataAuto.*"));
    const int nHandedOver = lines.indexOf(QRegularExpression("^UploadTestData.*"));
    QVERIFY(nSaved >= 0 && nSaved < nHandedOver);
    // The one-argument form the dispatcher calls is the final one.
    log.Clear();
    const int nMethod = View()->metaObject()->indexOfMethod("ShowTestResult(QMap<QString,QString>)");
    QVERIFY(nMethod >= 0);
    const QMap<QString, QString> none;
    QVERIFY(View()->metaObject()->method(nMethod).invoke(View(), Qt::DirectConnection,
                                                         QGenericArgument("QMap<QString,QString>", &none)));
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("UploadTestData"); }));
    QCOMPARE(log.Count("UploadTestData"), 1);
}

void TestTestVerdict::largeResultInTurns_data()
{
    // What comes while the LED rows of a large result are still being set:
    // nothing, a smaller result, the table reset, or the run ended.
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("nothing") << "nothing";
    QTest::newRow("a smaller result") << "a smaller result";
    QTest::newRow("table reset") << "table reset";
    QTest::newRow("run ended") << "run ended";
}

// A final result of thousands of failing LEDs is shown in turns of the event
// loop: its verdict at once, its LED rows a slice at a time, its log filed
// after; every row ends as the result has it. A table built or reset in
// between keeps its own rows, and a run ended in between files nothing.
void TestTestVerdict::largeResultInTurns()
{
    QFETCH(QString, meanwhile);
    QMap<QString, QString> errors;
    for (int i = 0; i < 4000; ++i)
        errors.insert(QStringLiteral("X-T1:[%1]").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("ADC:%1").arg(i));
    View()->ResetTestView(); // built anew, not found equal to the last row's table
    CRunLogCapture log;
    QTableWidget* pTable = ResultTable(View());
    QVERIFY(View()->ShowTestResult(errors, true));
    QCOMPARE(pTable->rowCount(), 2 + errors.size());
    QCOMPARE(pTable->item(0, 0)->text(), QStringLiteral("NG"));
    QCOMPARE(pTable->item(1, 0)->text(), QStringLiteral("Signal Test"));
    QVERIFY(log.Contains("ShowTestResult : NG NG"));
    QVERIFY(!log.Contains("SaveLogDataAuto"));
    // The rows past the first ones come later.
    QVERIFY(pTable->item(2, 0));
    QVERIFY(!pTable->item(1 + errors.size(), 0));

    if (meanwhile == "a smaller result") {
        QVERIFY(View()->ShowTestResult({{"Y-T0:[7]", "ADC:1"}}, false));
    } else if (meanwhile == "table reset") {
        View()->ResetTestView();
    } else if (meanwhile == "run ended") {
        View()->StopTest();
    }
    // The filing, the last of the turns the result asked for, is done or dropped.
    if (meanwhile == "run ended")
        QVERIFY(StationTest::WaitFor([&] { return log.Contains("during the filing of the result"); }));
    else
        QVERIFY(StationTest::WaitFor([&] { return log.Contains("UploadTestData"); }));
    if (meanwhile == "nothing") {
        QVERIFY(StationTest::WaitFor([&] { return pTable->item(1 + errors.size(), 1) != nullptr; }));
        int nRow = 2;
        for (auto it = errors.cbegin(); it != errors.cend(); ++it, ++nRow) {
            QVERIFY2(pTable->item(nRow, 0) && pTable->item(nRow, 1), qPrintable(QString::number(nRow)));
            QCOMPARE(pTable->item(nRow, 0)->text(), it.key());
            QCOMPARE(pTable->item(nRow, 1)->text(), it.value());
        }
        QCOMPARE(log.Count("SaveLogDataAuto"), 1);
        QCOMPARE(log.Count("UploadTestData"), 1);
    } else if (meanwhile == "a smaller result") {
        QCOMPARE(pTable->rowCount(), 3);
        QCOMPARE(pTable->item(2, 0)->text(), QStringLiteral("Y-T0:[7]"));
        QCOMPARE(log.Count("SaveLogDataAuto"), 1);
    } else if (meanwhile == "table reset") {
        QCOMPARE(pTable->rowCount(), 1);
        QCOMPARE(pTable->item(0, 0)->text(), QStringLiteral("Unknown..."));
    } else {
        QCOMPARE(pTable->rowCount(), 1);
        QVERIFY(!log.Contains("SaveLogDataAuto"));
        QVERIFY(!log.Contains("UploadTestData"));
        QVERIFY(!View()->IsTestRunning() || log.Contains("what it was for is dropped"));
    }
}

// The first passing result of a run opens the draw test, once.
void TestTestVerdict::drawTestAfterTheFirstPass()
{
    m_pStation.reset();
    Settings()->SetBool("DefaultJumpToDraw", true);
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    CRunLogCapture log;
    station.OpenView();
    VeloraTestView* pView = station.view;
    CTouchPaintView* pDraw = pView->TouchPaintView();
    QVERIFY(StationTest::WaitFor([&] { return pDraw->isVisible(); }));
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsTestRunning(); }));
    QVERIFY(Child<QToolButton>(pView, "drawButton")->isEnabled());
    QVERIFY(StationTest::WaitFor([&] { return !pView->TimerThread()->isRunning(); }));
    station.rig.Settle();
    QStringList tasks = log.Tasks();
    QCOMPARE(tasks.count("EnableTouch"), 2);

    pDraw->ExitResponse();
    log.Clear();
    QVERIFY(pView->ShowTestResult({}, true));
    QVERIFY(!pDraw->isVisible());
    station.rig.Settle();
    QVERIFY(!log.Tasks().contains("EnableTouch"));
}

void TestTestVerdict::hiddenOrWithoutSource()
{
    m_pStation.reset();
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    CRunLogCapture log;
    QVERIFY(!pView->ShowTestResult({}, true));
    QVERIFY(!log.Contains("SaveLogDataAuto"));
    QVERIFY(!log.Contains("UploadTestData"));

    // Shown, with the frame gone: "Unknown...".
    station.OpenView();
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsTestRunning(); }));
    station.rig.Frame().usb->Unplug();
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsSourcePresent(); }));
    log.Clear();
    QVERIFY(!pView->ShowTestResult({}, true));
    QTableWidget* pTable = ResultTable(pView);
    QCOMPARE(pTable->rowCount(), 1);
    QCOMPARE(pTable->columnCount(), 1);
    QCOMPARE(pTable->item(0, 0)->text(), QStringLiteral("Unknown..."));
    QVERIFY(!log.Contains("UploadTestData"));
}

void TestTestVerdict::screenshots()
{
    m_pStation.reset();
    for (bool bDead : {false, true}) {
        CTestViewStation station;
        CStationRig::SFrame& frame = station.AddFrame();
        if (bDead)
            frame.panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.insert("Bottom:5", 0); });
        QVERIFY(station.Start());
        station.OpenView();
        VeloraTestView* pView = station.view;
        QVERIFY(StationTest::WaitFor([&] { return !pView->IsTestRunning() && pView->PanelView(); }));
        pView->on_startTestButton_clicked(false);
        QVERIFY(StationTest::WaitFor([&] { return !pView->TimerThread()->isRunning(); }));
        CStationRig::Flush();
        QCOMPARE(ResultTable(pView)->item(0, 0)->text(), QString(bDead ? "NG" : "PASS"));
        for (const QSize& size : {QSize(1115, 741), QSize(1920, 1080)}) {
            const QString suffix = QStringLiteral("-%1x%2.png").arg(size.width()).arg(size.height());
            pView->on_rectButton_clicked();
            QVERIFY(station.Screenshot((bDead ? "testrun-ng2-panel" : "testrun-pass-panel") + suffix, size));
            if (bDead)
                continue;
            pView->on_histogramButton_clicked();
            QVERIFY(station.Screenshot("testrun-pass-histograms" + suffix, size));
        }
    }
}

STATION_TEST_MAIN(TestTestVerdict)
#include "tst_testverdict.moc"
