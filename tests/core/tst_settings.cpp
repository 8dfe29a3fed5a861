#include "customersettings.h"
#include "firmwarechecksettings.h"
#include "snchecksumsettings.h"
#include "testenvironment.h"
#include "vidpidsettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QtTest>

namespace {
QByteArray FileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        CCustomerSettings::GetInstance()->clear();
        CFirmwareCheckSettings::GetInstance()->clear();
        CSNChecksumSettings::GetInstance()->clear();
        CVidPidSettings::GetInstance()->clear();
    }

    void storeNames()
    {
        const QString base = CTestEnvironment::SettingsDir() + "/Velora/";
        QCOMPARE(CCustomerSettings::GetInstance()->fileName(), base + "KESTREL-CUSTOMER .conf");
        QCOMPARE(CFirmwareCheckSettings::GetInstance()->fileName(), base + "FirmwareCheck.conf");
        QCOMPARE(CSNChecksumSettings::GetInstance()->fileName(), base + "SNChecksumCheck.conf");
        QCOMPARE(CVidPidSettings::GetInstance()->fileName(), base + "VID_PID_SUPPORT.conf");
        QCOMPARE(CCustomerSettings::GetInstance(), CCustomerSettings::GetInstance());
    }

    void trailingBlankIsPartOfTheName()
    {
        CCustomerSettings::GetInstance()->SetInt("DefaultInterface", 2);
        QSettings withoutBlank("Velora", "KESTREL-CUSTOMER");
        QVERIFY(!withoutBlank.contains("DefaultInterface"));
        QSettings withBlank("Velora", "KESTREL-CUSTOMER ");
        QCOMPARE(withBlank.value("DefaultInterface").toInt(), 2);
    }

    void firstReadStoresItsDefault()
    {
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        QVERIFY(!s->contains("GridWidth"));
        QCOMPARE(s->GetInt("GridWidth", 20), 20);
        QVERIFY(s->contains("GridWidth"));
        QCOMPARE(s->GetInt("GridWidth", 0), 20);

        QCOMPARE(s->GetBool("SupportSNCheck", true), true);
        QCOMPARE(s->GetBool("SupportSNCheck", false), true);
        QCOMPARE(s->GetString("SNTEMPLATE", "*"), QString("*"));
        QCOMPARE(s->GetString("SNTEMPLATE", "other"), QString("*"));
        QCOMPARE(s->GetString("PortName", ""), QString(""));
        QVERIFY(s->contains("PortName"));

        // Written through to the file, not only kept in memory.
        const QByteArray text = FileText(s->fileName());
        QVERIFY2(text.contains("GridWidth=20"), text.constData());
        QVERIFY2(text.contains("SupportSNCheck=true"), text.constData());
        QVERIFY2(text.contains("SNTEMPLATE=*"), text.constData());
    }

    void settersOverwrite()
    {
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        s->SetBool("DefaultJumpToDraw", false);
        s->SetInt("AutoUpgradeCount", 7);
        s->SetString("UpgradeFilePath", "/data/fw.bin");
        QCOMPARE(s->GetBool("DefaultJumpToDraw", true), false);
        QCOMPARE(s->GetInt("AutoUpgradeCount", 1), 7);
        QCOMPARE(s->GetString("UpgradeFilePath", ""), QString("/data/fw.bin"));
        s->remove("UpgradeFilePath");
        QVERIFY(!s->contains("UpgradeFilePath"));
        QVERIFY(!FileText(s->fileName()).contains("UpgradeFilePath"));
    }

    void storedValueConversion_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("asBool");
        QTest::addColumn<int>("asInt");
        QTest::newRow("text abc") << QVariant("abc") << false << 0;
        QTest::newRow("text true") << QVariant("true") << true << 0;
        QTest::newRow("text false") << QVariant("false") << false << 0;
        QTest::newRow("text 1") << QVariant("1") << true << 1;
        QTest::newRow("text 0") << QVariant("0") << false << 0;
        QTest::newRow("text 12") << QVariant("12") << true << 12;
        QTest::newRow("text 12abc") << QVariant("12abc") << false << 0;
        QTest::newRow("empty text") << QVariant("") << false << 0;
        QTest::newRow("bool true") << QVariant(true) << true << 1;
        QTest::newRow("int 5") << QVariant(5) << true << 5;
    }
    void storedValueConversion()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, asBool);
        QFETCH(int, asInt);
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        s->setValue("Probe", stored);
        QCOMPARE(s->GetBool("Probe", !asBool), asBool);
        QCOMPARE(s->GetInt("Probe", asInt + 1), asInt);
    }

    void tableWriteAllReplacesEverything_data()
    {
        QTest::addColumn<QString>("store");
        QTest::newRow("FirmwareCheck") << "FirmwareCheck";
        QTest::newRow("SNChecksumCheck") << "SNChecksumCheck";
    }
    void tableWriteAllReplacesEverything()
    {
        QFETCH(QString, store);
        CTextTableSettings *t = store == "FirmwareCheck"
            ? static_cast<CTextTableSettings *>(CFirmwareCheckSettings::GetInstance())
            : static_cast<CTextTableSettings *>(CSNChecksumSettings::GetInstance());
        QVERIFY(t->ReadAll().isEmpty());

        t->SetValue("OLD-PRODUCT", "0xAAAA");
        t->setValue("Number", 5);
        QCOMPARE(t->ReadAll().value("Number"), QString("5"));

        const QMap<QString, QString> table{{"KESTREL-A", "0x1234"}, {"KESTREL-B", "0xBEEF"}};
        QCOMPARE(t->WriteAll(table), 0);
        QCOMPARE(t->ReadAll(), table);
        const QByteArray text = FileText(t->fileName());
        QVERIFY(!text.contains("OLD-PRODUCT"));
        QVERIFY(text.contains("KESTREL-B=0xBEEF"));

        QCOMPARE(t->RemoveKey("KESTREL-A"), 0);
        QCOMPARE(t->ReadAll().keys(), QStringList{"KESTREL-B"});

        QCOMPARE(t->WriteAll({}), 0);
        QVERIFY(t->ReadAll().isEmpty());
    }

    void vidPidKeys()
    {
        CVidPidSettings *v = CVidPidSettings::GetInstance();
        QVERIFY(v->GetAllKeys().isEmpty());
        QCOMPARE(CVidPidSettings::MakeKey(0x0EEF, 0x0001), QString("0x0eef-0x0001"));
        QCOMPARE(CVidPidSettings::MakeKey(0xABCD, 0xFFFF), QString("0xabcd-0xffff"));

        QCOMPARE(v->SetValue(CVidPidSettings::MakeKey(0x0EEF, 0x0001)), 0);
        QCOMPARE(v->SetValue("0x1a2b-0xffff"), 0);
        QCOMPARE(v->GetAllKeys(), QStringList({"0x0eef-0x0001", "0x1a2b-0xffff"}));
        QCOMPARE(v->value("0x1a2b-0xffff").toString(), QString("0x1a2b-0xffff"));
        QCOMPARE(v->RemoveKey("0x0eef-0x0001"), 0);
        QCOMPARE(v->GetAllKeys(), QStringList{"0x1a2b-0xffff"});
    }

    void usableFromSeveralThreads()
    {
        constexpr int kRounds = 100;
        auto customer = [](int id) {
            return QThread::create([id] {
                CCustomerSettings *s = CCustomerSettings::GetInstance();
                const QString key = QString("Thread%1").arg(id);
                // Every write reaches the disk (fsync): mostly reads here.
                for (int i = 0; i < kRounds; ++i) {
                    if (i % 10 == 9)
                        s->SetInt(key, i);
                    s->GetBool("Shared", true);
                    s->contains("GridWidth");
                    s->GetInt(key, 0);
                }
            });
        };
        QList<QThread *> threads{customer(1), customer(2)};
        threads << QThread::create([] {
            for (int i = 0; i < kRounds; ++i) {
                if (i % 10 == 9)
                    CFirmwareCheckSettings::GetInstance()->WriteAll({{"P", QString::number(i)}});
                CFirmwareCheckSettings::GetInstance()->ReadAll();
            }
        });
        for (QThread *t : threads)
            t->start();
        for (QThread *t : threads) {
            QVERIFY(t->wait(30000));
            delete t;
        }
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        QCOMPARE(s->GetInt("Thread1", -1), kRounds - 1);
        QCOMPARE(s->GetInt("Thread2", -1), kRounds - 1);
        QCOMPARE(CFirmwareCheckSettings::GetInstance()->ReadAll(),
                 (QMap<QString, QString>{{"P", QString::number(kRounds - 1)}}));
    }
};

STATION_TEST_MAIN_CORE(TestSettings)
#include "tst_settings.moc"
