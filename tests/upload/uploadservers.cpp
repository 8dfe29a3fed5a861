#include "uploadservers.h"

#include "sqldatabase.h"
#include "uploadtestdata.h"
#include "waitfor.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QUuid>
#include <QtDebug>

#include <atomic>
#include <thread>

namespace UploadServers {

namespace {

QHash<QString, QString> g_values;
const char *const kVerifyConnection = "upload_verify";
constexpr int kScriptTimeoutMs = 90000;

QString StateFolder()
{
    return QString::fromLocal8Bit(qgetenv("UPLOAD_SERVERS"));
}

bool ReadEnv(const QString &strFile, QString *pError)
{
    QFile file(strFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *pError = QStringLiteral("no server description %1 (did the fixture start?)").arg(strFile);
        return false;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const int nEq = line.indexOf('=');
        if (nEq > 0)
            g_values.insert(QString::fromUtf8(line.left(nEq)), QString::fromUtf8(line.mid(nEq + 1)));
    }
    return true;
}

bool RunScript(const char *szScript, const char *szCommand, const char *szSub)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setWorkingDirectory(StateFolder());
    // A server this test starts ends with it, also when it crashes.
    process.start(QStringLiteral("bash"), {QStringLiteral(UPLOAD_TEST_SOURCE_DIR "/") + QLatin1String(szScript),
                                            QLatin1String(szCommand),
                                            StateFolder() + QLatin1Char('/') + QLatin1String(szSub),
                                            QString::number(QCoreApplication::applicationPid())});
    if (!process.waitForFinished(kScriptTimeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QSqlDatabase Verify()
{
    QSqlDatabase db;
    if (QSqlDatabase::contains(QLatin1String(kVerifyConnection))) {
        db = QSqlDatabase::database(QLatin1String(kVerifyConnection), false);
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QLatin1String(kVerifyConnection));
        SetUpQpsql(db);
    }
    // The server may have been restarted since the last check.
    bool bAlive = false;
    if (db.isOpen()) {
        QSqlQuery query(db);
        bAlive = query.exec(QStringLiteral("select 1"));
    }
    if (!bAlive) {
        db.close();
        db.open();
    }
    return db;
}

} // namespace

// The test server's database as the station's role, through QPSQL.
void SetUpQpsql(QSqlDatabase &db)
{
    db.setHostName(QStringLiteral("127.0.0.1"));
    db.setPort(Value("PGPORT").toInt());
    db.setDatabaseName(Value("PGDATABASE"));
    db.setUserName(Value("PG_USER"));
    db.setPassword(Value("PG_PASSWORD"));
    db.setConnectOptions(CSqlDatabase::LoginTimeoutOption(QStringLiteral("QPSQL")));
}

bool LoadPostgres(QString *pError)
{
    if (!ReadEnv(StateFolder() + QStringLiteral("/pg/pg.env"), pError))
        return false;
    // A test that ended while it had the server stopped leaves it stopped.
    if (!ResumePostgres()) {
        *pError = QStringLiteral("the PostgreSQL server does not start again");
        return false;
    }
    qputenv("PGPORT", Value("PGPORT").toUtf8());
    qputenv("ODBCSYSINI", Value("ODBCSYSINI").toUtf8());
    // Nothing may log in for the station behind its back.
    for (const char *szName : {"PGPASSWORD", "PGUSER", "PGHOST", "PGDATABASE", "PGSERVICE", "PGPASSFILE"})
        qunsetenv(szName);
    return true;
}

bool LoadFtp(QString *pError)
{
    if (!ReadEnv(StateFolder() + QStringLiteral("/ftp/ftp.env"), pError))
        return false;
    SetFtpSwitch(QString());
    if (!ResumeFtp()) {
        *pError = QStringLiteral("the FTP server does not start again");
        return false;
    }
    return true;
}

QString Value(const char *szKey)
{
    return g_values.value(QLatin1String(szKey));
}

bool PausePostgres()
{
    return RunScript("pgserver.sh", "pause", "pg");
}

bool ResumePostgres()
{
    return RunScript("pgserver.sh", "resume", "pg");
}

bool PauseFtp()
{
    return RunScript("ftpserver.sh", "pause", "ftp");
}

bool ResumeFtp()
{
    return RunScript("ftpserver.sh", "resume", "ftp");
}

bool OpenQpsqlDefault(QString *pError)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"));
    SetUpQpsql(db);
    if (db.open())
        return true;
    *pError = db.lastError().text();
    return false;
}

void RemoveDefault()
{
    {
        QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
        db.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
}

namespace {

QList<QVariantList> RowsWhere(const QString &strCondition, const QVariant &value)
{
    QList<QVariantList> rows;
    QSqlQuery query(Verify());
    query.prepare(QStringLiteral(
        "select to_char(test_datetime, 'YYYY-MM-DD HH24:MI:SS'), device_mcuid, device_product, device_checksum, "
        "device_batch, device_sn, test_appinfo, test_hostos, test_hostip, test_hostmac, test_result, test_logurl "
        "from touchtestrecord where ") + strCondition);
    query.addBindValue(value);
    if (!query.exec())
        return rows;
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < 12; ++i)
            row << query.value(i);
        rows << row;
    }
    return rows;
}

} // namespace

