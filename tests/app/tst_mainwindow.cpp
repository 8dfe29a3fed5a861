// The main window: its form, the start-up view, closing, the keys and the
// error boxes. The device layer runs over the fake OS backend with no frame.

#include "customersettings.h"
#include "fakehidbackend.h"
#include "handlework.h"
#include "mainsetupdialog.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "upgradelogfile.h"
#include "veloracalibrateview.h"
#include "veloratestview.h"
#include "veloraupgradeview.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {
const char* const kButtonStyle =
    "QToolButton{border:none} QToolTip{border:1px solid rgb(118, 118, 118); background-color: #ffffff; "
    "color:#484848; font-size:12px;}";
const char* const kMenuButtonStyle = "QToolButton::menu-indicator{image:None} QToolButton{border:none}";
const char* const kNoDevice = "There is no device inserted, Please insert device!";

template <typename T>
T* Child(QWidget* pParent, const char* szName)
{
    return pParent->findChild<T*>(QLatin1String(szName));
}

// True while an editor is open on one of the table's cells.
bool IsEditing(QTableWidget* pTable)
{
    for (QLineEdit* pEditor : pTable->findChildren<QLineEdit*>()) {
        if (pEditor->isVisible())
            return true;
    }
    return false;
}

// Types into a cell as an operator would: the edit key, the text and Return,
// each to whatever has the focus.
void TypeIntoCell(QTableWidget* pTable, int nRow, int nColumn, const QString& text)
{
    pTable->setFocus();
    pTable->setCurrentCell(nRow, nColumn);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    QTest::keyClicks(QApplication::focusWidget(), text);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

// Records, in order, the class names of the top-level windows as they are
// shown.
class CShowRecorder : public QObject
{
public:
    CShowRecorder() { qApp->installEventFilter(this); }
    ~CShowRecorder() override { qApp->removeEventFilter(this); }
    QStringList shown;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Show && pWatched->isWidgetType()
            && static_cast<QWidget*>(pWatched)->isWindow())
            shown << QString::fromLatin1(pWatched->metaObject()->className());
        return false;
    }
};

// Runs the application's event loop until the code under test quits it, or
// until the modal boxes are answered and nothing quit (then 42).
int RunLoopUntilQuitOrAnswered(CModalBoxAnswerer& answerer, int nBoxes)
{
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (answerer.boxes.size() >= nBoxes && !QApplication::activeModalWidget())
            QCoreApplication::exit(42);
    });
    guard.start(10);
    return QCoreApplication::exec();
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void formHasItsButtons_data();
    void formHasItsButtons();
    void formStartsWithTheNotice();
    void defaultInterfaceOpensItsView_data();
    void defaultInterfaceOpensItsView();
    void toolButtonsOpenAndViewsReturn();
    void shortcutsClickTheirButtons_data();
    void shortcutsClickTheirButtons();
    void closeIsRefusedWhileAViewIsOpen();
    void escapeQuitsTheEventLoop();
    void errorBoxes_data();
    void errorBoxes();
    void errorBoxButtonsQuit_data();
    void errorBoxButtonsQuit();
    void chineseCatalogue();
    void catalogueTranslatesTheOperatorTexts_data();
    void catalogueTranslatesTheOperatorTexts();
    void formWidgets_data();
    void formWidgets();
    void formLayouts_data();
    void formLayouts();
    void formTablesAndTouchImages();
    void typingOnThePanelChangesNothing();

private:
    static std::unique_ptr<MainWindow> CreateFormWindow();

    std::shared_ptr<CFakeHidBackend> m_backend;
    std::unique_ptr<MainWindow> m_pFormWindow; // shared by the rows that only read the form
};

std::unique_ptr<MainWindow> TestMainWindow::CreateFormWindow()
{
    // Shown: a closing box must never leave the application without a
    // visible window (that would end the event loop on its own).
    auto pWindow = std::make_unique<MainWindow>();
    pWindow->show();
    return pWindow;
}

void TestMainWindow::initTestCase()
{
    InitStationResources();
    m_backend = CFakeHidBackend::Install();
    // The upgrade view opened here writes its log in the sandbox, not beside the test.
    CUpgradeLogFile::SetProgramDir(CTestEnvironment::WorkDir());
}

