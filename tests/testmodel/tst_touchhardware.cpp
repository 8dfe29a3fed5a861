// The hardware test driver: order of a first run and a retest, log folder and
// file names, atomic saving, recording switch.

#include "childtest.h"
#include "fakehardware.h"
#include "filesizelimit.h"
#include "operateenvironment.h"
#include "readfile.h"
#include "testenvironment.h"
#include "testlogerror.h"
#include "touchlogfilexml.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QtTest>

namespace {

// True when strRelative, resolved under strRoot, stays inside strRoot.
bool StaysInside(const QString &strRoot, const QString &strRelative)
{
    const QString strRootClean = QDir::cleanPath(strRoot) + QLatin1Char('/');
    const QString strPath = QDir::cleanPath(strRoot + QLatin1Char('/') + strRelative);
    return strPath.startsWith(strRootClean) && !strRelative.contains(QChar(0));
}

} // namespace

class TestTouchHardware : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir.reset(new CScopedWorkDir); }
    void cleanup() { m_dir.reset(); }

    void construction();
    void firstRunStartsFresh();
    void firstRunStopsOnFailures_data();
    void firstRunStopsOnFailures();
    void retestKeepsConfiguration();
    void logDirAndFileName_data();
    void logDirAndFileName();
    void fileNameUnderAnArabicLocale();
    void arabicChild();
    void namesNeverLeaveDataFolder_data();
    void namesNeverLeaveDataFolder();
    void safeNamesAreBounded();
    void recordingSwitch();
    void saveWritesCompleteLog();
    void saveFailureIsReported();
    void saveFailureKeepsEarlierLog();
    void saveOnAFullDiskLeavesNoLog();
    void saveDropsCharactersXmlCannotHold();

private:
    std::unique_ptr<CScopedWorkDir> m_dir;
};

void TestTouchHardware::construction()
{
    CFakeHardware hw(nullptr);
    QCOMPARE(hw.GetType(), 1);
    QCOMPARE(hw.GetName(), QString("fake"));
    QVERIFY(!hw.IsDriverRunning());
    QVERIFY(!hw.IsCheckLedError());
    QCOMPARE(hw.GetPort(), nullptr);
    QCOMPARE(hw.SetCheckLedError(true), 0);
    QVERIFY(hw.IsCheckLedError());
    QCOMPARE(hw.SetDriverRunning(true), 0);
    QVERIFY(hw.IsDriverRunning());
}

void TestTouchHardware::firstRunStartsFresh()
{
    COperateEnvironment env;
    CFakeHardware hw(&env);
    // Left-overs of an earlier frame must not reach the new configuration.
    hw.GetAxisSignalMap()[QStringLiteral("Z")].SetMaxSignal(3);
    hw.SetProperty(QStringLiteral("Product"), QStringLiteral("old"));
    hw.GetHardwareInfo().SetAxis(7, QStringLiteral("Old"), {CPcbInfo()});
    hw.SetInterfaceTest(QStringLiteral("UART"), QStringLiteral("PASS"));

    QCOMPARE(hw.StartTest(1), 0);
    QCOMPARE(hw.Log().nAxesAtInit, 0);
    QCOMPARE(hw.Log().nPropertiesAtInit, 0);
    QCOMPARE(hw.Log().nBoardsAtInit, 0);
    QCOMPARE(hw.Log().strInterfaceNameAtCheck, QString());
    QVERIFY(!hw.GetAxisSignalMap().contains(QStringLiteral("Z")));
    QVERIFY(!hw.GetHardwareInfo().GetAxisIdMap().contains(7));
    QCOMPARE(hw.GetProperty(QStringLiteral("Product")), QString("AB55-10P"));
    QCOMPARE(hw.Log().nCheckLedError, 1);
    // A full first pass: REVERSE, AGC and ten ADC frames; the record base
    // follows the last frame number.
    QCOMPARE(hw.Log().mapReads.value("REVERSE"), 1);
    QCOMPARE(hw.Log().mapReads.value("AGC"), 1);
    QCOMPARE(hw.Log().mapReads.value("ADC"), 10);
    QCOMPARE(hw.GetRecordBase(), 11u);
    // The driver program is not running on a test station.
    QVERIFY(!hw.Log().bDriverRunningAtCheck);
    QVERIFY(!hw.IsDriverRunning());
}

