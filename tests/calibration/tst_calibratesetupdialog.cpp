// "Calibrate SetUp" over the real dispatcher and an emulated frame: the
// frame's values, the export (its name, its content, what it keeps, how it
// fails), the files it reads (a table of good and bad ones), the import
// into the frame with both answers, and what it does without a live frame
// or while a task holds the device.

#include "calframecheck.h"
#include "calibratesetupdialog.h"
#include "calibrationscreenrig.h"
#include "mutexholder.h"
#include "stationresources.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
const QByteArray kValidFile = "[CalibrateParameter]\nLX=100\nLY=200\nRX=3000\nRY=4000\n";
} // namespace

class TestCalibrateSetUpDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void showsTheCachedValues();
    void exportName();
    void exportWritesTheValues();
    void exportKeepsOtherGroups();
    void exportCancelled();
    void exportFails_data();
    void exportFails();
    void exportWithoutFrame();
    void exportOfAFrameThatLeftDuringTheChoice_data();
    void exportOfAFrameThatLeftDuringTheChoice();
    void exportOverAFileOverTheBound();
    void readFile_data();
    void readFile();
    void fileOverTheBoundIsNotRead_data();
    void fileOverTheBoundIsNotRead();
    void cancelledReadKeepsTheValues();
    void import_data();
    void import();
    void importWhileDeviceBusy();
    void withoutFrameNothingHappens();
    void withReplayNothingHappens();

private:
    QStringList Fields(const char* szPrefix) const;
    QLineEdit* Edit(const char* szName) const { return m_pDialog->findChild<QLineEdit*>(QLatin1String(szName)); }
    QPushButton* Button(const char* szName) const
    {
        return m_pDialog->findChild<QPushButton*>(QLatin1String(szName));
    }
    void Click(const char* szName) { QTest::mouseClick(Button(szName), Qt::LeftButton); }
    QString WriteFile(const QString& name, const QByteArray& content);
    // Reads the file through the dialog's file dialog.
    void Read(const QString& path);

    std::unique_ptr<CCalibrationScreenRig> m_pRig;
    std::unique_ptr<CalibrateSetUpDialog> m_pDialog;
    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestCalibrateSetUpDialog::initTestCase()
{
    InitStationResources();
}

void TestCalibrateSetUpDialog::init()
{
    CTestEnvironment::FastClock(0.02);
    m_pDir = std::make_unique<QTemporaryDir>();
    m_pRig = std::make_unique<CCalibrationScreenRig>();
    m_pDialog = std::make_unique<CalibrateSetUpDialog>(nullptr, m_pRig->Work());
    m_pDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pDialog.get()));
}

void TestCalibrateSetUpDialog::cleanup()
{
    m_pDialog.reset();
    m_pRig.reset();
    m_pDir.reset();
    CTestEnvironment::RealClock();
}

QStringList TestCalibrateSetUpDialog::Fields(const char* szPrefix) const
{
    QStringList texts;
    for (const char* szKey : {"LX", "LY", "RX", "RY"})
        texts << Edit(qPrintable(QLatin1String(szPrefix) + QLatin1String(szKey)))->text();
    return texts;
}

QString TestCalibrateSetUpDialog::WriteFile(const QString& name, const QByteArray& content)
{
    return CalibrationTest::WriteFile(m_pDir->filePath(name), content);
}

void TestCalibrateSetUpDialog::Read(const QString& path)
{
    if (path.isEmpty())
        m_pRig->answerer.CancelFile();
    else
        m_pRig->answerer.AnswerFile(path);
    Click("browseCalParameterFile_Btn");
}

// --- the frame's values and the export ---

void TestCalibrateSetUpDialog::showsTheCachedValues()
{
    QCOMPARE(Fields("devCalParameter_"), (QStringList{"", "", "", ""}));
    QVERIFY(m_pRig->PlugFrame());
    m_pRig->SetCached(100, 200, 3000, 4000);
    m_pDialog->UpdateDevCalParameter();
    QCOMPARE(Fields("devCalParameter_"), (QStringList{"0x64", "0xc8", "0xbb8", "0xfa0"}));
    // The cache, not the frame.
    QVERIFY(m_pRig->Frame().AppCommands().isEmpty());
    QCOMPARE(m_pDialog->windowTitle(), QStringLiteral("Calibrate SetUp"));
    QVERIFY(!Button("importCalParameter_Btn")->isEnabled());
    QCOMPARE(Edit("devCalParameter_LX")->palette().color(QPalette::Disabled, QPalette::Text), QColor(Qt::blue));
}

