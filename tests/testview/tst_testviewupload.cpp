// A live run of the signal-test view handed to the real upload: with
// "ServerInfo.ini" in the working folder the run gives one database row that
// names its saved log, and the log lands on the FTP server; a settings change
// and a replay of that log add nothing.

#include "modalboxanswerer.h"
#include "stationresources.h"
#include "testviewlogs.h"
#include "testviewstation.h"
#include "uploadservers.h"
#include "uploadtestdata.h"
#include "ftpclient.h"

#include <QDateTime>
#include <QDirIterator>
#include <QLabel>
#include <QtTest>

#include <memory>

using namespace UploadServers;
using namespace TestViewLogs;

class TestTestViewUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void liveRunIsOneRowAndFile();

private:
    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
};

void TestTestViewUpload::initTestCase()
{
    QString strError;
    QVERIFY2(LoadPostgres(&strError), qPrintable(strError));
    QVERIFY2(LoadFtp(&strError), qPrintable(strError));
    InitStationResources();
}

void TestTestViewUpload::init()
{
    Settings()->clear();
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    PrepareOperatorUpload();
}

void TestTestViewUpload::cleanup()
{
    // Drops the upload's instance: the next case reads its own file.
    CUploadTestData::SetServiceForTest(nullptr);
    m_pWorkDir.reset();
}

void TestTestViewUpload::liveRunIsOneRowAndFile()
{
    const QByteArray serial = "SN-" + QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    CTestViewStation station;
    station.AddFrame().frame.Edit([&serial](CEmulatedFrame::State& s) { s.info.batch = serial; });
    CModalBoxAnswerer boxes;
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;

    // One row, naming the log the run saved; that log on the server.
    QStringList logs;
    QDirIterator it(QStringLiteral("Data"), {QStringLiteral("*.xml")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        logs << QFileInfo(it.next()).absoluteFilePath();
    QCOMPARE(logs.size(), 1);
    const QString relative = logs[0].mid(QDir::currentPath().size());
    QVERIFY(relative.startsWith("/Data/"));
    const QList<QVariantList> rows = Rows(QString::fromLatin1(serial));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].at(10).toString(), QStringLiteral("PASS"));
    QCOMPARE(rows[0].at(11).toString(), relative);
    CUploadTestData* pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    QVERIFY(StationTest::WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }, 30000));
    QFile file(logs[0]);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(FtpFile(relative), file.readAll());

    // "Set...": the table again, no row.
    boxes.AnswerDialog(false);
    ViewAction(pView, "Set...")->trigger();
    station.rig.Settle();
    CStationRig::Flush();
    // The log replayed: no row either.
    boxes.AnswerFile(logs[0]);
    ViewAction(pView, "Open log file...")->trigger();
    QVERIFY(WaitForReplayOf(station.work, logs[0]));
    QVERIFY(StationTest::WaitFor([&] { return !pView->NoticeLabel()->isVisible(); }));
    station.rig.Settle();
    CStationRig::Flush();
    QCOMPARE(Rows(QString::fromLatin1(serial)).size(), 1);
    // No Retry or Cancel from the upload anywhere.
    for (const auto& box : qAsConst(boxes.boxes))
        QVERIFY2(box.kind != CModalBoxAnswerer::EKind::Message, qPrintable(box.text));
}

STATION_TEST_MAIN(TestTestViewUpload)
#include "tst_testviewupload.moc"
