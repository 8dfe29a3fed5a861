// The Chinese catalogue as a file. It holds exactly the texts that the code
// passes through the catalogue (lupdate's own extraction over src/, in
// lupdate's own form); every entry is finished; the entries left in English
// are the listed exceptions; translations keep their markers and edge blanks
// and follow the glossary; what the design says of single entries holds; and
// the catalogue embedded in the program is this one, compiled.
//
// Each failure lists every entry concerned, "context | source", so that the
// list is the work to do.

#include "cataloguefile.h"
#include "stationresources.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

using Catalogue::SEntry;

namespace {

// What the design says of one entry.
enum class EStatement {
    Exact,       // the design gives the Chinese: exactly this translation
    Translated,  // it reads in Chinese
    English,     // it stays English with the catalogue installed
};

struct SStatement
{
    const char* szArea;  // where it shows
    const char* szContext;
    const char* szSource;
    EStatement eKind;
    const char* szTranslation;  // Exact only
};

const SStatement kStatements[] = {
    // The test core's verdicts, with the catalogue entries the design gives.
    {"verdicts", "CTouchBase", "Some connectors are damaged or not connected properly!", EStatement::Exact,
     "连接器失效或连接异常！"},
    {"verdicts", "CTouchBase", "Some PCBAs are damaged!", EStatement::Exact, "PCB损坏！"},
    {"verdicts", "CTouchBase", "Some emitters or detectors are damaged!", EStatement::Exact, "接收或发射灯损坏！"},
    {"verdicts", "CTouchBase",
     "Some emitters or detectors weak, but The possible cause is the deformation of the machine!",
     EStatement::Exact, "接收或发射灯信号弱，可能原因为整机形变！"},
    {"verdicts", "CTouchBase", "Some emitters or detectors are weak!", EStatement::Exact, "接收或发射灯信号弱！"},

    // The main window: these read in Chinese, the placeholders, "PushButton"
    // and the shortcut texts stay English.
    {"main window", "MainWindow", "Draw Test", EStatement::Translated, nullptr},
    {"main window", "MainWindow", "Enable Touch", EStatement::Translated, nullptr},
    {"main window", "MainWindow", "Signal(PgUp)", EStatement::Translated, nullptr},
    {"main window", "MainWindow", "Menu(S)", EStatement::Translated, nullptr},
    {"main window", "MainWindow", "TextLabel", EStatement::English, nullptr},
    {"main window", "MainWindow", "1213245", EStatement::English, nullptr},
    {"main window", "MainWindow", "PushButton", EStatement::English, nullptr},
    {"main window", "MainWindow", "F1", EStatement::English, nullptr},
    {"main window", "MainWindow", "F3", EStatement::English, nullptr},
    {"main window", "MainWindow", "PgUp", EStatement::English, nullptr},
    {"main window", "MainWindow", "C", EStatement::English, nullptr},
    {"main window", "MainWindow", "U", EStatement::English, nullptr},
    {"main window", "MainWindow", "S", EStatement::English, nullptr},
    {"main window", "MainWindow", "Esc", EStatement::English, nullptr},

    // The test view's key texts (in the context "MainWindow"), its form and
    // the record clock.
    {"test view", "MainWindow", "Ctrl+R", EStatement::English, nullptr},
    {"test view", "MainWindow", "Ctrl+M", EStatement::English, nullptr},
    {"test view", "MainWindow", "Up", EStatement::English, nullptr},
    {"test view", "MainWindow", "Down", EStatement::English, nullptr},
    {"test view", "VeloraTestView", "Warning", EStatement::Translated, nullptr},
    {"test view", "VeloraTestView", "Scan serial number...", EStatement::Translated, nullptr},
    {"test view", "VeloraTestView", "Input serial number...", EStatement::Translated, nullptr},
    {"test view", "VeloraTestView", "There is no device inserted, Please insert device!", EStatement::Translated,
     nullptr},
    // Its boxes' title "Error!" stays English, as the upload boxes' title does.
    {"test view", "VeloraTestView", "Error!", EStatement::English, nullptr},
    {"test view form", "VeloraTestView", "T-AGC:", EStatement::English, nullptr},
    {"test view form", "VeloraTestView", "R-AGC:", EStatement::English, nullptr},
    {"test view form", "VeloraTestView", "Draw Test", EStatement::English, nullptr},
    {"test view form", "VeloraTestView", "F1", EStatement::English, nullptr},
    {"test view form", "VeloraTestView", "PgDown", EStatement::English, nullptr},
    {"test view form", "VeloraTestView", "Space", EStatement::English, nullptr},
    {"test view form", "VeloraTestView", "Esc", EStatement::English, nullptr},
    {"test view form", "VeloraTestView", "TouchPannel", EStatement::Translated, nullptr},
    {"test view form", "VeloraTestView", "Histogram", EStatement::Translated, nullptr},
    {"test view form", "VeloraTestView", "Touch Frame(PgDn)", EStatement::Translated, nullptr},
    {"test view form", "VeloraTestView", "Exit(Esc)", EStatement::Translated, nullptr},
    {"record clock", "CRecordDialog", "正在录制数据", EStatement::English, nullptr},
    {"record clock", "CRecordDialog", "Dialog", EStatement::English, nullptr},
    {"record clock", "CRecordDialog", "00:00:00", EStatement::English, nullptr},
    {"record clock", "CRecordDialog", "...", EStatement::English, nullptr},
    {"histograms", "SignalHistogramView", "Form", EStatement::Translated, nullptr},
    {"curve view", "CTouchSignalView", "Show mark...", EStatement::Translated, nullptr},

    // The calibration screens: the Chinese button texts of the fine tuning
    // stay as written; the manual screen's texts and the parameter dialog's
    // title read in Chinese.
    {"fine tuning", "FineTuningDialog", "重置", EStatement::English, nullptr},
    {"fine tuning", "FineTuningDialog", "退出", EStatement::English, nullptr},
    {"fine tuning", "CFineTuningCalibrateView", "Calibration is complete", EStatement::Translated, nullptr},
    {"manual tuning", "CalDialog", "Reset", EStatement::Translated, nullptr},
    {"manual tuning", "CalDialog", "Exit", EStatement::Translated, nullptr},
    {"manual tuning", "CCalAdvancedSettingView", "The left area is to the right, adjust to the left",
     EStatement::Translated, nullptr},
    {"calibration parameters", "CalibrateSetUpDialog", "Calibrate SetUp", EStatement::Translated, nullptr},

    // The test settings dialog: every text is translated.
    {"test settings", "CSetUpDialog", "Setup Dialog", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Default Configuration", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Default touch enable when open device", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Default jump to draw when test pass", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Default support realtime test", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Default support serial number check", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Device Support", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Add vid-pid to support(Pid 0xFFFF represents 0x0001~0xFFFF)...",
     EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Vid-Pid:", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Add", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Remove", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Firmware Check", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Product:", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "CheckSum:", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "SN Check", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "SN Number", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "OK", EStatement::Translated, nullptr},
    {"test settings", "CSetUpDialog", "Cancel", EStatement::Translated, nullptr},

    // The serial-number entry: the title, the two labels, the two messages.
    {"serial-number entry", "ScanInputDialog", "Product Serise ID Input", EStatement::Translated, nullptr},
    {"serial-number entry", "ScanInputDialog", "SN Template", EStatement::Translated, nullptr},
    {"serial-number entry", "ScanInputDialog", "SN Input ", EStatement::Translated, nullptr},
    {"serial-number entry", "ScanInputDialog", "The product serial number is empty, please enter the product serial number",
     EStatement::Translated, nullptr},
    {"serial-number entry", "ScanInputDialog", "Product serial numbers do not match", EStatement::Translated, nullptr},

    // The upload boxes' texts (their titles stay outside the catalogue).
    {"database upload", "CUploadTestData",
     "Connect to DataBase server error, please check the internet and retry or contact the IT department...",
     EStatement::Translated, nullptr},
    {"FTP upload", "CFtpClient",
     "Connect to the FTP server error, please check the internet and retry or contact the IT department...",
     EStatement::Translated, nullptr},
};

QString Join(const QStringList& lines)
{
    return QStringLiteral("\n  ") + lines.join(QStringLiteral("\n  "));
}

// The %-markers of a text ("%1", "%L2", "%n"), sorted.
QStringList Markers(const QString& text)
{
    static const QRegularExpression marker(QStringLiteral("%L?(\\d+|n)"));
    QStringList markers;
    auto it = marker.globalMatch(text);
    while (it.hasNext())
        markers << it.next().captured(0);
    markers.sort();
    return markers;
}

// The markup of a rich text, tag by tag ("<p align=\"center\">", "</p>").
QStringList Tags(const QString& text)
{
    static const QRegularExpression tag(QStringLiteral("<[^<>]*>"));
    QStringList tags;
    auto it = tag.globalMatch(text);
    while (it.hasNext())
        tags << it.next().captured(0);
    return tags;
}

QString LeadingBlanks(const QString& text)
{
    int n = 0;
    while (n < text.size() && text.at(n).isSpace())
        ++n;
    return text.left(n);
}

QString TrailingBlanks(const QString& text)
{
    int n = 0;
    while (n < text.size() && text.at(text.size() - 1 - n).isSpace())
        ++n;
    return text.right(n);
}

// A blank made visible for messages.
QString Shown(const QString& blanks)
{
    QString shown;
    for (const QChar c : blanks)
        shown += c == QLatin1Char(' ') ? QStringLiteral("<blank>") : QStringLiteral("<U+%1>").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return shown.isEmpty() ? QStringLiteral("none") : shown;
}

// What a translation of the entry lost or changed: its %-markers, its
// markup, its leading and trailing blanks.
QStringList Slips(const SEntry& entry)
{
    QStringList problems;
    const QStringList forms = entry.forms.isEmpty() ? QStringList{entry.translation} : entry.forms;
    for (const QString& translation : forms) {
        if (translation.isEmpty())
            continue;
        if (Markers(translation) != Markers(entry.source))
            problems << QStringLiteral("%1: markers %2 became %3 in \"%4\"")
                            .arg(entry.Name(), Markers(entry.source).join(QLatin1Char(',')),
                                 Markers(translation).join(QLatin1Char(',')), translation);
        if (Tags(translation) != Tags(entry.source))
            problems << QStringLiteral("%1: the markup changed in \"%2\"").arg(entry.Name(), translation);
        if (LeadingBlanks(translation) != LeadingBlanks(entry.source))
            problems << QStringLiteral("%1: leading blanks %2 became %3 in \"%4\"")
                            .arg(entry.Name(), Shown(LeadingBlanks(entry.source)), Shown(LeadingBlanks(translation)),
                                 translation);
        if (TrailingBlanks(translation) != TrailingBlanks(entry.source))
            problems << QStringLiteral("%1: trailing blanks %2 became %3 in \"%4\"")
                            .arg(entry.Name(), Shown(TrailingBlanks(entry.source)),
                                 Shown(TrailingBlanks(translation)), translation);
    }
    return problems;
}

// One checked row of the glossary: English words and the Chinese word.
struct SGlossaryRow
{
    QStringList english;
    QString chinese;
};

QList<SGlossaryRow> ReadGlossary(QString* pError)
{
    QList<SGlossaryRow> rows;
    QFile file(Catalogue::GlossaryPath());
    if (!file.open(QIODevice::ReadOnly)) {
        *pError = file.fileName() + QStringLiteral(": ") + file.errorString();
        return rows;
    }
    static const QRegularExpression note(QStringLiteral("\\([^)]*\\)"));
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(QLatin1Char('|')))
            continue;
        const QStringList cells = line.mid(1, line.size() - 2).split(QLatin1Char('|'));
        if (cells.size() != 3 || cells.at(2).trimmed() != QLatin1String("checked"))
            continue;
        SGlossaryRow row;
        row.chinese = cells.at(1).trimmed();
        QString english = cells.at(0);
        english.remove(note);
        for (const QString& word : english.split(QLatin1Char('/'))) {
            if (!word.trimmed().isEmpty())
                row.english << word.trimmed();
        }
        if (row.english.isEmpty() || row.chinese.isEmpty() || row.chinese.contains(QLatin1Char('/'))) {
            *pError = QStringLiteral("glossary row \"%1\": a checked row has English words and one Chinese word").arg(line);
            return {};
        }
        rows << row;
    }
    if (rows.isEmpty())
        *pError = QStringLiteral("the glossary has no checked row");
    return rows;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void catalogueMatchesTheCode();
    void everyEntryIsFinished();
    void untranslatedEntriesAreTheExceptions();
    void translationsKeepMarkersAndEdgeBlanks();
    void slipsAreFound_data();
    void slipsAreFound();
    void translationsFollowTheGlossary();
    void partStatements_data();
    void partStatements();
    void embeddedCatalogueIsThisOne();

private:
    QList<SEntry> m_entries;
    QHash<QString, SEntry> m_byKey;
    QSet<QString> m_exceptionKeys;
};

