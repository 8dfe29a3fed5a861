// The firmware upgrade as the operator runs it: the real main window, its
// dispatcher and the upgrade view, an emulated frame behind the real USB port
// and device layer, and its bootloader taking the image record by record.
// The view's watchdog and the dispatcher's detect timer tick only when a test
// ticks them (upgradestation.h).

#include "runlogcapture.h"
#include "stationresources.h"
#include "upgradestation.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
const QString kBootLine = QStringLiteral("BootVersion:0x010203 BootCheckSum:0x77885566 ");

// Every row that carries the counts "(s,f)".
QStringList CountRows(const QStringList& rows)
{
    QStringList out;
    const QRegularExpression counts(QStringLiteral("\\(\\d+,\\d+\\)$"));
    for (const QString& row : rows) {
        if (counts.match(row).hasMatch())
            out << row;
    }
    return out;
}
} // namespace

Q_DECLARE_METATYPE(CEmulatedBootloader::Failure)

class TestUpgradeEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void wholeUpgrade();

private:
    std::unique_ptr<CUpgradeStation> m;
};

void TestUpgradeEndToEnd::initTestCase()
{
    InitStationResources();
}

void TestUpgradeEndToEnd::init()
{
    // 10 s reads become 200 ms: far above the emulated frame's answer time.
    CTestEnvironment::FastClock(0.02);
    CCustomerSettings::GetInstance()->clear();
    m = std::make_unique<CUpgradeStation>();
    QVERIFY(m->watchdog);
    QVERIFY(m->detect);
}

void TestUpgradeEndToEnd::cleanup()
{
    m.reset();
    CTestEnvironment::RealClock();
}

void TestUpgradeEndToEnd::wholeUpgrade()
{
    const QString image = m->WriteImage(40);
    m->boot->SetNewFirmware(0x7305, 0xBEEF);
    QVERIFY(m->Open());
    QVERIFY(m->PlugApplicationFrame());
    m->Screenshot("ready");
    qDebug() << m->Rows();

    const int nStart = m->Rows().size();
    QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
    QVERIFY(m->WaitForRow("Update completed(1,0)"));
    qDebug() << m->RowsFrom(nStart);
    m->Screenshot("completed");
}

STATION_TEST_MAIN(TestUpgradeEndToEnd)
#include "tst_upgradeendtoend.moc"
