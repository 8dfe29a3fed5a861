// The per-product parameter table: file choice, layering of rows, look-up and
// the handling of malformed files.

#include "touchtestinfotable.h"

#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QTextCodec>
#include <QtTest>

using Row = CTouchTestInfoTable::Row;

namespace {

void WriteFile(const QString &strPath, const QByteArray &data)
{
    QFile f(strPath);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(strPath));
    QCOMPARE(f.write(data), qint64(data.size()));
}

// A table built only from the given text.
CTouchTestInfoTable Parse(const QByteArray &data)
{
    WriteFile(QStringLiteral("TouchTestInfo-V0001.csv"), data);
    return CTouchTestInfoTable(QStringLiteral("TouchTestInfo"));
}

Row MakeRow(std::initializer_list<std::pair<const char *, const char *>> lst)
{
    Row row;
    for (const auto &kv : lst)
        row.insert(QString::fromUtf8(kv.first), QString::fromUtf8(kv.second));
    return row;
}

} // namespace

class TestParameterTable : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir.reset(new CScopedWorkDir); }
    void cleanup() { m_dir.reset(); }

    void fileChoice_data();
    void fileChoice();
    void missingFileGivesEmptyRows();
    void layering();
    void repeatedRowKeepsLastLine();
    void lookupOrder();
    void fieldGrammar_data();
    void fieldGrammar();
    void encodings_data();
    void encodings();
    void tableInAnotherCodePageIsReported();
    void emptyAndUnreadableFiles();
    void unreadableFileGivesEmptyRows();
    void hugeTableIsBounded();
    void lookupKeys_data();
    void lookupKeys();
    void instanceIsBuiltOnce();

private:
    std::unique_ptr<CScopedWorkDir> m_dir;
};

void TestParameterTable::fileChoice_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("expected");

    QTest::newRow("highest version") << QStringList{"TouchTestInfo-V0009.csv", "TouchTestInfo-V000A.csv",
                                                    "TouchTestInfo-V0010.csv"}
                                     << QStringList() << "TouchTestInfo-V0010.csv";
    QTest::newRow("three or five digits ignored")
        << QStringList{"TouchTestInfo-V001.csv", "TouchTestInfo-V00010.csv", "TouchTestInfo-V0002.csv"}
        << QStringList() << "TouchTestInfo-V0002.csv";
    QTest::newRow("other extensions ignored")
        << QStringList{"TouchTestInfo-V0003.csv.bak", "TouchTestInfo-V0004.CSV~", "TouchTestInfo-V0001.csv"}
        << QStringList() << "TouchTestInfo-V0001.csv";
    QTest::newRow("folder named like a table") << QStringList{"TouchTestInfo-V0001.csv"}
                                               << QStringList{"TouchTestInfo-V0099.csv"}
                                               << "TouchTestInfo-V0001.csv";
    QTest::newRow("hidden file ignored") << QStringList{".TouchTestInfo-V0099.csv", "TouchTestInfo-V0001.csv"}
                                         << QStringList() << "TouchTestInfo-V0001.csv";
    // Matching ignores case but the order does not: lower case sorts after
    // upper case, so a lower-case name or digit wins.
    QTest::newRow("lower-case name wins the sort")
        << QStringList{"touchtestinfo-v0002.csv", "TouchTestInfo-V0010.csv"} << QStringList()
        << "touchtestinfo-v0002.csv";
    QTest::newRow("lower-case digit sorts last")
        << QStringList{"TouchTestInfo-V000a.csv", "TouchTestInfo-V000F.csv"} << QStringList()
        << "TouchTestInfo-V000a.csv";
    QTest::newRow("prefix is literal") << QStringList{"TouchTestInfoX-V0001.csv", "XTouchTestInfo-V0001.csv"}
                                       << QStringList() << "";
    QTest::newRow("none") << QStringList{"Other-V0001.csv"} << QStringList() << "";
}