void TestCatalogue::initTestCase()
{
    InitStationResources();
    QString error;
    QVERIFY2(Catalogue::Read(Catalogue::TsPath(), &m_entries, &error), qPrintable(error));
    QVERIFY(!m_entries.isEmpty());
    for (const SEntry& entry : qAsConst(m_entries))
        m_byKey.insert(entry.Key(), entry);
    QStringList problems;
    for (const Catalogue::SException& exception : Catalogue::ReadExceptions(Catalogue::ExceptionsPath(), &problems))
        m_exceptionKeys.insert(SEntry{exception.context, exception.source, {}, {}, {}, {}}.Key());
}

// lupdate over src/, into a copy of the catalogue, leaves it as it is.
void TestCatalogue::catalogueMatchesTheCode()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("CorvaneFactoryApp_zh.ts"));
    QVERIFY(QFile::copy(Catalogue::TsPath(), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);

    QProcess lupdate;
    lupdate.setWorkingDirectory(Catalogue::SourceDir());
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(STATION_LUPDATE),
                  {QStringLiteral("-recursive"), QStringLiteral("src"), QStringLiteral("-ts"), copy,
                   QStringLiteral("-no-obsolete")});
    QVERIFY2(lupdate.waitForFinished(60000), qPrintable(lupdate.errorString()));
    const QString output = QString::fromLocal8Bit(lupdate.readAll());
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0, qPrintable(output));

    QFile before(Catalogue::TsPath());
    QFile after(copy);
    QVERIFY(before.open(QIODevice::ReadOnly) && after.open(QIODevice::ReadOnly));
    const QByteArray committed = before.readAll();
    const QByteArray updated = after.readAll();
    if (committed == updated)
        return;

    QList<SEntry> updatedEntries;
    QString error;
    QVERIFY2(Catalogue::Read(copy, &updatedEntries, &error), qPrintable(error));
    QSet<QString> updatedKeys;
    QStringList missing;
    for (const SEntry& entry : qAsConst(updatedEntries)) {
        updatedKeys.insert(entry.Key());
        if (!m_byKey.contains(entry.Key()))
            missing << entry.Name();
    }
    QStringList gone;
    for (const SEntry& entry : qAsConst(m_entries)) {
        if (!updatedKeys.contains(entry.Key()))
            gone << entry.Name();
    }

    QString message = QStringLiteral("The catalogue differs from what lupdate makes of the code. In the checkout run:\n  ")
        + Catalogue::UpdateCommand();
    if (!missing.isEmpty())
        message += QStringLiteral("\nTexts of the code with no entry (%1):").arg(missing.size()) + Join(missing);
    if (!gone.isEmpty())
        message += QStringLiteral("\nEntries the code no longer has (%1):").arg(gone.size()) + Join(gone);
    if (missing.isEmpty() && gone.isEmpty()) {
        // Same entries, other bytes: order, layout, or translations lupdate
        // guessed for unfinished entries.
        const QList<QByteArray> a = committed.split('\n');
        const QList<QByteArray> b = updated.split('\n');
        int n = 0;
        while (n < a.size() && n < b.size() && a.at(n) == b.at(n))
            ++n;
        message += QStringLiteral("\nThe entries are the same, but not in lupdate's form; first difference at line %1:"
                                  "\n  committed: %2\n  lupdate:   %3")
                       .arg(n + 1)
                       .arg(QString::fromUtf8(a.value(n)), QString::fromUtf8(b.value(n)));
    }
    QFAIL(qPrintable(message));
}