bool RunAsOwner(const QString &strStatement)
{
    QSqlQuery query(Verify());
    if (query.exec(strStatement))
        return true;
    qWarning() << "As the owner:" << strStatement << ":" << query.lastError().text();
    return false;
}

const char *const kTestRegisteredType = "POSTGRESQL (registered by the test)";

namespace {

// The cluster's superuser, on a connection of its own.
QSqlDatabase Superuser()
{
    const QString strName = QStringLiteral("upload_superuser");
    QSqlDatabase db = QSqlDatabase::contains(strName) ? QSqlDatabase::database(strName, false)
                                                      : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), strName);
    if (!db.isOpen()) {
        // pgserver.sh keeps the superuser's password beside the cluster.
        QFile dataDir(StateFolder() + QStringLiteral("/pg/datadir"));
        QFile password;
        if (dataDir.open(QIODevice::ReadOnly))
            password.setFileName(QString::fromUtf8(dataDir.readAll()).trimmed() + QStringLiteral("/superpw"));
        SetUpQpsql(db);
        db.setUserName(QStringLiteral("postgres"));
        if (password.open(QIODevice::ReadOnly))
            db.setPassword(QString::fromUtf8(password.readAll()).trimmed());
        db.open();
    }
    return db;
}

} // namespace

bool RunAsSuperuser(const QString &strStatement)
{
    QSqlQuery query(Superuser());
    if (query.exec(strStatement))
        return true;
    qWarning() << "As the superuser:" << strStatement << ":" << query.lastError().text();
    return false;
}

CServerWithoutWord::CServerWithoutWord(bool bWithout)
    : m_bWithout(bWithout)
{
    if (m_bWithout)
        bOk = RunAsSuperuser(QStringLiteral("revoke execute on function txid_status(bigint) from public"));
}

CServerWithoutWord::~CServerWithoutWord()
{
    Restore();
}

bool CServerWithoutWord::Restore()
{
    if (!m_bWithout)
        return true;
    m_bWithout = false;
    return RunAsSuperuser(QStringLiteral("grant execute on function txid_status(bigint) to public"));
}

