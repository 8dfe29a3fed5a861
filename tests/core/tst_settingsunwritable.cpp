// Settings files the station cannot write (copied in by root, a read-only
// folder): every store tells the failure, in the run log and to its caller,
// and goes on showing what the file holds.

#include "customersettings.h"
#include "firmwarechecksettings.h"
#include "runlogcapture.h"
#include "settingsbatch.h"
#include "snchecksumsettings.h"
#include "testenvironment.h"
#include "unwritablepath.h"
#include "vidpidsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QtTest>

#include <functional>

namespace {
QByteArray FileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The store's content as it shows it: "key=value" lines in key order.
QString Content(CLockedSettings *pStore)
{
    QStringList lines;
    for (const QString &key : pStore->allKeys())
        lines << key + QLatin1Char('=') + pStore->value(key).toString();
    return lines.join(QLatin1Char('\n'));
}

// The file's content as a fresh reader of it sees it.
QString FileContent(const QString &path)
{
    QSettings reader(path + QStringLiteral(".copy"), QSettings::IniFormat);
    QFile::remove(reader.fileName());
    QFile::copy(path, reader.fileName());
    reader.sync();
    QStringList lines;
    for (const QString &key : reader.allKeys())
        lines << key + QLatin1Char('=') + reader.value(key).toString();
    QFile::remove(reader.fileName());
    return lines.join(QLatin1Char('\n'));
}

CCustomerSettings *Customer()
{
    return CCustomerSettings::GetInstance();
}

// One save of one store: what the file holds before it, and the save.
struct SSave
{
    const char *name;
    std::function<CLockedSettings *()> store;
    std::function<void()> prepare;
    std::function<bool()> save;
};

const QList<SSave> &Saves()
{
    static const QList<SSave> saves = {
        {"customer SetInt", Customer, [] { Customer()->SetInt("DefaultInterface", 0); },
         [] { return Customer()->SetInt("DefaultInterface", 2); }},
        {"customer SetBool of a new key", Customer, [] { Customer()->SetInt("DefaultInterface", 0); },
         [] { return Customer()->SetBool("SupportSNCheck", true); }},
        {"customer SetString", Customer, [] { Customer()->SetString("UpgradeFilePath", "/old/fw.bin"); },
         [] { return Customer()->SetString("UpgradeFilePath", "/new/fw.bin"); }},
        {"customer remove", Customer, [] { Customer()->SetString("UpgradeFilePath", "/old/fw.bin"); },
         [] { return Customer()->remove("UpgradeFilePath"); }},
        {"customer batch", Customer,
         [] {
             Customer()->SetInt("AutoUpgradeCount", 1);
             Customer()->SetInt("EnableAutoUpgrade", 0);
         },
         [] {
             CSettingsBatch batch(Customer());
             // Inside the batch the outcome is not known yet.
             const bool bInside = Customer()->SetInt("AutoUpgradeCount", 5)
                 && Customer()->SetInt("EnableAutoUpgrade", 1) && Customer()->SetInt("EnableContinuousUpgrade", 1);
             return bInside ? batch.Commit() : true;
         }},
        {"firmware SetValue", CFirmwareCheckSettings::GetInstance,
         [] { CFirmwareCheckSettings::GetInstance()->WriteAll({{"P1", "0x1111"}}); },
         [] { return CFirmwareCheckSettings::GetInstance()->SetValue("P1", "0x2222") == 0; }},
        {"firmware WriteAll", CFirmwareCheckSettings::GetInstance,
         [] { CFirmwareCheckSettings::GetInstance()->WriteAll({{"P1", "0x1111"}, {"P2", "0x2222"}}); },
         [] { return CFirmwareCheckSettings::GetInstance()->WriteAll({{"P3", "0x3333"}}) == 0; }},
        {"firmware RemoveKey", CFirmwareCheckSettings::GetInstance,
         [] { CFirmwareCheckSettings::GetInstance()->WriteAll({{"P1", "0x1111"}, {"P2", "0x2222"}}); },
         [] { return CFirmwareCheckSettings::GetInstance()->RemoveKey("P2") == 0; }},
        {"serial-number WriteAll", CSNChecksumSettings::GetInstance,
         [] { CSNChecksumSettings::GetInstance()->WriteAll({{"SN01", "0xAAAA"}}); },
         [] { return CSNChecksumSettings::GetInstance()->WriteAll({}) == 0; }},
        {"vid/pid SetValue", CVidPidSettings::GetInstance,
         [] { CVidPidSettings::GetInstance()->SetValue(CVidPidSettings::MakeKey(0x0eef, 0x0001)); },
         [] { return CVidPidSettings::GetInstance()->SetValue(CVidPidSettings::MakeKey(0x1234, 0x5678)) == 0; }},
        {"vid/pid RemoveKey", CVidPidSettings::GetInstance,
         [] { CVidPidSettings::GetInstance()->SetValue(CVidPidSettings::MakeKey(0x0eef, 0x0001)); },
         [] { return CVidPidSettings::GetInstance()->RemoveKey(CVidPidSettings::MakeKey(0x0eef, 0x0001)) == 0; }},
    };
    return saves;
}
} // namespace