void TestCalibrateSetUpDialog::exportName()
{
    QCOMPARE(CalibrateSetUpDialog::ExportFileName(QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9, 42))),
             QStringLiteral("2026-03-05-14-07-09-042-CaliabrateParameter.ini"));

    QVERIFY(m_pRig->PlugFrame());
    CTestEnvironment::FixLocalTime(QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9, 42)));
    QStringList proposed;
    m_pRig->answerer.OnShown([&proposed](const CModalBoxAnswerer::SBox&) {
        if (auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            proposed = pDialog->selectedFiles();
    });
    m_pRig->answerer.CancelFile();
    Click("outputCalparameter_Btn");
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    const CModalBoxAnswerer::SBox box = m_pRig->answerer.boxes[0];
    QCOMPARE(box.title, QStringLiteral("calibrate parameter file"));
    QCOMPARE(box.text, QStringLiteral("*.ini"));
    QCOMPARE(proposed, QStringList{QCoreApplication::applicationDirPath() +
                                   "/2026-03-05-14-07-09-042-CaliabrateParameter.ini"});
}

void TestCalibrateSetUpDialog::exportWritesTheValues()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pRig->SetCached(100, 200, 3000, 4000);
    const QString path = m_pDir->filePath("out.ini");
    m_pRig->answerer.AnswerFile(path);
    Click("outputCalparameter_Btn");
    QVERIFY(m_pRig->answerer.problems.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kValidFile);
    QCOMPARE(Edit("outCalParameterFilePath_lineEdit")->text(), path);
    QCOMPARE(Edit("outCalParameterFilePath_lineEdit")->palette().color(QPalette::Text), QColor(Qt::green));
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);  // the file dialog only
}

void TestCalibrateSetUpDialog::exportKeepsOtherGroups()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pRig->SetCached(100, 200, 3000, 4000);
    const QString path = WriteFile("kept.ini", "[Other]\nkey=value\n\n[CalibrateParameter]\nLX=1\nextra=2\n");
    m_pRig->answerer.Answer("Yes");  // replace the file
    m_pRig->answerer.AnswerFile(path);
    Click("outputCalparameter_Btn");
    QVERIFY2(m_pRig->answerer.problems.isEmpty(), qPrintable(m_pRig->answerer.problems.join('\n')));
    const QSettings file(path, QSettings::IniFormat);
    QCOMPARE(file.value("Other/key").toString(), QStringLiteral("value"));
    QCOMPARE(file.value("CalibrateParameter/extra").toString(), QStringLiteral("2"));
    QCOMPARE(file.value("CalibrateParameter/LX").toString(), QStringLiteral("100"));
    QCOMPARE(file.value("CalibrateParameter/RY").toString(), QStringLiteral("4000"));
}

void TestCalibrateSetUpDialog::exportCancelled()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pRig->answerer.CancelFile();
    Click("outputCalparameter_Btn");
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QVERIFY(Edit("outCalParameterFilePath_lineEdit")->text().isEmpty());
    QVERIFY(QDir(m_pDir->path()).entryList(QDir::Files).isEmpty());
}

void TestCalibrateSetUpDialog::exportFails_data()
{
    QTest::addColumn<QString>("why");
    // The system's reason, from the whole-file write.
    QTest::newRow("through a regular file") << "Not a directory";
    QTest::newRow("device busy") << "the device is busy";
}