int CommitsWaitingForStandby(const QString &strRole)
{
    // Another role's wait shows to the superuser only.
    QSqlQuery query(Superuser());
    query.prepare(QStringLiteral("select count(*) from pg_stat_activity where wait_event = 'SyncRep' and usename = ?"));
    query.addBindValue(strRole);
    if (!query.exec() || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool SetStandbyAway(bool bAway)
{
    const QString strDatabase = QStringLiteral("\"%1\"").arg(Value("PGDATABASE"));
    if (!bAway) {
        return RunAsSuperuser(QStringLiteral("alter system reset synchronous_standby_names"))
               && RunAsSuperuser(QStringLiteral("select pg_reload_conf()"))
               && RunAsOwner(QStringLiteral("alter database %1 reset synchronous_commit").arg(strDatabase))
               && StationTest::WaitFor([] { return CommitsWaitingForStandby(Value("PG_USER")) == 0
                                                   && CommitsWaitingForStandby(Value("PG_OP_USER")) == 0; },
                                       30000);
    }
    // The server runs with synchronous_commit off; the test database's
    // sessions turn it on.
    if (!RunAsOwner(QStringLiteral("alter database %1 set synchronous_commit = on").arg(strDatabase))
        || !RunAsSuperuser(QStringLiteral("alter system set synchronous_standby_names = 'nosuchstandby'"))
        || !RunAsSuperuser(QStringLiteral("select pg_reload_conf()")))
        return false;
    // The setting reaches the server's processes a little after the reload:
    // a probe's commit, tried until one waits, is then cancelled (it stays
    // committed; it wrote nothing).
    bool bWaits = false;
    for (int nTry = 0; nTry < 100 && !bWaits; ++nTry) {
        std::atomic<bool> bDone{false};
        // A connection belongs to the thread that made it.
        std::thread commit([nTry, &bDone] {
            const QString strProbe = QStringLiteral("upload_standby_probe_%1").arg(nTry);
            {
                QSqlDatabase probe = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), strProbe);
                SetUpQpsql(probe);
                probe.setConnectOptions(probe.connectOptions() + QStringLiteral(";application_name=standby_probe"));
                if (probe.open() && probe.transaction()) {
                    QSqlQuery query(probe);
                    // A commit waits only for a transaction that wrote.
                    query.exec(QStringLiteral("create temp table standby_probe (x int) on commit drop"));
                    probe.commit();
                }
                probe.close();
            }
            QSqlDatabase::removeDatabase(strProbe);
            bDone = true;
        });
        // Its commit waits, or ends at once while the setting is not there yet.
        StationTest::WaitFor([&bDone] { return bDone || CommitsWaitingForStandby(Value("PG_USER")) > 0; }, 30000);
        bWaits = !bDone;
        // Cancelled, the wait ends (the probe wrote nothing).
        StationTest::WaitFor(
            [&bDone] {
                RunAsOwner(QStringLiteral("select pg_cancel_backend(pid) from pg_stat_activity where "
                                          "application_name = 'standby_probe' and wait_event = 'SyncRep'"));
                return bDone.load();
            },
            30000);
        commit.join();
    }
    return bWaits;
}

CUploadTestData *StartUpload(const QString &strDriver, int nPort, bool bOperator)
{
    SServerInfo info = SServerInfo::Default();
    info.dbPort = QString::number(nPort);
    if (bOperator) {
        info.dbUser = Value("PG_OP_USER");
        info.dbPassword = Value("PG_OP_PASSWORD");
    }
    qputenv("PGPORT", QByteArray::number(nPort));
    if (strDriver == QLatin1String("QPSQL")) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"));
        SetUpQpsql(db);
        db.setPort(nPort);
        db.setUserName(info.dbUser);
        db.setPassword(info.dbPassword);
        if (!db.open())
            qWarning() << "QPSQL:" << db.lastError().text();
        info.dbType = QLatin1String(kTestRegisteredType);
    }
    WriteServerInfo(info, QDir::currentPath());
    return CUploadTestData::GetInstance();
}

int Sessions(const QString &strRole)
{
    QSqlQuery query(Verify());
    query.prepare(QStringLiteral("select count(*) from pg_stat_activity where usename = ?"));
    query.addBindValue(strRole);
    if (!query.exec() || !query.next())
        return -1;
    return query.value(0).toInt();
}

int SessionsWithPid(qint64 nPid)
{
    QSqlQuery query(Verify());
    query.prepare(QStringLiteral("select count(*) from pg_stat_activity where pid = ?"));
    query.addBindValue(nPid);
    if (!query.exec() || !query.next())
        return -1;
    return query.value(0).toInt();
}

QList<QVariantList> Rows(const QString &strSN)
{
    return RowsWhere(QStringLiteral("device_sn = ?"), strSN);
}