void TestMainWindow::init()
{
    CCustomerSettings::GetInstance()->clear();
}

void TestMainWindow::cleanupTestCase()
{
    m_pFormWindow.reset();
    m_backend.reset();
    CFakeHidBackend::Uninstall();
    CUpgradeLogFile::SetProgramDir(QString());
}

void TestMainWindow::formHasItsButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<QString>("style");

    QTest::newRow("touch") << "touchEnToolButton" << "Enable/Disable Touch(F1)" << "Enable Touch" << "F1" << true << kButtonStyle;
    QTest::newRow("draw") << "drawToolButton" << "Drawing(F3)" << "Draw Test" << "F3" << false << kButtonStyle;
    QTest::newRow("signal") << "signalToolButton" << "Signal(PgUp)" << "..." << "PgUp" << false << kButtonStyle;
    QTest::newRow("cal") << "calToolButton" << "Calibration(C)" << "PushButton" << "C" << false << kButtonStyle;
    QTest::newRow("upgrade") << "upgradeToolButton" << "Upgrade(U)" << "PushButton" << "U" << true << kButtonStyle;
    QTest::newRow("menu") << "lstActionToolButton" << "Menu(S)" << "..." << "S" << false << kMenuButtonStyle;
    QTest::newRow("exit") << "exitToolButton" << "Exit(Esc)" << "Exit" << "Esc" << false << kButtonStyle;
}

void TestMainWindow::formHasItsButtons()
{
    QFETCH(QString, name);
    QFETCH(QString, toolTip);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(bool, checkable);
    QFETCH(QString, style);

    if (!m_pFormWindow)
        m_pFormWindow = CreateFormWindow();
    auto* pColumn = Child<QWidget>(m_pFormWindow.get(), "controlwidget");
    QVERIFY(pColumn);
    auto* pButton = Child<QToolButton>(pColumn, qPrintable(name));
    QVERIFY(pButton);
    QCOMPARE(pButton->parentWidget(), pColumn);
    QCOMPARE(pButton->toolTip(), toolTip);
    QCOMPARE(pButton->text(), text);
    QCOMPARE(pButton->shortcut(), QKeySequence(shortcut));
    QCOMPARE(pButton->isCheckable(), checkable);
    QCOMPARE(pButton->styleSheet(), style);
    QCOMPARE(pButton->iconSize(), QSize(48, 48));
    QCOMPARE(pButton->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QVERIFY(!pButton->icon().isNull());
    // The images are embedded and drawn 48 x 48.
    QCOMPARE(pButton->icon().pixmap(48, 48).size(), QSize(48, 48));
}

void TestMainWindow::formStartsWithTheNotice()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("KESTREL-CUSTOMER 0.0.0.6"));
    QCOMPARE(window.size(), QSize(1129, 748));
    QCOMPARE(window.GetWorkType(), MAINWORK);
    QVERIFY(!window.menuWidget());
    QVERIFY(!window.findChild<QStatusBar*>());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto* pVersion = Child<QLabel>(&window, "ver_label");
    QCOMPARE(pVersion->text(), QStringLiteral("KESTREL-CUSTOMER 0.0.0.6"));
    QVERIFY(!pVersion->isVisible());
    for (const char* szHidden : {"snWidget", "modelLabel", "snLabel", "appInfoWidget", "touchEnToolButton"})
        QVERIFY2(!Child<QWidget>(&window, szHidden)->isVisible(), szHidden);
    auto* pTouch = Child<QToolButton>(&window, "touchEnToolButton");
    QVERIFY(!pTouch->isEnabled());
    QVERIFY(!pTouch->isChecked());
    for (const char* szShown : {"drawToolButton", "signalToolButton", "calToolButton", "upgradeToolButton",
                                "lstActionToolButton", "exitToolButton"}) {
        QVERIFY2(Child<QWidget>(&window, szShown)->isVisible(), szShown);
        QVERIFY2(Child<QWidget>(&window, szShown)->isEnabled(), szShown);
    }
    QCOMPARE(Child<QWidget>(&window, "controlwidget")->styleSheet(),
             QStringLiteral("background-color: rgb(41, 36, 33); "));

    auto* pTable = Child<QTableWidget>(&window, "HardwareInfoWidget");
    auto* pNotice = Child<QLabel>(pTable, "noticeLabel");
    QVERIFY(pNotice);
    QVERIFY(pNotice->isVisible());
    QCOMPARE(pNotice->text(), QString::fromLatin1(kNoDevice));
    QVERIFY(pNotice->wordWrap());
    QCOMPARE(pNotice->alignment(), Qt::AlignCenter);
    QVERIFY(pTable->findChild<QGridLayout*>(QStringLiteral("tabWidgetGridLayout")));
    QCOMPARE(pTable->rowCount(), 1);
    QCOMPARE(pTable->columnCount(), 1);
}