void TestParameterTable::fileChoice()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(QString, expected);

    for (const QString &f : files)
        WriteFile(f, "********,k:" + f.toUtf8() + "\n");
    for (const QString &d : folders)
        QVERIFY(QDir::current().mkdir(d));

    const QString strPath = CTouchTestInfoTable::FindLatestFile(QStringLiteral("TouchTestInfo"));
    if (expected.isEmpty()) {
        QVERIFY(strPath.isEmpty());
    } else {
        QCOMPARE(strPath, QDir::current().absoluteFilePath(expected));
        // The constructor reads the same file.
        CTouchTestInfoTable table(QStringLiteral("TouchTestInfo"));
        QCOMPARE(table.GetInfo("p", "c").value("k"), expected);
    }
}

void TestParameterTable::missingFileGivesEmptyRows()
{
    CTouchTestInfoTable table(QStringLiteral("TouchTestInfo"));
    QVERIFY(table.GetInfo("AB55", "1234").isEmpty());
    QVERIFY(table.GetInfo("", "").isEmpty());
    table.Load(QString());
    table.Load(QDir::current().absoluteFilePath("absent.csv"));
    QVERIFY(table.DefaultRow().isEmpty());
}

void TestParameterTable::layering()
{
    const CTouchTestInfoTable table = Parse("********,k1:1\n"
                                            "Product:P1,k2:2\n"
                                            "********,k1:3,k3:4\n");
    QCOMPARE(table.GetInfo("P1", "x"), MakeRow({{"k1", "1"}, {"k2", "2"}}));
    QCOMPARE(table.GetInfo("P2", "x"), MakeRow({{"k1", "3"}, {"k3", "4"}}));
    // A later pair of a line wins over an earlier one and over the defaults.
    const CTouchTestInfoTable t2 = Parse("********,k1:1\nProduct:P1,k1:2,k1:5\n");
    QCOMPARE(t2.GetInfo("P1", "").value("k1"), QString("5"));
}

void TestParameterTable::repeatedRowKeepsLastLine()
{
    const CTouchTestInfoTable table = Parse("Product:P1,k1:1\n"
                                            "********,d:7\n"
                                            "Product:P1,k2:2\n"
                                            "CheckSum:C1,a:1\n"
                                            "CheckSum:C1,b:2\n");
    QCOMPARE(table.GetInfo("P1", ""), MakeRow({{"d", "7"}, {"k2", "2"}}));
    QCOMPARE(table.GetInfo("", "C1"), MakeRow({{"d", "7"}, {"b", "2"}}));
    QCOMPARE(table.ProductRows().size(), 1);
    QCOMPARE(table.CheckSumRows().size(), 1);
}

void TestParameterTable::lookupOrder()
{
    const CTouchTestInfoTable table = Parse("********,d:0\n"
                                            "Product:AB55,p:1\n"
                                            "CheckSum:BEEF,c:1\n");
    // The checksum row wins whole: nothing of the product row is merged in.
    QCOMPARE(table.GetInfo("AB55", "BEEF"), MakeRow({{"d", "0"}, {"c", "1"}}));
    QCOMPARE(table.GetInfo("AB55", "CAFE"), MakeRow({{"d", "0"}, {"p", "1"}}));
    QCOMPARE(table.GetInfo("ab55", "beef"), MakeRow({{"d", "0"}}));
    // The result is a copy.
    Row row = table.GetInfo("AB55", "");
    row.insert("p", "changed");
    QCOMPARE(table.GetInfo("AB55", "").value("p"), QString("1"));
}

