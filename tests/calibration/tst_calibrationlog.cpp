// The calibration log: its rows (the time of each, "Delete Record" and the
// row after it), and saving it as a "-CVCalibrate.txt" file: the file's
// bytes, its name from the moment of the request (a second save in the same
// millisecond appends), texts holding "#" or Chinese, the folder dialog
// (answered or cancelled), and a file that cannot be created or written to
// its end (the save then leaves the file as it was before it).

#include "calviewrig.h"
#include "filesizelimit.h"
#include "modalboxanswerer.h"
#include "readfile.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <algorithm>
#include <cerrno>


namespace {
const QDateTime kNow(QDate(2024, 3, 5), QTime(14, 7, 9, 123));
const QString kName = QStringLiteral("2024-03-05-14-07-09-123-CVCalibrate.txt");
const QString kTime = QStringLiteral("2024-03-05 14:07:09");

QJsonObject DeviceMessage(const QString& product, const QString& lx = QStringLiteral("1"))
{
    QJsonObject calData{{"LX", lx}, {"LY", "2"}, {"RX", "3"}, {"RY", "4"}};
    QJsonObject device{{"Product", product}, {"calData", calData}};
    return QJsonObject{{"usb", true}, {"device", device}};
}

// The file's lines as the table had them: (time, text), split at the first
// "#", read back with the same (the locale's) encoding.
QList<QPair<QString, QString>> ReadRows(const QString& path)
{
    QList<QPair<QString, QString>> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    QTextStream in(&file);
    QString line;
    while (in.readLineInto(&line)) {
        const int nHash = line.indexOf(QLatin1Char('#'));
        rows << qMakePair(line.left(nHash), line.mid(nHash + 1));
    }
    return rows;
}

// The warnings of the station, without those of the offscreen platform
// (the folder dialog's "This plugin does not support ...").
QStringList Warnings(const CRunLogCapture& log)
{
    QStringList warnings = log.Lines(QtWarningMsg);
    warnings.erase(std::remove_if(warnings.begin(), warnings.end(),
                                  [](const QString& line) {
                                      return line.startsWith(QLatin1String("This plugin does not support"));
                                  }),
                   warnings.end());
    return warnings;
}
} // namespace

class TestCalibrationLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rowsAndTheirTime();
    void deleteRecord();
    void cancelledSave();
    void fileBytes();
    void secondSaveInTheSameMillisecondAppends();
    void emptyTable();
    void fileCannotBeCreated_data();
    void fileCannotBeCreated();
    void fileCannotBeWrittenToItsEnd_data();
    void fileCannotBeWrittenToItsEnd();
    void realFolderDialog_data();
    void realFolderDialog();

private:
    void Send(const QJsonObject& msg) { emit m_view.Work()->EmitCalibrateMsg(msg); }
    // "Record keeping", the folder dialog answered with folder (empty: cancelled).
    void Save(const QString& folder);

    CCalViewRig m_view;
    std::unique_ptr<QTemporaryDir> m_pDir;
    std::unique_ptr<CModalBoxAnswerer> m_pAnswerer;
};

void TestCalibrationLog::initTestCase()
{
    InitStationResources();
}

void TestCalibrationLog::init()
{
    CTestEnvironment::FastClock(0.02);
    CTestEnvironment::FixLocalTime(kNow);
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    m_pAnswerer = std::make_unique<CModalBoxAnswerer>();
    m_view.Create();
    m_view.Open();
}

void TestCalibrationLog::cleanup()
{
    m_view.Destroy();
    if (m_pAnswerer)
        QVERIFY2(m_pAnswerer->problems.isEmpty(), qPrintable(m_pAnswerer->problems.join('\n')));
    m_pAnswerer.reset();
    m_pDir.reset();
    CTestEnvironment::RealClock();
}

