// The upgrade settings dialog built on its own: what the stored settings
// (also damaged ones) show, and what OK, Cancel and the title bar's close
// leave on screen and in the store after an operator's clicks.

#include "customersettings.h"
#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "unwritablepath.h"
#include "upgradesetdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QWindow>
#include <QtTest>

namespace {
const QString kAuto = QStringLiteral("EnableAutoUpgrade");
const QString kContinuous = QStringLiteral("EnableContinuousUpgrade");
const QString kCount = QStringLiteral("AutoUpgradeCount");

// Absent from the store.
const QVariant kAbsent;

// The dialog's widget of that name; a missing one fails the test (nullptr).
template <typename T>
T* Child(QWidget* pParent, const char* szName)
{
    T* pChild = pParent->findChild<T*>(QLatin1String(szName));
    if (!pChild)
        QTest::qFail(qPrintable(QStringLiteral("no widget %1").arg(QLatin1String(szName))), __FILE__, __LINE__);
    return pChild;
}

// The store holds exactly the given values (an invalid one: no key).
void Store(const QVariant& vAuto, const QVariant& vContinuous, const QVariant& vCount)
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    pSettings->clear();
    if (vAuto.isValid())
        pSettings->setValue(kAuto, vAuto);
    if (vContinuous.isValid())
        pSettings->setValue(kContinuous, vContinuous);
    if (vCount.isValid())
        pSettings->setValue(kCount, vCount);
}

// The three settings as the file on disk holds them, "-" for an absent key:
// "auto,continuous,count".
QString OnDisk()
{
    QSettings disk(QStringLiteral("Velora"), CCustomerSettings::ApplicationName());
    QStringList values;
    for (const QString& key : {kAuto, kContinuous, kCount})
        values << (disk.contains(key) ? disk.value(key).toString() : QStringLiteral("-"));
    return values.join(QLatin1Char(','));
}

// What the operator sees: "box=on mode=limited modes=enabled count=5 enabled"
// ("widgets missing" when one is not there).
QString Shown(UpgradeSetDialog* pDialog)
{
    auto* pBox = Child<QCheckBox>(pDialog, "EnableAutoUpgrade_checkBox");
    auto* pLimited = Child<QRadioButton>(pDialog, "limitUpgrade_radioButton");
    auto* pContinuous = Child<QRadioButton>(pDialog, "ContinuousUpgrade_radioButton");
    auto* pCount = Child<QSpinBox>(pDialog, "AutoUpgradeCount_spinBox");
    if (!pBox || !pLimited || !pContinuous || !pCount)
        return QStringLiteral("widgets missing");
    QString mode = QStringLiteral("none");
    if (pLimited->isChecked() && pContinuous->isChecked())
        mode = QStringLiteral("both");
    else if (pLimited->isChecked())
        mode = QStringLiteral("limited");
    else if (pContinuous->isChecked())
        mode = QStringLiteral("continuous");
    QString modes;
    if (pLimited->isEnabled() != pContinuous->isEnabled())
        modes = QStringLiteral("split");
    else
        modes = pLimited->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled");
    return QStringLiteral("box=%1%2 mode=%3 modes=%4 count=%5 %6")
        .arg(pBox->isChecked() ? "on" : "off", pBox->isEnabled() ? "" : "(disabled)", mode, modes)
        .arg(pCount->value())
        .arg(pCount->isEnabled() ? "enabled" : "disabled");
}

// The title bar's close button: the window system asks the window to close.
void TitleBarClose(QWidget* pWidget)
{
    QCloseEvent event;
    QCoreApplication::sendEvent(pWidget->windowHandle(), &event);
}

void Open(UpgradeSetDialog* pDialog)
{
    pDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(pDialog));
}