void TestParameterTable::fieldGrammar_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("product");
    QTest::addColumn<Row>("expected");

    const Row defaults = MakeRow({{"k1", "d"}});
    QTest::newRow("two colons and none ignored") << QByteArray("Product:P,a:b:c,plain,k2:2") << "P"
                                                 << MakeRow({{"k1", "d"}, {"k2", "2"}});
    QTest::newRow("empty key") << QByteArray("Product:P,:5") << "P" << MakeRow({{"k1", "d"}, {"", "5"}});
    QTest::newRow("empty value hides default") << QByteArray("Product:P,k1:") << "P" << MakeRow({{"k1", ""}});
    QTest::newRow("empty fields count") << QByteArray("Product:P,,,k2:2,") << "P"
                                        << MakeRow({{"k1", "d"}, {"k2", "2"}});
    QTest::newRow("nothing trimmed") << QByteArray("Product:P, k2 : 2 ") << "P"
                                     << MakeRow({{"k1", "d"}, {" k2 ", " 2 "}});
    QTest::newRow("trailing blank in product") << QByteArray("Product:P ,k2:2") << "P " << MakeRow({{"k1", "d"}, {"k2", "2"}});
    QTest::newRow("single field") << QByteArray("Product:P") << "P" << defaults;
    QTest::newRow("lower-case selector") << QByteArray("product:P,k2:2") << "P" << defaults;
    QTest::newRow("blank before asterisks") << QByteArray(" ********,k1:x") << "P" << defaults;
    QTest::newRow("product text with colon") << QByteArray("Product:P:1,k2:2") << "P:1" << defaults;
    QTest::newRow("quoted selector") << QByteArray("\"Product:P\",k2:2") << "P" << defaults;
    QTest::newRow("semicolons") << QByteArray("Product:P;k2:2") << "P" << defaults;
    QTest::newRow("header line") << QByteArray("Name,Key:Value") << "P" << defaults;
    QTest::newRow("text in number field stays text") << QByteArray("Product:P,MaxTolerantWeakSignalTotal:x")
                                                     << "P"
                                                     << MakeRow({{"k1", "d"}, {"MaxTolerantWeakSignalTotal", "x"}});
}

void TestParameterTable::fieldGrammar()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, product);
    QFETCH(Row, expected);

    const CTouchTestInfoTable table = Parse("********,k1:d\n" + line + "\n");
    QCOMPARE(table.GetInfo(product, QString()), expected);
}

void TestParameterTable::encodings_data()
{
    QTest::addColumn<QByteArray>("data");

    const QString strText = QStringLiteral("********,k1:v\r\nProduct:P\u00e9,k2:\u00fc\r\n");
    QTest::newRow("utf-8 bom crlf") << QByteArray("\xEF\xBB\xBF") + strText.toUtf8();
    QTest::newRow("utf-8 plain lf") << strText.toUtf8().replace("\r\n", "\n");
    QTest::newRow("utf-16le bom") << QTextCodec::codecForName("UTF-16LE")->fromUnicode(QChar(0xFEFF) + strText);
    QTest::newRow("utf-16be bom") << QTextCodec::codecForName("UTF-16BE")->fromUnicode(QChar(0xFEFF) + strText);
    QTest::newRow("utf-32le bom") << QTextCodec::codecForName("UTF-32LE")->fromUnicode(QChar(0xFEFF) + strText);
    QTest::newRow("no final line end") << strText.toUtf8().chopped(2);
}

void TestParameterTable::encodings()
{
    QFETCH(QByteArray, data);
    const CTouchTestInfoTable table = Parse(data);
    // The defaults of the first line survive the byte-order mark, and no CR
    // is left at the end of a value.
    QCOMPARE(table.DefaultRow(), MakeRow({{"k1", "v"}}));
    Row expected = MakeRow({{"k1", "v"}});
    expected.insert(QStringLiteral("k2"), QStringLiteral("\u00fc"));
    QCOMPARE(table.GetInfo(QStringLiteral("P\u00e9"), ""), expected);
}

// A table in GBK read with the station's UTF-8 code page: the products it
// names cannot match, and the run log says so, naming the file.
void TestParameterTable::tableInAnotherCodePageIsReported()
{
    QTextCodec *pGbk = QTextCodec::codecForName("GBK");
    QVERIFY(pGbk);
    QCOMPARE(QTextCodec::codecForLocale()->name(), QByteArray("UTF-8"));
    const QByteArray data = "********,k1:v\nProduct:" + pGbk->fromUnicode(QString::fromUtf8("触摸框")) + ",k2:w\n";
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Parameter table: .*TouchTestInfo-V0001\\.csv holds text that the code page "
                                            "UTF-8 cannot read"));
    const CTouchTestInfoTable table = Parse(data);
    QVERIFY(!table.GetInfo(QString::fromUtf8("触摸框"), QString()).contains("k2")); // the defaults only
    // A table the code page reads says nothing.
    const CTouchTestInfoTable good = Parse("********,k1:v\nProduct:" + QString::fromUtf8("触摸框").toUtf8() + ",k2:w\n");
    QCOMPARE(good.GetInfo(QString::fromUtf8("触摸框"), QString()).value("k2"), QStringLiteral("w"));
}

