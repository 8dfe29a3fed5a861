// The database connection and the insert of a test record, against a real
// PostgreSQL server on 127.0.0.1 (pgserver.sh): through QODBC as the station
// does ("SQL SERVER", psqlODBC) and through QPSQL. Rows are read back on a
// connection of the test's own.

#include "runlogcapture.h"
#include "sqldatabase.h"
#include "testenvironment.h"
#include "testrecord.h"
#include "uploadservers.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QSqlError>
#include <QTcpServer>
#include <QUuid>
#include <QtTest>

#include <memory>

using namespace UploadServers;

namespace {

// The station's connection, as CUploadTestData makes it, or a QPSQL one.
std::unique_ptr<CSqlDatabase> Connect(const QString &strDriver, bool bOpRole = false)
{
    if (strDriver == QLatin1String("QPSQL")) {
        QString strError;
        if (!OpenQpsqlDefault(&strError))
            qWarning() << "QPSQL:" << strError;
        return nullptr;
    }
    return std::make_unique<CSqlDatabase>(QStringLiteral("127.0.0.1"), Value("PGPORT").toInt(),
                                          QStringLiteral("SQL SERVER"), Value("PGDATABASE"),
                                          Value(bOpRole ? "PG_OP_USER" : "PG_USER"),
                                          Value(bOpRole ? "PG_OP_PASSWORD" : "PG_PASSWORD"));
}

CTestRecord FullRecord(const QString &strSN)
{
    CTestRecord record;
    record.SetDateTime(QDateTime(QDate(2026, 3, 3), QTime(14, 5, 0)));
    record.SetMcuId(QStringLiteral("mcu"));
    record.SetProduct(QStringLiteral("product"));
    record.SetCheckSum(QStringLiteral("checksum"));
    record.SetBatch(QStringLiteral("batch"));
    record.SetSN(strSN);
    record.SetAppInfo(QStringLiteral("app"));
    record.SetHostOS(QStringLiteral("os"));
    record.SetHostIp(QStringLiteral("ip"));
    record.SetHostMac(QStringLiteral("mac"));
    record.SetResult(QStringLiteral("result"));
    record.SetLogUrl(QStringLiteral("/Data/X1/1A2B/log.xml"));
    return record;
}

QString UniqueSN()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

class TestSqlDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void odbcConnectionText_data();
    void odbcConnectionText();
    void odbcLogsInWithTheText_data();
    void odbcLogsInWithTheText();
    void typeIsComparedExactly_data();
    void typeIsComparedExactly();
    void wrongPasswordLogsOpenFailed();
    void silentServerEndsTheOpen_data();
    void silentServerEndsTheOpen();

    void insertKeepsEveryField_data();
    void insertKeepsEveryField();
    void emptyTextsAreStoredEmpty_data();
    void emptyTextsAreStoredEmpty();
    void hostileValuesAreStoredAsGiven_data();
    void hostileValuesAreStoredAsGiven();
    void tableNameMustBeAPlainIdentifier_data();
    void tableNameMustBeAPlainIdentifier();
};

void TestSqlDatabase::initTestCase()
{
    QString strError;
    QVERIFY2(LoadPostgres(&strError), qPrintable(strError));
}

void TestSqlDatabase::cleanup()
{
    RemoveDefault();
}

void TestSqlDatabase::odbcConnectionText_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain values") << "db1" << "lines" << "op" << "secret"
                                  << "DRIVER={SQL SERVER};SERVER=db1;DATABASE=lines;uid=op;pwd=secret;";
    QTest::newRow("empty password") << "db1" << "lines" << "op" << ""
                                    << "DRIVER={SQL SERVER};SERVER=db1;DATABASE=lines;uid=op;pwd=;";
    QTest::newRow("braced password") << "db1" << "lines" << "op" << "a;b}c{d"
                                     << "DRIVER={SQL SERVER};SERVER=db1;DATABASE=lines;uid=op;pwd={a;b}}c{d};";
    QTest::newRow("attribute smuggled in the user")
        << "db1" << "lines" << "op;DATABASE=other" << "x"
        << "DRIVER={SQL SERVER};SERVER=db1;DATABASE=lines;uid={op;DATABASE=other};pwd=x;";
    QTest::newRow("closing brace alone") << "db1" << "lines" << "op" << "}"
                                         << "DRIVER={SQL SERVER};SERVER=db1;DATABASE=lines;uid=op;pwd={}}};";
    QTest::newRow("markers in values stay") << "%2" << "%3" << "%4" << "%1"
                                            << "DRIVER={SQL SERVER};SERVER=%2;DATABASE=%3;uid=%4;pwd=%1;";
}