void TestCatalogue::everyEntryIsFinished()
{
    QStringList unfinished;
    for (const SEntry& entry : qAsConst(m_entries)) {
        if (!entry.IsFinished()) {
            QString name = entry.Name();
            if (!entry.type.isEmpty() && entry.type != QLatin1String("unfinished"))
                name += QStringLiteral(" [") + entry.type + QLatin1Char(']');
            else if (!entry.translation.isEmpty())
                name += QStringLiteral(" [suggested: ") + entry.translation + QLatin1Char(']');
            unfinished << name;
        }
    }
    QVERIFY2(unfinished.isEmpty(),
             qPrintable(QStringLiteral("Entries without a finished translation (%1). In "
                                       "resources/CorvaneFactoryApp_zh.ts translate each after "
                                       "resources/catalogue-glossary.md and drop its type=\"unfinished\"; a text "
                                       "that stays English takes its source as translation and a line in "
                                       "resources/catalogue-exceptions.tsv:")
                            .arg(unfinished.size())
                        + Join(unfinished)));
}

void TestCatalogue::untranslatedEntriesAreTheExceptions()
{
    QStringList problems;
    const QList<Catalogue::SException> exceptions =
        Catalogue::ReadExceptions(Catalogue::ExceptionsPath(), &problems);
    QSet<QString> listed;
    for (const Catalogue::SException& exception : exceptions) {
        const SEntry key{exception.context, exception.source, {}, {}, {}, {}};
        const QString name = key.Name();
        if (listed.contains(key.Key()))
            problems << QStringLiteral("line %1 lists %2 a second time").arg(exception.nLine).arg(name);
        listed.insert(key.Key());
        const auto it = m_byKey.constFind(key.Key());
        if (it == m_byKey.cend())
            problems << QStringLiteral("line %1: %2 is no entry of the catalogue").arg(exception.nLine).arg(name);
        else if (!it->IsFinished())
            problems << QStringLiteral("line %1: %2 is not finished").arg(exception.nLine).arg(name);
        else if (it->translation != it->source)
            problems << QStringLiteral("line %1: %2 is translated (\"%3\"), so it is no exception")
                            .arg(exception.nLine)
                            .arg(name, it->translation);
    }
    for (const SEntry& entry : qAsConst(m_entries)) {
        if (entry.IsFinished() && entry.translation == entry.source && !listed.contains(entry.Key()))
            problems << QStringLiteral("%1 stays English but is not listed").arg(entry.Name());
    }
    QVERIFY2(problems.isEmpty(),
             qPrintable(QStringLiteral("resources/catalogue-exceptions.tsv and the catalogue disagree (%1):")
                            .arg(problems.size())
                        + Join(problems)));
}

