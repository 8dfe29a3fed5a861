// The toast leaves the keyboard focus where it is. Only a real X server with
// a window manager decides activation as an operator's desktop does (the
// offscreen platform activates every window it shows), so this test runs in
// Xvfb with openbox (runinxvfb.sh) and is not a test of its own offscreen.

#include "stationclock.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "toast.h"
#include "toastdlg.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWindow>
#include <QtTest>

namespace {
// The window manager answers in its own time: a loaded machine (the
// sanitizer suite) took more than the 5 s Qt waits by default.
constexpr int kWindowManagerMs = 30000;
} // namespace

class TestToastFocus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowManagerActivatesAnOrdinaryWindow();
    void toastKeepsTheActiveWindow();

private:
    // The window the operator works in, with a text field that has the focus.
    void ShowWorkWindow();

    std::unique_ptr<QWidget> m_pWork;
    QLineEdit* m_pEdit = nullptr;
};

void TestToastFocus::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server with a window manager (runinxvfb.sh)");
    InitStationResources();
    CTestEnvironment::RealClock();
}

void TestToastFocus::ShowWorkWindow()
{
    m_pWork = std::make_unique<QWidget>();
    m_pEdit = new QLineEdit(m_pWork.get());
    auto* pLayout = new QVBoxLayout(m_pWork.get());
    pLayout->addWidget(m_pEdit);
    m_pWork->resize(400, 300);
    m_pWork->show();
    m_pWork->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_pWork.get(), kWindowManagerMs));
    m_pEdit->setFocus();
    QTRY_VERIFY(m_pEdit->hasFocus());
}

// Without this the check below would prove nothing: here an ordinary
// window that is shown does take the activation.
void TestToastFocus::windowManagerActivatesAnOrdinaryWindow()
{
    ShowWorkWindow();
    QDialog other;
    other.setWindowFlag(Qt::FramelessWindowHint, true);
    other.resize(200, 50);
    other.show();
    QVERIFY(QTest::qWaitForWindowActive(&other, kWindowManagerMs));
    other.hide();
    m_pWork.reset();
}

void TestToastFocus::toastKeepsTheActiveWindow()
{
    ShowWorkWindow();
    QList<QWindow*> focusChanges;
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [&focusChanges](QWindow* pWindow) { focusChanges << pWindow; });

    CToast* pToast = CToast::Instance();
    pToast->ShowTip(0, QStringLiteral("Calibration complete"));
    CToastDlg* pDialog = pToast->Dialog();
    QVERIFY(QTest::qWaitForWindowExposed(pDialog, kWindowManagerMs));
    QVERIFY(pDialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // Shown for its two seconds and hidden by its timer: meanwhile the
    // activation never moved.
    QVERIFY(QTest::qWaitFor([pDialog] { return !pDialog->isVisible(); }, 10000));
    QVERIFY2(focusChanges.isEmpty(), "the toast moved the activation");
    QVERIFY(m_pWork->isActiveWindow());
    QVERIFY(m_pEdit->hasFocus());

    // A second tip while the first shows: the same.
    pToast->ShowTip(5, QStringLiteral("Reset failed!"));
    QVERIFY(QTest::qWaitForWindowExposed(pDialog, kWindowManagerMs));
    pToast->ShowTip(0, QStringLiteral("Reset successful!"));
    QVERIFY(QTest::qWaitFor([pDialog] { return !pDialog->isVisible(); }, 10000));
    QVERIFY2(focusChanges.isEmpty(), "the toast moved the activation");
    QVERIFY(m_pEdit->hasFocus());
    m_pWork.reset();
}

STATION_TEST_MAIN(TestToastFocus)
#include "toastfocus_x11.moc"