void TestCalibrateSetUpDialog::exportFails()
{
    QFETCH(QString, why);
    QVERIFY(m_pRig->PlugFrame());
    QString path = m_pDir->filePath("out.ini");
    std::unique_ptr<CMutexHolder> pHolder;
    if (why == "the device is busy") {
        pHolder = std::make_unique<CMutexHolder>(m_pRig->Work()->GetDeviceMutex());
    } else {
        // A folder that is a regular file (root writes anywhere else).
        path = WriteFile("plain.txt", "text") + "/out.ini";
    }
    m_pRig->answerer.AnswerFile(path);
    Click("outputCalparameter_Btn");
    pHolder.reset();

    QCOMPARE(m_pRig->answerer.boxes.size(), 2);
    const CModalBoxAnswerer::SBox box = m_pRig->answerer.boxes[1];
    QCOMPARE(box.title, QStringLiteral("Calibrate SetUp"));
    QCOMPARE(box.text, QStringLiteral("Failed to write the calibration parameter file"));
    QCOMPARE(box.icon, QStringLiteral("Warning"));
    // No green path; the reason in the run log.
    QVERIFY(Edit("outCalParameterFilePath_lineEdit")->text().isEmpty());
    QVERIFY(!QFile::exists(path));
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter(path + " was not written: " + why).size(), 1);
}

// The values exported belong to the frame the operator chose to export: a
// frame that left, or was plugged again, while the file was chosen is not
// read for it, nor is the file written.
void TestCalibrateSetUpDialog::exportOfAFrameThatLeftDuringTheChoice_data()
{
    QTest::addColumn<bool>("back");
    QTest::newRow("pulled") << false;
    QTest::newRow("pulled and plugged again") << true;
}

void TestCalibrateSetUpDialog::exportOfAFrameThatLeftDuringTheChoice()
{
    QFETCH(bool, back);
    QVERIFY(m_pRig->PlugFrame());
    m_pRig->SetCached(100, 200, 3000, 4000);
    const QString path = m_pDir->filePath("out.ini");
    m_pRig->answerer.AnswerFile(path);
    bool bDuringChoice = false;
    m_pRig->answerer.OnShown([&](const CModalBoxAnswerer::SBox&) {
        // The file dialog is the first box.
        if (bDuringChoice)
            return;
        bDuringChoice = true;
        const quint64 nBefore = m_pRig->Work()->GetDeviceGeneration();
        m_pRig->Frame().usb->Unplug();
        QVERIFY(StationTest::WaitFor([this] { return !CCalFrameCheck::IsLiveApplicationFrame(m_pRig->Work()); }));
        if (back) {
            m_pRig->Frame().usb->Plug();
            QVERIFY(StationTest::WaitFor([&] {
                return CCalFrameCheck::IsLiveApplicationFrame(m_pRig->Work())
                       && m_pRig->Work()->GetDeviceGeneration() != nBefore;
            }));
        }
    });
    Click("outputCalparameter_Btn");

    QVERIFY(bDuringChoice);
    QCOMPARE(m_pRig->answerer.boxes.size(), 2);
    QCOMPARE(m_pRig->answerer.boxes[1].text, QStringLiteral("Failed to write the calibration parameter file"));
    QVERIFY(!QFile::exists(path));
    QVERIFY(Edit("outCalParameterFilePath_lineEdit")->text().isEmpty());
    const QString why = back ? "another frame arrived" : "the frame left";
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter(path + " was not written: " + why + " while the file was chosen").size(),
             1);
}

void TestCalibrateSetUpDialog::exportWithoutFrame()
{
    Click("outputCalparameter_Btn");
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QVERIFY(m_pRig->log.Contains("no frame is plugged; there is nothing to export"));
}

// An existing file chosen for the export is read before its four entries
// are replaced: one over the bound is neither read nor written.
void TestCalibrateSetUpDialog::exportOverAFileOverTheBound()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pRig->SetCached(100, 200, 3000, 4000);
    QByteArray content = "[Other]\n;";
    content += QByteArray(int(CalibrateSetUpDialog::kMaxParameterFileBytes - content.size()), 'x') + "\n";
    const QString path = WriteFile("large.ini", content);
    m_pRig->answerer.Answer("Yes");  // replace the file
    m_pRig->answerer.AnswerFile(path);
    Click("outputCalparameter_Btn");

    // The file dialog, its question whether to replace the file, the failure.
    QCOMPARE(m_pRig->answerer.boxes.size(), 3);
    QCOMPARE(m_pRig->answerer.boxes[2].text, QStringLiteral("Failed to write the calibration parameter file"));
    QVERIFY(Edit("outCalParameterFilePath_lineEdit")->text().isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
    const QStringList warnings = m_pRig->log.Lines(QtWarningMsg).filter(path + " was not written");
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(QStringLiteral("more than the %1 bytes")
                                           .arg(CalibrateSetUpDialog::kMaxParameterFileBytes)),
             qPrintable(warnings.first()));
}