QList<QVariantList> RowsAt(const QDateTime &dateTime)
{
    return RowsWhere(QStringLiteral("test_datetime = to_timestamp(?, 'YYYY-MM-DD HH24:MI:SS')"),
                     dateTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

int RowCount()
{
    QSqlQuery query(Verify());
    if (!query.exec(QStringLiteral("select count(*) from touchtestrecord")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

namespace {

QStringList ReadLines(const char *szKey)
{
    QFile file(Value(szKey));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

} // namespace

QStringList FtpCommands()
{
    return ReadLines("FTP_COMMAND_LOG");
}

QStringList FtpTransfers()
{
    return ReadLines("FTP_TRANSFER_LOG");
}

void ClearFtpCommands()
{
    for (const char *szKey : {"FTP_COMMAND_LOG", "FTP_TRANSFER_LOG"}) {
        QFile file(Value(szKey));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
}

void SetFtpSwitch(const QString &strSwitch)
{
    QFile file(Value("FTP_SWITCH"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(strSwitch.toUtf8());
}

QByteArray FtpFile(const QString &strRelativePath, bool *pExists)
{
    QFile file(Value("FTP_ROOT") + strRelativePath);
    const bool bOpen = file.open(QIODevice::ReadOnly);
    if (pExists)
        *pExists = bOpen;
    return bOpen ? file.readAll() : QByteArray();
}

namespace {

QStringList FilesBelowRoot(const QStringList &nameFilters)
{
    const QString strRoot = Value("FTP_ROOT");
    QStringList found;
    QDirIterator it(strRoot, nameFilters, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next().mid(strRoot.size());
    found.sort();
    return found;
}

} // namespace

QStringList FtpPartFiles()
{
    return FilesBelowRoot({QStringLiteral("*.part")});
}

QStringList FtpFiles()
{
    return FilesBelowRoot({});
}

bool MakeFtpFolder(const QString &strRelativePath)
{
    return QDir().mkpath(Value("FTP_ROOT") + strRelativePath);
}

void ClearFtpRoot()
{
    QDir root(Value("FTP_ROOT"));
    const QFileInfoList entries = root.entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
}

SServerInfo SServerInfo::Default()
{
    SServerInfo info;
    info.ftpUrl = QStringLiteral("127.0.0.1");
    info.ftpPort = Value("FTP_PORT");
    info.ftpUser = Value("FTP_USER");
    info.ftpPassword = Value("FTP_PASSWORD");
    info.dbServer = QStringLiteral("127.0.0.1");
    info.dbPort = Value("PGPORT");
    info.dbType = QStringLiteral("SQL SERVER");
    info.dbName = Value("PGDATABASE");
    info.dbUser = Value("PG_USER");
    info.dbPassword = Value("PG_PASSWORD");
    return info;
}

void WriteServerInfo(const SServerInfo &info, const QString &strFolder)
{
    const QString strFile = strFolder + QStringLiteral("/ServerInfo.ini");
    QFile::remove(strFile);
    QSettings settings(strFile, QSettings::IniFormat);
    auto put = [&settings](const char *szKey, const QString &strValue) {
        if (!strValue.isNull())
            settings.setValue(QLatin1String(szKey), strValue);
    };
    put("FtpServer/Url", info.ftpUrl);
    put("FtpServer/PortNo", info.ftpPort);
    put("FtpServer/User", info.ftpUser);
    put("FtpServer/Password", info.ftpPassword);
    put("Database/Server", info.dbServer);
    put("Database/PortNo", info.dbPort);
    put("Database/Type", info.dbType);
    put("Database/Name", info.dbName);
    put("Database/User", info.dbUser);
    put("Database/Password", info.dbPassword);
    settings.sync();
}

bool WriteFile(const QString &strFolder, const QString &strRelativePath, const QByteArray &content)
{
    const QString strPath = strFolder + strRelativePath;
    QDir().mkpath(QFileInfo(strPath).absolutePath());
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

CTestRecord RunRecord(const QString &strResult)
{
    const QString strSN = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const CTestRecord record = RunRecordOf(strSN, strResult);
    WriteFile(QDir::currentPath(), record.GetLogUrl(), strSN.toUtf8());
    return record;
}

CTestRecord RunRecordOf(const QString &strSN, const QString &strResult)
{
    const QString strLog = QStringLiteral("/Data/X1/1A2B/%1_%2.xml").arg(strSN, strResult);
    CTestRecord record;
    record.SetDateTime(QDateTime::currentDateTime());
    record.SetMcuId(QStringLiteral("0x1234"));
    record.SetProduct(QStringLiteral("X1"));
    record.SetCheckSum(QStringLiteral("1A2B"));
    record.SetSN(strSN);
    record.SetResult(strResult);
    record.SetLogUrl(strLog);
    return record;
}

void PrepareOperatorUpload()
{
    ClearFtpRoot();
    ClearFtpCommands();
    SServerInfo info = SServerInfo::Default();
    info.dbUser = Value("PG_OP_USER");
    info.dbPassword = Value("PG_OP_PASSWORD");
    WriteServerInfo(info, QDir::currentPath());
}

} // namespace UploadServers