void TestTouchHardware::firstRunStopsOnFailures_data()
{
    QTest::addColumn<int>("initResult");
    QTest::addColumn<int>("checkResult");
    QTest::addColumn<QString>("failKind");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("checkCalls");
    QTest::addColumn<int>("adcReads");

    const int nInitFail = int(0x80100001u);
    const int nCheckFail = int(0x801B0001u);
    const int nReadFail = int(0x800F0001u);
    QTest::newRow("configuration fails") << nInitFail << 0 << QString() << nInitFail << 0 << 0;
    QTest::newRow("LED check fails") << 0 << nCheckFail << QString() << nCheckFail << 1 << 0;
    QTest::newRow("positive LED check is success") << 0 << 0x1003 << QString() << 0 << 1 << 10;
    QTest::newRow("AGC read fails") << 0 << 0 << QString("AGC") << nReadFail << 1 << 0;
}

void TestTouchHardware::firstRunStopsOnFailures()
{
    QFETCH(int, initResult);
    QFETCH(int, checkResult);
    QFETCH(QString, failKind);
    QFETCH(int, expected);
    QFETCH(int, checkCalls);
    QFETCH(int, adcReads);

    CFakeHardware::SConfig config;
    config.nInitTestConfigResult = initResult;
    config.nCheckLedErrorResult = checkResult;
    config.failAt = qMakePair(failKind, 0);
    CFakeHardware hw(nullptr, config);
    hw.SetDriverRunning(true);
    QCOMPARE(hw.StartTest(1), expected);
    QCOMPARE(hw.Log().nCheckLedError, checkCalls);
    QCOMPARE(hw.Log().mapReads.value("ADC"), adcReads);
    // A failed configuration leaves the driver flag untouched; otherwise the
    // run clears it at its end.
    QCOMPARE(hw.IsDriverRunning(), initResult < 0);
    if (expected < 0)
        QCOMPARE(hw.GetRecordBase(), 0u);
}

void TestTouchHardware::retestKeepsConfiguration()
{
    CFakeHardware hw(nullptr);
    QCOMPARE(hw.StartTest(1), 0);
    const QList<CPropertyItem> lstProperty = hw.GetPropertyList();
    const int nSensors = int(hw.GetHardwareInfo().GetTotalSensorCount());

    hw.SetInterfaceTest(QStringLiteral("UART"), QStringLiteral("PASS"));
    QCOMPARE(hw.ReTest(1), 0);
    QCOMPARE(hw.Log().nInitTestConfig, 1);
    QCOMPARE(hw.Log().nCheckLedError, 2);
    // The LED check runs before the interface-test result is cleared.
    QCOMPARE(hw.Log().strInterfaceNameAtCheck, QString("UART"));
    QCOMPARE(hw.GetInterfaceTestResult(), qMakePair(QString(), QString()));
    QCOMPARE(hw.GetPropertyList(), lstProperty);
    QCOMPARE(int(hw.GetHardwareInfo().GetTotalSensorCount()), nSensors);
    QCOMPARE(hw.Log().mapReads.value("ADC"), 20);

    // A failing LED check skips the run but still clears the result.
    hw.Config().nCheckLedErrorResult = int(0x801B0002u);
    hw.SetInterfaceTest(QStringLiteral("UART"), QStringLiteral("PASS"));
    QCOMPARE(hw.ReTest(1), int(0x801B0002u));
    QCOMPARE(hw.GetInterfaceTestResult().first, QString());
    QCOMPARE(hw.Log().mapReads.value("ADC"), 20);
    QVERIFY(!hw.IsDriverRunning());
}

void TestTouchHardware::logDirAndFileName_data()
{
    QTest::addColumn<QList<CPropertyItem>>("properties");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("name");

    QTest::newRow("nothing known") << QList<CPropertyItem>() << "UnknownProduct/UnknownCheckSum"
                                   << "UnknownMcuID_UnknownBatchInfo";
    QTest::newRow("all known") << QList<CPropertyItem>{{"Product", "AB55-10P"}, {"CheckSum", "1A2B-3C4D"},
                                                       {"McuID", "0011AA"}, {"BatchInfo", "B42"}}
                               << "AB55-10P/1A2B-3C4D"
                               << "0011AA_B42";
    // The folder takes the last Product and CheckSum, the name the first McuID and BatchInfo.
    QTest::newRow("repeated keys") << QList<CPropertyItem>{{"CheckSum", "OLD"}, {"McuID", "first"},
                                                           {"CheckSum", "NEW"}, {"McuID", "second"},
                                                           {"Product", "P1"}, {"Product", "P2"}}
                                   << "P2/NEW"
                                   << "first_UnknownBatchInfo";
    QTest::newRow("keys are case-sensitive") << QList<CPropertyItem>{{"product", "x"}, {"mcuid", "y"}}
                                             << "UnknownProduct/UnknownCheckSum"
                                             << "UnknownMcuID_UnknownBatchInfo";
}

