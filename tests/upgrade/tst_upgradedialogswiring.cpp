// The upgrade view's two dialogs in the real station: the main window (with
// its dispatcher and an emulated frame plugged) builds the view, the view
// builds both dialogs with the main window as parent and keeps them
// connected. The dialogs are opened as the view opens them (its hidden
// set-up button, the entry dialog's ShowInput); screenshots for review go to
// the test-output folder.

#include "customersettings.h"
#include "handlework.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "scaninputdialog.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "testfirmwareimage.h"
#include "upgradesetdialog.h"
#include "veloraupgradeview.h"
#include "waitfor.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {
// The unscaled period of the view's reply watchdog and of the dispatcher's
// bootloader-detect timer.
constexpr int kRealTimerPeriodMs = 3000;

template <typename T>
T* Child(QObject* pParent, const char* szName)
{
    return pParent->findChild<T*>(QLatin1String(szName));
}

// Where a window stands on the screen.
QRect ScreenRect(QWidget* pWindow)
{
    return QRect(pWindow->mapToGlobal(QPoint()), pWindow->size());
}

// What the operator sees: the main window with the given windows over it,
// each where it stands on the screen, on a canvas that holds all of them
// (a window may reach beyond the main window).
bool SaveScreen(QWidget* pBase, const QList<QWidget*>& windows, const QString& name)
{
    QRect area = ScreenRect(pBase);
    for (QWidget* pWindow : windows)
        area |= ScreenRect(pWindow);
    QPixmap canvas(area.size());
    canvas.fill(Qt::darkGray);
    {
        QPainter painter(&canvas);
        painter.drawPixmap(ScreenRect(pBase).topLeft() - area.topLeft(), pBase->grab());
        for (QWidget* pWindow : windows)
            painter.drawPixmap(ScreenRect(pWindow).topLeft() - area.topLeft(), pWindow->grab());
    }
    const QString path = CTestEnvironment::OutputDir() + QLatin1Char('/') + name;
    qInfo().noquote() << "Screenshot:" << path;
    return canvas.save(path);
}

// Clicks a control of a dialog as the operator would.
void Click(QWidget* pDialog, const char* szName)
{
    auto* pButton = Child<QAbstractButton>(pDialog, szName);
    QVERIFY2(pButton && pButton->isEnabled(), szName);
    QTest::mouseClick(pButton, Qt::LeftButton, Qt::NoModifier, QPoint(6, pButton->height() / 2));
}

QStringList LogRows(QTableWidget* pTable)
{
    QStringList rows;
    for (int r = 0; r < pTable->rowCount(); ++r)
        rows << (pTable->item(r, 1) ? pTable->item(r, 1)->text() : QString());
    return rows;
}
} // namespace

class TestUpgradeDialogsWiring : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dialogsBelongToTheMainWindow();
    void templateFollowsOkOnly();
    void settingsDialogScreenshots();
    void entryDialogMismatchScreenshot();
    void automaticUpgradeAfterOk();
    void windowGoesAfterBothDialogsOpened();

private:
    // The settings dialog run by the view's hidden set-up button; fill works
    // on it before OK (bOk) or Cancel is clicked.
    bool RunSettings(bool bOk, std::function<void(QDialog*)> fill = nullptr);

    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
    std::unique_ptr<CStationRig> m_pRig;
    std::unique_ptr<CModalBoxAnswerer> m_pAnswerer;
    MainWindow* m_pWindow = nullptr;  // the rig's
    VeloraUpgradeView* m_pView = nullptr;
    UpgradeSetDialog* m_pSettings = nullptr;
    ScanInputDialog* m_pEntry = nullptr;
};