class TestSettingsUnwritable : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        for (CLockedSettings *pStore : {static_cast<CLockedSettings *>(Customer()),
                                        static_cast<CLockedSettings *>(CFirmwareCheckSettings::GetInstance()),
                                        static_cast<CLockedSettings *>(CSNChecksumSettings::GetInstance()),
                                        static_cast<CLockedSettings *>(CVidPidSettings::GetInstance())})
            QVERIFY(pStore->clear());
    }

    void saveIsToldAndTakenBack_data()
    {
        QTest::addColumn<int>("save");
        QTest::addColumn<bool>("folder");
        for (int i = 0; i < Saves().size(); ++i)
            QTest::newRow(Saves().at(i).name) << i << false;
        // The file can be written, but not the folder where the settings
        // library makes its lock file and the new file.
        QTest::newRow("customer SetInt, read-only folder") << 0 << true;
        QTest::newRow("firmware WriteAll, read-only folder") << 6 << true;
    }

    void saveIsToldAndTakenBack()
    {
        QFETCH(int, save);
        QFETCH(bool, folder);
        const SSave &s = Saves().at(save);
        CLockedSettings *pStore = s.store();
        s.prepare();
        const QString path = pStore->fileName();
        const QByteArray fileBefore = FileText(path);
        const QString shownBefore = Content(pStore);
        QVERIFY(!fileBefore.isEmpty());
        QCOMPARE(FileContent(path), shownBefore);

        {
            CUnwritablePath unwritable(folder ? QFileInfo(path).absolutePath() : path);
            QVERIFY(unwritable.IsActive());
            CRunLogCapture log;
            QVERIFY(!s.save());

            const QStringList warnings = log.Lines(QtWarningMsg);
            QCOMPARE(warnings.size(), 1);
            QVERIFY2(warnings.first().contains(path), qPrintable(warnings.first()));
            QVERIFY2(warnings.first().contains("not stored"), qPrintable(warnings.first()));
            QVERIFY2(warnings.first().contains("Permission denied"), qPrintable(warnings.first()));
            // The store shows what the file holds, not what was asked.
            QCOMPARE(Content(pStore), shownBefore);
            QCOMPARE(FileText(path), fileBefore);
        }

        // Writable again: the same save is stored, and told so.
        QVERIFY(s.save());
        QVERIFY(Content(pStore) != shownBefore);
        QCOMPARE(FileContent(path), Content(pStore));
    }

    void defaultOfAReadIsUsedUnstored()
    {
        CCustomerSettings *pStore = Customer();
        pStore->SetInt("DefaultInterface", 1);
        const QString path = pStore->fileName();
        const QByteArray fileBefore = FileText(path);
        {
            CUnwritablePath unwritable(path);
            QVERIFY(unwritable.IsActive());
            CRunLogCapture log;
            QCOMPARE(pStore->GetInt("GridWidth", 20), 20);
            // The second reader gets the first one's default, and the failure
            // is not told again.
            QCOMPARE(pStore->GetInt("GridWidth", 0), 20);
            const QStringList warnings = log.Lines(QtWarningMsg);
            QCOMPARE(warnings.size(), 1);
            QVERIFY2(warnings.first().contains(path), qPrintable(warnings.first()));
            QCOMPARE(FileText(path), fileBefore);
        }
        // It reaches the file with the next write that succeeds.
        QVERIFY(pStore->SetInt("DefaultInterface", 2));
        QVERIFY(FileText(path).contains("GridWidth=20"));
    }

    // A value written over the text the file holds for it is compared as the
    // file would store it: the same text is no change, touches no file, and
    // on a file the station cannot write says nothing.
    void sameTextAsTheFileHoldsIsNoChange_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<bool>("changed");
        QTest::newRow("bool true over true") << QByteArray("true") << QVariant(true) << false;
        QTest::newRow("bool false over false") << QByteArray("false") << QVariant(false) << false;
        QTest::newRow("int over its digits") << QByteArray("5") << QVariant(5) << false;
        QTest::newRow("text over the same text") << QByteArray("abc") << QVariant("abc") << false;
        QTest::newRow("bool true over 1") << QByteArray("1") << QVariant(true) << true;
        QTest::newRow("int over a leading zero") << QByteArray("05") << QVariant(5) << true;
        QTest::newRow("text over other text") << QByteArray("abc") << QVariant("abd") << true;
    }
    void sameTextAsTheFileHoldsIsNoChange()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QVariant, written);
        QFETCH(bool, changed);
        CCustomerSettings *pStore = Customer();
        const QString path = pStore->fileName();
        const QByteArray text = "[General]\nShowGrid=" + stored + "\n";
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(f.write(text), qint64(text.size()));
        }
        CUnwritablePath unwritable(path);
        QVERIFY(unwritable.IsActive());
        CRunLogCapture log;
        QCOMPARE(pStore->setValue("ShowGrid", written), !changed);
        QCOMPARE(log.Lines(QtWarningMsg).size(), changed ? 1 : 0);
        QCOMPARE(FileText(path), text);
    }

    // A save the file did not take leaves nothing to be written later: the
    // next save writes its own key over what the file holds then, whoever
    // writes next (this store, another QSettings of the process on the same
    // file, the settings library's deferred write).
    void takenBackChangeIsNotWrittenLater()
    {
        CCustomerSettings *pStore = Customer();
        QVERIFY(pStore->SetInt("DefaultInterface", 0));
        const QString path = pStore->fileName();
        {
            CUnwritablePath unwritable(path);
            QVERIFY(unwritable.IsActive());
            CRunLogCapture log;
            QVERIFY(!pStore->SetInt("DefaultInterface", 2));
            QVERIFY(!pStore->SetString("UpgradeFilePath", "/new/fw.bin"));
        }
        // Set by hand while the station runs.
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("[General]\nDefaultInterface=3\n");
        }
        const QByteArray byHand = FileText(path);
        QCoreApplication::processEvents();
        {
            QSettings other(path, QSettings::NativeFormat);
            other.sync();
        }
        QCOMPARE(FileText(path), byHand);

        QVERIFY(pStore->SetBool("DefaultJumpToDraw", true));
        QCOMPARE(FileContent(path), QString("DefaultInterface=3\nDefaultJumpToDraw=true"));
        QCOMPARE(pStore->GetInt("DefaultInterface", 0), 3);
    }
};

STATION_TEST_MAIN_CORE(TestSettingsUnwritable)
#include "tst_settingsunwritable.moc"