void TestMainWindow::defaultInterfaceOpensItsView_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("workType");
    QTest::addColumn<QString>("view");

    QTest::newRow("missing") << false << 0 << 0 << "";
    QTest::newRow("0 main panel") << true << 0 << 0 << "";
    QTest::newRow("1 signal test") << true << 1 << 1 << "VeloraTestView";
    QTest::newRow("2 firmware upgrade") << true << 2 << 3 << "VeloraUpgradeView";
    QTest::newRow("3 calibration") << true << 3 << 2 << "VeloraCalibrateView";
    QTest::newRow("7 unknown") << true << 7 << 0 << "";
    QTest::newRow("-1 unknown") << true << -1 << 0 << "";
}

void TestMainWindow::defaultInterfaceOpensItsView()
{
    QFETCH(bool, stored);
    QFETCH(int, value);
    QFETCH(int, workType);
    QFETCH(QString, view);

    if (stored)
        CCustomerSettings::GetInstance()->SetInt(QStringLiteral("DefaultInterface"), value);
    CShowRecorder recorder;
    MainWindow window;
    // The work type holds from the start (a frame plugged now gets the view's
    // first task), while the view waits for the window.
    QCOMPARE(int(window.GetWorkType()), workType);
    QCOMPARE(Child<QWidget>(&window, "controlwidget")->isEnabled(), workType == 0);
    // A missing key stays missing: the window only reads it when it is there.
    QCOMPARE(CCustomerSettings::GetInstance()->contains(QStringLiteral("DefaultInterface")), stored);
    QVERIFY(recorder.shown.isEmpty());

    auto visibleViews = [&window] {
        QStringList visible;
        for (QDialog* pDialog : window.findChildren<QDialog*>()) {
            if (pDialog->isVisible())
                visible << pDialog->metaObject()->className();
        }
        return visible;
    };
    window.show();
    const QStringList expected = view.isEmpty() ? QStringList() : QStringList{view};
    QTRY_COMPARE(visibleViews(), expected);
    // Shown after the main window, so that it opens in front of it (offscreen
    // every shown window counts as active: only the order can be checked).
    QCOMPARE(recorder.shown, QStringList{"MainWindow"} + expected);
    QCOMPARE(int(window.GetWorkType()), workType);
    QCOMPARE(Child<QWidget>(&window, "controlwidget")->isEnabled(), workType == 0);
}

void TestMainWindow::toolButtonsOpenAndViewsReturn()
{
    MainWindow window;
    window.show();
    auto* pColumn = Child<QWidget>(&window, "controlwidget");
    struct SCase
    {
        const char* szButton;
        eWorkType type;
        QDialog* pView;
    } cases[] = {
        {"signalToolButton", SIGNALTESTWORK, window.findChild<VeloraTestView*>()},
        {"calToolButton", CALIBRATEWORK, window.findChild<VeloraCalibrateView*>()},
        {"upgradeToolButton", UPGRADEWORK, window.findChild<VeloraUpgradeView*>()},
    };
    for (const SCase& c : cases) {
        QVERIFY(c.pView);
        Child<QToolButton>(&window, c.szButton)->click();
        QCOMPARE(window.GetWorkType(), c.type);
        QVERIFY(c.pView->isVisible());
        QVERIFY(!pColumn->isEnabled());
        // The view hands the main panel back when it closes.
        c.pView->reject();
        QCOMPARE(window.GetWorkType(), MAINWORK);
        QVERIFY(pColumn->isEnabled());
    }
    QVERIFY(window.findChild<VeloraTestView*>()->windowState() & Qt::WindowMaximized);
}

