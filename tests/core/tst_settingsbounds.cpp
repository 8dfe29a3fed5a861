// Settings files larger than the station reads: each store's file just over
// its bound, written before the store is first used. The file is not read
// and never rewritten, a Warning names it and the bound, the store runs on
// defaults kept in memory and every save says it was not stored.

#include "customersettings.h"
#include "firmwarechecksettings.h"
#include "runlogcapture.h"
#include "settingsbatch.h"
#include "snchecksumsettings.h"
#include "testenvironment.h"
#include "vidpidsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtTest>

#include <functional>

namespace {
QByteArray FileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A sound settings file of exactly nBytes: the lines given, then padding
// keys up to the size.
QByteArray SoundFile(const QByteArray &lines, qint64 nBytes)
{
    QByteArray text = "[General]\n" + lines;
    for (int i = 0; text.size() < nBytes; ++i) {
        QByteArray line = "Pad" + QByteArray::number(i) + "=";
        const qint64 room = nBytes - text.size() - line.size() - 1;
        if (room < 1) {
            // Too short for another key: lengthen the last one.
            text.insert(text.size() - 1, QByteArray(int(nBytes - text.size()), 'x'));
            break;
        }
        line += QByteArray(int(qMin<qint64>(room, 60)), 'x') + "\n";
        text += line;
    }
    return text;
}

bool WriteFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

QString StorePath(const QString &application)
{
    return CTestEnvironment::SettingsDir() + "/Velora/" + application + ".conf";
}

// A store of its own with the bounds of a case.
class CProbeStore : public CLockedSettings
{
public:
    CProbeStore(const QString &application, SBounds bounds) : CLockedSettings(application, bounds) {}
    using CLockedSettings::ValueOrStore;
};

// One store of the station: its file's name, bound, what it must not show
// from the file, and one save.
struct SStore
{
    const char *name;
    QString application;
    qint64 bound;
    std::function<CLockedSettings *()> store;
    std::function<bool()> showsNothingOfTheFile;
    std::function<bool()> save;
};

const QList<SStore> &Stores()
{
    static const QList<SStore> stores = {
        {"customer", CCustomerSettings::ApplicationName(), CLockedSettings::kDefaultMaxBytes,
         [] { return CCustomerSettings::GetInstance(); },
         [] { return CCustomerSettings::GetInstance()->GetInt("DefaultInterface", 0) == 0; },
         [] { return CCustomerSettings::GetInstance()->SetInt("DefaultInterface", 2); }},
        {"firmware check list", CFirmwareCheckSettings::ApplicationName(), CLockedSettings::kDefaultMaxBytes,
         [] { return CFirmwareCheckSettings::GetInstance(); },
         [] { return CFirmwareCheckSettings::GetInstance()->ReadAll().isEmpty(); },
         [] { return CFirmwareCheckSettings::GetInstance()->WriteAll({{"KESTREL-A", "0x1234"}}) == 0; }},
        {"serial-number check list", CSNChecksumSettings::ApplicationName(), CLockedSettings::kDefaultMaxBytes,
         [] { return CSNChecksumSettings::GetInstance(); },
         [] { return CSNChecksumSettings::GetInstance()->ReadAll().isEmpty(); },
         [] { return CSNChecksumSettings::GetInstance()->SetValue("SN01", "0xAAAA") == 0; }},
        {"vid/pid list", CVidPidSettings::ApplicationName(), CVidPidSettings::kMaxFileBytes,
         [] { return CVidPidSettings::GetInstance(); },
         [] { return CVidPidSettings::GetInstance()->GetAllKeys().isEmpty(); },
         [] { return CVidPidSettings::GetInstance()->SetValue("0x1234-0x5678") == 0; }},
    };
    return stores;
}
} // namespace