void TestParameterTable::emptyAndUnreadableFiles()
{
    QVERIFY(Parse("").GetInfo("P", "C").isEmpty());
    QVERIFY(Parse("\n\r\n\n").GetInfo("P", "C").isEmpty());
    QVERIFY(Parse(QByteArray("\0\0\0,\0:\0", 8)).ProductRows().isEmpty());
    // A lone CR inside a line is part of the field.
    QCOMPARE(Parse("********,k:a\rb\n").DefaultRow().value("k"), QString("a\rb"));
}

void TestParameterTable::unreadableFileGivesEmptyRows()
{
    WriteFile("TouchTestInfo-V0001.csv", "********,k:1\n");
    QFile::setPermissions("TouchTestInfo-V0001.csv", QFileDevice::Permissions());
    if (QFile("TouchTestInfo-V0001.csv").open(QIODevice::ReadOnly))
        QSKIP("this process reads files whatever their permissions (root): an unreadable table cannot be made here");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot open"));
    QVERIFY(CTouchTestInfoTable("TouchTestInfo").DefaultRow().isEmpty());
}

void TestParameterTable::hugeTableIsBounded()
{
    // Alternating default and product lines make every product row copy a
    // growing set of defaults; the reader stops instead of filling memory.
    QByteArray data;
    for (int i = 0; i < 20000; ++i)
        data += "********,k" + QByteArray::number(i) + ":v\nProduct:P" + QByteArray::number(i) + ",a:b\n";
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("reading stopped"));
    const CTouchTestInfoTable table = Parse(data);
    QVERIFY(table.ProductRows().size() < 20000);
    QVERIFY(!table.ProductRows().isEmpty());
}

void TestParameterTable::lookupKeys_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("checksum");

    QTest::newRow("suffix") << "AB55-65P" << "AB55" << "AB55-65P";
    QTest::newRow("inner suffix") << "AB-10P55-2P" << "AB55" << "AB-10P55-2P";
    QTest::newRow("lower p kept") << "AB55-10p" << "AB55-10p" << "AB55-10p";
    QTest::newRow("equal ends") << "1A2B-00-1A2B" << "1A2B-00-1A2B" << "1A2B";
    QTest::newRow("two equal pieces") << "BEEF-BEEF" << "BEEF-BEEF" << "BEEF";
    QTest::newRow("different ends") << "1A2B-3C4D" << "1A2B-3C4D" << "1A2B-3C4D";
    QTest::newRow("no dash") << "BEEF" << "BEEF" << "BEEF";
    QTest::newRow("empty") << "" << "" << "";
}

void TestParameterTable::lookupKeys()
{
    QFETCH(QString, input);
    QFETCH(QString, product);
    QFETCH(QString, checksum);
    QCOMPARE(CTouchTestInfoTable::ProductKey(input), product);
    QCOMPARE(CTouchTestInfoTable::CheckSumKey(input), checksum);
}

void TestParameterTable::instanceIsBuiltOnce()
{
    WriteFile("TouchTestInfo-V0001.csv", "Product:P,k:first\n");
    CTouchTestInfoTable *pFirst = CTouchTestInfoTable::GetInstance("TouchTestInfo");
    QVERIFY(pFirst);
    QCOMPARE(pFirst->GetInfo("P", "").value("k"), QString("first"));

    // Another name and an edited file change nothing: the table is read once.
    WriteFile("TouchTestInfo-V0002.csv", "Product:P,k:second\n");
    WriteFile("Other-V0001.csv", "Product:P,k:other\n");
    CTouchTestInfoTable *pSecond = CTouchTestInfoTable::GetInstance("Other");
    QCOMPARE(pSecond, pFirst);
    QCOMPARE(pSecond->GetInfo("P", "").value("k"), QString("first"));
}

STATION_TEST_MAIN_CORE(TestParameterTable)
#include "tst_parametertable.moc"
