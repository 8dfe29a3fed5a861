// The signal-test view as the main window builds it over the emulated frame:
// its pages and notice, title, menus and shortcuts, the page it restores, the
// source buttons, and the device table with what a frame or a log may put in
// it. Pictures of the view without a frame and with the device table go to
// the test-output folder.

#include "mutexholder.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testviewdouble.h"
#include "testviewstation.h"
#include "touchpaintview.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QtTest>

namespace {
struct SCell
{
    QString text;
    QString toolTip;
    int nSpan = 1;
    bool bBold = false;
    bool bCentred = false;
};

SCell Cell(QTableWidget* pTable, int nRow, int nColumn)
{
    SCell cell;
    const QTableWidgetItem* pItem = pTable->item(nRow, nColumn);
    if (!pItem)
        return cell;
    cell.text = pItem->text();
    cell.toolTip = ShownToolTip(pItem->toolTip());
    cell.nSpan = pTable->columnSpan(nRow, nColumn);
    cell.bBold = pItem->font().weight() == QFont::Bold;
    cell.bCentred = pItem->textAlignment() == Qt::AlignCenter;
    return cell;
}

// The table as rows of "name | value" texts, "# heading" for a spanning row,
// "" for an empty one.
QStringList Rows(QTableWidget* pTable)
{
    QStringList rows;
    for (int r = 0; r < pTable->rowCount(); ++r) {
        const SCell first = Cell(pTable, r, 0);
        if (first.nSpan == 2)
            rows << QStringLiteral("# ") + first.text;
        else if (pTable->item(r, 0) || pTable->item(r, 1))
            rows << first.text + QStringLiteral(" | ") + Cell(pTable, r, 1).text;
        else
            rows << QString();
    }
    return rows;
}

QStringList PairRows(const QList<QPair<QString, QString>>& pairs)
{
    QStringList rows;
    for (const auto& pair : pairs)
        rows << pair.first + QStringLiteral(": | ") + pair.second;
    return rows;
}

QStringList MenuTexts(QMenu* pMenu)
{
    QStringList texts;
    for (QAction* pAction : pMenu->actions())
        texts << (pAction->isSeparator() ? QStringLiteral("---") : pAction->text());
    return texts;
}

QAction* ActionNamed(const QList<QAction*>& actions, const QString& text)
{
    for (QAction* pAction : actions) {
        if (pAction->text() == text)
            return pAction;
    }
    return nullptr;
}

bool SameImage(const QIcon& icon, const QString& path, QIcon::State state = QIcon::Off)
{
    const QImage image = icon.pixmap(48, 48, QIcon::Normal, state).toImage();
    return !image.isNull() && image == QIcon(path).pixmap(48, 48).toImage();
}
} // namespace

class TestTestViewObject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void pagesNoticeAndTitle();
    void actionMenuAndShortcuts();
    void restoredPage_data();
    void restoredPage();
    void freshStoreHoldsTheSetUpValues();
    void sourceButtons_data();
    void sourceButtons();
    void deviceTable();
    void deviceTableOfHostileTexts();
    void deviceTableNeedsADeviceObject();
    void deviceTableWithoutEnvironment();
    void deviceTableWhileTheEnvironmentIsRefreshed();
    void pictures();
};

void TestTestViewObject::initTestCase()
{
    InitStationResources();
}

void TestTestViewObject::init()
{
    Settings()->clear();
    // Opening the view starts a run: no prompt, no draw test after it.
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
}

