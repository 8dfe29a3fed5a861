// The signal-test view's form on a host widget whose on_ slots record every
// call: bindings by name, object names, texts and shortcuts, images, the
// state at the end of setupUi and a picture of the bare form.

#include "runlogcapture.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "ui_veloratestview.h"
#include "waitfor.h"

#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

namespace {
const char* const kButtonStyle =
    "QToolButton{border:none} QToolTip{border:1px solid rgb(118, 118, 118); background-color: #ffffff; "
    "color:#484848; font-size:12px;}";
} // namespace

// Stands in for the view: every slot the form binds by name writes one line.
class CFormHost : public QWidget
{
    Q_OBJECT

public:
    QStringList calls;

public slots:
    void on_touchEnTestButton_clicked(bool checked) { Record("touchEnTestButton", checked); }
    void on_drawButton_clicked() { Record("drawButton"); }
    void on_calButton_clicked() { Record("calButton"); }
    void on_upgradeButton_clicked() { Record("upgradeButton"); }
    void on_signalButton_clicked() { Record("signalButton"); }
    void on_rectButton_clicked() { Record("rectButton"); }
    void on_histogramButton_clicked() { Record("histogramButton"); }
    void on_startTestButton_clicked(bool checked) { Record("startTestButton", checked); }
    void on_retestTestButton_clicked() { Record("retestTestButton"); }
    void on_exitTestButton_clicked() { Record("exitTestButton"); }
    void on_tAgcSpinBox_valueChanged(int arg1) { calls << QStringLiteral("tAgcSpinBox(%1)").arg(arg1); }
    void on_rAgcSpinBox_valueChanged(int arg1) { calls << QStringLiteral("rAgcSpinBox(%1)").arg(arg1); }

private:
    void Record(const char* szName) { calls << QLatin1String(szName); }
    void Record(const char* szName, bool b)
    {
        calls << QStringLiteral("%1(%2)").arg(QLatin1String(szName), b ? "true" : "false");
    }
};

// A host with the form built on it, and the warnings of the build.
struct SForm
{
    CFormHost host;
    Ui::VeloraTestView ui;
    QStringList buildWarnings;

    SForm()
    {
        CRunLogCapture capture;
        ui.setupUi(&host);
        buildWarnings = capture.Lines(QtWarningMsg);
    }
    QToolButton* Button(const QString& strName) { return host.findChild<QToolButton*>(strName); }
};

class TestTestViewForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void everySlotIsBound();
    void controlsReachTheirSlots_data();
    void controlsReachTheirSlots();
    void shortcutsClickTheirButtons_data();
    void shortcutsClickTheirButtons();
    void objectNamesInCreationOrder();
    void textsToolTipsAndShortcuts_data();
    void textsToolTipsAndShortcuts();
    void imagesOfEveryModeAndState_data();
    void imagesOfEveryModeAndState();
    void stateAtTheEndOfTheBuild();
    void exactlyOneViewButtonIsChecked();
    void menuButtonHasNoBorderRule();
    void screenshot();
};

void TestTestViewForm::initTestCase()
{
    InitStationResources();
}

void TestTestViewForm::everySlotIsBound()
{
    SForm form;
    // connectSlotsByName warns about every on_ slot it cannot bind.
    QCOMPARE(form.buildWarnings, QStringList());
    QCOMPARE(form.host.objectName(), QStringLiteral("VeloraTestView"));

    // A host that already has a name keeps it.
    CFormHost named;
    named.setObjectName(QStringLiteral("host"));
    Ui::VeloraTestView ui;
    ui.setupUi(&named);
    QCOMPARE(named.objectName(), QStringLiteral("host"));
}

