#pragma once

// A station for the upgrade view's tests: the real main window with its real
// dispatcher, USB port and device layer on the fake OS backend; an emulated
// frame (with its panel and its bootloader) that is not plugged yet; the
// upgrade log beside a program folder of the test's own. Neither the view's
// reply watchdog nor the dispatcher's bootloader-detect timer fires by
// itself: a test that wants a tick gives it (TickWatchdog, TickDetect), so no
// row is decided by a race between timers.
//
// Build it after CTestEnvironment::FastClock, which the waits of the frame,
// the dispatcher and the view's watchdog interval are scaled by.

#include "comportusb.h"
#include "customersettings.h"
#include "emulatedbootloader.h"
#include "emulatedfirmwarerecords.h"
#include "emulatedframe.h"
#include "localclock.h"
#include "emulatedpanel.h"
#include "emulatedusbframe.h"
#include "fakehidbackend.h"
#include "handlework.h"
#include "mainwindow.h"
#include "stationclock.h"
#include "testenvironment.h"
#include "upgradelogfile.h"
#include "veloraupgradeview.h"
#include "waitfor.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <climits>
#include <memory>

class CUpgradeStation
{
public:
    // Waits the frame may take for what the station must read before it
    // acts (its jump answer before it leaves the bus): far above any answer
    // time, in the frame's unscaled milliseconds.
    static constexpr int kLeaveDelayMs = 10000;
    // A timer interval no test reaches.
    static constexpr int kNeverMs = INT_MAX / 4;

    CUpgradeStation()
        : m_programDir(QDir::tempPath() + QStringLiteral("/station-program-XXXXXX")),
          m_workDir(QDir::tempPath() + QStringLiteral("/station-upgrade-XXXXXX"))
    {
        m_strPreviousDir = QDir::currentPath();
        QDir::setCurrent(m_workDir.path());
        CUpgradeLogFile::SetProgramDir(m_programDir.path());

        hid = CFakeHidBackend::Install();
        frame = std::make_unique<CEmulatedFrame>();
        panel = std::make_unique<CEmulatedPanel>(frame.get());
        panel->Install();
        frame->Edit([](CEmulatedFrame::State& s) {
            s.boot.nJumpDelayMs = kLeaveDelayMs;
            s.boot.nReturnDelayMs = kLeaveDelayMs;
        });
        boot = std::make_unique<CEmulatedBootloader>(frame.get());
        usb = std::make_unique<CEmulatedUsbFrame>(frame.get(), hid);

        window = std::make_unique<MainWindow>();
        window->show();
        work = window->GetHandleWork();
        view = window->findChild<VeloraUpgradeView*>();
        const QList<QTimer*> timers = view->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
        watchdog = timers.size() == 1 ? timers.first() : nullptr;
        if (watchdog) {
            nWatchdogInterval = watchdog->interval();
            view->SetWatchdogInterval(kNeverMs);
        }
        for (QTimer* pTimer : work->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (pTimer->interval() == CStationClock::Timeout(3000))
                detect = pTimer;
        }
        work->SetBootDetectInterval(kNeverMs);

        // Connected after the main window and the view: when these see an
        // answer, the view has handled it.
        QObject::connect(work, &HandleWork::UpdateDeviceInfo, &m_context,
                         [this](QList<QPair<QString, QString>>, QList<QPair<QString, QString>>) { ++nDeviceInfos; });
        QObject::connect(work, QOverload<QString, QString, double>::of(&HandleWork::EmitUpgradeStatus), &m_context,
                         [this](QString status, QString, double) { statuses << status; });
        StationTest::WaitFor([] { return false; }, 20);
    }

    ~CUpgradeStation()
    {
        window.reset();
        usb.reset();
        boot.reset();
        panel.reset();
        frame.reset();
        hid.reset();
        CFakeHidBackend::Uninstall();
        CUpgradeLogFile::SetProgramDir(QString());
        CLocalClock::SetSource(nullptr);
        QDir::setCurrent(m_strPreviousDir);
    }

    CUpgradeStation(const CUpgradeStation&) = delete;
    CUpgradeStation& operator=(const CUpgradeStation&) = delete;

    QString ProgramDir() const { return m_programDir.path(); }
    QString WorkDir() const { return m_workDir.path(); }

    // The operator opens the view from the main panel (false when the main
    // panel is not there to open it: another view is open).
    bool Open()
    {
        auto* pButton = window->findChild<QToolButton*>(QStringLiteral("upgradeToolButton"));
        if (!pButton->isEnabled() || !pButton->isVisibleTo(window.get()) || view->isVisible())
            return false;
        pButton->click();
        return view->isVisible();
    }