// --- reading a file ---

void TestCalibrateSetUpDialog::readFile_data()
{
    QTest::addColumn<QString>("kind");  // "file", "folder", "missing"
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("problem");  // in the run log

    QTest::newRow("valid") << "file" << kValidFile << QStringList{"0x64", "0xc8", "0xbb8", "0xfa0"} << true << "";
    QTest::newRow("CR-LF lines") << "file" << QByteArray(kValidFile).replace("\n", "\r\n")
                                 << QStringList{"0x64", "0xc8", "0xbb8", "0xfa0"} << true << "";
    QTest::newRow("65535") << "file" << QByteArray("[CalibrateParameter]\nLX=65535\nLY=0\nRX=65535\nRY=0\n")
                           << QStringList{"0xffff", "0x0", "0xffff", "0x0"} << true << "";
    QTest::newRow("only LX=250") << "file" << QByteArray("[CalibrateParameter]\nLX=250\n")
                                 << QStringList{"0xfa", "0x0", "0x0", "0x0"} << false << "LY is missing";
    QTest::newRow("no group") << "file" << QByteArray("[Other]\nLX=1\nLY=2\nRX=3\nRY=4\n")
                              << QStringList{"0x0", "0x0", "0x0", "0x0"} << false << "LX is missing";
    QTest::newRow("-1") << "file" << QByteArray("[CalibrateParameter]\nLX=-1\nLY=2\nRX=3\nRY=4\n")
                        << QStringList{"0x-1", "0x2", "0x3", "0x4"} << false << "LX = -1 is outside 0..65535";
    QTest::newRow("0x10") << "file" << QByteArray("[CalibrateParameter]\nLX=1\nLY=0x10\nRX=3\nRY=4\n")
                          << QStringList{"0x1", "0x0", "0x3", "0x4"} << false
                          << "LY is no decimal integer: \"0x10\"";
    QTest::newRow("70000") << "file" << QByteArray("[CalibrateParameter]\nLX=1\nLY=2\nRX=70000\nRY=4\n")
                           << QStringList{"0x1", "0x2", "0x11170", "0x4"} << false
                           << "RX = 70000 is outside 0..65535";
    QTest::newRow("empty value") << "file" << QByteArray("[CalibrateParameter]\nLX=1\nLY=2\nRX=3\nRY=\n")
                                 << QStringList{"0x1", "0x2", "0x3", "0x0"} << false
                                 << "RY is no decimal integer: \"\"";
    QTest::newRow("empty file") << "file" << QByteArray() << QStringList{"0x0", "0x0", "0x0", "0x0"} << false
                                << "LX is missing";
    QByteArray binary;
    for (int i = 0; i < 512; ++i)
        binary.append(char((i * 37 + 11) & 0xFF));
    QTest::newRow("binary file") << "file" << binary << QStringList{"0x0", "0x0", "0x0", "0x0"} << false
                                 << "LX is missing";
    // Qt's file dialog gives neither: the reading itself handles them, the
    // dialog's answer is a cancel and nothing changes.
    // Looked at before it is read: no plain file is read at all.
    QTest::newRow("a folder") << "folder" << QByteArray() << QStringList{"0x0", "0x0", "0x0", "0x0"} << false
                              << "<path> is not a plain file";
    // A FIFO would hold its reader until someone writes into it.
    QTest::newRow("a FIFO") << "fifo" << QByteArray() << QStringList{"0x0", "0x0", "0x0", "0x0"} << false
                            << "<path> is not a plain file";
    QTest::newRow("a missing name") << "missing" << QByteArray() << QStringList{"0x0", "0x0", "0x0", "0x0"}
                                    << false << "LX is missing";
}