void TestMainWindow::shortcutsClickTheirButtons_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("workType");

    QTest::newRow("PgUp signal") << int(Qt::Key_PageUp) << "signalToolButton" << 1;
    QTest::newRow("C calibration") << int(Qt::Key_C) << "calToolButton" << 2;
    QTest::newRow("U upgrade") << int(Qt::Key_U) << "upgradeToolButton" << 3;
    QTest::newRow("F3 draw") << int(Qt::Key_F3) << "drawToolButton" << 0;
    QTest::newRow("S menu") << int(Qt::Key_S) << "lstActionToolButton" << 0;
    QTest::newRow("F1 hidden touch button") << int(Qt::Key_F1) << "" << 0;
}

void TestMainWindow::shortcutsClickTheirButtons()
{
    QFETCH(int, key);
    QFETCH(QString, button);
    QFETCH(int, workType);

    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QList<QToolButton*> buttons = Child<QWidget>(&window, "controlwidget")->findChildren<QToolButton*>();
    QMap<QString, int> clicks;
    for (QToolButton* pButton : buttons)
        connect(pButton, &QToolButton::clicked, this, [&clicks, pButton] { ++clicks[pButton->objectName()]; });

    // The set-up dialog runs modally: close it when it shows.
    QTimer closer;
    connect(&closer, &QTimer::timeout, [] {
        if (auto* pDialog = qobject_cast<MainSetUpDialog*>(QApplication::activeModalWidget()))
            pDialog->reject();
    });
    closer.start(5);

    QTest::keyClick(&window, Qt::Key(key));
    if (button.isEmpty()) {
        QTest::qWait(150); // longer than a shortcut's animated click (100 ms)
        QVERIFY(clicks.isEmpty());
    } else {
        QTRY_COMPARE(clicks.value(button), 1);
        QCOMPARE(clicks.size(), 1);
    }
    QCOMPARE(int(window.GetWorkType()), workType);

    if (workType != 0) {
        // While a view is open the column is disabled: no shortcut acts.
        // (The main window itself must be the active one: the keys are the
        // open view's own shortcuts too.)
        QApplication::setActiveWindow(&window);
        QCOMPARE(QApplication::activeWindow(), &window);
        QTest::keyClick(&window, Qt::Key_U);
        QTest::keyClick(&window, Qt::Key_F3);
        QTest::qWait(150);
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(int(window.GetWorkType()), workType);
    }
}

void TestMainWindow::closeIsRefusedWhileAViewIsOpen()
{
    MainWindow window;
    window.show();
    CModalBoxAnswerer answerer;
    window.ToggleFunction(SIGNALTESTWORK);

    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("Warning"));
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("Please close other subtasks"));
    QCOMPARE(answerer.boxes[0].buttons, QStringList{"OK"});

    window.findChild<VeloraTestView*>()->reject();
    QVERIFY(window.close());
    QCOMPARE(answerer.boxes.size(), 1);
}

void TestMainWindow::escapeQuitsTheEventLoop()
{
    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Sends Escape from inside the event loop; the loop ends with the code
    // the window gives it, or with 42 when nothing ended it within 300 ms.
    auto runWithEscape = [&window] {
        QTimer::singleShot(0, &window, [&window] { QTest::keyClick(&window, Qt::Key_Escape); });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(42); });
        guard.start(300);
        return QCoreApplication::exec();
    };

    // At the main panel the event loop ends with 0 (the destructors and the
    // run log's last line follow in qMain).
    QCOMPARE(runWithEscape(), 0);

    // With a view open, Escape on the main window does nothing.
    window.ToggleFunction(CALIBRATEWORK);
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(runWithEscape(), 42);
    QCOMPARE(window.GetWorkType(), CALIBRATEWORK);
}