void TestCatalogue::translationsKeepMarkersAndEdgeBlanks()
{
    QStringList problems;
    for (const SEntry& entry : qAsConst(m_entries))
        problems << Slips(entry);
    QVERIFY2(problems.isEmpty(),
             qPrintable(QStringLiteral("Translations that lost or changed a marker, an edge blank or markup (%1):")
                            .arg(problems.size())
                        + Join(problems)));
}

void TestCatalogue::slipsAreFound_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");
    QTest::addColumn<QString>("slip");  // a piece of the message, or empty

    QTest::newRow("kept") << "\" timeout, The error code is 0x%1." << QString::fromUtf8("”超时，错误码为 0x%1。")
                          << "";
    QTest::newRow("marker dropped") << "The error code is 0x%1." << QString::fromUtf8("错误码。") << "markers %1";
    QTest::newRow("marker renumbered") << "%1 of %2" << QString::fromUtf8("%2之%3") << "markers %1,%2 became %2,%3";
    QTest::newRow("leading blank lost") << " Please select what you want!" << QString::fromUtf8("请选择下一步操作！")
                                        << "leading blanks <blank> became none";
    QTest::newRow("trailing blank added") << "SN Input" << QString::fromUtf8("序列号输入 ") << "trailing blanks";
    QTest::newRow("markup kept") << "<p align=\"center\"><span>Please wait</span></p>"
                                 << QString::fromUtf8("<p align=\"center\"><span>请稍候</span></p>") << "";
    QTest::newRow("markup lost") << "<p align=\"center\"><span>Please wait</span></p>"
                                 << QString::fromUtf8("<p><span>请稍候</span></p>") << "markup";
}