void TestSqlDatabase::odbcConnectionText()
{
    QFETCH(QString, server);
    QFETCH(QString, name);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, text);
    QCOMPARE(CSqlDatabase::OdbcConnectionText(server, name, user, password), text);
}

void TestSqlDatabase::odbcLogsInWithTheText_data()
{
    QTest::addColumn<bool>("opRole");
    QTest::newRow("plain password") << false;
    QTest::newRow("password with ; } = {") << true;
}

void TestSqlDatabase::odbcLogsInWithTheText()
{
    QFETCH(bool, opRole);
    const QString strPassword = Value(opRole ? "PG_OP_PASSWORD" : "PG_PASSWORD");
    CRunLogCapture log;
    auto db = Connect(QStringLiteral("QODBC"), opRole);

    QVERIFY2(log.Contains(QStringLiteral("DataBase Open Success")), qPrintable(log.Lines().join('\n')));
    const QSqlDatabase handle = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
    QCOMPARE(handle.driverName(), QStringLiteral("QODBC"));
    QVERIFY(handle.isOpen());
    QCOMPARE(handle.databaseName(),
             CSqlDatabase::OdbcConnectionText(QStringLiteral("127.0.0.1"), Value("PGDATABASE"),
                                              Value(opRole ? "PG_OP_USER" : "PG_USER"), strPassword));
    QCOMPARE(handle.hostName(), QStringLiteral("127.0.0.1"));
    QCOMPARE(handle.port(), Value("PGPORT").toInt());

    // One info line with the values, the password hidden.
    const QStringList lines = log.Lines().filter(QRegularExpression(QStringLiteral("^CSqlDatabase")));
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().contains(QLatin1String(":server =")));
    QVERIFY(lines.first().endsWith(QLatin1String("m_password =  ***")));
    QVERIFY(!log.Lines().join(QLatin1Char('\n')).contains(strPassword));
}

void TestSqlDatabase::typeIsComparedExactly_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("line");
    QTest::newRow("other case") << "sql server" << "";
    QTest::newRow("ORACLE (no QOCI on this station)") << "ORACLE" << "QOCI";
    QTest::newRow("empty") << "" << "";
}

void TestSqlDatabase::typeIsComparedExactly()
{
    QFETCH(QString, type);
    QFETCH(QString, line);
    if (type == QLatin1String("ORACLE") && QSqlDatabase::isDriverAvailable(QStringLiteral("QOCI")))
        QSKIP("this station has the Oracle driver");
    CRunLogCapture log;
    CSqlDatabase db(QStringLiteral("127.0.0.1"), Value("PGPORT").toInt(), type, Value("PGDATABASE"),
                    Value("PG_USER"), Value("PG_PASSWORD"));
    QVERIFY(!QSqlDatabase::contains(QLatin1String(QSqlDatabase::defaultConnection)));
    QVERIFY(log.Contains(QStringLiteral("Open Failed")));
    if (!line.isEmpty())
        QCOMPARE(log.Lines(QtWarningMsg).filter(line).size(), 1);
}