void TestTestViewObject::pagesNoticeAndTitle()
{
    CTestViewStation station;
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    auto* pTabs = Child<QTabWidget>(pView, "touchTabWidget");
    auto* pPanelTab = Child<QWidget>(pView, "pannelTab");
    auto* pHistogramTab = Child<QWidget>(pView, "HistogramTab");

    // Two pages; the notice lies over them, not among them.
    QCOMPARE(pTabs->count(), 2);
    QCOMPARE(pTabs->widget(0), pPanelTab);
    QCOMPARE(pTabs->widget(1), pHistogramTab);
    QLabel* pNotice = pView->NoticeLabel();
    QCOMPARE(pNotice->objectName(), QStringLiteral("noticeLabel"));
    QCOMPARE(pTabs->indexOf(pNotice), -1);
    QCOMPARE(pNotice->parentWidget(), pTabs);
    QCOMPARE(pNotice->text(), QStringLiteral("There is no device inserted, Please insert device!"));
    QCOMPARE(pNotice->textFormat(), Qt::PlainText);
    QCOMPARE(pTabs->indexOf(Child<QWidget>(pView, "signalTab")), -1);

    station.OpenView();
    pView->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), pView);
    QVERIFY(pNotice->isVisible());
    QCOMPARE(pNotice->geometry(), pTabs->rect());

    // The page the refresh works for follows the page shown (fresh store:
    // the panel page).
    QCOMPARE(pTabs->currentWidget(), pPanelTab);
    QCOMPARE(pView->VisiblePage(), VeloraTestView::EPage::Panel);
    QTest::keyClick(pView, Qt::Key_H);
    QTRY_COMPARE(pTabs->currentWidget(), pHistogramTab);
    QCOMPARE(pView->VisiblePage(), VeloraTestView::EPage::Histogram);
    QVERIFY(Settings()->GetBool("TouchHistogramChecked", false));
    pTabs->setCurrentIndex(0);
    QCOMPARE(pView->VisiblePage(), VeloraTestView::EPage::Panel);
    QVERIFY(Child<QToolButton>(pView, "rectButton")->isChecked());

    // The signal page is gone: PgUp does nothing.
    QVERIFY(!Child<QToolButton>(pView, "signalButton")->isVisible());
    QTest::keyClick(pView, Qt::Key_PageUp);
    QTest::qWait(150); // longer than a shortcut's animated click
    QCOMPARE(pTabs->currentWidget(), pPanelTab);
    QVERIFY(!Settings()->contains("TouchSignalChecked"));

    const QString title = QStringLiteral("KESTREL-CUSTOMER 0.0.0.6");
    QCOMPARE(pView->windowTitle(), title);
    auto* pVersion = Child<QLabel>(pView, "ver_label");
    QCOMPARE(pVersion->text(), title);
    QVERIFY(!pVersion->isVisible());
    const Qt::WindowFlags flags = pView->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags.testFlag(Qt::WindowMinMaxButtonsHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));

    // The defaults of the run state.
    QVERIFY(pView->IsTouchEnabled());
    QVERIFY(!pView->IsRefreshRunning());
    QVERIFY(!pView->IsTestRunning());
    QVERIFY(!pView->IsSourcePresent());
    QCOMPARE(pView->RefreshInterval(), 10);
    QVERIFY(pView->GetLogFilePath().isEmpty());

    // Offscreen the first screen has 96 dots per inch: the small font scale.
    QCOMPARE(pView->FontScale(), 0.5);
    // The draw window is a hidden window of its own.
    QVERIFY(pView->TouchPaintView()->isWindow());
    QVERIFY(!pView->TouchPaintView()->isVisible());
}