void TestTestViewForm::controlsReachTheirSlots_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("spinValue"); // -1: click the button
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("touch, twice") << "touchEnTestButton" << -1
                                  << QStringList{"touchEnTestButton(true)", "touchEnTestButton(false)"};
    QTest::newRow("draw") << "drawButton" << -1 << QStringList{"drawButton", "drawButton"};
    QTest::newRow("calibration") << "calButton" << -1 << QStringList{"calButton", "calButton"};
    QTest::newRow("upgrade") << "upgradeButton" << -1 << QStringList{"upgradeButton", "upgradeButton"};
    QTest::newRow("signal") << "signalButton" << -1 << QStringList{"signalButton", "signalButton"};
    QTest::newRow("rect") << "rectButton" << -1 << QStringList{"rectButton", "rectButton"};
    QTest::newRow("histogram") << "histogramButton" << -1 << QStringList{"histogramButton", "histogramButton"};
    QTest::newRow("start, twice") << "startTestButton" << -1
                                  << QStringList{"startTestButton(true)", "startTestButton(false)"};
    QTest::newRow("retest") << "retestTestButton" << -1 << QStringList{"retestTestButton", "retestTestButton"};
    QTest::newRow("menu has no slot") << "testActionToolButton" << -1 << QStringList{};
    QTest::newRow("exit") << "exitTestButton" << -1 << QStringList{"exitTestButton", "exitTestButton"};
    QTest::newRow("T-AGC") << "tAgcSpinBox" << 7 << QStringList{"tAgcSpinBox(7)"};
    QTest::newRow("R-AGC") << "rAgcSpinBox" << 42 << QStringList{"rAgcSpinBox(42)"};
}

void TestTestViewForm::controlsReachTheirSlots()
{
    QFETCH(QString, control);
    QFETCH(int, spinValue);
    QFETCH(QStringList, calls);

    SForm form;
    form.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form.host));
    if (spinValue < 0) {
        QToolButton* pButton = form.Button(control);
        QVERIFY(pButton);
        QTest::mouseClick(pButton, Qt::LeftButton);
        QTest::mouseClick(pButton, Qt::LeftButton);
    } else {
        auto* pSpin = form.host.findChild<QSpinBox*>(control);
        QVERIFY(pSpin);
        pSpin->setValue(spinValue);
    }
    QCOMPARE(form.host.calls, calls);
}

void TestTestViewForm::shortcutsClickTheirButtons_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("button");

    QTest::newRow("F1") << int(Qt::Key_F1) << "touchEnTestButton";
    QTest::newRow("F3") << int(Qt::Key_F3) << "drawButton";
    QTest::newRow("C") << int(Qt::Key_C) << "calButton";
    QTest::newRow("U") << int(Qt::Key_U) << "upgradeButton";
    QTest::newRow("PgUp") << int(Qt::Key_PageUp) << "signalButton";
    QTest::newRow("PgDown") << int(Qt::Key_PageDown) << "rectButton";
    QTest::newRow("H") << int(Qt::Key_H) << "histogramButton";
    QTest::newRow("Space") << int(Qt::Key_Space) << "startTestButton";
    QTest::newRow("F5") << int(Qt::Key_F5) << "retestTestButton";
    QTest::newRow("M") << int(Qt::Key_M) << "testActionToolButton";
    QTest::newRow("Esc") << int(Qt::Key_Escape) << "exitTestButton";
}

void TestTestViewForm::shortcutsClickTheirButtons()
{
    QFETCH(int, key);
    QFETCH(QString, button);

    SForm form;
    form.host.show();
    form.host.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form.host));
    QMap<QString, int> clicks;
    for (QToolButton* pButton : form.host.findChildren<QToolButton*>())
        connect(pButton, &QToolButton::clicked, this, [&clicks, pButton] { ++clicks[pButton->objectName()]; });

    QTest::keyClick(&form.host, Qt::Key(key));
    // A shortcut animates the click: the button is down at once, the click
    // lands a moment later.
    QVERIFY(form.Button(button)->isDown());
    QVERIFY(StationTest::WaitFor([&] { return !clicks.isEmpty(); }));
    QCOMPARE(clicks, (QMap<QString, int>{{button, 1}}));
    QVERIFY(!form.Button(button)->isDown());

    // A hidden button's shortcut does nothing: the button is not even down.
    form.Button(button)->hide();
    clicks.clear();
    QTest::keyClick(&form.host, Qt::Key(key));
    QVERIFY(!form.Button(button)->isDown());
    QCOMPARE(clicks, (QMap<QString, int>{}));
}