void TestCalibrateSetUpDialog::readFile()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, shown);
    QFETCH(bool, valid);
    QFETCH(QString, problem);

    const QString path = m_pDir->filePath("param.ini");
    if (kind == "file")
        WriteFile("param.ini", content);
    else if (kind == "folder")
        QVERIFY(QDir().mkpath(path));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

    const CalibrateSetUpDialog::SFileValues values = CalibrateSetUpDialog::ReadParameterFile(path);
    QCOMPARE(values.bValid, valid);
    QCOMPARE(values.problem, QString(problem).replace(QLatin1String("<path>"), path));
    const QStringList read{"0x" + QString::number(values.nLX, 16), "0x" + QString::number(values.nLY, 16),
                           "0x" + QString::number(values.nRX, 16), "0x" + QString::number(values.nRY, 16)};
    if (!read.join(' ').contains("ffffffff"))
        QCOMPARE(read, shown);
    // What Qt's file dialog makes of a FIFO is its own.
    if (kind == "fifo")
        return;

    m_pRig->answerer.OnShown([](const CModalBoxAnswerer::SBox& box) {
        if (box.text == QLatin1String("Invalid calibration parameter file") &&
            QTest::currentDataTag() == QLatin1String("0x10"))
            CalibrationTest::SaveScreenshot(QApplication::activeModalWidget(), "calibratesetup-invalid-file-box.png");
    });
    Read(path);
    if (kind != "file") {
        QVERIFY(!m_pRig->answerer.problems.isEmpty());
        QCOMPARE(Fields("fileCalParameter_"), (QStringList{"", "", "", ""}));
        QVERIFY(!Button("importCalParameter_Btn")->isEnabled());
        QVERIFY(!m_pRig->log.Contains("no calibration parameter file"));
        return;
    }
    QCOMPARE(Fields("fileCalParameter_"), shown);
    QCOMPARE(Button("importCalParameter_Btn")->isEnabled(), valid);
    QCOMPARE(Edit("calParameterFilePath_lineEdit")->text(), path);
    QCOMPARE(Edit("calParameterFilePath_lineEdit")->palette().color(QPalette::Text), QColor(Qt::green));
    QVERIFY(m_pRig->log.Contains("on_browseCalParameterFile_Btn_clicked : paramFilePath = " + path));
    QCOMPARE(m_pRig->answerer.boxes.size(), valid ? 1 : 2);
    if (!valid) {
        const CModalBoxAnswerer::SBox box = m_pRig->answerer.boxes[1];
        QCOMPARE(box.title, QStringLiteral("Import calibration parameters"));
        QCOMPARE(box.text, QStringLiteral("Invalid calibration parameter file"));
        QCOMPARE(box.icon, QStringLiteral("Warning"));
        QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter(path + " is no calibration parameter file: " + problem).size(),
                 1);
    }
    // The file is only read.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
    if (QTest::currentDataTag() == QLatin1String("0x10"))
        QVERIFY(CalibrationTest::SaveScreenshot(m_pDialog.get(), "calibratesetup-invalid-file.png"));
}

void TestCalibrateSetUpDialog::fileOverTheBoundIsNotRead_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("at the bound") << CalibrateSetUpDialog::kMaxParameterFileBytes;
    QTest::newRow("just over the bound") << CalibrateSetUpDialog::kMaxParameterFileBytes + 1;
}

// A file larger than any calibration parameter file (the four values, a
// comment padding it) is not read: a Warning names it and the bound, the
// operator gets the box of an invalid file, the fields show no values from
// it, and nothing can be imported.
void TestCalibrateSetUpDialog::fileOverTheBoundIsNotRead()
{
    QFETCH(qint64, size);
    QByteArray content = kValidFile + ";";
    content += QByteArray(int(size - content.size() - 1), 'x') + "\n";
    QCOMPARE(qint64(content.size()), size);
    const QString path = WriteFile("large.ini", content);

    // A valid file read first: its values do not stay beside the new path.
    Read(WriteFile("first.ini", "[CalibrateParameter]\nLX=1\nLY=2\nRX=3\nRY=4\n"));
    QCOMPARE(Fields("fileCalParameter_"), (QStringList{"0x1", "0x2", "0x3", "0x4"}));
    m_pRig->answerer.boxes.clear();
    m_pRig->log.Clear();
    m_pRig->answerer.OnShown([](const CModalBoxAnswerer::SBox& box) {
        if (box.text == QLatin1String("Invalid calibration parameter file"))
            CalibrationTest::SaveScreenshot(QApplication::activeModalWidget()->parentWidget(),
                                            "calibratesetup-file-over-the-bound.png");
    });
    Read(path);

    const bool bOver = size > CalibrateSetUpDialog::kMaxParameterFileBytes;
    const CalibrateSetUpDialog::SFileValues values = CalibrateSetUpDialog::ReadParameterFile(path);
    QCOMPARE(values.bValid, !bOver);
    QCOMPARE(Button("importCalParameter_Btn")->isEnabled(), !bOver);
    QCOMPARE(Edit("calParameterFilePath_lineEdit")->text(), path);
    const QStringList shown = bOver ? QStringList{"", "", "", ""} : QStringList{"0x64", "0xc8", "0xbb8", "0xfa0"};
    QCOMPARE(Fields("fileCalParameter_"), shown);
    const QStringList warnings = m_pRig->log.Lines(QtWarningMsg).filter(path);
    QCOMPARE(m_pRig->answerer.boxes.size(), bOver ? 2 : 1);
    if (bOver) {
        QCOMPARE(m_pRig->answerer.boxes[1].title, QStringLiteral("Import calibration parameters"));
        QCOMPARE(m_pRig->answerer.boxes[1].text, QStringLiteral("Invalid calibration parameter file"));
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(QStringLiteral("is %1 bytes, more than the %2 bytes")
                                               .arg(size)
                                               .arg(CalibrateSetUpDialog::kMaxParameterFileBytes)),
                 qPrintable(warnings.first()));
    } else {
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    }
}