    // The operator drops the image on the open view: the view's choice,
    // which the next upgrade downloads.
    void Choose(const QString& path)
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        QDropEvent drop(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &drop);
    }

    // The frame arrives in application mode and its device information has
    // reached the view.
    bool PlugApplicationFrame()
    {
        const int nBefore = nDeviceInfos;
        usb->Plug();
        return StationTest::WaitFor([this, nBefore] { return nDeviceInfos > nBefore; }) && Settle();
    }

    // Waits until the dispatcher has run everything posted so far and the
    // answers are in.
    bool Settle()
    {
        StationTest::WaitFor([] { return false; }, 1);
        const bool bOk = work->PostTask(QStringLiteral("__settle__"), Qt::BlockingQueuedConnection);
        StationTest::WaitFor([] { return false; }, 1);
        return bOk;
    }

    // A firmware image of nRecords 64-byte records, which the bootloader
    // expects; stored as the view's choice when bStore.
    QString WriteImage(int nRecords, bool bStore = true, const QString& name = QStringLiteral("image.bin"))
    {
        const QByteArray image = EmulatedFirmware::Records(nRecords, 7);
        const QString path = QDir(WorkDir()).absoluteFilePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
            return QString();
        f.close();
        boot->ExpectImage(image, frame->Snapshot().boot.nMcuType);
        if (bStore)
            CCustomerSettings::GetInstance()->SetString(QStringLiteral("UpgradeFilePath"), path);
        return path;
    }

    // The frame takes the jump to its bootloader and then stays on the bus
    // in its application: the statuses that follow are the test's.
    void StallJump()
    {
        frame->Edit([](CEmulatedFrame::State& s) {
            s.boot.bNeverReturns = true;
            s.boot.nJumpDelayMs = kNeverMs;
        });
    }

    // One period of the view's watchdog, when it runs.
    void TickWatchdog()
    {
        if (watchdog && watchdog->isActive())
            view->UpgradeTimer_CB();
    }
    // One period of the dispatcher's bootloader-detect timer, when it runs.
    void TickDetect()
    {
        if (detect && detect->isActive())
            work->UpgradeDetectTimer_CB();
    }

    void Emit(const QString& status, const QString& log = QString(), double dProgress = 0)
    {
        emit work->EmitUpgradeStatus(status, log, dProgress);
    }

    template <typename T>
    T* Child(const char* szName) const
    {
        return view->findChild<T*>(QLatin1String(szName));
    }
    QProgressBar* Bar() const { return Child<QProgressBar>("upgradeProgressBar"); }
    QPushButton* UpgradeButton() const { return Child<QPushButton>("upgradePushButton"); }
    QPushButton* BrowseButton() const { return Child<QPushButton>("browsePushButton"); }
    QTableWidget* Table() const { return Child<QTableWidget>("infoTableWidget"); }
    QAction* CancelAction() const
    {
        for (QAction* pAction : view->findChildren<QAction*>()) {
            if (pAction->text() == QLatin1String("Cancel upgrade"))
                return pAction;
        }
        return nullptr;
    }

    // The messages of the log table, in order.
    QStringList Rows() const
    {
        QStringList rows;
        QTableWidget* pTable = Table();
        for (int i = 0; i < pTable->rowCount(); ++i) {
            const QTableWidgetItem* pItem = pTable->item(i, 1);
            rows << (pItem ? pItem->text() : QString());
        }
        return rows;
    }
    // Every row as the log file writes it: time, a blank, the message.
    QStringList TableLines() const
    {
        QStringList lines;
        QTableWidget* pTable = Table();
        for (int i = 0; i < pTable->rowCount(); ++i)
            lines << pTable->item(i, 0)->text() + QLatin1Char(' ') + pTable->item(i, 1)->text();
        return lines;
    }
    // What a file of those lines holds.
    static QByteArray FileOf(const QStringList& lines) { return (lines.join('\n') + '\n').toUtf8(); }
    static QByteArray ReadFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The rows from index nFrom on.
    QStringList RowsFrom(int nFrom) const { return Rows().mid(nFrom); }
    bool WaitForRow(const QString& text, int nTimeoutMs = 20000) const
    {
        return StationTest::WaitFor([this, &text] { return Rows().contains(text); }, nTimeoutMs);
    }

    // The bar's colour by its style sheet: "blue", "red", "green" or "".
    QString BarColour() const
    {
        const QString style = Bar()->styleSheet();
        if (style.contains(QLatin1String("chunk:enabled {background-color: #3300FF")))
            return QStringLiteral("blue");
        if (style.contains(QLatin1String("chunk:enabled {background-color: #FF3300")))
            return QStringLiteral("red");
        if (style.contains(QLatin1String("chunk:enabled {background-color: #33FF00")))
            return QStringLiteral("green");
        return QString();
    }

    // Whether the operator can leave and choose (the ready view's controls).
    bool ControlsEnabled() const
    {
        for (const char* szName : {"upgradePushButton", "browsePushButton"}) {
            if (!Child<QPushButton>(szName)->isEnabled())
                return false;
        }
        for (const char* szName : {"exitToolButton", "signalToolButton", "calToolButton"}) {
            if (!Child<QToolButton>(szName)->isEnabled())
                return false;
        }
        return true;
    }

    // Saves the view as the operator sees it; bSettle: after the events
    // waiting now (else: as it stands, from inside a slot).
    void Screenshot(const QString& name, bool bSettle = true) const
    {
        if (bSettle)
            StationTest::WaitFor([] { return false; }, 1);
        view->grab().save(CTestEnvironment::OutputDir() + QStringLiteral("/upgradeview-") + name
                          + QStringLiteral(".png"));
    }

    std::shared_ptr<CFakeHidBackend> hid;
    std::unique_ptr<CEmulatedFrame> frame;
    std::unique_ptr<CEmulatedPanel> panel;
    std::unique_ptr<CEmulatedBootloader> boot;
    std::unique_ptr<CEmulatedUsbFrame> usb;
    std::unique_ptr<MainWindow> window;
    HandleWork* work = nullptr;
    VeloraUpgradeView* view = nullptr;
    QTimer* watchdog = nullptr;
    QTimer* detect = nullptr;
    int nWatchdogInterval = 0;

    int nDeviceInfos = 0;
    QStringList statuses;

private:
    QTemporaryDir m_programDir;
    QTemporaryDir m_workDir;
    QString m_strPreviousDir;
    QObject m_context;
};