void TestTestViewForm::objectNamesInCreationOrder()
{
    SForm form;
    Ui::VeloraTestView& ui = form.ui;
    // The form's members are declared, and so created, in the order of the
    // view's tree; each widget and layout carries its member's name.
    struct SMember
    {
        const void* pSlot; // where the member lies in the structure
        const QObject* pObject;
        const char* szName;
    };
#define MEMBER(m) SMember{&ui.m, ui.m, #m}
#define SPACER(m) SMember{&ui.m, nullptr, #m}
    const SMember members[] = {
        MEMBER(gridLayout),        MEMBER(ver_label),          MEMBER(splitter_2),
        MEMBER(touchTabWidget),    MEMBER(signalTab),          MEMBER(touchSignalVerticalLayout),
        MEMBER(pannelTab),         MEMBER(touchPannelVerticalLayout),
        MEMBER(HistogramTab),      MEMBER(touchHistogramVerticalLayout),
        MEMBER(splitter),          MEMBER(FirmwareInfo),       MEMBER(agcSetWidget),
        MEMBER(agcSetHorizontalLayout),                        MEMBER(tAgcLabel),
        MEMBER(tAgcSpinBox),       MEMBER(rAgcLabel),          MEMBER(rAgcSpinBox),
        MEMBER(testResult),        MEMBER(widget),             MEMBER(verticalLayout),
        MEMBER(touchEnTestButton), MEMBER(drawButton),         MEMBER(calButton),
        MEMBER(upgradeButton),     SPACER(verticalSpacer),     MEMBER(signalButton),
        MEMBER(rectButton),        MEMBER(histogramButton),    SPACER(verticalSpacer_2),
        MEMBER(startTestButton),   MEMBER(retestTestButton),   MEMBER(testActionToolButton),
        MEMBER(exitTestButton),
    };
#undef MEMBER
#undef SPACER
    QCOMPARE(sizeof(Ui::VeloraTestView), sizeof(members) / sizeof(members[0]) * sizeof(void*));
    for (size_t i = 0; i < sizeof(members) / sizeof(members[0]); ++i) {
        if (i > 0)
            QVERIFY2(members[i - 1].pSlot < members[i].pSlot, members[i].szName);
        if (members[i].pObject)
            QCOMPARE(members[i].pObject->objectName(), QLatin1String(members[i].szName));
    }
    // Every named widget and layout of the tree is a member.
    QSet<QString> named;
    for (QObject* pChild : form.host.findChildren<QObject*>()) {
        if (!pChild->objectName().isEmpty() && !pChild->objectName().startsWith(QLatin1String("qt_"))
            && pChild->objectName() != QLatin1String("ScrollLeftButton")
            && pChild->objectName() != QLatin1String("ScrollRightButton"))
            named << pChild->objectName();
    }
    QCOMPARE(named.size(), 32);

    // Tool buttons and spacers alternate as the column shows them.
    QStringList column;
    for (int i = 0; i < form.ui.verticalLayout->count(); ++i) {
        QLayoutItem* pItem = form.ui.verticalLayout->itemAt(i);
        if (pItem->spacerItem()) {
            QCOMPARE(pItem->spacerItem()->sizeHint(), QSize(20, 40));
            QCOMPARE(pItem->spacerItem()->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
            column << QStringLiteral("|");
        } else {
            column << pItem->widget()->objectName();
        }
    }
    QCOMPARE(column, (QStringList{"touchEnTestButton", "drawButton", "calButton", "upgradeButton", "|",
                                  "signalButton", "rectButton", "histogramButton", "|", "startTestButton",
                                  "retestTestButton", "testActionToolButton", "exitTestButton"}));
    QCOMPARE(form.ui.agcSetHorizontalLayout->stretch(1), 1);
    QCOMPARE(form.ui.agcSetHorizontalLayout->stretch(3), 1);
    QCOMPARE(form.ui.agcSetHorizontalLayout->stretch(0) + form.ui.agcSetHorizontalLayout->stretch(2), 0);
}

void TestTestViewForm::textsToolTipsAndShortcuts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("shortcut");

    QTest::newRow("touch") << "touchEnTestButton" << "Enable/Disable Touch(F1)" << "Enable Touch"
                           << QKeySequence(Qt::Key_F1);
    QTest::newRow("draw") << "drawButton" << "Drawing(F3)" << "Draw Test" << QKeySequence(Qt::Key_F3);
    QTest::newRow("cal") << "calButton" << "Calibration(C)" << "PushButton" << QKeySequence(Qt::Key_C);
    QTest::newRow("upgrade") << "upgradeButton" << "Upgrade(U)" << "PushButton" << QKeySequence(Qt::Key_U);
    QTest::newRow("signal") << "signalButton" << "Signal(PgUp)" << "..." << QKeySequence(Qt::Key_PageUp);
    // The form's text "PgDown" is the native name of Page Down.
    QTest::newRow("rect") << "rectButton" << "Touch Frame(PgDn)" << "PushButton" << QKeySequence(Qt::Key_PageDown);
    QTest::newRow("histogram") << "histogramButton" << "Histogram(H)" << "PushButton" << QKeySequence(Qt::Key_H);
    QTest::newRow("start") << "startTestButton" << "Play/Stop(Space)" << "Start" << QKeySequence(Qt::Key_Space);
    QTest::newRow("retest") << "retestTestButton" << "Retest(F5)" << "Retest" << QKeySequence(Qt::Key_F5);
    QTest::newRow("menu") << "testActionToolButton" << "Menu(M)" << "..." << QKeySequence(Qt::Key_M);
    QTest::newRow("exit") << "exitTestButton" << "Exit(Esc)" << "Exit" << QKeySequence(Qt::Key_Escape);
}