void TestCalibrateSetUpDialog::cancelledReadKeepsTheValues()
{
    QVERIFY(m_pRig->PlugFrame());
    Read(WriteFile("param.ini", kValidFile));
    Read(QString());
    // The path field empties; the values and Import stay.
    QVERIFY(Edit("calParameterFilePath_lineEdit")->text().isEmpty());
    QCOMPARE(Fields("fileCalParameter_"), (QStringList{"0x64", "0xc8", "0xbb8", "0xfa0"}));
    QVERIFY(Button("importCalParameter_Btn")->isEnabled());
    // A later invalid file disables it.
    Read(WriteFile("bad.ini", "[CalibrateParameter]\nLX=1\n"));
    QVERIFY(!Button("importCalParameter_Btn")->isEnabled());
}

// --- import ---

void TestCalibrateSetUpDialog::import_data()
{
    QTest::addColumn<QString>("failing");  // a frame command that fails, or empty
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QList<int>>("flash");
    const QList<int> file{100, 200, 3000, 4000};
    QTest::newRow("stored") << "" << "Import successful" << file;
    QTest::newRow("send refused") << "A1 02" << "Import failed" << CalibrationTest::FactoryValues();
    QTest::newRow("format refused") << "30 02" << "Import failed" << CalibrationTest::FactoryValues();
    QTest::newRow("flash refused") << "A1 03" << "Import failed" << CalibrationTest::FactoryValues();
    // In flash, but not the frame's default.
    QTest::newRow("default refused") << "A1 05" << "Import failed" << file;
}

void TestCalibrateSetUpDialog::import()
{
    QFETCH(QString, failing);
    QFETCH(QString, answer);
    QFETCH(QList<int>, flash);

    QVERIFY(m_pRig->PlugFrame());
    m_pDialog->UpdateDevCalParameter();
    Read(WriteFile("param.ini", kValidFile));
    if (failing == "30 02") {
        m_pRig->Frame().frame.SetFault(0x30, 0x02, CEmulatedFrame::StatusReply(0x83));
    } else if (!failing.isEmpty()) {
        const QByteArray cmd = QByteArray::fromHex(failing.toLatin1());
        m_pRig->Frame().frame.SetFault(quint8(cmd[0]), quint8(cmd[1]),
                                       CEmulatedFrame::CustomReplies({QByteArray::fromHex("FCFE830000A212")}));
    }
    m_pRig->Forget();
    m_pRig->answerer.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.text.startsWith("Import"))
            QVERIFY(CalibrationTest::SaveScreenshot(QApplication::activeModalWidget(),
                                                   QStringLiteral("calibratesetup-%1.png")
                                                       .arg(box.text.toLower().replace(' ', '-'))));
    });
    Click("importCalParameter_Btn");
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->answerer.boxes.size() == 1; }));
    m_pRig->Settle();

    const CModalBoxAnswerer::SBox box = m_pRig->answerer.boxes[0];
    QCOMPARE(box.title, QStringLiteral("Import calibration parameters"));
    QCOMPARE(box.text, answer);
    QCOMPARE(box.icon, QStringLiteral("Warning"));
    QCOMPARE(box.buttons, QStringList{"OK"});
    QCOMPARE(m_pRig->FrameFlash(), flash);
    if (failing.isEmpty()) {
        QCOMPARE(m_pRig->Tasks(), QStringList{"SendFileCalibrateParameterToDev"});
        QCOMPARE(m_pRig->FrameValues(), (QList<int>{100, 200, 3000, 4000}));
        // The device fields show what the frame now holds.
        QCOMPARE(Fields("devCalParameter_"), (QStringList{"0x64", "0xc8", "0xbb8", "0xfa0"}));
    } else {
        // Not stored: the frame's values are read back, the fields keep the
        // values from before the import.
        QCOMPARE(m_pRig->Tasks(), (QStringList{"SendFileCalibrateParameterToDev", "InitDeviceCalData"}));
        QCOMPARE(m_pRig->Cached(), m_pRig->FrameValues());
        QCOMPARE(Fields("devCalParameter_"), (QStringList{"0x100", "0x200", "0x7e00", "0x7d00"}));
    }
    if (failing.isEmpty())
        QVERIFY(CalibrationTest::SaveScreenshot(m_pDialog.get(), "calibratesetup-device-and-file.png"));
}

