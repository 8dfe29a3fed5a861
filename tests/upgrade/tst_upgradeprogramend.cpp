// The station ended by a signal (as a session end does) while the upgrade
// view downloads an image to the emulated frame: the station leaves in order
// and the upgrade log's last line says that the upgrade was cut by the
// program's end, with the counts as they stand. The station runs as a child
// process (upgradestationchild.cpp).

#include "stationprocess.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestUpgradeProgramEnd : public QObject
{
    Q_OBJECT

private slots:
    void endDuringADownload();
};

void TestUpgradeProgramEnd::endDuringADownload()
{
    QTemporaryDir runtime;
    QTemporaryDir config;
    QTemporaryDir programDir;
    QVERIFY(runtime.isValid() && config.isValid() && programDir.isValid());
    CStationProcess station(runtime.path(), config.path(), 1.0, QStringLiteral("C.UTF-8"),
                            {QStringLiteral("STATION_CHILD_UPGRADE_DIR=") + programDir.path()});
    station.Start(QStringLiteral(STATION_UPGRADE_CHILD));
    QVERIFY2(station.WaitForLog(QStringLiteral("upgrade child: the download waits for the answer to record")),
             qPrintable(station.Log().right(3000)));
    QVERIFY(station.Terminate());

    const QDir logDir(programDir.filePath(QStringLiteral("UpgradeLog")));
    const QStringList files = logDir.entryList({QStringLiteral("*-CVUpgrade.txt")}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QFile file(logDir.filePath(files.first()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    // The download had begun; nothing ended it but the program's end.
    QVERIFY2(lines.filter(QStringLiteral(" Start the upgrade")).size() == 1, qPrintable(lines.join('\n')));
    QVERIFY2(lines.last().endsWith(QStringLiteral(" The upgrade was cut by the end of the program(0,0)")),
             qPrintable(lines.join('\n')));
    QCOMPARE(lines.filter(QStringLiteral("(0,")).size(), 1);
    // The run log says it too, and that the worker stopped in order.
    QVERIFY(station.Log().contains(QStringLiteral("the program ends during an upgrade")));
    QVERIFY(station.Log().contains(QStringLiteral("StopWorker : the worker thread has stopped.")));
}

STATION_TEST_MAIN(TestUpgradeProgramEnd)
#include "tst_upgradeprogramend.moc"