// The check above finds what it is there for.
void TestCatalogue::slipsAreFound()
{
    QFETCH(QString, source);
    QFETCH(QString, translation);
    QFETCH(QString, slip);
    const QStringList slips = Slips(SEntry{QStringLiteral("Context"), source, {}, translation, {}, {}});
    if (slip.isEmpty())
        QVERIFY2(slips.isEmpty(), qPrintable(slips.join(QLatin1Char('\n'))));
    else
        QVERIFY2(slips.join(QLatin1Char('\n')).contains(slip), qPrintable(slips.join(QLatin1Char('\n'))));
}

void TestCatalogue::translationsFollowTheGlossary()
{
    QString error;
    const QList<SGlossaryRow> glossary = ReadGlossary(&error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QSet<QString> givenByDesign;
    for (const SStatement& statement : kStatements) {
        if (statement.eKind == EStatement::Exact)
            givenByDesign.insert(SEntry{QString::fromUtf8(statement.szContext), QString::fromUtf8(statement.szSource),
                                       {}, {}, {}, {}}
                                    .Key());
    }
    QStringList problems;
    for (const SGlossaryRow& row : glossary) {
        for (const QString& word : row.english) {
            const QRegularExpression pattern(QStringLiteral("\\b") + QRegularExpression::escape(word),
                                             QRegularExpression::CaseInsensitiveOption);
            for (const SEntry& entry : qAsConst(m_entries)) {
                if (!entry.IsFinished() || m_exceptionKeys.contains(entry.Key()) || givenByDesign.contains(entry.Key()))
                    continue;
                if (pattern.match(entry.source).hasMatch() && !entry.translation.contains(row.chinese))
                    problems << QStringLiteral("%1: \"%2\" is \"%3\", but the translation \"%4\" does not say it")
                                    .arg(entry.Name(), word, row.chinese, entry.translation);
            }
        }
    }
    QVERIFY2(problems.isEmpty(),
             qPrintable(QStringLiteral("Translations that depart from resources/catalogue-glossary.md (%1):")
                            .arg(problems.size())
                        + Join(problems)));
}

void TestCatalogue::partStatements_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");
    for (const SStatement& s : kStatements) {
        const QString row = QStringLiteral("%1 %2 | %3").arg(QLatin1String(s.szArea), QLatin1String(s.szContext),
                                                             QString::fromUtf8(s.szSource));
        QTest::newRow(qPrintable(row)) << QString::fromUtf8(s.szContext) << QString::fromUtf8(s.szSource)
                                       << int(s.eKind) << QString::fromUtf8(s.szTranslation);
    }
}