void TestCalibrateSetUpDialog::importWhileDeviceBusy()
{
    QVERIFY(m_pRig->PlugFrame());
    Read(WriteFile("param.ini", kValidFile));
    m_pRig->Forget();
    {
        CMutexHolder holder(m_pRig->Work()->GetDeviceMutex());
        Click("importCalParameter_Btn");
        // Showing keeps the fields.
        m_pDialog->UpdateDevCalParameter();
    }
    m_pRig->Settle();
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QCOMPARE(m_pRig->answerer.boxes[0].text, QStringLiteral("Import failed"));
    // Nothing changed, nothing posted, not even the read-back.
    QVERIFY(m_pRig->Tasks().isEmpty());
    QCOMPARE(m_pRig->Cached(), CalibrationTest::FactoryValues());
    QCOMPARE(Fields("devCalParameter_"), (QStringList{"", "", "", ""}));
}

void TestCalibrateSetUpDialog::withoutFrameNothingHappens()
{
    Read(WriteFile("param.ini", kValidFile));
    m_pRig->Forget();
    m_pDialog->UpdateDevCalParameter();
    Click("importCalParameter_Btn");
    m_pRig->Settle();
    QCOMPARE(Fields("devCalParameter_"), (QStringList{"", "", "", ""}));
    QVERIFY(m_pRig->Tasks().isEmpty());
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
}

void TestCalibrateSetUpDialog::withReplayNothingHappens()
{
    // A frame with a panel, tested and filed; its log opened as the replay.
    m_pDialog.reset();
    m_pRig.reset();
    m_pRig = std::make_unique<CCalibrationScreenRig>(CCalibrationScreenRig::ELayer::Dispatcher,
                                                    CStationRig::SFrameOptions());
    m_pDialog = std::make_unique<CalibrateSetUpDialog>(nullptr, m_pRig->Work());
    m_pDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pDialog.get()));
    QVERIFY(m_pRig->PlugFrame());
    m_pDialog->UpdateDevCalParameter();
    QCOMPARE(Fields("devCalParameter_"), (QStringList{"0x100", "0x200", "0x7e00", "0x7d00"}));
    QVERIFY(m_pRig->rig.OpenReplay(m_pDir->filePath("run_PASS.xml")));
    m_pRig->Settle();
    m_pRig->Forget();

    Read(WriteFile("param.ini", kValidFile));
    m_pRig->Forget();
    m_pDialog->UpdateDevCalParameter();
    Click("importCalParameter_Btn");
    Click("outputCalparameter_Btn");
    m_pRig->Settle();
    QCOMPARE(Fields("devCalParameter_"), (QStringList{"0x100", "0x200", "0x7e00", "0x7d00"}));
    QVERIFY(m_pRig->Tasks().isEmpty());
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
}

STATION_TEST_MAIN(TestCalibrateSetUpDialog)
#include "tst_calibratesetupdialog.moc"