// One operator step: "box", "limited", "continuous" click that control,
// "count=N" types N into the count, "ok" and "cancel" click those buttons,
// "close" is the title bar's close. A disabled control cannot be used.
void Do(UpgradeSetDialog* pDialog, const QString& step)
{
    if (step == "close") {
        TitleBarClose(pDialog);
        return;
    }
    QWidget* pTarget = nullptr;
    if (step == "box") {
        pTarget = Child<QCheckBox>(pDialog, "EnableAutoUpgrade_checkBox");
    } else if (step == "limited") {
        pTarget = Child<QRadioButton>(pDialog, "limitUpgrade_radioButton");
    } else if (step == "continuous") {
        pTarget = Child<QRadioButton>(pDialog, "ContinuousUpgrade_radioButton");
    } else if (step == "ok" || step == "cancel") {
        auto* pButtons = Child<QDialogButtonBox>(pDialog, "buttonBox");
        QVERIFY(pButtons);
        pTarget = pButtons->button(step == "ok" ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
        QVERIFY2(pTarget, qPrintable("no button for " + step));
    } else if (step.startsWith("count=")) {
        pTarget = Child<QSpinBox>(pDialog, "AutoUpgradeCount_spinBox");
    } else {
        QFAIL(qPrintable("unknown step " + step));
    }
    QVERIFY(pTarget);
    QVERIFY2(pTarget->isEnabled(), qPrintable(step + ": the control is disabled"));
    if (auto* pCount = qobject_cast<QSpinBox*>(pTarget)) {
        pCount->setFocus();
        pCount->selectAll();
        QTest::keyClicks(pCount, step.mid(6));
        QCOMPARE(pCount->value(), step.mid(6).toInt());
        return;
    }
    QTest::mouseClick(pTarget, Qt::LeftButton, Qt::NoModifier, QPoint(6, pTarget->height() / 2));
}
} // namespace

class TestUpgradeSetDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void form();
    void storedSettingsShown_data();
    void storedSettingsShown();
    void operatorEdits_data();
    void operatorEdits();
    void signalFindsTheSettingsStored();
    void unwritableFileIsToldNotShownAsSaved();
};

void TestUpgradeSetDialog::initTestCase()
{
    InitStationResources();
}

void TestUpgradeSetDialog::init()
{
    CCustomerSettings::GetInstance()->clear();
}

void TestUpgradeSetDialog::form()
{
    UpgradeSetDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString("Upgrade SetUp"));
    QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(!dialog.windowIcon().isNull());
    auto* pButtons = Child<QDialogButtonBox>(&dialog, "buttonBox");
    QVERIFY(pButtons);
    QPushButton* pOk = pButtons->button(QDialogButtonBox::Ok);
    QPushButton* pCancel = pButtons->button(QDialogButtonBox::Cancel);
    QVERIFY(pOk && pCancel);
    QCOMPARE(pOk->text(), QString("OK"));
    QCOMPARE(pCancel->text(), QString("Cancel"));
    auto* pTabs = Child<QTabWidget>(&dialog, "tabWidget");
    QVERIFY(pTabs);
    QCOMPARE(pTabs->count(), 1);
    QCOMPARE(pTabs->tabText(0), QString("Auto Upgrade SetUp"));
    auto* pBox = Child<QCheckBox>(&dialog, "EnableAutoUpgrade_checkBox");
    auto* pLimited = Child<QRadioButton>(&dialog, "limitUpgrade_radioButton");
    auto* pContinuous = Child<QRadioButton>(&dialog, "ContinuousUpgrade_radioButton");
    auto* pLabel = Child<QLabel>(&dialog, "label");
    auto* pCount = Child<QSpinBox>(&dialog, "AutoUpgradeCount_spinBox");
    QVERIFY(pBox && pLimited && pContinuous && pLabel && pCount);
    QCOMPARE(pBox->text(), QString("Enable Auto Upgrade"));
    QCOMPARE(pLimited->text(), QString("Enable limited number of upgrades"));
    QCOMPARE(pContinuous->text(), QString("Enable Continuous Upgrade"));
    QCOMPARE(pLabel->text(), QString("Automatic upgrade times settings"));
    QCOMPARE(pCount->minimum(), 1);
    QCOMPARE(pCount->maximum(), 65535);
    // The mode buttons exclude each other through their frame.
    QVERIFY(pLimited->parentWidget() && pContinuous->parentWidget());
    QCOMPARE(pLimited->parentWidget()->objectName(), QString("frame"));
    QCOMPARE(pContinuous->parentWidget()->objectName(), QString("frame"));
}

