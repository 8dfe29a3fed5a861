// The supported vendor/product list: built-in pairs, pairs stored in the
// settings store, wildcard product 0xFFFF, and the store kept in step.

#include "runlogcapture.h"
#include "settingsbatch.h"
#include "testenvironment.h"
#include "touchdevice.h"
#include "touchsdk.h"
#include "unwritablepath.h"
#include "vidpidsettings.h"

#include <QtTest>

Q_DECLARE_METATYPE(VidPid)

namespace {
QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestVidPidList : public QObject
{
    Q_OBJECT

private:
    static void ResetStore(const QStringList &keys)
    {
        CVidPidSettings *pStore = CVidPidSettings::GetInstance();
        {
            CSettingsBatch batch(pStore); // one write, however long the list was
            const QStringList old = pStore->GetAllKeys();
            for (const QString &key : old)
                pStore->RemoveKey(key);
            for (const QString &key : keys)
                pStore->setValue(key, key);
        }
        CTouchDevice::InitSupportedVidPidList();
    }

private slots:
    void builtinList()
    {
        ResetStore({});
        const QList<VidPid> expected = {
            {0x1FF7, 0x0001}, {0x1FF7, 0x0013}, {0x1FF7, 0xF0FE}, {0x2FE9, 0xFFFF},
            {0x0B8C, 0x5000}, {0x0B8C, 0x5002}, {0x0B8C, 0x5003}, {0x2757, 0xFFFF},
            {0x1870, 0x020A}, {0x04DD, 0x9E90}, {0x04DD, 0x9E91},
        };
        QCOMPARE(TouchSDK::GetBuiltinVidPidList(), expected);
        // Loading again (a second TouchSDK) does not duplicate it.
        TouchSDK sdk;
        QCOMPARE(TouchSDK::GetBuiltinVidPidList(), expected);
    }

    void supported_data()
    {
        QTest::addColumn<int>("vid");
        QTest::addColumn<int>("pid");
        QTest::addColumn<bool>("supported");
        QTest::newRow("exact built-in") << 0x1FF7 << 0x0001 << true;
        QTest::newRow("other product of a listed vendor") << 0x1FF7 << 0x0002 << false;
        QTest::newRow("wildcard vendor 2FE9") << 0x2FE9 << 0x1234 << true;
        QTest::newRow("wildcard vendor 2FE9, bootloader pid") << 0x2FE9 << 0xFF01 << true;
        QTest::newRow("wildcard vendor 2757") << 0x2757 << 0x0000 << true;
        QTest::newRow("unknown vendor") << 0x1234 << 0x0001 << false;
        QTest::newRow("stored pair") << 0x0EEF << 0x0001 << true;
        QTest::newRow("stored wildcard") << 0x0ABC << 0x7777 << true;
        QTest::newRow("stored vendor, other product") << 0x0EEF << 0x0002 << false;
    }
    void supported()
    {
        QFETCH(int, vid);
        QFETCH(int, pid);
        QFETCH(bool, supported);
        ResetStore({"0x0eef-0x0001", "0x0abc-0xffff"});
        QCOMPARE(CTouchDevice::IsSupportedVidPid(uint16_t(vid), uint16_t(pid)), supported);
    }

    void storedKeys_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QList<VidPid>>("pairs");
        QTest::newRow("one pair") << QStringList{"0x1234-0x5678"} << QList<VidPid>{{0x1234, 0x5678}};
        QTest::newRow("without 0x") << QStringList{"1234-abcd"} << QList<VidPid>{{0x1234, 0xABCD}};
        QTest::newRow("upper case") << QStringList{"0X0EEF-0XFFFF"} << QList<VidPid>{{0x0EEF, 0xFFFF}};
        QTest::newRow("no dash") << QStringList{"0x1234"} << QList<VidPid>{};
        QTest::newRow("two dashes") << QStringList{"a-b-c"} << QList<VidPid>{};
        QTest::newRow("empty part") << QStringList{"-0x1"} << QList<VidPid>{};
        QTest::newRow("not hex") << QStringList{"0xZZ-0x1"} << QList<VidPid>{};
        QTest::newRow("above 16 bits") << QStringList{"0x12345-0x1"} << QList<VidPid>{};
        QTest::newRow("bare 0x") << QStringList{"0x-0x1"} << QList<VidPid>{};
        QTest::newRow("same pair twice") << QStringList{"0x1234-0x0001", "1234-1"} << QList<VidPid>{{0x1234, 0x0001}};
    }
    void storedKeys()
    {
        QFETCH(QStringList, keys);
        QFETCH(QList<VidPid>, pairs);
        for (int i = 0; i < keys.size(); ++i) {
            VidPid pair{};
            if (!CTouchDevice::ParseVidPidKey(keys.at(i), &pair))
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ignored settings key"));
        }
        ResetStore(keys);
        QCOMPARE(TouchSDK::GetSettingsVidPidList(), pairs);
    }