void TestCalibrationLog::Save(const QString& folder)
{
    if (folder.isEmpty())
        m_pAnswerer->CancelFile();
    else
        m_pAnswerer->AnswerFile(folder);
    m_view.view->SaveCalLogAction_event();
}

void TestCalibrationLog::rowsAndTheirTime()
{
    Send(DeviceMessage(QStringLiteral("KT")));
    CTestEnvironment::FixLocalTime(kNow.addSecs(61));
    m_view.view->InsertUsbDeviceForCalibrate(false);
    QCOMPARE(m_view.LogTexts(), (QStringList{"Product:KT", "1-2-3-4", "Device is disconnected"}));
    QCOMPARE(m_view.Column(0), (QStringList{kTime, kTime, "2024-03-05 14:08:10"}));
    QTableWidget* pTable = m_view.Log();
    QCOMPARE(pTable->columnCount(), 2);
    QCOMPARE(pTable->item(0, 1)->toolTip(), QStringLiteral("Product:KT"));
    QCOMPARE(pTable->item(0, 1)->textAlignment(), int(Qt::AlignCenter));
    QCOMPARE(pTable->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!pTable->horizontalHeader()->isVisible());
    QVERIFY(!pTable->verticalHeader()->isVisible());
    QCOMPARE(pTable->contextMenuPolicy(), Qt::CustomContextMenu);

    // The view with a few rows, as the operator sees it.
    for (int i = 0; i < 4; ++i)
        Send(DeviceMessage(QStringLiteral("KT-T65WHSUR-10P"), QString::number(0x100 + i, 16)));
    const QString path = CTestEnvironment::OutputDir() + QStringLiteral("/calibration-view-log.png");
    QVERIFY(m_view.view->grab().save(path));
}

void TestCalibrationLog::deleteRecord()
{
    Send(DeviceMessage(QStringLiteral("KT")));
    m_view.view->ClearCalLogAction_event();
    QCOMPARE(m_view.LogTexts(), QStringList{"Delete Record"});
    QCOMPARE(m_view.Log()->rowCount(), 1);
    // The next row goes below it.
    Send(QJsonObject{{"Complete", QJsonObject{{"LX", "9"}, {"LY", "8"}, {"RX", "7"}, {"RY", "6"}}}});
    QCOMPARE(m_view.LogTexts(), (QStringList{"Delete Record", "9-8-7-6"}));
    QCOMPARE(m_view.Log()->rowCount(), 2);
}

void TestCalibrationLog::cancelledSave()
{
    Send(DeviceMessage(QStringLiteral("KT")));
    Save(QString());
    QCOMPARE(m_pAnswerer->boxes.size(), 1);
    QCOMPARE(m_view.LogTexts(), (QStringList{"Product:KT", "1-2-3-4", "Cancel saving log"}));
    QCOMPARE(QDir(m_pDir->path()).entryList(QDir::Files), QStringList{});
}

void TestCalibrationLog::fileBytes()
{
    // A product text holding "#" and Chinese is written unchanged.
    const QString product = QStringLiteral("KT#65 红外触摸框");
    Send(DeviceMessage(product));
    m_view.view->InsertUsbDeviceForCalibrate(false);
    CRunLogCapture log;
    Save(m_pDir->path());

    const QString path = m_pDir->path() + QLatin1Char('/') + kName;
    QCOMPARE(QDir(m_pDir->path()).entryList(QDir::Files), QStringList{kName});
    const QString generated = QStringLiteral("Generate log file:") + path;
    QCOMPARE(m_view.LogTexts(), (QStringList{"Product:" + product, "1-2-3-4", "Device is disconnected", generated}));

    // One line per row, "#" between the columns, LF only, no byte-order mark,
    // in the locale's encoding (UTF-8 here); the "Generate" row is the last.
    const QString expected = kTime + "#Product:" + product + "\n" + kTime + "#1-2-3-4\n" + kTime
        + "#Device is disconnected\n" + kTime + "#" + generated + "\n";
    const QByteArray bytes = StationTest::ReadFile(path);
    QCOMPARE(bytes, expected.toUtf8());
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(!bytes.contains('\r'));

    // Read back with the same encoding: the rows of the table.
    QList<QPair<QString, QString>> rows;
    for (int r = 0; r < m_view.Log()->rowCount(); ++r)
        rows << qMakePair(m_view.Column(0).at(r), m_view.LogTexts().at(r));
    QCOMPARE(ReadRows(path), rows);
    QVERIFY(Warnings(log).isEmpty());
}