void TestMainWindow::errorBoxes_data()
{
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("task");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("buttons");

    const QStringList timeoutButtons{"Retry", "Exit", "Cancel"};
    QTest::newRow("time-out") << qint64(0x80000001) << "InitDeviceInfo" << "Error!"
                              << "The task \"InitDeviceInfo\" timeout, The error code is 0x80000001. Please select what you want!"
                              << timeoutButtons;
    QTest::newRow("time-out with operation code") << qint64(0x80240001) << "StartTestOnce" << "Error!"
                                                  << "The task \"StartTestOnce\" timeout, The error code is 0x80240001. Please select what you want!"
                                                  << timeoutButtons;
    QTest::newRow("runtime error") << qint64(0x80000003) << "ReTest" << "Error!"
                                   << "The task \"ReTest\" failed because of a runtime error, The error code is 0x80000003. The applicaiton will exit!"
                                   << QStringList{"OK"};
    QTest::newRow("runtime error with operation code") << qint64(0x802a0003) << "InitAgc" << "Error!"
                                                       << "The task \"InitAgc\" failed because of a runtime error, The error code is 0x802a0003. The applicaiton will exit!"
                                                       << QStringList{"OK"};
    QTest::newRow("device lost") << qint64(0x80000002) << "InitDeviceInfo" << "" << "" << QStringList();
    QTest::newRow("device lost with operation code") << qint64(0x80240002) << "ReTest" << "" << "" << QStringList();
    QTest::newRow("success of another task") << qint64(0) << "ReTest" << "" << "" << QStringList();
    QTest::newRow("batch refused by status") << qint64(0x1003) << "SaveBatchInfo" << "Error!"
                                             << "The device dosn't support the function \"Modify SN code...\"..."
                                             << QStringList{"OK"};
    QTest::newRow("batch with device lost") << qint64(0x80290002) << "SaveBatchInfo" << "Error!"
                                            << "The device dosn't support the function \"Modify SN code...\"..."
                                            << QStringList{"OK"};
    QTest::newRow("batch time-out") << qint64(0x80290001) << "SaveBatchInfo" << "Error!"
                                    << "The task \"SaveBatchInfo\" timeout, The error code is 0x80290001. Please select what you want!"
                                    << timeoutButtons;
    QTest::newRow("log cannot be opened") << qint64(0x81140000) << "OpenTestLog" << "Error!"
                                          << "The test log cannot be opened, The error code is 0x81140000."
                                          << QStringList{"OK"};
    QTest::newRow("log not well-formed") << qint64(0x81140001) << "OpenTestLog" << "Error!"
                                         << "The test log cannot be opened, The error code is 0x81140001."
                                         << QStringList{"OK"};
}

void TestMainWindow::errorBoxes()
{
    QFETCH(qint64, code);
    QFETCH(QString, task);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QStringList, buttons);

    if (!m_pFormWindow)
        m_pFormWindow = CreateFormWindow();
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));
    // Queued from the worker thread in the station; invoked the same way here,
    // inside the event loop (some boxes end it).
    QVERIFY(QMetaObject::invokeMethod(m_pFormWindow.get(), "ShowErrorMessage", Qt::QueuedConnection,
                                      Q_ARG(int32_t, int32_t(code)), Q_ARG(QString, task)));
    RunLoopUntilQuitOrAnswered(answerer, title.isEmpty() ? 0 : 1);
    if (title.isEmpty()) {
        QCOMPARE(answerer.boxes.size(), 0);
        return;
    }
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, title);
    QCOMPARE(answerer.boxes[0].text, text);
    QStringList shown = answerer.boxes[0].buttons;
    shown.sort();
    buttons.sort();
    QCOMPARE(shown, buttons);
    QCOMPARE(answerer.boxes[0].icon, QStringLiteral("Warning"));
}

void TestMainWindow::errorBoxButtonsQuit_data()
{
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("loopResult");

    QTest::newRow("time-out, Exit") << qint64(0x80000001) << "Exit" << 0;
    QTest::newRow("time-out, Retry") << qint64(0x80000001) << "Retry" << 42;
    QTest::newRow("time-out, Cancel") << qint64(0x80000001) << "Cancel" << 42;
    QTest::newRow("runtime error, OK") << qint64(0x80000003) << "OK" << 0;
}

void TestMainWindow::errorBoxButtonsQuit()
{
    QFETCH(qint64, code);
    QFETCH(QString, answer);
    QFETCH(int, loopResult);

    if (!m_pFormWindow)
        m_pFormWindow = CreateFormWindow();
    MainWindow* pWindow = m_pFormWindow.get();
    CModalBoxAnswerer answerer;
    answerer.Answer(answer);
    QTimer::singleShot(0, pWindow, [pWindow, code] { pWindow->ShowErrorMessage(int32_t(code), "ReTest"); });
    QCOMPARE(RunLoopUntilQuitOrAnswered(answerer, 1), loopResult);
    QCOMPARE(answerer.boxes.size(), 1);
}