void TestTestViewForm::textsToolTipsAndShortcuts()
{
    QFETCH(QString, name);
    QFETCH(QString, toolTip);
    QFETCH(QString, text);
    QFETCH(QKeySequence, shortcut);

    SForm form;
    QToolButton* pButton = form.Button(name);
    QVERIFY(pButton);
    QCOMPARE(pButton->parentWidget(), form.ui.widget);
    QCOMPARE(pButton->toolTip(), toolTip);
    QCOMPARE(pButton->text(), text);
    QCOMPARE(pButton->shortcut(), shortcut);
    QCOMPARE(pButton->iconSize(), QSize(48, 48));
    // Icons only: the texts never reach the screen.
    QCOMPARE(pButton->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QCOMPARE(pButton->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(pButton->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);

    // The texts outside the column, once.
    if (name == QLatin1String("touchEnTestButton")) {
        QCOMPARE(form.host.windowTitle(), QStringLiteral("Form"));
        QCOMPARE(form.host.size(), QSize(1115, 741));
        QCOMPARE(form.ui.ver_label->text(), QStringLiteral("TextLabel"));
        QCOMPARE(form.ui.tAgcLabel->text(), QStringLiteral("T-AGC:"));
        QCOMPARE(form.ui.rAgcLabel->text(), QStringLiteral("R-AGC:"));
        QTabWidget* pTabs = form.ui.touchTabWidget;
        QCOMPARE(pTabs->tabText(pTabs->indexOf(form.ui.signalTab)), QStringLiteral("TouchSignal"));
        QCOMPARE(pTabs->tabText(pTabs->indexOf(form.ui.pannelTab)), QStringLiteral("TouchPannel"));
        QCOMPARE(pTabs->tabText(pTabs->indexOf(form.ui.HistogramTab)), QStringLiteral("Histogram"));
        QCOMPARE(form.ui.ver_label->font().pointSize(), 20);
        QVERIFY(form.ui.ver_label->font().bold());
        QCOMPARE(form.ui.ver_label->styleSheet(), QStringLiteral("color:blue"));
        QCOMPARE(form.ui.widget->styleSheet(), QStringLiteral("background-color: rgb(41, 36, 33); "));
        QCOMPARE(form.ui.agcSetWidget->styleSheet(), QStringLiteral("background:rgb(255, 255, 255)"));
        QCOMPARE(form.ui.splitter_2->orientation(), Qt::Horizontal);
        QCOMPARE(form.ui.splitter->orientation(), Qt::Vertical);
        QCOMPARE(form.ui.touchPannelVerticalLayout->sizeConstraint(), QLayout::SetMaximumSize);
    }
}

void TestTestViewForm::imagesOfEveryModeAndState_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("image");

    const int N = QIcon::Normal, D = QIcon::Disabled, A = QIcon::Active, S = QIcon::Selected;
    const int Off = QIcon::Off, On = QIcon::On;
    struct SRow
    {
        const char* button;
        int mode;
        int state;
        const char* image;
    };
    const SRow rows[] = {
        {"touchEnTestButton", N, Off, "enTouch-E"},   {"touchEnTestButton", N, On, "disTouch-E"},
        {"touchEnTestButton", D, Off, "enTouch-D"},   {"touchEnTestButton", D, On, "disTouch-D"},
        {"drawButton", N, Off, "draw-E"},             {"calButton", N, Off, "Cal-E"},
        {"upgradeButton", N, Off, "upgradePressed-E"},
        {"signalButton", N, Off, "curvPressed-E"},    {"signalButton", N, On, "curvPressed-C"},
        {"signalButton", D, Off, "curvPressed-D"},    {"signalButton", S, Off, "curvPressed-D"},
        {"signalButton", S, On, "curvPressed-D"},
        {"rectButton", N, Off, "rectPressed-E"},      {"rectButton", N, On, "rectPressed-C"},
        {"rectButton", D, Off, "rectPressed-D"},      {"rectButton", S, Off, "rectPressed-D"},
        {"rectButton", S, On, "rectPressed-D"},
        {"histogramButton", N, Off, "Histogram-E"},   {"histogramButton", N, On, "Histogram-C"},
        {"histogramButton", D, Off, "Histogram-D"},   {"histogramButton", A, Off, "Histogram-D"},
        {"histogramButton", A, On, "Histogram-E"},    {"histogramButton", S, Off, "Histogram-D"},
        {"histogramButton", S, On, "Histogram-D"},
        {"startTestButton", N, Off, "stop-E"},        {"startTestButton", N, On, "start-E"},
        {"startTestButton", D, Off, "stop-D"},        {"startTestButton", D, On, "start-D"},
        {"startTestButton", S, Off, "stop-D"},        {"startTestButton", S, On, "start-D"},
        {"retestTestButton", N, Off, "reTest-E"},     {"retestTestButton", N, On, "reTest-C"},
        {"retestTestButton", D, Off, "reTest-D"},
        {"testActionToolButton", N, Off, "lstSet-E"}, {"testActionToolButton", N, On, "lstSet-C"},
        {"exitTestButton", N, Off, "exit-E"},
    };
    for (const SRow& row : rows) {
        QTest::addRow("%s %d/%d %s", row.button, row.mode, row.state, row.image)
            << row.button << row.mode << row.state << row.image;
    }
}

void TestTestViewForm::imagesOfEveryModeAndState()
{
    QFETCH(QString, button);
    QFETCH(int, mode);
    QFETCH(int, state);
    QFETCH(QString, image);

    const QImage expected(QStringLiteral(":/Image/Image-UI/%1.png").arg(image));
    QVERIFY2(!expected.isNull(), qPrintable(image));
    QCOMPARE(expected.size(), QSize(48, 48));

    SForm form;
    const QIcon icon = form.Button(button)->icon();
    const QImage shown = icon.pixmap(QSize(48, 48), QIcon::Mode(mode), QIcon::State(state)).toImage();
    // The pixmap holds premultiplied pixels; turned back to straight alpha a
    // half-transparent pixel can differ by one on some CPUs, so both are
    // compared premultiplied.
    QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
             expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void TestTestViewForm::stateAtTheEndOfTheBuild()
{
    SForm form;
    form.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form.host));
    QCOMPARE(form.ui.touchTabWidget->count(), 3);
    QCOMPARE(form.ui.touchTabWidget->currentIndex(), 2);
    QCOMPARE(form.ui.touchTabWidget->currentWidget(), form.ui.HistogramTab);
    QVERIFY(form.ui.histogramButton->isChecked());
    QVERIFY(!form.ui.signalButton->isChecked());
    QVERIFY(!form.ui.rectButton->isChecked());
    QVERIFY(!form.ui.startTestButton->isChecked());
    QVERIFY(!form.ui.touchEnTestButton->isChecked());
    QVERIFY(!form.ui.touchEnTestButton->autoExclusive());
    QVERIFY(!form.ui.agcSetWidget->isVisible());
    QVERIFY(form.ui.FirmwareInfo->isVisible());
    QVERIFY(form.ui.testResult->isVisible());
    for (QTableWidget* pTable : {form.ui.FirmwareInfo, form.ui.testResult}) {
        QCOMPARE(pTable->rowCount(), 0);
        QVERIFY(!pTable->horizontalHeader()->isVisible());
        QVERIFY(!pTable->verticalHeader()->isVisible());
        QVERIFY(!pTable->horizontalHeader()->highlightSections());
    }
    QVERIFY(form.ui.ver_label->isVisible());
}