void TestTouchHardware::logDirAndFileName()
{
    QFETCH(QList<CPropertyItem>, properties);
    QFETCH(QString, dir);
    QFETCH(QString, name);

    CFakeHardware hw(nullptr);
    hw.GetPropertyList() = properties;
    QCOMPARE(hw.GetLogDir(), dir);

    const QDateTime time(QDate(2024, 3, 7), QTime(9, 5, 4, 7));
    QCOMPARE(CTouchHardware::MakeLogFileName(time, properties), "20240307_09-05-04_007_" + name);

    const QRegularExpression re("^\\d{8}_\\d{2}-\\d{2}-\\d{2}_\\d{3}_" + QRegularExpression::escape(name) + "$");
    QVERIFY2(re.match(hw.GetLogFileName()).hasMatch(), qPrintable(hw.GetLogFileName()));

    // The name carries the station's local time.
    CTestEnvironment::FixLocalTime(time);
    const QString fixedName = hw.GetLogFileName();
    CTestEnvironment::RealClock();
    QCOMPARE(fixedName, "20240307_09-05-04_007_" + name);
}

// The time in a log's name is written with ASCII digits whatever the
// system's locale (an Arabic one writes its own): checked in a child process
// started under that locale.
void TestTouchHardware::fileNameUnderAnArabicLocale()
{
    QProcessEnvironment env = ArabicLocale();
    env.insert("STATION_TOUCHHARDWARE_CHILD", "1");
    QByteArray output;
    QVERIFY2(RunTestInChild(QStringLiteral("arabicChild"), env, &output), output.constData());
}

// Runs only in the child process started above.
void TestTouchHardware::arabicChild()
{
    if (qgetenv("STATION_TOUCHHARDWARE_CHILD").isEmpty())
        QSKIP("runs as a child of fileNameUnderAnArabicLocale");
    // The locale does write its own digits here.
    QCOMPARE(QLocale::system().toString(QDate(2024, 3, 7), QStringLiteral("yyyy")), QString::fromUtf8("٢٠٢٤"));
    const QDateTime time(QDate(2024, 3, 7), QTime(9, 5, 4, 7));
    QCOMPARE(CTouchHardware::MakeLogFileName(time, {}), QStringLiteral("20240307_09-05-04_007_UnknownMcuID_UnknownBatchInfo"));
}

void TestTouchHardware::namesNeverLeaveDataFolder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("safe");

    QTest::newRow("plain") << "AB55-10P" << "AB55-10P";
    QTest::newRow("unicode kept") << QStringLiteral("\u6d4b\u8bd5-01") << QStringLiteral("\u6d4b\u8bd5-01");
    QTest::newRow("slash") << "../../etc/passwd" << ".._.._etc_passwd";
    QTest::newRow("backslash") << "..\\..\\x" << ".._.._x";
    QTest::newRow("dot") << "." << "Unknown";
    QTest::newRow("dot dot") << ".." << "Unknown";
    QTest::newRow("empty") << "" << "Unknown";
    QTest::newRow("nul and controls") << QString::fromLatin1("a\0b\tc\r\n\x7f", 8) << "a_b_c___";
    QTest::newRow("characters other stations refuse") << "a:b*c?d\"e<f>g|h" << "a_b_c_d_e_f_g_h";
    QTest::newRow("dots inside kept") << "...x" << "...x";
}

void TestTouchHardware::namesNeverLeaveDataFolder()
{
    QFETCH(QString, text);
    QFETCH(QString, safe);

    QCOMPARE(CTouchHardware::SafeFileNamePart(text, QStringLiteral("Unknown")), safe);

    // The same text as every property that reaches a folder or file name.
    CFakeHardware hw(nullptr);
    hw.GetPropertyList() = {{"Product", text}, {"CheckSum", text}, {"McuID", text}, {"BatchInfo", text}};
    const QString strDir = hw.GetLogDir();
    const QString strName = hw.GetLogFileName();
    QCOMPARE(strDir.count(QLatin1Char('/')), 1);
    QVERIFY(!strName.contains(QLatin1Char('/')));
    const QString strData = QDir::current().absoluteFilePath(QStringLiteral("Data"));
    QVERIFY2(StaysInside(strData, strDir + "/" + strName + "_PASS.xml"), qPrintable(strDir + "/" + strName));
    for (const QString &strPart : strDir.split(QLatin1Char('/')))
        QVERIFY(strPart != "." && strPart != ".." && !strPart.isEmpty());

    // And a log really lands there.
    QVERIFY(QDir().mkpath(strData + "/" + strDir));
    const QString strPath = strData + "/" + strDir + "/" + strName + "_PASS.xml";
    QCOMPARE(hw.SaveXml(strPath), 0);
    QVERIFY(QFile::exists(strPath));
}

