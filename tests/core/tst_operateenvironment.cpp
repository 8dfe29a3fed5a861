#include "cqprocess.h"
#include "operateenvironment.h"
#include "runlogcapture.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QXmlStreamWriter>
#include <QtTest>
#include <memory>

namespace {

using Flags = QNetworkInterface::InterfaceFlags;
const Flags kUpRunning = Flags(QNetworkInterface::IsUp | QNetworkInterface::IsRunning);
const Flags kLoopback = kUpRunning | QNetworkInterface::IsLoopBack;

// A copy of /bin/sleep under the given name, running until the object goes.
class CNamedProcess
{
public:
    explicit CNamedProcess(const QString &name)
    {
        const QString path = m_dir.path() + "/" + name;
        if (!QFile::copy("/bin/sleep", path))
            return;
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        m_process.start(path, {"60"});
        m_process.waitForStarted(5000);
    }
    ~CNamedProcess() { Stop(); }
    bool Running() const { return m_process.state() == QProcess::Running; }
    void Stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000); // reaped: no zombie left in /proc
        }
    }

private:
    QTemporaryDir m_dir{QDir::tempPath() + "/station-proc-XXXXXX"};
    QProcess m_process;
};

QString AppInfoXml(const COperateEnvironment &env, bool *written)
{
    QString out;
    QXmlStreamWriter writer(&out);
    *written = env.WriteAppInfoXml(writer);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(COperateEnvironment::EnvironmentList)

class TestOperateEnvironment : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { COperateEnvironment::SetParameterTableHook(nullptr); }

    void buildList_data()
    {
        using L = COperateEnvironment::EnvironmentList;
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QList<int>>("flags");
        QTest::addColumn<QStringList>("macs");
        QTest::addColumn<L>("expected");
        const QPair<QString, QString> env{"Environment", "Debian GNU/Linux 12"};
        const QPair<QString, QString> ver{"App Version", "0.0.0.6"};

        QTest::newRow("loopback only")
            << QStringList{"127.0.0.1", "::1"}
            << QList<int>{int(kLoopback)} << QStringList{"00:00:00:00:00:00"} << L{env, ver};
        QTest::newRow("first qualifying address and interface")
            << QStringList{"127.0.0.1", "0.0.0.0",
                                   "fe80::1", "192.168.1.5",
                                   "10.0.0.1"}
            << QList<int>{int(kLoopback), int(QNetworkInterface::IsUp), int(kUpRunning), int(kUpRunning)}
            << QStringList{"00:00:00:00:00:00", "AA:AA:AA:AA:AA:AA", "11:22:33:44:55:66", "77:77:77:77:77:77"}
            << L{env, ver, {"IPAddr", "192.168.1.5"}, {"MacAddr", "11:22:33:44:55:66"}};
        QTest::newRow("no address, interface without hardware address skipped")
            << QStringList{"127.0.0.1"}
            << QList<int>{int(kUpRunning), int(kUpRunning)} << QStringList{"", "0A:0B:0C:0D:0E:0F"}
            << L{env, ver, {"MacAddr", "0A:0B:0C:0D:0E:0F"}};
        QTest::newRow("address, no interface up")
            << QStringList{"172.16.0.9"}
            << QList<int>{int(QNetworkInterface::IsRunning)} << QStringList{"11:22:33:44:55:66"}
            << L{env, ver, {"IPAddr", "172.16.0.9"}};
    }
    void buildList()
    {
        QFETCH(QStringList, addresses);
        QList<QHostAddress> hosts;
        for (const QString &a : addresses)
            hosts.append(QHostAddress(a));
        QFETCH(QList<int>, flags);
        QFETCH(QStringList, macs);
        QFETCH(COperateEnvironment::EnvironmentList, expected);
        QList<COperateEnvironment::SInterface> interfaces;
        for (int i = 0; i < flags.size(); ++i)
            interfaces.append({Flags(flags.at(i)), macs.at(i)});
        QCOMPARE(COperateEnvironment::BuildList("Debian GNU/Linux 12", hosts, interfaces), expected);
    }

    void collectOnThisStation()
    {
        COperateEnvironment env;
        QVERIFY(env.GetEnvironmentList()->isEmpty());
        QCOMPARE(env.CollectEnvironment(), 0);
        const auto list = *env.GetEnvironmentList();
        QVERIFY(list.size() >= 2 && list.size() <= 4);
        QCOMPARE(list.at(0), qMakePair(QString("Environment"), QSysInfo::prettyProductName()));
        QCOMPARE(list.at(1), qMakePair(QString("App Version"), QString("0.0.0.6")));
        for (int i = 2; i < list.size(); ++i) {
            if (list.at(i).first == "IPAddr")
                QVERIFY(!QHostAddress(list.at(i).second).isNull());
            else
                QVERIFY(QRegularExpression("^([0-9A-F]{2}:){5}[0-9A-F]{2}$").match(list.at(i).second).hasMatch());
        }
    }

    void appInfoXml()
    {
        COperateEnvironment env;
        bool written = true;
        QCOMPARE(AppInfoXml(env, &written), QString());
        QVERIFY(!written);

        *env.GetEnvironmentList() = {{"Environment", "Debian <12> & co"},
                                     {"App Version", "0.0.0.6"},
                                     {"MacAddr", "11:22:33:44:55:66"}};
        QCOMPARE(AppInfoXml(env, &written),
                 QString("<app_info>"
                         "<info ID=\"0\" name=\"Environment\">Debian &lt;12&gt; &amp; co</info>"
                         "<info ID=\"1\" name=\"App Version\">0.0.0.6</info>"
                         "<info ID=\"2\" name=\"MacAddr\">11:22:33:44:55:66</info>"
                         "</app_info>"));
        QVERIFY(written);
    }

    void processCheck_data()
    {
        const QString tag = QString::number(QRandomGenerator::global()->bounded(0x1000, 0xFFFF), 16);
        QTest::addColumn<QString>("runningName");
        QTest::addColumn<QString>("askedName");
        QTest::addColumn<bool>("found");
        QTest::newRow("same name") << "Kx" + tag + ".exe" << "Kx" + tag + ".exe" << true;
        QTest::newRow("native name without .exe") << "Kx" + tag << "Kx" + tag + ".exe" << true;
        QTest::newRow("other letter case") << "kx" + tag + ".exe" << "Kx" + tag + ".exe" << false;
        QTest::newRow("longer name") << "Kx" + tag + ".exe.old" << "Kx" + tag + ".exe" << false;
        QTest::newRow("name beyond 15 characters") << "Kx" + tag + "-LongDriverName.exe"
                                                   << "Kx" + tag + "-LongDriverName.exe" << true;
    }
    void processCheck()
    {
        QFETCH(QString, runningName);
        QFETCH(QString, askedName);
        QFETCH(bool, found);
        CNamedProcess running(runningName);
        QVERIFY(running.Running());
        CRunLogCapture log;
        CQProcess process;
        process.StartTaskList(askedName);
        QCOMPARE(process.CheckProcessRunning(askedName), found);
        QCOMPARE(log.Lines(), QStringList({"CheckProcessRunning :In", "CheckProcessRunning :Match End"}));
    }

    void processCheckWithoutListing()
    {
        CRunLogCapture log;
        CQProcess process;
        QVERIFY(!process.CheckProcessRunning("PanelHost.exe"));
        QCOMPARE(log.Lines(), QStringList({"CheckProcessRunning :In", "CheckProcessRunning :Time Out End"}));
    }

    // The record follows its driver program (named here with a random tag, so
    // that another copy of this test, or a real driver, on the host does not
    // count); the product looks for "PanelHost.exe".
    void refreshFollowsTheDriver()
    {
        QCOMPARE(COperateEnvironment::DriverExeName(), QStringLiteral("PanelHost.exe"));
        const QString tag = QString::number(QRandomGenerator::global()->bounded(0x1000, 0xFFFF), 16);
        COperateEnvironment env;
        env.SetDriverExeName("Ph" + tag + ".exe");
        QVERIFY(!env.IsDriverRunning());
        env.Refresh();
        QVERIFY(!env.IsDriverRunning());
        {
            CNamedProcess driver("Ph" + tag);
            QVERIFY(driver.Running());
            env.Refresh();
            QVERIFY(env.IsDriverRunning());
        }
        env.Refresh();
        QVERIFY(!env.IsDriverRunning());
    }

    void refreshLoadsTheTableFirst()
    {
        COperateEnvironment env;
        int calls = 0;
        int listSizeAtHook = -1;
        COperateEnvironment::SetParameterTableHook([&] {
            ++calls;
            listSizeAtHook = env.GetEnvironmentList()->size();
        });
        env.Refresh();
        QCOMPARE(calls, 1);
        QCOMPARE(listSizeAtHook, 0);
        QVERIFY(env.GetEnvironmentList()->size() >= 2);
        env.Refresh();
        QCOMPARE(calls, 2);

        COperateEnvironment::SetParameterTableHook(nullptr);
        env.Refresh(); // no hook installed: still refreshes
        QCOMPARE(calls, 2);
        QVERIFY(env.GetEnvironmentList()->size() >= 2);
    }
};

STATION_TEST_MAIN_CORE(TestOperateEnvironment)
#include "tst_operateenvironment.moc"