void TestUpgradeSetDialog::storedSettingsShown_data()
{
    QTest::addColumn<QVariant>("storedAuto");
    QTest::addColumn<QVariant>("storedContinuous");
    QTest::addColumn<QVariant>("storedCount");
    QTest::addColumn<QString>("shown");        // right after building
    QTest::addColumn<QString>("afterLoading");  // the store
    QTest::addColumn<QString>("afterOk");       // OK without a change

    QTest::newRow("nothing stored") << kAbsent << kAbsent << kAbsent
                                    << "box=off mode=limited modes=disabled count=1 disabled"
                                    << "0,0,1" << "0,0,1";
    QTest::newRow("on, limited, 5") << QVariant(1) << QVariant(0) << QVariant(5)
                                    << "box=on mode=limited modes=enabled count=5 enabled"
                                    << "1,0,5" << "1,0,5";
    QTest::newRow("on, continuous, 5") << QVariant(1) << QVariant(1) << QVariant(5)
                                       << "box=on mode=continuous modes=enabled count=5 disabled"
                                       << "1,1,5" << "1,1,5";
    QTest::newRow("off, continuous, 9") << QVariant(0) << QVariant(1) << QVariant(9)
                                        << "box=off mode=continuous modes=disabled count=9 disabled"
                                        << "0,1,9" << "0,1,9";
    QTest::newRow("on, mode and count absent") << QVariant(1) << kAbsent << kAbsent
                                               << "box=on mode=limited modes=enabled count=1 enabled"
                                               << "1,0,1" << "1,0,1";
    // Damaged or foreign values: shown as the nearest the dialog can show,
    // kept in the store until OK saves what is shown.
    QTest::newRow("count 0") << QVariant(1) << QVariant(0) << QVariant(0)
                             << "box=on mode=limited modes=enabled count=1 enabled" << "1,0,0" << "1,0,1";
    QTest::newRow("count -5") << QVariant(1) << QVariant(0) << QVariant(-5)
                              << "box=on mode=limited modes=enabled count=1 enabled" << "1,0,-5" << "1,0,1";
    QTest::newRow("count 70000") << QVariant(1) << QVariant(0) << QVariant(70000)
                                 << "box=on mode=limited modes=enabled count=65535 enabled" << "1,0,70000"
                                 << "1,0,65535";
    QTest::newRow("count a text") << QVariant(1) << QVariant(0) << QVariant("many")
                                  << "box=on mode=limited modes=enabled count=1 enabled" << "1,0,many"
                                  << "1,0,1";
    QTest::newRow("auto 2") << QVariant(2) << QVariant(0) << QVariant(5)
                            << "box=off mode=limited modes=disabled count=5 disabled" << "2,0,5" << "0,0,5";
    QTest::newRow("auto a text") << QVariant("yes") << QVariant(1) << QVariant(5)
                                 << "box=off mode=continuous modes=disabled count=5 disabled" << "yes,1,5"
                                 << "0,1,5";
    QTest::newRow("continuous 7, on") << QVariant(1) << QVariant(7) << QVariant(5)
                                      << "box=on mode=none modes=enabled count=5 disabled" << "1,7,5" << "1,0,5";
    QTest::newRow("continuous 7, off") << QVariant(0) << QVariant(7) << QVariant(5)
                                       << "box=off mode=none modes=disabled count=5 disabled" << "0,7,5"
                                       << "0,0,5";
    QTest::newRow("continuous -1, on") << QVariant(1) << QVariant(-1) << QVariant(3)
                                       << "box=on mode=none modes=enabled count=3 disabled" << "1,-1,3" << "1,0,3";
}

void TestUpgradeSetDialog::storedSettingsShown()
{
    QFETCH(QVariant, storedAuto);
    QFETCH(QVariant, storedContinuous);
    QFETCH(QVariant, storedCount);
    QFETCH(QString, shown);
    QFETCH(QString, afterLoading);
    QFETCH(QString, afterOk);

    Store(storedAuto, storedContinuous, storedCount);
    UpgradeSetDialog dialog;
    QCOMPARE(Shown(&dialog), shown);
    QCOMPARE(OnDisk(), afterLoading);

    // Opened (not reloaded) and cancelled at once: the same, nothing written.
    QSignalSpy spy(&dialog, &UpgradeSetDialog::EmitUpdateUpgardeSetting);
    Open(&dialog);
    QCOMPARE(Shown(&dialog), shown);
    Do(&dialog, "cancel");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Shown(&dialog), shown);
    QCOMPARE(OnDisk(), afterLoading);
    QCOMPARE(spy.count(), 0);

    // Opened again and confirmed: what is shown is stored.
    CRunLogCapture log;
    Open(&dialog);
    Do(&dialog, "ok");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(OnDisk(), afterOk);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QVERIFY(log.Contains("okBtn_clicked :nAutoUpgradeCount = " + afterOk.section(',', 2)));
}