void TestUpgradeDialogsWiring::init()
{
    CTestEnvironment::FastClock(0.02);
    CCustomerSettings::GetInstance()->clear();
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    m_pRig = std::make_unique<CStationRig>();
    CStationRig::SFrame& frame = m_pRig->AddFrame(CStationRig::SFrameOptions::Upgradable());
    frame.usb->Plug();
    m_pWindow = m_pRig->StartMainWindow();
    QVERIFY(StationTest::WaitFor([this] { return !m_pRig->Record().deviceInfos.isEmpty(); }));
    m_pRig->Settle();
    m_pView = m_pWindow->findChild<VeloraUpgradeView*>();
    m_pSettings = m_pWindow->findChild<UpgradeSetDialog*>();
    m_pEntry = m_pWindow->findChild<ScanInputDialog*>();
    QVERIFY(m_pView && m_pSettings && m_pEntry);
    m_pAnswerer = std::make_unique<CModalBoxAnswerer>();
}

void TestUpgradeDialogsWiring::cleanup()
{
    m_pAnswerer.reset();
    m_pView = nullptr;
    m_pSettings = nullptr;
    m_pEntry = nullptr;
    m_pWindow = nullptr;
    m_pRig.reset();
    m_pWorkDir.reset();
    CTestEnvironment::RealClock();
}

bool TestUpgradeDialogsWiring::RunSettings(bool bOk, std::function<void(QDialog*)> fill)
{
    auto* pSetUp = Child<QToolButton>(m_pView, "lstActionToolButton");
    if (!pSetUp || pSetUp->isVisible())
        return false;
    const int nBefore = m_pAnswerer->boxes.size();
    m_pAnswerer->AnswerDialog(false, {bOk ? "OK" : "Cancel"}, std::move(fill));
    // The button is hidden for the life of the view: clicked in code.
    pSetUp->click();
    return m_pAnswerer->boxes.size() == nBefore + 1 && m_pAnswerer->boxes.last().className == "UpgradeSetDialog"
        && m_pAnswerer->problems.isEmpty() && !m_pSettings->isVisible();
}

void TestUpgradeDialogsWiring::dialogsBelongToTheMainWindow()
{
    const auto settings = m_pWindow->findChildren<UpgradeSetDialog*>();
    const auto entries = m_pWindow->findChildren<ScanInputDialog*>();
    QCOMPARE(settings.size(), 1);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(settings[0]->parent(), m_pWindow);
    QCOMPARE(entries[0]->parent(), m_pWindow);
    QCOMPARE(m_pView->parent(), m_pWindow);
    // Built hidden; nothing in the station shows them, the set-up button of
    // the view stays hidden.
    QVERIFY(!m_pSettings->isVisible());
    QVERIFY(!m_pEntry->isVisible());
    m_pWindow->ToggleFunction(UPGRADEWORK);
    QTRY_VERIFY(m_pView->isVisible());
    QVERIFY(!Child<QToolButton>(m_pView, "lstActionToolButton")->isVisible());
    QVERIFY(!m_pSettings->isVisible());
    QVERIFY(!m_pEntry->isVisible());
    // The three settings are in the store from the start.
    CCustomerSettings* pStore = CCustomerSettings::GetInstance();
    QCOMPARE(pStore->value("EnableAutoUpgrade").toInt(), 0);
    QCOMPARE(pStore->value("EnableContinuousUpgrade").toInt(), 0);
    QCOMPARE(pStore->value("AutoUpgradeCount").toInt(), 1);
}

void TestUpgradeDialogsWiring::templateFollowsOkOnly()
{
    auto* pTemplate = Child<QLineEdit>(m_pEntry, "snTemplate_lineEdit");
    QCOMPARE(pTemplate->text(), QString("*"));

    // The store alone does not reach the dialog, nor does Cancel.
    CCustomerSettings::GetInstance()->SetString("SNTEMPLATE", "AB**-12");
    QCOMPARE(pTemplate->text(), QString("*"));
    QVERIFY(RunSettings(false));
    QCOMPARE(pTemplate->text(), QString("*"));
    QVERIFY(m_pEntry->MatchTemplate("Q"));

    // OK does, also without a change of the upgrade settings.
    QVERIFY(RunSettings(true));
    QCOMPARE(pTemplate->text(), QString("AB**-12"));
    QVERIFY(!m_pEntry->MatchTemplate("Q"));
    QVERIFY(m_pEntry->MatchTemplate("ABxy-12"));
}