void TestTestViewObject::actionMenuAndShortcuts()
{
    CTestViewStation station;
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    QMenu* pMenu = pView->ActionMenu();
    QCOMPARE(Child<QToolButton>(pView, "testActionToolButton")->menu(), pMenu);
    QCOMPARE(MenuTexts(pMenu), (QStringList{"Modify SN code...", "---", "Open log file...", "---", "Print screen...",
                                            "Record Data...", "---", "Set..."}));
    QCOMPARE(pMenu->styleSheet(), QStringLiteral("QMenu::item:selected {background-color: #2dabf9;}"));

    const QList<QAction*> menu = pMenu->actions();
    QAction* pSet = ActionNamed(menu, "Set...");
    QAction* pPrint = ActionNamed(menu, "Print screen...");
    QAction* pOpen = ActionNamed(menu, "Open log file...");
    QAction* pRecord = ActionNamed(menu, "Record Data...");
    QAction* pModify = ActionNamed(menu, "Modify SN code...");
    QCOMPARE(pSet->shortcuts(), QKeySequence::keyBindings(QKeySequence::InsertParagraphSeparator));
    QCOMPARE(pPrint->shortcuts(), QKeySequence::keyBindings(QKeySequence::Print));
    QCOMPARE(pOpen->shortcuts(), QKeySequence::keyBindings(QKeySequence::Open));
    QCOMPARE(pRecord->shortcut(), QKeySequence(Qt::CTRL + Qt::Key_R));
    QCOMPARE(pModify->shortcut(), QKeySequence(Qt::CTRL + Qt::Key_M));
    QVERIFY(SameImage(pSet->icon(), ":/Image/Image-UI/setUp.png"));
    QVERIFY(SameImage(pPrint->icon(), ":/Image/Image-UI/PrtScreen.png"));
    QVERIFY(SameImage(pOpen->icon(), ":/Image/Image-UI/OpenLog.png"));
    QVERIFY(SameImage(pRecord->icon(), ":/Image/Image-UI/Record_Off.png", QIcon::Off));
    QVERIFY(SameImage(pRecord->icon(), ":/Image/Image-UI/Record_On.png", QIcon::On));
    QVERIFY(pModify->icon().isNull());
    QVERIFY(pRecord->isCheckable());

    // On the view: the replay keys; left and right work in every window.
    const QList<QAction*> own = pView->actions();
    QAction* pUp = ActionNamed(own, "Speed Up...");
    QAction* pDown = ActionNamed(own, "Speed Down...");
    QAction* pNext = ActionNamed(own, "Next Frame...");
    QAction* pPrev = ActionNamed(own, "Pre Frame...");
    QVERIFY(pUp && pDown && pNext && pPrev);
    QCOMPARE(pUp->shortcut(), QKeySequence(Qt::Key_Up));
    QCOMPARE(pDown->shortcut(), QKeySequence(Qt::Key_Down));
    QCOMPARE(pNext->shortcut(), QKeySequence(Qt::Key_Right));
    QCOMPARE(pPrev->shortcut(), QKeySequence(Qt::Key_Left));
    QCOMPARE(pNext->shortcutContext(), Qt::ApplicationShortcut);
    QCOMPARE(pPrev->shortcutContext(), Qt::ApplicationShortcut);
    QCOMPARE(pUp->shortcutContext(), Qt::WindowShortcut);

    // "Record Data..." answers the operator's trigger only: checking or
    // unchecking it from code runs nothing.
    CRunLogCapture log;
    pRecord->setChecked(true);
    pRecord->setChecked(false);
    QCOMPARE(log.Count("recordResponse"), 0);
    pRecord->trigger();
    QCOMPARE(log.Count("recordResponse"), 1);
    pRecord->setChecked(false);
}

void TestTestViewObject::restoredPage_data()
{
    QTest::addColumn<QVariant>("panel");
    QTest::addColumn<QVariant>("histogram");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("histogramStored");
    // A key not stored reads as true (and is stored).
    QTest::newRow("fresh store") << QVariant() << QVariant() << "pannelTab" << "rectButton" << false;
    QTest::newRow("panel") << QVariant(true) << QVariant(false) << "pannelTab" << "rectButton" << true;
    QTest::newRow("histogram") << QVariant(false) << QVariant(true) << "HistogramTab" << "histogramButton" << true;
    QTest::newRow("histogram by default") << QVariant(false) << QVariant() << "HistogramTab" << "histogramButton"
                                          << true;
    // Neither: the form's own page stays.
    QTest::newRow("neither") << QVariant(false) << QVariant(false) << "HistogramTab" << "histogramButton" << true;
}

