#include "customersettings.h"
#include "firmwarechecksettings.h"
#include "settingsbatch.h"
#include "snchecksumsettings.h"
#include "testenvironment.h"
#include "vidpidsettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <sys/stat.h>

namespace {
QByteArray FileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Identity of the file as written last: every write of the store replaces the
// file (new inode) or at least its time stamp.
QByteArray FileStamp(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QByteArray("absent");
    return QByteArray::number(qulonglong(st.st_ino)) + ':' + QByteArray::number(qlonglong(st.st_mtim.tv_sec))
        + '.' + QByteArray::number(qlonglong(st.st_mtim.tv_nsec)) + ':' + QByteArray::number(qlonglong(st.st_size));
}

// A store of its own whose lock a test can hold.
class CProbeStore : public CLockedSettings
{
public:
    CProbeStore() : CLockedSettings(QStringLiteral("ProbeStore")) {}
    QMutex &Mutex() { return m_mutex; }
};
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The first use of a store happens on a worker thread that then ends:
        // the store still belongs to the application's thread, where the
        // settings library's own write-out requests are handled.
        QThread *first = QThread::create([] { CSNChecksumSettings::GetInstance()->SetValue("K", "V"); });
        first->start();
        QVERIFY(first->wait(10000));
        delete first;
        QCOMPARE(CSNChecksumSettings::GetInstance()->thread(), QCoreApplication::instance()->thread());
        QCOMPARE(CSNChecksumSettings::GetInstance()->ReadAll().value("K"), QString("V"));
    }

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

    // A call that changes nothing leaves the file alone; every real change
    // is on disk when the call returns.
    void onlyChangesReachTheFile_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("rewritten");
        QTest::addColumn<QString>("gridWidthAfter");
        QTest::newRow("same int") << 0 << false << "5";
        QTest::newRow("other int") << 1 << true << "6";
        // The file stores the number 5 and the text "5" alike.
        QTest::newRow("same number as text") << 2 << false << "5";
        QTest::newRow("default of a present key") << 3 << false << "5";
        QTest::newRow("default of an absent key") << 4 << true << "5";
        QTest::newRow("remove an absent key") << 5 << false << "5";
        QTest::newRow("remove a present key") << 6 << true << "";
        QTest::newRow("same table") << 7 << false << "5";
        QTest::newRow("table with another value") << 8 << true << "5";
    }
    void onlyChangesReachTheFile()
    {
        QFETCH(int, action);
        QFETCH(bool, rewritten);
        QFETCH(QString, gridWidthAfter);
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        CFirmwareCheckSettings *t = CFirmwareCheckSettings::GetInstance();
        s->SetInt("GridWidth", 5);
        t->WriteAll({{"KESTREL-A", "0x1234"}, {"KESTREL-B", "0xBEEF"}});
        const QString file = action >= 7 ? t->fileName() : s->fileName();
        const QByteArray before = FileStamp(file);
        QThread::msleep(2); // a rewrite within the same tick must still show
        switch (action) {
        case 0: s->SetInt("GridWidth", 5); break;
        case 1: s->SetInt("GridWidth", 6); break;
        case 2: s->SetString("GridWidth", "5"); break;
        case 3: QCOMPARE(s->GetInt("GridWidth", 20), 5); break;
        case 4: QCOMPARE(s->GetInt("LineWidth", 3), 3); break;
        case 5: s->remove("LineWidth"); break;
        case 6: s->remove("GridWidth"); break;
        case 7: t->WriteAll({{"KESTREL-B", "0xBEEF"}, {"KESTREL-A", "0x1234"}}); break;
        case 8: t->WriteAll({{"KESTREL-A", "0x1234"}, {"KESTREL-B", "0xBEEE"}}); break;
        }
        QCOMPARE(FileStamp(file) != before, rewritten);
        // What the store says is what the file says.
        QSettings disk(s->fileName(), QSettings::IniFormat);
        QCOMPARE(disk.value("GridWidth").toString(), gridWidthAfter);
        QCOMPARE(s->value("GridWidth").toString(), gridWidthAfter);
        if (action == 4)
            QVERIFY(FileText(s->fileName()).contains("LineWidth=3"));
        if (action == 8)
            QVERIFY(FileText(t->fileName()).contains("KESTREL-B=0xBEEE"));
    }

    // Another writer changed the file behind the store's back: writing the
    // value the store last saw is a change again.
    void fileChangedOutsideIsNotMistakenForUnchanged()
    {
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        s->SetInt("GridWidth", 5);
        QThread::msleep(2);
        {
            QFile f(s->fileName());
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("[General]\nGridWidth=77\nLineWidth=9\n");
        }
        s->SetInt("GridWidth", 5);
        const QByteArray text = FileText(s->fileName());
        QVERIFY2(text.contains("GridWidth=5"), text.constData());
        QVERIFY2(text.contains("LineWidth=9"), text.constData()); // the other writer's key stays
        QCOMPARE(s->GetInt("LineWidth", 3), 9);
    }

    // QSettings takes an empty key as "everything": no remove may empty a store.
    void emptyKeyRemovesNothing()
    {
        CVidPidSettings *v = CVidPidSettings::GetInstance();
        v->SetValue("0x0eef-0x0001");
        v->SetValue("0x1a2b-0xffff");
        QCOMPARE(v->RemoveKey(QString()), 0);
        QCOMPARE(v->GetAllKeys().size(), 2);
        CFirmwareCheckSettings *t = CFirmwareCheckSettings::GetInstance();
        t->WriteAll({{"KESTREL-A", "0x1234"}});
        QCOMPARE(t->RemoveKey(""), 0);
        QCOMPARE(t->ReadAll().size(), 1);
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        s->SetInt("GridWidth", 20);
        s->remove("");
        QVERIFY(s->contains("GridWidth"));
        QVERIFY(FileText(s->fileName()).contains("GridWidth=20"));
        // A key with slashes is a group: removing the group removes its keys.
        s->setValue("Port/Name", "ttyUSB0");
        s->remove("Port");
        QVERIFY(!s->contains("Port/Name"));
        QVERIFY(!FileText(s->fileName()).contains("ttyUSB0"));
    }

    void batchWritesOnceAtItsEnd()
    {
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        const QString file = s->fileName();
        {
            CSettingsBatch batch(s);
            QCOMPARE(s->GetString("Parity", "0"), QString("0"));
            {
                CSettingsBatch inner(s);
                s->SetInt("GridWidth", 8);
            }
            s->SetString("BaudRate", "9600");
            // Every thread sees the values at once...
            int fromOtherThread = 0;
            QThread *reader = QThread::create([&] { fromOtherThread = s->GetInt("GridWidth", 0); });
            reader->start();
            QVERIFY(reader->wait(10000));
            delete reader;
            QCOMPARE(fromOtherThread, 8);
            // ...but nothing went to disk yet, not even at the inner batch's end.
            const QByteArray text = FileText(file);
            QVERIFY2(!text.contains("Parity") && !text.contains("GridWidth") && !text.contains("BaudRate"),
                     text.constData());
        }
        const QByteArray text = FileText(file);
        QVERIFY2(text.contains("Parity=0") && text.contains("GridWidth=8") && text.contains("BaudRate=9600"),
                 text.constData());
    }

    void batchDoesNotHoldBackOtherThreads()
    {
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        CSettingsBatch batch(s);
        s->SetInt("GridWidth", 8);
        QThread *writer = QThread::create([s] { s->SetBool("ShowGrid", false); });
        writer->start();
        QVERIFY(writer->wait(10000));
        delete writer;
        // The other thread's write is on disk when its call returned.
        QVERIFY(FileText(s->fileName()).contains("ShowGrid=false"));
    }

    // The settings library writes pending changes out from an event of its
    // own; that runs under the store's lock like every other access.
    void deferredWriteOutTakesTheLock()
    {
        CProbeStore probe;
        std::atomic<bool> held{false};
        std::atomic<bool> released{false};
        QThread *holder = QThread::create([&] {
            QMutexLocker lock(&probe.Mutex());
            held = true;
            QThread::msleep(30);
            released = true;
        });
        holder->start();
        while (!held.load())
            QThread::yieldCurrentThread();
        QEvent update(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(&probe, &update);
        const bool waitedForTheLock = released.load();
        QVERIFY(holder->wait(10000));
        delete holder;
        QVERIFY(waitedForTheLock);
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