void TestUpgradeDialogsWiring::settingsDialogScreenshots()
{
    m_pWindow->ToggleFunction(UPGRADEWORK);
    QTRY_VERIFY(m_pView->isVisible());

    // As built at start: automatic upgrading off.
    QVERIFY(RunSettings(false, [this](QDialog* pDialog) {
        QVERIFY(!Child<QCheckBox>(pDialog, "EnableAutoUpgrade_checkBox")->isChecked());
        QVERIFY(SaveScreen(m_pWindow, {m_pView, pDialog}, "upgrade-settings-auto-off.png"));
    }));
    // Switched on, limited to three upgrades.
    QVERIFY(RunSettings(true, [this](QDialog* pDialog) {
        Click(pDialog, "EnableAutoUpgrade_checkBox");
        Click(pDialog, "limitUpgrade_radioButton");
        auto* pCount = Child<QSpinBox>(pDialog, "AutoUpgradeCount_spinBox");
        pCount->selectAll();
        QTest::keyClicks(pCount, "3");
        QVERIFY(SaveScreen(m_pWindow, {m_pView, pDialog}, "upgrade-settings-auto-on-limited.png"));
    }));
    CCustomerSettings* pStore = CCustomerSettings::GetInstance();
    QCOMPARE(pStore->value("EnableAutoUpgrade").toInt(), 1);
    QCOMPARE(pStore->value("EnableContinuousUpgrade").toInt(), 0);
    QCOMPARE(pStore->value("AutoUpgradeCount").toInt(), 3);
}

void TestUpgradeDialogsWiring::entryDialogMismatchScreenshot()
{
    CCustomerSettings::GetInstance()->SetString("SNTEMPLATE", "AB**-12");
    QVERIFY(RunSettings(true));

    // The warning is photographed while it is open over the dialog.
    bool bSaved = false;
    m_pAnswerer->OnShown([this, &bSaved](const CModalBoxAnswerer::SBox& box) {
        if (box.kind == CModalBoxAnswerer::EKind::Message)
            bSaved = SaveScreen(m_pWindow, {m_pEntry, QApplication::activeModalWidget()},
                                "upgrade-sn-entry-mismatch.png");
    });
    m_pEntry->ShowInput();
    QVERIFY(QTest::qWaitForWindowExposed(m_pEntry));
    auto* pInput = Child<QLineEdit>(m_pEntry, "snInput_lineEdit");
    QTest::keyClicks(pInput, "ABxy-123");
    QVERIFY(SaveScreen(m_pWindow, {m_pEntry}, "upgrade-sn-entry-typed.png"));
    QTest::keyClick(pInput, Qt::Key_Return);
    QVERIFY(!m_pEntry->isVisible());
    QVERIFY(bSaved);
    QCOMPARE(m_pAnswerer->boxes.last().text, QString("Product serial numbers do not match"));
    QCOMPARE(m_pEntry->result(), int(QDialog::Rejected));
}