void TestSqlDatabase::wrongPasswordLogsOpenFailed()
{
    const QString strWrong = QStringLiteral("wrong;pass}word");
    CRunLogCapture log;
    CSqlDatabase db(QStringLiteral("127.0.0.1"), Value("PGPORT").toInt(), QStringLiteral("SQL SERVER"),
                    Value("PGDATABASE"), Value("PG_USER"), strWrong);
    const QStringList failed = log.Lines().filter(QStringLiteral("Open Failed"));
    QCOMPARE(failed.size(), 1);
    QVERIFY2(failed.first().contains(QLatin1String("password authentication failed")), qPrintable(failed.first()));
    QVERIFY(!QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false).isOpen());
    QVERIFY(!log.Lines().join(QLatin1Char('\n')).contains(strWrong));
    QVERIFY(!log.Lines().join(QLatin1Char('\n')).contains(QLatin1String("wrong")));
}

void TestSqlDatabase::silentServerEndsTheOpen_data()
{
    QTest::addColumn<QString>("driver");
    QTest::newRow("QODBC") << "QODBC";
    QTest::newRow("QPSQL") << "QPSQL";
}

// A server that takes the connection and never says a word: the login time
// bound ends the open, which fails, instead of holding the station.
void TestSqlDatabase::silentServerEndsTheOpen()
{
    QFETCH(QString, driver);
    // Never served: the system completes the connections on its own.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const QByteArray oldPort = qgetenv("PGPORT");
    const auto restorePort = qScopeGuard([&] { qputenv("PGPORT", oldPort); });
    // psqlODBC takes its port from PGPORT.
    qputenv("PGPORT", QByteArray::number(silent.serverPort()));

    CRunLogCapture log;
    std::unique_ptr<CSqlDatabase> pDb;
    bool bOpened = true;
    QString strError;
    if (driver == QLatin1String("QODBC")) {
        pDb = std::make_unique<CSqlDatabase>(QStringLiteral("127.0.0.1"), int(silent.serverPort()),
                                             QStringLiteral("SQL SERVER"), Value("PGDATABASE"), Value("PG_USER"),
                                             Value("PG_PASSWORD"));
        const QStringList failed = log.Lines().filter(QStringLiteral("Open Failed"));
        QCOMPARE(failed.size(), 1);
        strError = failed.first();
        bOpened = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false).isOpen();
    } else {
        // The option the station would give QPSQL, as the tests' own
        // connections carry it; the silent server in place of the real one.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"));
        SetUpQpsql(db);
        db.setPort(silent.serverPort());
        bOpened = db.open();
        strError = db.lastError().text();
    }
    QVERIFY(!bOpened);
    QVERIFY2(strError.contains(QLatin1String("timeout expired")), qPrintable(strError));
    // It was this server that kept the station waiting.
    QVERIFY(silent.waitForNewConnection(5000));
}

void TestSqlDatabase::insertKeepsEveryField_data()
{
    QTest::addColumn<QString>("driver");
    QTest::newRow("QODBC") << "QODBC";
    QTest::newRow("QPSQL") << "QPSQL";
}

void TestSqlDatabase::insertKeepsEveryField()
{
    QFETCH(QString, driver);
    auto db = Connect(driver);
    const QString strSN = UniqueSN();
    QVERIFY(FullRecord(strSN).InsertIntoTable(QStringLiteral("TouchTestRecord")));

    const QList<QVariantList> rows = Rows(strSN);
    QCOMPARE(rows.size(), 1);
    // The time to the second; every text in its own column (fields 8 to 11
    // land in Test_HostIp to Test_LogUrl).
    QCOMPARE(rows.first(), (QVariantList{"2026-03-03 14:05:00", "mcu", "product", "checksum", "batch", strSN, "app",
                                         "os", "ip", "mac", "result", "/Data/X1/1A2B/log.xml"}));
}

void TestSqlDatabase::emptyTextsAreStoredEmpty_data()
{
    insertKeepsEveryField_data();
}