void TestTouchHardware::safeNamesAreBounded()
{
    // A frame text of hundreds of characters still gives a name the file
    // system accepts, cut on a character boundary.
    const QString strLong = QString(300, QChar(0x6d4b)) + QStringLiteral("\U0001F600");
    const QString strSafe = CTouchHardware::SafeFileNamePart(strLong, QStringLiteral("x"));
    QVERIFY(strSafe.toUtf8().size() <= 96);
    QVERIFY(strLong.startsWith(strSafe));
    QString strEmojis(41, QChar('a'));
    for (int i = 0; i < 30; ++i)
        strEmojis += QStringLiteral("\U0001F600");
    const QString strEmoji = CTouchHardware::SafeFileNamePart(strEmojis, QStringLiteral("x"));
    QVERIFY(strEmoji.toUtf8().size() <= 96);
    QVERIFY(!strEmoji.at(strEmoji.size() - 1).isHighSurrogate());

    CFakeHardware hw(nullptr);
    hw.GetPropertyList() = {{"McuID", strLong}, {"BatchInfo", strLong}};
    QDir().mkpath("Data");
    QCOMPARE(hw.SaveXml("Data/" + hw.GetLogFileName() + "_NG.xml"), 0);
}

void TestTouchHardware::recordingSwitch()
{
    CFakeHardware hw(nullptr);
    QCOMPARE(hw.StartRecord(), 0);
    QVERIFY(hw.IsRecording());
    QCOMPARE(hw.GetFrameNumber(), 1u);
    QCOMPARE(hw.StopRecord(), 0);
    QVERIFY(!hw.IsRecording());
    QCOMPARE(hw.GetFrameNumber(), 1u);

    QCOMPARE(hw.StartTest(1), 0);
    QCOMPARE(hw.GetRecordBase(), 11u);
    hw.SetFrameNumber(3);
    QCOMPARE(hw.StartRecord(), 0);
    QCOMPARE(hw.GetFrameNumber(), 12u);
    hw.SetFrameNumber(20);
    QCOMPARE(hw.StopRecord(), 0);
    QCOMPARE(hw.GetFrameNumber(), 20u);
}

