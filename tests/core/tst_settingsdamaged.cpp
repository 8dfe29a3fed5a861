#include "customersettings.h"
#include "firmwarechecksettings.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "unwritablepath.h"
#include "vidpidsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

namespace {
QByteArray FileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A store of its own, made when a case wants it.
class CProbeStore : public CLockedSettings
{
public:
    explicit CProbeStore(const QString &application) : CLockedSettings(application) {}
    using CLockedSettings::ValueOrStore;
};
} // namespace

// Damaged settings files, written before the stores are first used.
class TestSettingsDamaged : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString dir = CTestEnvironment::SettingsDir() + "/Velora";
        QVERIFY(QDir().mkpath(dir));
        QByteArray &garbage = m_garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 37 + 11) % 256));
        garbage.append("\n[General\nGridWidth=\"abc\nDefaultTouchEnable=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5QFoo)\n"
                       "LineWidth=@ByteArray(\n@Variant(\\xff\\xff\\xff\\xff)=\n");
        for (const char *name : {"KESTREL-CUSTOMER .conf", "FirmwareCheck.conf"}) {
            QFile f(dir + "/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        // A folder where the file should be: it cannot be read at all.
        QVERIFY(QDir().mkpath(dir + "/VID_PID_SUPPORT.conf"));
    }

    void garbageGivesDefaults()
    {
        CCustomerSettings *s = CCustomerSettings::GetInstance();
        QCOMPARE(s->GetInt("GridWidth", 20), 20);
        QCOMPARE(s->GetInt("LineWidth", 3), 3);
        QCOMPARE(s->GetBool("DefaultTouchEnable", true), true);
        QCOMPARE(s->GetString("BaudRate", "115200"), QString("115200"));
        // The store keeps working and the next read sees the value.
        s->SetInt("DefaultInterface", 3);
        QCOMPARE(s->GetInt("DefaultInterface", 0), 3);
        QCOMPARE(s->GetInt("GridWidth", 0), 20);
        // The damaged file is kept aside whole, the store file is sound again.
        QVERIFY(QFile::exists(s->fileName() + ".damaged"));
        QCOMPARE(FileText(s->fileName() + ".damaged"), m_garbage);
        QSettings reread(s->fileName(), QSettings::IniFormat);
        QCOMPARE(reread.status(), QSettings::NoError);
        QCOMPARE(reread.value("DefaultInterface").toInt(), 3);
    }

    void garbageTableStaysUsable()
    {
        CFirmwareCheckSettings *t = CFirmwareCheckSettings::GetInstance();
        QVERIFY(t->ReadAll().isEmpty());
        QCOMPARE(t->WriteAll({{"KESTREL-A", "0x1234"}}), 0);
        QCOMPARE(t->ReadAll(), (QMap<QString, QString>{{"KESTREL-A", "0x1234"}}));
    }

    void unreadableStoreIsEmpty()
    {
        CVidPidSettings *v = CVidPidSettings::GetInstance();
        QVERIFY(v->GetAllKeys().isEmpty());
        // It cannot reach the disk: told, no crash, and the store stays as
        // the (absent) file has it.
        QCOMPARE(v->SetValue("0x0eef-0x0001"), -1);
        QVERIFY(v->GetAllKeys().isEmpty());
    }

    // A damaged file whose copy cannot be made (its folder takes no new
    // file) stays as it is: no copy is claimed, the defaults are used from
    // memory, and nothing replaces the file for the rest of the run, even
    // once the folder could take it.
    void damagedFileWithoutItsCopyIsLeftAsItIs()
    {
        const QString dir = CTestEnvironment::SettingsDir() + "/Velora";
        const QString path = dir + "/DamagedUncopied.conf";
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(m_garbage);
        }
        std::unique_ptr<CProbeStore> store;
        CRunLogCapture log;
        {
            CUnwritablePath folder(dir);
            QVERIFY(folder.IsActive());
            store = std::make_unique<CProbeStore>("DamagedUncopied");
            QCOMPARE(store->ValueOrStore("GridWidth", 20).toInt(), 20);
            QVERIFY(!store->setValue("DefaultInterface", 3));
        }
        const QStringList warnings = log.Lines(QtWarningMsg);
        QVERIFY(!warnings.isEmpty());
        QVERIFY2(warnings.first().contains(path) && warnings.first().contains("damaged"),
                 qPrintable(warnings.first()));
        QVERIFY2(!warnings.first().contains("kept as"), qPrintable(warnings.first()));
        QVERIFY(!QFile::exists(path + ".damaged"));

        // The folder takes files again: still nothing is written over it.
        QVERIFY(!store->setValue("DefaultInterface", 3));
        QCOMPARE(store->ValueOrStore("LineWidth", 3).toInt(), 3);
        QCoreApplication::processEvents();
        QCOMPARE(FileText(path), m_garbage);
        QVERIFY(!QFile::exists(path + ".damaged"));
        QCOMPARE(store->value("GridWidth").toInt(), 20);
        QVERIFY(!store->contains("DefaultInterface"));
    }

private:
    QByteArray m_garbage;
};

STATION_TEST_MAIN_CORE(TestSettingsDamaged)
#include "tst_settingsdamaged.moc"