void TestMainWindow::chineseCatalogue()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/Language/CorvaneFactoryApp_zh.qm")));
    QCoreApplication::installTranslator(&translator);
    {
        MainWindow window;
        auto button = [&window](const char* szName) { return Child<QToolButton>(&window, szName); };
        QCOMPARE(button("drawToolButton")->text(), QStringLiteral("画线测试"));
        QCOMPARE(button("touchEnToolButton")->text(), QStringLiteral("启用触摸"));
        QCOMPARE(button("signalToolButton")->toolTip(), QStringLiteral("信号(PgUp)"));
        QCOMPARE(button("lstActionToolButton")->toolTip(), QStringLiteral("菜单(S)"));
        QCOMPARE(button("exitToolButton")->toolTip(), QStringLiteral("退出(Esc)"));
        // Placeholders, "PushButton" and the key texts stay in English.
        QCOMPARE(button("calToolButton")->text(), QStringLiteral("PushButton"));
        QCOMPARE(button("signalToolButton")->text(), QStringLiteral("..."));
        QCOMPARE(button("signalToolButton")->shortcut(), QKeySequence(Qt::Key_PageUp));
        QCOMPARE(button("exitToolButton")->shortcut(), QKeySequence(Qt::Key_Escape));
        QCOMPARE(Child<QLabel>(&window, "snLabel")->text(), QStringLiteral("TextLabel"));
        QCOMPARE(Child<QLabel>(&window, "showSNLabel")->text(), QStringLiteral("1213245"));
        QCOMPARE(Child<QLabel>(&window, "noticeLabel")->text(), QStringLiteral("没有插入设备，请插入设备！"));
    }
    QCoreApplication::removeTranslator(&translator);
}

void TestMainWindow::catalogueTranslatesTheOperatorTexts_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");

    const char* const kMainWindow[] = {
        "There is no device inserted, Please insert device!", "Touch In App, Now initializing...",
        "Touch In Bootloader, Now initializing...", "Warning", "Please close other subtasks", "Error!",
        "The task \"", "\" timeout, The error code is 0x%1.", " Please select what you want!", "Exit", "Cancel",
        "\" failed because of a runtime error, The error code is 0x%1.", " The applicaiton will exit!",
        "The device dosn't support the function \"Modify SN code...\"...", "Success!",
        "Modify serial number success and will retest the product...", "App Information", "Product id",
        "Boot Information", "Runtimes Information", "Enable Touch", "Draw Test", "Signal(PgUp)", "Menu(S)"};
    for (const char* szSource : kMainWindow)
        QTest::newRow(qPrintable(QStringLiteral("MainWindow: ") + szSource)) << "MainWindow" << szSource;
    const char* const kHandleWork[] = {"New device", "Touch In Bootloader, Do you want to open it?",
                                       "A new device is discovered, Do you want to open it?", "Warning",
                                       "This series of touch boxes do not support!"};
    for (const char* szSource : kHandleWork)
        QTest::newRow(qPrintable(QStringLiteral("HandleWork: ") + szSource)) << "HandleWork" << szSource;
    // The verdict messages of the test core, shown by the test view.
    const char* const kTouchBase[] = {
        "Some connectors are damaged or not connected properly!", "Some PCBAs are damaged!",
        "Some emitters or detectors are damaged!",
        "Some emitters or detectors weak, but The possible cause is the deformation of the machine!",
        "Some emitters or detectors are weak!"};
    for (const char* szSource : kTouchBase)
        QTest::newRow(qPrintable(QStringLiteral("CTouchBase: ") + szSource)) << "CTouchBase" << szSource;
}

void TestMainWindow::catalogueTranslatesTheOperatorTexts()
{
    QFETCH(QString, context);
    QFETCH(QString, source);

    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/Language/CorvaneFactoryApp_zh.qm")));
    const QString translation = translator.translate(qPrintable(context), qPrintable(source));
    QVERIFY2(!translation.isEmpty() && translation != source, qPrintable(context + ": " + source));
    QCOMPARE(translation.contains(QLatin1String("%1")), source.contains(QLatin1String("%1")));
}