void TestUpgradeSetDialog::operatorEdits_data()
{
    QTest::addColumn<QVariant>("storedAuto");
    QTest::addColumn<QVariant>("storedContinuous");
    QTest::addColumn<QVariant>("storedCount");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");      // after the steps
    QTest::addColumn<QString>("stored");     // on disk after the steps
    QTest::addColumn<int>("emitted");
    QTest::addColumn<QString>("nextOk");     // on disk after OK at the next opening

    QTest::newRow("box off and on brings back the stored mode")
        << QVariant(1) << QVariant(0) << QVariant(5) << QStringList{"continuous", "box", "box"}
        << "box=on mode=limited modes=enabled count=5 enabled" << "1,0,5" << 0 << "1,0,5";
    QTest::newRow("continuous disables the count, limited enables it")
        << QVariant(1) << QVariant(0) << QVariant(5) << QStringList{"continuous", "limited", "count=8"}
        << "box=on mode=limited modes=enabled count=8 enabled" << "1,0,5" << 0 << "1,0,8";
    QTest::newRow("unchecking with limited shown leaves the count enabled")
        << QVariant(1) << QVariant(0) << QVariant(5) << QStringList{"box"}
        << "box=off mode=limited modes=disabled count=5 enabled" << "1,0,5" << 0 << "0,0,5";
    QTest::newRow("checking with nothing stored")
        << kAbsent << kAbsent << kAbsent << QStringList{"box"}
        << "box=on mode=limited modes=enabled count=1 enabled" << "0,0,1" << 0 << "1,0,1";
    QTest::newRow("OK with the box off, continuous and 300")
        << QVariant(1) << QVariant(1) << QVariant(5) << QStringList{"limited", "count=300", "continuous", "box", "ok"}
        << "box=off mode=continuous modes=disabled count=300 disabled" << "0,1,300" << 1 << "0,1,300";
    QTest::newRow("OK turns automatic upgrading on, limited, 2")
        << QVariant(0) << QVariant(0) << QVariant(1) << QStringList{"box", "count=2", "ok"}
        << "box=on mode=limited modes=enabled count=2 enabled" << "1,0,2" << 1 << "1,0,2";
    QTest::newRow("Cancel restores and writes nothing")
        << QVariant(1) << QVariant(0) << QVariant(5) << QStringList{"count=42", "continuous", "cancel"}
        << "box=on mode=limited modes=enabled count=5 enabled" << "1,0,5" << 0 << "1,0,5";
    QTest::newRow("Cancel after checking the box")
        << QVariant(0) << QVariant(0) << QVariant(1) << QStringList{"box", "continuous", "cancel"}
        << "box=off mode=limited modes=disabled count=1 disabled" << "0,0,1" << 0 << "0,0,1";
    QTest::newRow("Cancel keeps a stored count 0 shown as 1")
        << QVariant(1) << QVariant(0) << QVariant(0) << QStringList{"count=17", "cancel"}
        << "box=on mode=limited modes=enabled count=1 enabled" << "1,0,0" << 0 << "1,0,1";
    QTest::newRow("title-bar close keeps the checked box, modes disabled")
        << QVariant(0) << QVariant(0) << QVariant(1) << QStringList{"box", "close"}
        << "box=on mode=limited modes=disabled count=1 disabled" << "0,0,1" << 0 << "1,0,1";
    QTest::newRow("title-bar close keeps an edited count")
        << QVariant(1) << QVariant(0) << QVariant(5) << QStringList{"count=9", "close"}
        << "box=on mode=limited modes=enabled count=9 enabled" << "1,0,5" << 0 << "1,0,9";
    // A stored mode other than 0 or 1 shows neither button; the pair still
    // excludes each other once one is clicked.
    QTest::newRow("mode 7, limited then continuous")
        << QVariant(1) << QVariant(7) << QVariant(5) << QStringList{"limited", "continuous"}
        << "box=on mode=continuous modes=enabled count=5 disabled" << "1,7,5" << 0 << "1,1,5";
    QTest::newRow("mode 7, Cancel shows neither again")
        << QVariant(1) << QVariant(7) << QVariant(5) << QStringList{"continuous", "cancel"}
        << "box=on mode=none modes=enabled count=5 disabled" << "1,7,5" << 0 << "1,0,5";
    QTest::newRow("mode 7, box off and on shows neither")
        << QVariant(1) << QVariant(7) << QVariant(5) << QStringList{"limited", "box", "box"}
        << "box=on mode=none modes=enabled count=5 disabled" << "1,7,5" << 0 << "1,0,5";
}