void TestCalibrationLog::secondSaveInTheSameMillisecondAppends()
{
    Send(DeviceMessage(QStringLiteral("KT")));
    Save(m_pDir->path());
    const QString path = m_pDir->path() + QLatin1Char('/') + kName;
    const QByteArray first = StationTest::ReadFile(path);
    QCOMPARE(first.count('\n'), 3);

    // Saving does not clear the table: the second save writes every row
    // again and its own "Generate" row, after the first save's lines.
    Save(m_pDir->path());
    const QString generated = kTime + "#Generate log file:" + path + "\n";
    const QByteArray second = (kTime + "#Product:KT\n" + kTime + "#1-2-3-4\n").toUtf8() + generated.toUtf8();
    QCOMPARE(StationTest::ReadFile(path), first + second + generated.toUtf8());
    QCOMPARE(QDir(m_pDir->path()).entryList(QDir::Files), QStringList{kName});

    // A moment later: a new file.
    CTestEnvironment::FixLocalTime(kNow.addMSecs(1));
    Save(m_pDir->path());
    QCOMPARE(QDir(m_pDir->path()).entryList(QDir::Files, QDir::Name),
             (QStringList{kName, "2024-03-05-14-07-09-124-CVCalibrate.txt"}));
}

void TestCalibrationLog::emptyTable()
{
    QCOMPARE(m_view.Log()->rowCount(), 0);
    Save(m_pDir->path());
    const QString path = m_pDir->path() + QLatin1Char('/') + kName;
    QCOMPARE(StationTest::ReadFile(path), (kTime + "#Generate log file:" + path + "\n").toUtf8());
}

void TestCalibrationLog::fileCannotBeCreated_data()
{
    QTest::addColumn<bool>("folderReplaced");
    // The folder chosen is replaced by a regular file before the log is
    // written (a stick pulled, another program): the path runs through a
    // file. (The dialog itself takes no folder that does not exist, and a
    // read-only folder would not stop root.)
    QTest::newRow("folder gone after the choice") << true;
    // A folder of the log file's name stands where the file goes.
    QTest::newRow("a folder in place of the file") << false;
}