// With the embedded catalogue installed, as the operator on a Chinese system
// has it.
void TestCatalogue::partStatements()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(int, kind);
    QFETCH(QString, expected);

    const auto it = m_byKey.constFind(SEntry{context, source, {}, {}, {}, {}}.Key());
    QVERIFY2(it != m_byKey.cend(), "no entry in the catalogue");

    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/Language/CorvaneFactoryApp_zh.qm")));
    QCoreApplication::installTranslator(&translator);
    const QString shown = QCoreApplication::translate(context.toUtf8().constData(), source.toUtf8().constData());
    QCoreApplication::removeTranslator(&translator);

    switch (EStatement(kind)) {
    case EStatement::Exact:
        QCOMPARE(shown, expected);
        break;
    case EStatement::Translated:
        // Some read in Chinese with Latin letters only ("VID-PID：").
        QVERIFY2(!shown.isEmpty() && shown != source, qPrintable(shown));
        break;
    case EStatement::English:
        QCOMPARE(shown, source);
        break;
    }
}

// The program loads ":/Language/CorvaneFactoryApp_zh.qm": every finished
// entry reads there as it does in the .ts (a build that did not compile
// the current .ts shows here).
void TestCatalogue::embeddedCatalogueIsThisOne()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/Language/CorvaneFactoryApp_zh.qm")));
    QStringList differing;
    for (const SEntry& entry : qAsConst(m_entries)) {
        if (!entry.IsFinished() || !entry.forms.isEmpty())
            continue;
        const QString compiled = translator.translate(entry.context.toUtf8().constData(),
                                                      entry.source.toUtf8().constData(),
                                                      entry.comment.isEmpty() ? nullptr : entry.comment.toUtf8().constData());
        // lrelease may leave out a translation equal to its source.
        if (compiled != entry.translation && !(compiled.isEmpty() && entry.translation == entry.source))
            differing << entry.Name() + QStringLiteral(" reads \"") + compiled + QLatin1Char('"');
    }
    QVERIFY2(differing.isEmpty(), qPrintable(QStringLiteral("The embedded catalogue differs (%1):").arg(differing.size())
                                             + Join(differing)));
}

STATION_TEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