void TestUpgradeSetDialog::operatorEdits()
{
    QFETCH(QVariant, storedAuto);
    QFETCH(QVariant, storedContinuous);
    QFETCH(QVariant, storedCount);
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QFETCH(QString, stored);
    QFETCH(int, emitted);
    QFETCH(QString, nextOk);

    Store(storedAuto, storedContinuous, storedCount);
    UpgradeSetDialog dialog;
    QSignalSpy spy(&dialog, &UpgradeSetDialog::EmitUpdateUpgardeSetting);
    Open(&dialog);
    for (const QString& step : qAsConst(steps)) {
        Do(&dialog, step);
        if (QTest::currentTestFailed())
            return;
    }
    const bool bClosed = steps.last() == "ok" || steps.last() == "cancel" || steps.last() == "close";
    QCOMPARE(dialog.isVisible(), !bClosed);
    QCOMPARE(Shown(&dialog), shown);
    QCOMPARE(OnDisk(), stored);
    QCOMPARE(spy.count(), emitted);

    // The next opening shows what the dialog was left with; OK saves it.
    if (bClosed)
        Open(&dialog);
    QCOMPARE(Shown(&dialog), shown);
    Do(&dialog, "ok");
    QCOMPARE(OnDisk(), nextOk);
    QCOMPARE(spy.count(), emitted + 1);
}

void TestUpgradeSetDialog::signalFindsTheSettingsStored()
{
    // Whoever reloads on the signal reads the new values, from any store
    // object over the same file.
    Store(0, 0, 1);
    UpgradeSetDialog dialog;
    QString seen;
    connect(&dialog, &UpgradeSetDialog::EmitUpdateUpgardeSetting, this, [&seen] { seen = OnDisk(); });
    Open(&dialog);
    Do(&dialog, "box");
    Do(&dialog, "continuous");
    Do(&dialog, "ok");
    QCOMPARE(seen, QString("1,1,1"));
}

// A settings file the operator cannot write (copied in by root): OK shows
// one box saying so, the view is not told of a change, and the dialog shows
// what the file holds, now and when it is opened again.
void TestUpgradeSetDialog::unwritableFileIsToldNotShownAsSaved()
{
    Store(0, 0, 1);
    const QString path = CCustomerSettings::GetInstance()->fileName();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    UpgradeSetDialog dialog;
    QSignalSpy told(&dialog, &UpgradeSetDialog::EmitUpdateUpgardeSetting);
    const QString shownBefore = Shown(&dialog);
    CUnwritablePath unwritable(path);
    QVERIFY(unwritable.IsActive());
    CModalBoxAnswerer boxes;
    const QString shot = CTestEnvironment::OutputDir() + QStringLiteral("/upgrade-settings-not-stored.png");
    boxes.OnShown([&shot](const CModalBoxAnswerer::SBox&) {
        if (QWidget* pBox = QApplication::activeModalWidget())
            pBox->grab().save(shot);
    });
    CRunLogCapture log;
    Open(&dialog);
    Do(&dialog, "box");
    Do(&dialog, "continuous");
    Do(&dialog, "ok");

    QCOMPARE(boxes.boxes.size(), 1);
    const CModalBoxAnswerer::SBox& box = boxes.boxes.first();
    QCOMPARE(box.icon, QString("Warning"));
    QCOMPARE(box.title, QString("Upgrade SetUp"));
    QCOMPARE(box.text, "The setting was not stored: the settings file cannot be written.\n" + path);
    qInfo().noquote() << "Screenshot:" << shot;
    QCOMPARE(log.Lines(QtWarningMsg).filter(path).size(), 1);
    QCOMPARE(told.count(), 0);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(Shown(&dialog), shownBefore);
    QCOMPARE(CCustomerSettings::GetInstance()->GetInt(kAuto, 0), 0);
    QCOMPARE(CCustomerSettings::GetInstance()->GetInt(kContinuous, 0), 0);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    file.close();
    Open(&dialog);
    QCOMPARE(Shown(&dialog), shownBefore);
    dialog.close();
}

STATION_TEST_MAIN(TestUpgradeSetDialog)
#include "tst_upgradesetdialog.moc"