void TestUpgradeDialogsWiring::automaticUpgradeAfterOk()
{
    auto* pUpgrade = Child<QPushButton>(m_pView, "upgradePushButton");
    auto* pBrowse = Child<QPushButton>(m_pView, "browsePushButton");
    auto* pLog = Child<QTableWidget>(m_pView, "infoTableWidget");
    QVERIFY(pUpgrade && pBrowse && pLog);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray image = StationTest::FirmwareImage();
    const QString path = dir.filePath("image.bin");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(image), qint64(image.size()));
    }
    CStationRig::SFrame& frame = m_pRig->Frame();
    frame.boot->ExpectImage(image);
    frame.boot->SetNewFirmware(0x7305, 0xBEEF);
    // The frame's waits run at the fast clock of init(); the view's reply
    // watchdog and the dispatcher's bootloader-detect timer keep their real
    // periods (each gives up after five of them), so that a loaded machine
    // never has them end an upgrade that is on its way. Nothing here waits
    // for them: the upgrades end by their completions.
    m_pView->SetWatchdogInterval(kRealTimerPeriodMs);
    m_pWindow->GetHandleWork()->SetBootDetectInterval(kRealTimerPeriodMs);
    // Each completed upgrade readies the bootloader for the next image, at
    // once, before a further upgrade can start. Any other ending counts a
    // failure: the wait stops there, with the rows that tell why.
    // (A row's cell changes more than once: text, then tool tip.)
    QSet<int> endedRows;
    int nCompleted = 0;
    bool bFailed = false;
    const QRegularExpression failureCount(QStringLiteral("\\(\\d+,[1-9]\\d*\\)$"));
    connect(pLog->model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex& topLeft) {
        if (topLeft.column() != 1 || endedRows.contains(topLeft.row()))
            return;
        const QString text = topLeft.data().toString();
        if (text.startsWith("Update completed")) {
            endedRows.insert(topLeft.row());
            ++nCompleted;
            frame.boot->ExpectImage(image);
        } else if (failureCount.match(text).hasMatch()) {
            endedRows.insert(topLeft.row());
            bFailed = true;
        }
    });

    CCustomerSettings::GetInstance()->SetString("UpgradeFilePath", path);
    m_pWindow->ToggleFunction(UPGRADEWORK);
    QTRY_VERIFY(m_pView->isVisible());
    QVERIFY(pUpgrade->isEnabled());

    // On, limited to two upgrades: the one started by hand and one more.
    QVERIFY(RunSettings(true, [](QDialog* pDialog) {
        Click(pDialog, "EnableAutoUpgrade_checkBox");
        Click(pDialog, "limitUpgrade_radioButton");
        auto* pCount = Child<QSpinBox>(pDialog, "AutoUpgradeCount_spinBox");
        pCount->selectAll();
        QTest::keyClicks(pCount, "2");
    }));

    QTest::mouseClick(pUpgrade, Qt::LeftButton);
    QVERIFY2(StationTest::WaitFor([&] { return nCompleted == 2 || bFailed; }, 90000),
             qPrintable(LogRows(pLog).join('\n')));
    QVERIFY2(!bFailed, qPrintable(LogRows(pLog).join('\n')));
    m_pRig->Settle();
    // The continuation starts at once after a completion: by now a third
    // upgrade would have logged its start.
    const QStringList rows = LogRows(pLog);
    QCOMPARE(rows.count("Enter upgrade mode"), 2);
    QVERIFY2(rows.contains("Update completed(2,0)"), qPrintable(rows.join('\n')));
    QVERIFY(pUpgrade->isEnabled());
    QVERIFY(pBrowse->isEnabled());
    QVERIFY2(frame.boot->Problems().isEmpty(), qPrintable(frame.boot->Problems().join('\n')));
}

void TestUpgradeDialogsWiring::windowGoesAfterBothDialogsOpened()
{
    QVERIFY(RunSettings(true));
    m_pEntry->ShowInput();
    QVERIFY(QTest::qWaitForWindowExposed(m_pEntry));
    QTest::keyClicks(Child<QLineEdit>(m_pEntry, "snInput_lineEdit"), "KT-1");
    QTest::keyClick(m_pEntry, Qt::Key_Return);
    QVERIFY(!m_pEntry->isVisible());

    QPointer<UpgradeSetDialog> settings(m_pSettings);
    QPointer<ScanInputDialog> entry(m_pEntry);
    m_pSettings = nullptr;
    m_pEntry = nullptr;
    m_pView = nullptr;
    m_pWindow = nullptr;
    m_pRig->CloseMainWindow();
    QVERIFY(settings.isNull());
    QVERIFY(entry.isNull());
    // The rest of the station goes down after them.
    m_pRig.reset();
}

STATION_TEST_MAIN(TestUpgradeDialogsWiring)
#include "tst_upgradedialogswiring.moc"