void TestTestViewForm::exactlyOneViewButtonIsChecked()
{
    SForm form;
    form.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form.host));
    QToolButton* views[] = {form.ui.signalButton, form.ui.rectButton, form.ui.histogramButton};
    // Every button clicked from every state, itself included.
    const int order[] = {0, 0, 1, 1, 2, 2, 0, 2, 1, 0, 1, 2};
    for (int n : order) {
        QTest::mouseClick(views[n], Qt::LeftButton);
        int nChecked = 0;
        for (QToolButton* pButton : views)
            nChecked += pButton->isChecked() ? 1 : 0;
        QCOMPARE(nChecked, 1);
        QVERIFY(views[n]->isChecked());
    }
}

void TestTestViewForm::menuButtonHasNoBorderRule()
{
    SForm form;
    QToolButton* pMenu = form.ui.testActionToolButton;
    QCOMPARE(pMenu->popupMode(), QToolButton::InstantPopup);
    QCOMPARE(pMenu->arrowType(), Qt::NoArrow);
    QVERIFY(!pMenu->isCheckable());
    // Every rule of its style sheet is for another object name.
    const QString strStyle = pMenu->styleSheet();
    QVERIFY(!strStyle.isEmpty());
    const QRegularExpression selector(QStringLiteral("([^{}]+)\\{[^}]*\\}"));
    int nRules = 0;
    for (auto it = selector.globalMatch(strStyle); it.hasNext(); ++nRules) {
        const QString strSelector = it.next().captured(1).trimmed();
        QVERIFY2(strSelector.contains(QLatin1Char('#')), qPrintable(strSelector));
        QVERIFY2(!strSelector.contains(QLatin1String("#testActionToolButton")), qPrintable(strSelector));
    }
    QVERIFY(nRules > 0);

    for (QToolButton* pButton : form.ui.widget->findChildren<QToolButton*>()) {
        if (pButton != pMenu)
            QCOMPARE(pButton->styleSheet(), QString::fromLatin1(kButtonStyle));
    }
}

void TestTestViewForm::screenshot()
{
    SForm form;
    form.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form.host));
    QCOMPARE(form.host.size(), QSize(1115, 741));
    const QString strPath = CTestEnvironment::OutputDir() + QStringLiteral("/testview_form.png");
    QVERIFY(form.host.grab().save(strPath));
}

STATION_TEST_MAIN(TestTestViewForm)
#include "tst_testviewform.moc"