void TestTestViewObject::restoredPage()
{
    QFETCH(QVariant, panel);
    QFETCH(QVariant, histogram);
    QFETCH(QString, page);
    QFETCH(QString, button);
    QFETCH(bool, histogramStored);

    CTestViewStation station;
    QVERIFY(station.Start());
    Settings()->clear();
    // Opening the view starts a run: no prompt, no draw test after it.
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
    if (panel.isValid())
        Settings()->SetBool("TouchPannelChecked", panel.toBool());
    if (histogram.isValid())
        Settings()->SetBool("TouchHistogramChecked", histogram.toBool());

    VeloraTestView view(nullptr, station.work);
    auto* pTabs = Child<QTabWidget>(&view, "touchTabWidget");
    QCOMPARE(pTabs->currentWidget()->objectName(), page);
    QVERIFY(Child<QToolButton>(&view, qPrintable(button))->isChecked());
    QCOMPARE(view.VisiblePage(), page == "pannelTab" ? VeloraTestView::EPage::Panel : VeloraTestView::EPage::Histogram);
    QVERIFY(Settings()->contains("TouchPannelChecked"));
    QCOMPARE(Settings()->contains("TouchHistogramChecked"), histogramStored);
}

// The set-up dialog (built by the view) reads its flags with its own
// defaults, so a fresh store holds them once the view exists.
void TestTestViewObject::freshStoreHoldsTheSetUpValues()
{
    CTestViewStation station;
    QVERIFY(station.Start());
    Settings()->clear();
    // Opening the view starts a run: no prompt, no draw test after it.
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
    VeloraTestView view(nullptr, station.work);
    const QMap<QString, bool> expected{{"DefaultTouchEnable", true},    {"DefaultJumpToDraw", false},
                                       {"SupportRealTimeTest", false},  {"SupportSNCheck", false},
                                       {"FirmwareCheckEnable", false}, {"SNChecksumCheckEnable", false}};
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QVERIFY2(Settings()->contains(it.key()), qPrintable(it.key()));
        QCOMPARE(Settings()->value(it.key()).toBool(), it.value());
    }
}

void TestTestViewObject::sourceButtons_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("no device object") << "none" << false;
    QTest::newRow("application frame, source present") << "application" << true;
    QTest::newRow("application frame, source gone") << "application, source gone" << false;
    QTest::newRow("bootloader frame, source present") << "bootloader" << false;
    QTest::newRow("live hardware, no frame attached, source present") << "unplugged, source present" << true;
    QTest::newRow("live hardware, no frame attached") << "unplugged" << false;
}

void TestTestViewObject::sourceButtons()
{
    QFETCH(QString, setup);
    QFETCH(bool, enabled);

    CTestViewStation station;
    if (setup != "none") {
        CStationRig::SFrameOptions options;
        if (setup == "bootloader")
            options.mode = CEmulatedFrame::Mode::Bootloader;
        station.AddFrame(options);
    }
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    if (setup == "bootloader")
        pView->InsertUsbDeviceForTest(true);
    if (setup == "application, source gone")
        pView->InsertUsbDeviceForTest(false);
    if (setup.startsWith("unplugged")) {
        station.rig.Frame().usb->Unplug();
        QVERIFY(station.rig.WaitForDevices(0));
        QVERIFY(StationTest::WaitFor([&] { return !pView->IsSourcePresent(); }));
        QCOMPARE(station.work->GetDeviceKind(), HandleWork::DeviceKind::Live);
        if (setup.endsWith("source present"))
            pView->InsertUsbDeviceForTest(true);
    }

    pView->SetButtonsEnabled(false);
    {
        // A plug event may come while a task holds the device: the buttons
        // are set without the device mutex.
        CMutexHolder busy(station.work->GetDeviceMutex());
        pView->UpdateSourceButtons();
    }
    for (const char* szButton : {"touchEnTestButton", "retestTestButton", "startTestButton"})
        QVERIFY2(Child<QWidget>(pView, szButton)->isEnabled() == enabled, szButton);
    QCOMPARE(ActionNamed(pView->ActionMenu()->actions(), "Record Data...")->isEnabled(), enabled);
    QVERIFY(Child<QWidget>(pView, "exitTestButton")->isEnabled());
    // The others are left as they were.
    QVERIFY(!Child<QWidget>(pView, "calButton")->isEnabled());
}