void TestMainWindow::formWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("font"); // family, point size, "bold"; empty: not set by the form

    QTest::newRow("centralwidget") << "centralwidget" << "QWidget" << "MainWindow" << "" << "";
    QTest::newRow("ver_label") << "ver_label" << "QLabel" << "centralwidget" << "color:blue;background-color: white;"
                               << " 20 bold";
    QTest::newRow("snWidget") << "snWidget" << "QWidget" << "centralwidget" << "background:rgb(255, 255, 255)" << "";
    QTest::newRow("modelLabel") << "modelLabel" << "QLabel" << "snWidget"
                                << "color:rgb(255,153,0);background-color: white;" << QString::fromUtf8("微软雅黑 20 bold");
    QTest::newRow("snLabel") << "snLabel" << "QLabel" << "snWidget" << "color:rgb(255,153,0)" << " 10 bold";
    QTest::newRow("showSNLabel") << "showSNLabel" << "QLabel" << "snWidget" << "" << "";
    QTest::newRow("HardwareInfoWidget") << "HardwareInfoWidget" << "QTableWidget" << "centralwidget" << "" << "";
    QTest::newRow("appInfoWidget") << "appInfoWidget" << "QTableWidget" << "centralwidget" << "" << "";
    QTest::newRow("controlwidget") << "controlwidget" << "QWidget" << "centralwidget"
                                   << "background-color: rgb(41, 36, 33); " << "";
}

void TestMainWindow::formWidgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QString, style);
    QFETCH(QString, font);

    if (!m_pFormWindow)
        m_pFormWindow = CreateFormWindow();
    QCOMPARE(m_pFormWindow->objectName(), QStringLiteral("MainWindow"));
    auto* pWidget = Child<QWidget>(m_pFormWindow.get(), qPrintable(name));
    QVERIFY(pWidget);
    QCOMPARE(QString::fromLatin1(pWidget->metaObject()->className()), className);
    QCOMPARE(pWidget->parentWidget()->objectName(), parentName);
    QCOMPARE(pWidget->styleSheet(), style);
    if (!font.isEmpty()) {
        const QStringList parts = font.split(' ');
        if (!parts[0].isEmpty())
            QCOMPARE(pWidget->font().family(), parts[0]);
        QCOMPARE(pWidget->font().pointSize(), parts[1].toInt());
        QCOMPARE(pWidget->font().bold(), true);
    }
    if (auto* pLabel = qobject_cast<QLabel*>(pWidget))
        QCOMPARE(pLabel->alignment(), Qt::AlignCenter);
}

void TestMainWindow::formLayouts_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("items"); // object names, "spacer" for a spacer

    QTest::newRow("gridLayout_2") << "gridLayout_2" << QStringList{"horizontalLayout_4"};
    QTest::newRow("horizontalLayout_4") << "horizontalLayout_4" << QStringList{"verticalLayout_4", "controlwidget"};
    QTest::newRow("verticalLayout_4") << "verticalLayout_4"
                                      << QStringList{"ver_label", "snWidget", "horizontalLayout"};
    QTest::newRow("gridLayout") << "gridLayout" << QStringList{"verticalLayout_3"};
    QTest::newRow("verticalLayout_3") << "verticalLayout_3" << QStringList{"modelLabel", "verticalLayout_2"};
    QTest::newRow("verticalLayout_2") << "verticalLayout_2"
                                      << QStringList{"horizontalLayout_2", "horizontalLayout_3"};
    QTest::newRow("horizontalLayout_2") << "horizontalLayout_2" << QStringList{"spacer", "snLabel", "spacer"};
    QTest::newRow("horizontalLayout_3") << "horizontalLayout_3" << QStringList{"spacer", "showSNLabel", "spacer"};
    QTest::newRow("horizontalLayout") << "horizontalLayout" << QStringList{"HardwareInfoWidget", "appInfoWidget"};
    QTest::newRow("verticalLayout (tool column)")
        << "verticalLayout"
        << QStringList{"touchEnToolButton", "drawToolButton", "signalToolButton", "calToolButton",
                       "upgradeToolButton", "spacer", "lstActionToolButton", "exitToolButton"};
}