void TestTouchHardware::saveWritesCompleteLog()
{
    CFakeHardware::SConfig config;
    config.nLedsX = 4;
    config.nLedsY = 2;
    config.lstDirs = QStringList{"T1"};
    config.nTestTimesForUnt = 2;
    CFakeHardware hw(nullptr, config);
    QCOMPARE(hw.StartTest(1), 0);
    hw.SetInterfaceTest(QStringLiteral("UART"), QStringLiteral("PASS"));
    QCOMPARE(hw.SaveXml("run.xml"), 0);
    const QByteArray data = StationTest::ReadFile("run.xml");
    QVERIFY(data.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<touch_device>\n"));
    QVERIFY(data.endsWith("    </test>\n</touch_device>\n"));
    QVERIFY(!data.contains('\r'));
    // No temporary file is left beside the log.
    QCOMPARE(QDir::current().entryList(QDir::Files), QStringList{"run.xml"});

    // Saving again replaces the file whole.
    hw.GetPropertyList().clear();
    hw.GetAxisSignalMap().clear();
    hw.GetHardwareInfo() = CHardwareInfo();
    hw.ClearInterfaceTestResult();
    QCOMPARE(hw.SaveXml("run.xml"), 0);
    QCOMPARE(StationTest::ReadFile("run.xml"), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<touch_device/>\n"));
}

void TestTouchHardware::saveFailureIsReported()
{
    CFakeHardware hw(nullptr);
    QCOMPARE(hw.StartTest(1), 0);
    // A folder the view did not create, and a path that is a folder.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot write the test log .*missing/run.xml"));
    QCOMPARE(hw.SaveXml("missing/run.xml"), ERROR_LOG_SAVE);
    QVERIFY(!QFile::exists("missing/run.xml"));
    QVERIFY(QDir().mkdir("folder.xml"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot write the test log .*folder.xml"));
    QCOMPARE(hw.SaveXml("folder.xml"), ERROR_LOG_SAVE);
    QVERIFY(QFileInfo("folder.xml").isDir());
}

void TestTouchHardware::saveFailureKeepsEarlierLog()
{
    CFakeHardware hw(nullptr);
    QCOMPARE(hw.StartTest(1), 0);
    QCOMPARE(hw.SaveXml("run.xml"), 0);
    const QByteArray good = StationTest::ReadFile("run.xml");
    QVERIFY(good.size() > 8192);

    // The disk fills up part-way through the next save.
    hw.SetProperty(QStringLiteral("BatchInfo"), QStringLiteral("second run"));
    {
        CFileSizeLimit limit(4096);
        if (!limit.IsActive())
            QSKIP("cannot limit the file size here");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot write the test log .*run.xml"));
        QCOMPARE(hw.SaveXml("run.xml"), ERROR_LOG_SAVE);
    }
    QCOMPARE(StationTest::ReadFile("run.xml"), good);
    QCOMPARE(QDir::current().entryList(QDir::Files), QStringList{"run.xml"});
}

// The disk takes only the first 1000 bytes of a log smaller than the file's
// write buffer: the log reaches the disk only when that buffer is flushed.
void TestTouchHardware::saveOnAFullDiskLeavesNoLog()
{
    CFakeHardware hw(nullptr);
    for (int i = 0; i < 40; ++i)
        hw.SetProperty(QStringLiteral("Info%1").arg(i), QStringLiteral("value of the frame %1").arg(i));
    QCOMPARE(hw.SaveXml("probe.xml"), 0);
    const qint64 nSize = QFileInfo("probe.xml").size();
    QVERIFY2(nSize > 1000 && nSize < 16384, qPrintable(QString::number(nSize)));
    QVERIFY(QFile::remove("probe.xml"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot write the test log .*run.xml - File too large$"));
    int32_t nResult = 0;
    {
        CFileSizeLimit limit(1000);
        if (!limit.IsActive())
            QSKIP("cannot limit the file size here");
        nResult = hw.SaveXml("run.xml");
    }
    QCOMPARE(nResult, ERROR_LOG_SAVE);
    QCOMPARE(hw.LastSaveError(), QStringLiteral("File too large"));
    QVERIFY(!QFileInfo::exists("run.xml"));
    QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestTouchHardware::saveDropsCharactersXmlCannotHold()
{
    CFakeHardware hw(nullptr);
    hw.GetPropertyList() = {{"BatchInfo", QString::fromLatin1("B\x01" "42\x1f", 5)},
                            {QString::fromLatin1("Mcu\x02", 4), "x"}};
    hw.SetInterfaceTest(QString::fromLatin1("U\x03", 2), QString::fromLatin1("P\x04", 2));
    QCOMPARE(hw.SaveXml("run.xml"), 0);
    const QByteArray data = StationTest::ReadFile("run.xml");
    QVERIFY(data.contains("<info ID=\"0\" name=\"BatchInfo\">B?42?</info>"));
    QVERIFY(data.contains("<info ID=\"1\" name=\"Mcu?\">x</info>"));
    QVERIFY(data.contains("<result name=\"U?\">P?</result>"));
    QXmlStreamReader reader(data);
    while (!reader.atEnd())
        reader.readNext();
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));

    // Texts of the records (here an LED label read from a frame): the writer
    // leaves the characters out, the log is still saved and readable.
    hw.GetAxisSignalMap()["X"].AddSignalLabel("T1", QString::fromLatin1("T0:1\x01-R0:1", 10));
    hw.GetAxisSignalMap()["X"].AddSignalRelation("T1", "Bottom:1-Top:1");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("characters that XML cannot hold were left out"));
    QCOMPARE(hw.SaveXml("run.xml"), 0);
    CTouchLogfileXML log(nullptr, QStringLiteral("run.xml"));
    QCOMPARE(log.StartTest(1), 0);
    QCOMPARE(log.GetAxisSignalMap()["X"].GetSignalLabels("T1"), QList<QString>{"T0:1-R0:1"});
}

STATION_TEST_MAIN_CORE(TestTouchHardware)
#include "tst_touchhardware.moc"