class TestSettingsBounds : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(CTestEnvironment::SettingsDir() + "/Velora"));
        for (const SStore &s : Stores()) {
            const QByteArray lines = s.application == CVidPidSettings::ApplicationName()
                ? QByteArray("0x0eef-0x0001=0x0eef-0x0001\n")
                : QByteArray("DefaultInterface=3\nKESTREL-A=0x1111\nSN01=0xBBBB\n");
            const QByteArray text = SoundFile(lines, s.bound + 1);
            QCOMPARE(qint64(text.size()), s.bound + 1);
            QVERIFY(WriteFile(StorePath(s.application), text));
            m_files.insert(s.application, text);
        }
        // The stores are made now, each reading its file for the first time.
        CRunLogCapture log;
        for (const SStore &s : Stores())
            QCOMPARE(s.store()->fileName(), StorePath(s.application));
        m_startWarnings = log.Lines(QtWarningMsg);
    }

    void storeOverItsBoundIsHeldBack_data()
    {
        QTest::addColumn<int>("store");
        for (int i = 0; i < Stores().size(); ++i)
            QTest::newRow(Stores().at(i).name) << i;
    }
    void storeOverItsBoundIsHeldBack()
    {
        QFETCH(int, store);
        const SStore &s = Stores().at(store);
        const QString path = StorePath(s.application);

        QStringList named;
        for (const QString &line : qAsConst(m_startWarnings)) {
            if (line.contains(path))
                named << line;
        }
        QVERIFY2(!named.isEmpty(), qPrintable(m_startWarnings.join('\n')));
        QVERIFY2(named.first().contains(QString::number(s.bound)), qPrintable(named.first()));

        QVERIFY(s.showsNothingOfTheFile());
        CRunLogCapture log;
        QVERIFY(!s.save());
        QCOMPARE(log.Count(path), 1);
        QVERIFY(s.showsNothingOfTheFile());
        // Nothing is written over it: not the save, not a default, not the
        // settings library's deferred write.
        QCoreApplication::processEvents();
        QCOMPARE(FileText(path), m_files.value(s.application));
    }

    // The defaults of absent keys are kept in memory, not written; reading
    // them is no save that failed.
    void defaultsAreKeptInMemory()
    {
        CCustomerSettings *pStore = CCustomerSettings::GetInstance();
        {
            CSettingsBatch batch(pStore);
            QCOMPARE(pStore->GetInt("GridWidth", 20), 20);
            QCOMPARE(pStore->GetBool("ShowGrid", false), false);
            QVERIFY(batch.Commit());
        }
        QCOMPARE(pStore->GetInt("GridWidth", 0), 20);
        QCOMPARE(pStore->GetBool("ShowGrid", true), false);
        QCOMPARE(FileText(pStore->fileName()), m_files.value(CCustomerSettings::ApplicationName()));
    }

    // A file at its bound is read; one byte or one key more is held back.
    void boundIsTheLargestFileRead_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<int>("keys");
        QTest::addColumn<bool>("read");
        const qint64 bound = CVidPidSettings::kMaxFileBytes;
        const int maxKeys = CVidPidSettings::kMaxPairs;
        QTest::newRow("at the size bound") << bound << 0 << true;
        QTest::newRow("a byte over the size bound") << bound + 1 << 0 << false;
        QTest::newRow("at the key bound") << qint64(0) << maxKeys << true;
        QTest::newRow("a key over the key bound") << qint64(0) << maxKeys + 1 << false;
    }
    void boundIsTheLargestFileRead()
    {
        QFETCH(qint64, bytes);
        QFETCH(int, keys);
        QFETCH(bool, read);
        const QString application = QStringLiteral("Bound-%1").arg(QTest::currentDataTag()).replace(' ', '-');
        QByteArray text;
        if (keys > 0) {
            text = "[General]\n";
            for (int i = 0; i < keys; ++i) {
                const QByteArray key = CVidPidSettings::MakeKey(quint16(i), 0x0001).toLatin1();
                text += key + "=" + key + "\n";
            }
        } else {
            text = SoundFile("Known=1\n", bytes);
        }
        QVERIFY(WriteFile(StorePath(application), text));
        CRunLogCapture log;
        CProbeStore store(application, {CVidPidSettings::kMaxFileBytes, CVidPidSettings::kMaxPairs});
        QCOMPARE(store.IsHeldBack(), !read);
        QCOMPARE(store.allKeys().isEmpty(), !read);
        QCOMPARE(log.Lines(QtWarningMsg).isEmpty(), read);
        // A change that keeps the size and the keys.
        QCOMPARE(keys > 0 ? store.setValue(CVidPidSettings::MakeKey(0, 1), CVidPidSettings::MakeKey(0, 2))
                          : store.setValue("Known", 2),
                 read);
        if (!read)
            QCOMPARE(FileText(StorePath(application)), text);
    }

private:
    QMap<QString, QByteArray> m_files;
    QStringList m_startWarnings;
};

STATION_TEST_MAIN_CORE(TestSettingsBounds)
#include "tst_settingsbounds.moc"