    void savingWritesOnlyTheDifference()
    {
        ResetStore({"0x0eef-0x0001", "0x0abc-0xffff"});
        CVidPidSettings *pStore = CVidPidSettings::GetInstance();
        // Equal list: the store keeps exactly what it had, including a key
        // written by hand in another spelling.
        pStore->setValue("EEF-1", "EEF-1");
        QCOMPARE(TouchSDK::SetSettingsVidPidList({{0x0EEF, 0x0001}, {0x0ABC, 0xFFFF}}), 0);
        QStringList keys = pStore->GetAllKeys();
        keys.sort();
        QCOMPARE(keys, (QStringList{"0x0abc-0xffff", "0x0eef-0x0001", "EEF-1"}));

        QCOMPARE(TouchSDK::SetSettingsVidPidList({{0x0EEF, 0x0001}, {0x2222, 0x00AB}}), 0);
        keys = pStore->GetAllKeys();
        keys.sort();
        QCOMPARE(keys, (QStringList{"0x0eef-0x0001", "0x2222-0x00ab", "EEF-1"}));
        QCOMPARE(pStore->value("0x2222-0x00ab").toString(), QString("0x2222-0x00ab"));
        QVERIFY(CTouchDevice::IsSupportedVidPid(0x2222, 0x00AB));
        QVERIFY(!CTouchDevice::IsSupportedVidPid(0x0ABC, 0x0001));
        QCOMPARE(TouchSDK::GetSettingsVidPidList(), (QList<VidPid>{{0x0EEF, 0x0001}, {0x2222, 0x00AB}}));
    }

    // A store that cannot be written: the failure is told, and the list in
    // use is the stored one (as at the next start), not the one asked for.
    void unstoredListIsNotTakenIntoUse()
    {
        ResetStore({"0x0eef-0x0001"});
        CVidPidSettings *pStore = CVidPidSettings::GetInstance();
        CUnwritablePath unwritable(pStore->fileName());
        QVERIFY(unwritable.IsActive());
        QCOMPARE(TouchSDK::SetSettingsVidPidList({{0x3333, 0x0001}}), -1);
        QCOMPARE(pStore->GetAllKeys(), QStringList{"0x0eef-0x0001"});
        QCOMPARE(TouchSDK::GetSettingsVidPidList(), (QList<VidPid>{{0x0EEF, 0x0001}}));
        QVERIFY(CTouchDevice::IsSupportedVidPid(0x0EEF, 0x0001));
        QVERIFY(!CTouchDevice::IsSupportedVidPid(0x3333, 0x0001));
    }

    // The list holds at most 4,096 pairs: a list at the bound is stored and
    // used whole, a longer one is refused with nothing changed.
    void listIsBounded_data()
    {
        QTest::addColumn<int>("pairs");
        QTest::addColumn<bool>("stored");
        QTest::newRow("at the bound") << CVidPidSettings::kMaxPairs << true;
        QTest::newRow("one pair over") << CVidPidSettings::kMaxPairs + 1 << false;
    }
    void listIsBounded()
    {
        QFETCH(int, pairs);
        QFETCH(bool, stored);
        ResetStore({"0x0eef-0x0001"});
        CVidPidSettings *pStore = CVidPidSettings::GetInstance();
        const QByteArray fileBefore = ReadFile(pStore->fileName());
        QList<VidPid> list;
        for (int i = 0; i < pairs; ++i)
            list << VidPid{uint16_t(0x4000 + i / 16), uint16_t(i % 16)};
        // A pair given twice counts once.
        list << list.first();

        CRunLogCapture log;
        QCOMPARE(TouchSDK::SetSettingsVidPidList(list), stored ? 0 : -1);
        const VidPid last = list.at(pairs - 1);
        QCOMPARE(CTouchDevice::IsSupportedVidPid(last.vid, last.pid), stored);
        QCOMPARE(CTouchDevice::IsSupportedVidPid(0x0EEF, 0x0001), !stored);
        if (stored) {
            QCOMPARE(TouchSDK::GetSettingsVidPidList(), list.mid(0, pairs));
            QCOMPARE(pStore->GetAllKeys().size(), pairs);
            // Read again from the file, as at the next start.
            CTouchDevice::InitSupportedVidPidList();
            QCOMPARE(TouchSDK::GetSettingsVidPidList().size(), pairs);
        } else {
            QCOMPARE(TouchSDK::GetSettingsVidPidList(), (QList<VidPid>{{0x0EEF, 0x0001}}));
            QCOMPARE(ReadFile(pStore->fileName()), fileBefore);
            QCOMPARE(log.Lines(QtWarningMsg).size(), 1);
            QVERIFY2(log.Lines(QtWarningMsg).first().contains("4096"), qPrintable(log.Lines(QtWarningMsg).first()));
        }
    }
};

STATION_TEST_MAIN_CORE(TestVidPidList)
#include "tst_vidpidlist.moc"