void TestSqlDatabase::emptyTextsAreStoredEmpty()
{
    QFETCH(QString, driver);
    auto db = Connect(driver);
    // A time no other row has (not this case's other driver, not an earlier
    // run): the row is found by it alone, whatever its texts hold.
    QDateTime dateTime;
    for (int nTry = 0; nTry < 20 && !dateTime.isValid(); ++nTry) {
        const QDateTime candidate = QDateTime(QDate(2100, 1, 1), QTime(0, 0))
                                        .addDays(QRandomGenerator::global()->bounded(300000))
                                        .addSecs(QRandomGenerator::global()->bounded(86400));
        if (RowsAt(candidate).isEmpty())
            dateTime = candidate;
    }
    QVERIFY(dateTime.isValid());
    CTestRecord record; // null texts, as a default record has them
    record.SetDateTime(dateTime);
    QVERIFY(record.InsertIntoTable(QStringLiteral("TouchTestRecord")));

    const QList<QVariantList> rows = RowsAt(dateTime);
    QCOMPARE(rows.size(), 1);
    const QVariantList row = rows.first();
    QCOMPARE(row.first().toString(), dateTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    for (int i = 1; i < 12; ++i) {
        QVERIFY2(!row.at(i).isNull(), qPrintable(QStringLiteral("column %1 is NULL").arg(i)));
        QCOMPARE(row.at(i).toString(), QString());
    }
}

void TestSqlDatabase::hostileValuesAreStoredAsGiven_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("value");
    const QList<QPair<const char *, QString>> values{
        {"quote", QStringLiteral("O'Brien")},
        {"statement", QStringLiteral("x'); drop table TouchTestRecord; --")},
        {"marker", QStringLiteral("%5")},
        {"two-digit marker", QStringLiteral("%10%1")},
        {"percent", QStringLiteral("100%")},
        {"Chinese", QStringLiteral("传感器弱 sensor weak")},
        {"placeholders", QStringLiteral("? :name $1")},
        {"backslash and quotes", QStringLiteral("C:\\logs\\\"a\" ''")},
        {"ODBC escape", QStringLiteral("{fn now()} {d '2020-01-01'}")},
    };
    for (const QString &strDriver : {QStringLiteral("QODBC"), QStringLiteral("QPSQL")}) {
        for (const auto &value : values)
            QTest::newRow(qPrintable(strDriver + QLatin1Char(' ') + QLatin1String(value.first)))
                << strDriver << value.second;
    }
}

void TestSqlDatabase::hostileValuesAreStoredAsGiven()
{
    QFETCH(QString, driver);
    QFETCH(QString, value);
    auto db = Connect(driver);
    const int nBefore = RowCount();
    const QString strSN = UniqueSN();
    CTestRecord record = FullRecord(strSN);
    record.SetProduct(value);
    record.SetResult(value);
    record.SetLogUrl(value);
    QVERIFY(record.InsertIntoTable(QStringLiteral("TouchTestRecord")));

    QCOMPARE(RowCount(), nBefore + 1); // the table is still there, one row more
    const QList<QVariantList> rows = Rows(strSN);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().at(2).toString(), value);
    QCOMPARE(rows.first().at(10).toString(), value);
    QCOMPARE(rows.first().at(11).toString(), value);
}

void TestSqlDatabase::tableNameMustBeAPlainIdentifier_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("the table") << "TouchTestRecord" << true;
    QTest::newRow("lower case") << "touchtestrecord" << true;
    QTest::newRow("statement") << "TouchTestRecord (Test_Result) values ('x'); --" << false;
    QTest::newRow("schema") << "public.TouchTestRecord" << false;
    QTest::newRow("quoted") << "\"TouchTestRecord\"" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("leading digit") << "1table" << false;
}

void TestSqlDatabase::tableNameMustBeAPlainIdentifier()
{
    QFETCH(QString, table);
    QFETCH(bool, accepted);
    auto db = Connect(QStringLiteral("QPSQL"));
    const int nBefore = RowCount();
    QSqlError error;
    QCOMPARE(FullRecord(UniqueSN()).InsertIntoTable(table, &error), accepted);
    QCOMPARE(RowCount(), nBefore + (accepted ? 1 : 0));
    if (!accepted)
        QVERIFY(!error.text().isEmpty());
}

STATION_TEST_MAIN_CORE(TestSqlDatabase)
#include "tst_sqldatabase.moc"