void TestMainWindow::formLayouts()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, items);

    if (!m_pFormWindow)
        m_pFormWindow = CreateFormWindow();
    auto* pLayout = m_pFormWindow->findChild<QLayout*>(layout);
    QVERIFY(pLayout);
    QStringList found;
    for (int i = 0; i < pLayout->count(); ++i) {
        QLayoutItem* pItem = pLayout->itemAt(i);
        if (pItem->widget())
            found << pItem->widget()->objectName();
        else if (pItem->layout())
            found << pItem->layout()->objectName();
        else if (QSpacerItem* pSpacer = pItem->spacerItem())
            found << (pSpacer->sizePolicy().verticalPolicy() == QSizePolicy::Expanding
                              || pSpacer->sizePolicy().horizontalPolicy() == QSizePolicy::Expanding
                          ? QStringLiteral("spacer")
                          : QStringLiteral("fixed spacer"));
    }
    QCOMPARE(found, items);
}

void TestMainWindow::formTablesAndTouchImages()
{
    MainWindow window;
    auto* pDevice = Child<QTableWidget>(&window, "HardwareInfoWidget");
    QCOMPARE(pDevice->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(pDevice->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!pDevice->hasAutoScroll());
    QVERIFY(!pDevice->tabKeyNavigation());
    QVERIFY(!pDevice->showDropIndicator());
    // Nothing the operator types may overwrite what the station shows.
    QCOMPARE(pDevice->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(pDevice->sizePolicy().horizontalStretch(), 1);
    auto* pApp = Child<QTableWidget>(&window, "appInfoWidget");
    QCOMPARE(pApp->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(pApp->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(pApp->editTriggers(), QAbstractItemView::NoEditTriggers);
    for (QTableWidget* pTable : {pDevice, pApp}) {
        QVERIFY(pTable->horizontalHeader()->isHidden());
        QVERIFY(pTable->verticalHeader()->isHidden());
    }
    auto* pQr = Child<QLabel>(&window, "showSNLabel");
    QCOMPARE(pQr->frameShape(), QFrame::StyledPanel);
    QCOMPARE(pQr->lineWidth(), 10);
    QCOMPARE(pQr->midLineWidth(), 2);
    QCOMPARE(Child<QWidget>(&window, "controlwidget")->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(Child<QToolButton>(&window, "lstActionToolButton")->popupMode(), QToolButton::InstantPopup);

    // Only the touch button has an image of its own for the checked state.
    auto image = [](QToolButton* pButton, QIcon::State state) {
        return pButton->icon().pixmap(QSize(48, 48), QIcon::Normal, state).toImage();
    };
    auto* pTouch = Child<QToolButton>(&window, "touchEnToolButton");
    QVERIFY(image(pTouch, QIcon::On) != image(pTouch, QIcon::Off));
    auto* pUpgrade = Child<QToolButton>(&window, "upgradeToolButton");
    QCOMPARE(image(pUpgrade, QIcon::On), image(pUpgrade, QIcon::Off));
}

void TestMainWindow::typingOnThePanelChangesNothing()
{
    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* pDevice = Child<QTableWidget>(&window, "HardwareInfoWidget");

    // The notice cell, before any frame: the edit key and plain keys.
    TypeIntoCell(pDevice, 0, 0, "abc");
    QVERIFY(!IsEditing(pDevice));
    QVERIFY(!pDevice->item(0, 0) || pDevice->item(0, 0)->text().isEmpty());
    QCOMPARE(Child<QLabel>(pDevice, "noticeLabel")->text(), QString::fromLatin1(kNoDevice));

    // A frame's rows.
    window.InitDeviceInfoForUI({{"Product", "KT-1"}, {"CheckSum", "0x1234"}}, {{"Host", "station"}});
    for (QTableWidget* pTable : {pDevice, Child<QTableWidget>(&window, "appInfoWidget")}) {
        const QString before = pTable->item(1, 1)->text();
        TypeIntoCell(pTable, 1, 1, "xyz");
        QVERIFY(!IsEditing(pTable));
        QCOMPARE(pTable->item(1, 1)->text(), before);
    }
    QVERIFY(window.grab().save(QDir(CTestEnvironment::OutputDir()).filePath("mainwindow-after-typing.png")));
}

STATION_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