void TestCalibrationLog::fileCannotBeCreated()
{
    QFETCH(bool, folderReplaced);

    const QString folder = m_pDir->filePath(QStringLiteral("logs"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QLatin1Char('/') + kName;
    if (folderReplaced) {
        m_pAnswerer->OnShown([folder](const CModalBoxAnswerer::SBox&) {
            auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(pDialog);
            QObject::connect(pDialog, &QDialog::accepted, [folder] {
                QVERIFY(QDir(folder).removeRecursively());
                QFile plain(folder);
                QVERIFY(plain.open(QIODevice::WriteOnly));
            });
        });
    } else {
        QVERIFY(QDir().mkpath(path));
    }
    Send(DeviceMessage(QStringLiteral("KT")));
    CRunLogCapture log;
    Save(folder);

    QCOMPARE(m_view.LogTexts(), (QStringList{"Product:KT", "1-2-3-4", "Failed to generate log file:" + path}));
    QCOMPARE(QFileInfo(path).isFile(), false);
    QCOMPARE(QFileInfo(folder).isFile(), folderReplaced);
    const QStringList warnings = Warnings(log);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(path) && warnings.first().contains("cannot create"),
             qPrintable(warnings.first()));
}

void TestCalibrationLog::fileCannotBeWrittenToItsEnd_data()
{
    QTest::addColumn<bool>("earlierSave");
    // The file is made by the save that fails: it is removed.
    QTest::newRow("new file") << false;
    // A save in the same millisecond wrote the file first: it is cut back to
    // what that save left.
    QTest::newRow("file of an earlier save") << true;
}

void TestCalibrationLog::fileCannotBeWrittenToItsEnd()
{
    QFETCH(bool, earlierSave);

    const QString path = m_pDir->path() + QLatin1Char('/') + kName;
    QByteArray earlier;
    if (earlierSave) {
        Send(DeviceMessage(QStringLiteral("KT")));
        Save(m_pDir->path());
        earlier = StationTest::ReadFile(path);
        QCOMPARE(earlier.count('\n'), 3);
    }
    const int nEarlierRows = m_view.Log()->rowCount();
    // Far more than the limit below (about 7 kB), in few rows: each row
    // costs the table a measuring of its own.
    const QString longName = QStringLiteral("KT-T65WHSUR-10P-") + QString(120, QLatin1Char('X'));
    for (int i = 0; i < 48; ++i)
        Send(DeviceMessage(longName + QString::number(i)));
    CRunLogCapture log;
    {
        CFileSizeLimit limit(4096);
        if (!limit.IsActive())
            QSKIP("cannot limit the file size here");
        Save(m_pDir->path());
    }
    const QStringList texts = m_view.LogTexts();
    QCOMPARE(texts.size(), nEarlierRows + 98);
    QCOMPARE(texts.mid(nEarlierRows + 96),
             (QStringList{"Generate log file:" + path, "Failed to generate log file:" + path}));

    // The save that failed leaves the file as it was before it: nothing of
    // it stays, neither a file of its own nor the beginning of its lines.
    QCOMPARE(QFileInfo::exists(path), earlierSave);
    QCOMPARE(StationTest::ReadFile(path), earlier);
    QCOMPARE(QDir(m_pDir->path()).entryList(QDir::Files | QDir::Hidden),
             earlierSave ? QStringList{kName} : QStringList());
    const QStringList warnings = Warnings(log);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(path) && warnings.first().contains("cannot write"), qPrintable(warnings.first()));
    // The system's reason, not the "Unknown error" of a short write.
    QVERIFY2(warnings.first().contains(qt_error_string(EFBIG)), qPrintable(warnings.first()));
}

void TestCalibrationLog::realFolderDialog_data()
{
    QTest::addColumn<bool>("choose");
    QTest::newRow("folder chosen") << true;
    QTest::newRow("cancelled") << false;
}

// The folder dialog as the operator sees it: a folder question that lists
// only folders, from the program's folder.
void TestCalibrationLog::realFolderDialog()
{
    QFETCH(bool, choose);

    Save(choose ? m_pDir->path() : QString());

    QCOMPARE(m_pAnswerer->boxes.size(), 1);
    const CModalBoxAnswerer::SBox box = m_pAnswerer->boxes.first();
    QCOMPARE(box.kind, CModalBoxAnswerer::EKind::File);
    QCOMPARE(box.title, QStringLiteral("Save Calibrate Log file"));
    QCOMPARE(box.value, QDir(QCoreApplication::applicationDirPath()).absolutePath());
    QCOMPARE(box.fileMode, QStringLiteral("DirectoryOnly"));
    QCOMPARE(m_view.Log()->rowCount(), 1);
    const QString path = QDir(m_pDir->path()).absolutePath() + QLatin1Char('/') + kName;
    QCOMPARE(m_view.LogTexts().first(),
             choose ? QStringLiteral("Generate log file:") + path : QStringLiteral("Cancel saving log"));
    QCOMPARE(QFile::exists(path), choose);
}

STATION_TEST_MAIN(TestCalibrationLog)
#include "tst_calibrationlog.moc"