void TestTestViewObject::deviceTable()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    auto* pTable = Child<QTableWidget>(pView, "FirmwareInfo");
    const QList<QPair<QString, QString>> environment = station.work->GetEnvironmentList();
    QCOMPARE(environment.size(), 4);

    // The main window has handed the frame's list on.
    QList<QPair<QString, QString>> device;
    {
        QMutexLocker lock(station.work->GetDeviceMutex());
        device = station.work->GetTouchDevice()->GetPropertyList();
    }
    QVERIFY(!device.isEmpty());
    const QStringList expected = QStringList{"# Device Information:"} + PairRows(device)
                                 + QStringList{"# Runtimes Information:"} + PairRows(environment);
    QCOMPARE(Rows(pTable), expected);
    QCOMPARE(pTable->rowCount(), device.size() + environment.size() + 2);
    QCOMPARE(pTable->columnCount(), 2);
    const SCell heading = Cell(pTable, 0, 0);
    QVERIFY(heading.bBold && heading.bCentred);
    const SCell name = Cell(pTable, 1, 0);
    QCOMPARE(name.toolTip, name.text);
    QCOMPARE(Cell(pTable, 1, 1).toolTip, device[0].second);
    QCOMPARE(pTable->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(pTable->horizontalHeader()->isHidden() && pTable->verticalHeader()->isHidden());
    QCOMPARE(pTable->columnWidth(0), qMax(pTable->width() / 3, pTable->horizontalHeader()->minimumSectionSize()));
    QVERIFY(Rows(pTable).contains("App Version: | 0.0.0.6"));

    // From the device object itself, with a context menu of its own.
    pTable->clear();
    pView->InitDeviceInfoTable();
    QCOMPARE(Rows(pTable), expected);
    QCOMPARE(pTable->contextMenuPolicy(), Qt::CustomContextMenu);

    // No pairs: the runtime section comes first; two rows stay empty.
    pView->UpdateSignalTestDeviceInfo({});
    QCOMPARE(Rows(pTable), QStringList{"# Runtimes Information:"} + PairRows(environment) + QStringList{""});
    QCOMPARE(pTable->rowCount(), environment.size() + 2);

    // The reset table.
    pView->ResetInfoTables();
    QCOMPARE(Rows(pTable), QStringList{"No Information... | "});
    QCOMPARE(pTable->columnCount(), 1);
    QVERIFY(Cell(pTable, 0, 0).bBold);
    QCOMPARE(Rows(Child<QTableWidget>(pView, "testResult")), QStringList{"Unknown... | "});
}

// Names and values of a frame or a log are shown as they stand: markup stays
// text, in the cells and in their tool tips, and 2,000 characters fit.
void TestTestViewObject::deviceTableOfHostileTexts()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    auto* pTable = Child<QTableWidget>(pView, "FirmwareInfo");
    const QString markup = QStringLiteral("<b>Product</b>");
    const QString image = QStringLiteral("<img src=\"/etc/passwd\"> &amp; <table><tr><td>x");
    const QString longText = QString(2000, QLatin1Char('W'));
    const QString lines = QStringLiteral("line 1\nline 2");
    pView->UpdateSignalTestDeviceInfo({{markup, image}, {QStringLiteral("Long"), longText}, {lines, lines}});
    QCOMPARE(Cell(pTable, 1, 0).text, markup + ":");
    QCOMPARE(Cell(pTable, 1, 0).toolTip, markup + ":");
    QCOMPARE(Cell(pTable, 1, 1).text, image);
    QCOMPARE(Cell(pTable, 1, 1).toolTip, image);
    QCOMPARE(Cell(pTable, 2, 1).text, longText);
    QCOMPARE(Cell(pTable, 2, 1).toolTip, longText);
    QCOMPARE(Cell(pTable, 3, 1).toolTip, lines);
}

