// What the emulated frame keeps of a long run: the station's demonstration
// frame answers a whole shift of commands and upgrades, so the reports it was
// sent and the firmware records it took are kept only as the recent ones,
// while the count of reports goes on.

#include "emulatedbootloader.h"
#include "emulatedfirmwarerecords.h"
#include "emulatedframe.h"
#include "testenvironment.h"

#include <QtTest>

namespace {
// A device-information query (FC A9 01) carrying a running number in bytes
// 5..8, so that each report can be told from the others.
QByteArray NumberedQuery(int n)
{
    QByteArray r(64, '\0');
    r[0] = char(0xFC);
    r[1] = char(0xA9);
    r[2] = char(0x01);
    r[5] = char(n & 0xFF);
    r[6] = char((n >> 8) & 0xFF);
    r[7] = char((n >> 16) & 0xFF);
    return r;
}

int NumberOf(const QByteArray& r)
{
    return quint8(r.at(5)) | (quint8(r.at(6)) << 8) | (quint8(r.at(7)) << 16);
}
} // namespace

class TestEmulatedFrameKeeps : public QObject
{
    Q_OBJECT

private slots:
    void requestsKeepTheRecentOnes()
    {
        CEmulatedFrame frame;
        const int nSent = CEmulatedFrame::MAX_KEPT_REQUESTS * 3 + 17;
        for (int i = 0; i < nSent; ++i)
            frame.OnOutput(NumberedQuery(i));

        const QList<QByteArray> kept = frame.Requests();
        QCOMPARE(kept.size(), CEmulatedFrame::MAX_KEPT_REQUESTS);
        QCOMPARE(NumberOf(kept.first()), nSent - CEmulatedFrame::MAX_KEPT_REQUESTS);
        QCOMPARE(NumberOf(kept.last()), nSent - 1);
        QCOMPARE(frame.RequestsFor(0xA9, 0x01).size(), CEmulatedFrame::MAX_KEPT_REQUESTS);
        // The count is of every report, so "nothing more was sent" still shows.
        QCOMPARE(frame.RequestCount(), nSent);
        frame.ClearRequests();
        QCOMPARE(frame.RequestCount(), 0);
        QVERIFY(frame.Requests().isEmpty());
    }

    // The firmware records, taken by the frame's own bootloader model and by
    // the scripted bootloader, several whole images one after the other.
    void bootRecordsKeepTheRecentOnes_data()
    {
        QTest::addColumn<bool>("scripted");
        QTest::newRow("frame's own bootloader") << false;
        QTest::newRow("scripted bootloader") << true;
    }

    void bootRecordsKeepTheRecentOnes()
    {
        QFETCH(bool, scripted);
        CEmulatedFrame frame;
        std::unique_ptr<CEmulatedBootloader> pBoot;
        const int nImage = CEmulatedFrame::MAX_KEPT_BOOT_RECORDS + 40;
        const QByteArray image = EmulatedFirmware::Records(nImage, 13);
        if (scripted) {
            pBoot = std::make_unique<CEmulatedBootloader>(&frame);
            pBoot->SetTakesEveryDownload(true);
            pBoot->SetReturnsToApplication(false);
            pBoot->ExpectImage(image);
        }
        frame.SetMode(CEmulatedFrame::Mode::Bootloader);
        for (int nDownload = 0; nDownload < 3; ++nDownload) {
            if (scripted) {
                QByteArray query(64, '\0');
                query[0] = char(0xFE);
                query[1] = char(0x03);
                frame.OnOutput(query);  // a download begins
            }
            for (int i = 0; i < nImage; ++i)
                frame.OnOutput(image.mid(i * 64, 64));
        }
        const CEmulatedFrame::State s = frame.Snapshot();
        QCOMPARE(s.boot.records.size(), CEmulatedFrame::MAX_KEPT_BOOT_RECORDS);
        QCOMPARE(s.boot.records.last(), image.right(64));
        if (scripted) {
            QVERIFY2(pBoot->Problems().isEmpty(), qPrintable(pBoot->Problems().join('\n')));
            QVERIFY(pBoot->IsComplete());
        }
    }
};

STATION_TEST_MAIN_CORE(TestEmulatedFrameKeeps)
#include "tst_emulatedframekeeps.moc"