void TestTestViewObject::deviceTableNeedsADeviceObject()
{
    CTestViewStation station;
    QVERIFY(station.Start());
    station.view->UpdateSignalTestDeviceInfo({{"Product", "KT"}});
    station.view->InitDeviceInfoTable();
    QCOMPARE(Rows(Child<QTableWidget>(station.view, "FirmwareInfo")), QStringList{"No Information... | "});
}

// A replayed log without host data leaves the station's environment list
// empty: only the device section is shown.
void TestTestViewObject::deviceTableWithoutEnvironment()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    CTestViewDouble poster;
    QVERIFY(station.rig.Run("StartTestOnce", &poster));
    QVERIFY(StationTest::WaitFor([&] { return poster.nInitTestUi == 1; }));
    const QString path = QDir::current().absoluteFilePath("no-host.xml");
    {
        QMutexLocker lock(station.work->GetDeviceMutex());
        QCOMPARE(station.work->GetTouchDevice()->SaveXml(path), 0);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString xml = QString::fromUtf8(file.readAll());
    file.close();
    xml.replace(QRegularExpression("<app_info>.*</app_info>", QRegularExpression::DotMatchesEverythingOption),
                "<app_info/>");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(xml.toUtf8());
    file.close();

    station.rig.Frame().usb->Unplug();
    QVERIFY(station.rig.WaitForDevices(0));
    station.rig.Settle();
    poster.strLogPath = path;
    QVERIFY(station.rig.Run("OpenTestLog", &poster));
    QVERIFY(StationTest::WaitFor([&] { return poster.nInitTestUi == 2; }));
    QCOMPARE(station.work->GetDeviceKind(), HandleWork::DeviceKind::Replay);
    QVERIFY(station.work->GetEnvironmentList().isEmpty());

    auto* pTable = Child<QTableWidget>(station.view, "FirmwareInfo");
    station.view->UpdateSignalTestDeviceInfo({{"Product", "KT"}});
    QCOMPARE(Rows(pTable), (QStringList{"# Device Information:", "Product: | KT", ""}));
}

// The environment list is a copy the dispatcher keeps under its own lock: the
// table reads it while the worker refreshes the record.
void TestTestViewObject::deviceTableWhileTheEnvironmentIsRefreshed()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    auto* pTable = Child<QTableWidget>(station.view, "FirmwareInfo");
    for (int i = 0; i < 30; ++i) {
        station.work->PostTask("InitEnvironmentValid");
        station.view->UpdateSignalTestDeviceInfo({{"Product", "KT"}});
        QCOMPARE(pTable->rowCount(), 1 + 4 + 2);
        QCOMPARE(Cell(pTable, 2, 0).text, QStringLiteral("Runtimes Information:"));
    }
    station.rig.Settle();
}

void TestTestViewObject::pictures()
{
    {
        CTestViewStation station;
        QVERIFY(station.StartOpen());
        QVERIFY(station.Screenshot("testview-no-frame-1115x741.png", QSize(1115, 741)));
        QVERIFY(station.Screenshot("testview-no-frame-1920x1080.png", QSize(1920, 1080)));
    }
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());
    QVERIFY(station.Screenshot("testview-device-table-1115x741.png", QSize(1115, 741)));
    QVERIFY(station.Screenshot("testview-device-table-1920x1080.png", QSize(1920, 1080)));
}

STATION_TEST_MAIN(TestTestViewObject)
#include "tst_testviewobject.moc"
