// The station's memory across a shift. The station runs as "--emulated-frame"
// starts it (the station's emulated frame on the fake device backend, the
// real main window, views and dispatcher), offscreen, and one operator task is
// repeated. The resident size and malloc's bytes in use are printed at the
// start, every 100 runs, at the end of the warm-up and at the end, with the
// growth per run over the measured runs (those after the warm-up), against the
// goal of under 1 kB a run of heap in use (the resident size moves in whole
// pages and with malloc's free lists; it is printed beside it).
//
//   bench_soak [--mode MODE] [--runs N] [--warmup N]
//
// --runs: the measured runs after the warm-up (100 upgrades, 300 runs of
// every other mode: a calibration's figures move by some 100 kB at a time,
// which 100 runs cannot tell from growth). --warmup: a fixed number of
// warm-up runs; by default the warm-up lasts until what is bounded is seen
// full (below), and then as long again (at least 100 runs), at most 4000
// runs in all.
//
// Modes (each in a process of its own; "all", the default, runs them one
// after the other):
//   signal       the signal test repeated (F5)
//   replay       the same, with a saved log opened as a replay and the frame
//                plugged again (back to the live frame) between runs
//   record       the same, with a recording started and stopped (and saved)
//                between runs
//   upgrade      upgrades in the upgrade view, the emulated bootloader taking
//                the provided image each time
//   calibration  four-point calibrations in the calibration view
// The emulated operator touches calibration targets after 20 ms and the
// bootloader writes records at once (the station's frame takes 1 s and 8 ms):
// the times are not what is measured.
//
// What grows up to a bound, and is full before the measured runs start:
//   - Qt's pixmap cache (QPixmapCache, 10 MB of pixmaps, about twice that of
//     heap with its keys and small images): every file dialog and message box
//     is built anew with icons of its own, whose pixmaps go into the cache
//     under keys of their own and stay until the cache is full and drops the
//     least recently used. Its count moves in whole MB and leaves out the
//     heap each entry takes beside its pixels, so it reads full (replay
//     about 800 runs, record about 350) well before the heap stops growing:
//     the warm-up goes on as long again once it reads full (or has not grown
//     for 300 runs), so that the measured runs see only its steady state,
//     where each new entry drops an old one;
//     SOAK_PIXMAP_CACHE_KB sets another bound (0: no cache);
//   - the emulated frame's recent reports (8192) and the fake node's recent
//     outputs (4096), which fill slowly where a run sends the frame few
//     commands (calibration, replay); the warm-up lasts until the frame's
//     list is full (the node's, fed by the same reports, is full before it).
// What grows for as long as a view keeps its log: the upgrade view's and the
// calibration view's log tables keep a row per event until the view's next
// opening (the upgrade view) or its closing (the calibration view), about
// 0.6 kB a row. The upgrade view is connected also while it is hidden, so
// each arrival and removal of a frame adds its rows there (replay mode); while
// it is open each upgrade adds its rows (upgrade mode). At the end of the
// warm-up and at the end the tables are emptied, as their view would, so that
// what they held is measured apart: the goal line is the heap in use less the
// log tables, and what the tables held is printed beside it.
// With SOAK_EXIT_HOLDING set the process ends at once after the figures (the
// log tables emptied), so that a heap profile (heaptrack) shows what the
// station holds as never freed; the difference of two profiles of different
// lengths is what the runs between them left.

// The pixmap cache's own count of what it holds (a test hook of Qt's).
#define Q_TEST_QPIXMAPCACHE

#include "calworkcustomview.h"
#include "comportusb.h"
#include "customersettings.h"
#include "emulatedbootloader.h"
#include "emulatedframe.h"
#include "emulatedframeimage.h"
#include "emulatedstationframe.h"
#include "handlework.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "qmain.h"
#include "stationclock.h"
#include "stationresources.h"
#include "touchbase.h"
#include "veloracalibrateview.h"
#include "veloratestview.h"
#include "veloraupgradeview.h"
#include "waitfor.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFile>
#include <QMenu>
#include <QPixmapCache>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <unistd.h>

namespace {

// ---- what the station logs

std::atomic<int> g_nResults{0};     // a signal-test run has its result shown
std::atomic<int> g_nCalibrations{0}; // a calibration's last step has run
std::atomic<int> g_nCriticals{0};

void Handler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (message.startsWith(QLatin1String("ShowTestResult :")))
        ++g_nResults;
    if (message.startsWith(QLatin1String("ProcessTask :task = STEP_END_")))
        ++g_nCalibrations;
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        ++g_nCriticals;
        std::fprintf(stderr, "critical: %s\n", qPrintable(message));
    }
}

// ---- memory

struct SMemory
{
    double resident = 0;  // bytes
    double heap = 0;      // bytes malloc has handed out and not got back
};

SMemory Memory()
{
    SMemory m;
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().split(' ');
        if (fields.size() > 1)
            m.resident = fields.at(1).toDouble() * double(::sysconf(_SC_PAGESIZE));
    }
    const struct mallinfo2 info = ::mallinfo2();
    m.heap = double(info.uordblks) + double(info.hblkhd);
    return m;
}

// What fills up to a bound, and the rows the views' log tables hold.
struct SFill
{
    int nPixmapMb = 0;      // Qt's pixmap cache, in MB of pixmaps (rounded up)
    int nPixmapLimitKb = 0;
    int nReports = 0;       // reports the emulated frame has received (it keeps the recent ones)
    int nLogRows = 0;       // rows of the upgrade view's and the calibration view's log tables
};

void PrintMemory(const char* szMode, int nRun, const SMemory& m, const SFill& f)
{
    std::printf("%-12s run %4d   resident %9.0f kB   heap in use %9.0f kB   pixmap cache %2d/%d MB"
                "   frame's reports %7d   log rows %5d\n",
                szMode, nRun, m.resident / 1e3, m.heap / 1e3, f.nPixmapMb, f.nPixmapLimitKb / 1024, f.nReports,
                f.nLogRows);
    std::fflush(stdout);
}

template <typename Pred>
bool Wait(Pred pred, int nTimeoutMs = 60000)
{
    return StationTest::WaitFor(pred, nTimeoutMs);
}

QAction* ViewAction(VeloraTestView* pView, const QString& text)
{
    const QList<QAction*> actions = pView->ActionMenu()->actions() + pView->actions();
    for (QAction* pAction : actions) {
        if (pAction->text() == text)
            return pAction;
    }
    return nullptr;
}

// ---- one station, one mode

class CSoak
{
public:
    CSoak(const QString& mode, const QString& folder) : m_mode(mode), m_folder(folder) {}

    // False (with the reason on stderr) when the station could not be set up.
    bool Start();
    // One run of the mode; false when it did not end as it should.
    bool Run(int nRun);
    void Stop();
    SFill Fill() const;
    // Empties the views' log tables, as the upgrade view's next opening and
    // the calibration view's closing do.
    void EmptyLogTables();

private:
    bool SignalRun();
    bool ReplayBetween();
    bool RecordBetween(int nRun);
    bool UpgradeRun();
    bool CalibrationRun();

    QString m_mode;
    QString m_folder;
    std::unique_ptr<CEmulatedStationFrame> m_pFrame;
    std::unique_ptr<MainWindow> m_pWindow;
    std::unique_ptr<CModalBoxAnswerer> m_pBoxes;
    VeloraTestView* m_pTestView = nullptr;
    QPushButton* m_pUpgrade = nullptr;
    QTableWidget* m_pUpgradeTable = nullptr;
    QPushButton* m_pCalibrate = nullptr;
    VeloraUpgradeView* m_pUpgradeView = nullptr;
    VeloraCalibrateView* m_pCalibrateView = nullptr;
};

bool Fail(const char* szWhat)
{
    std::fprintf(stderr, "soak: %s\n", szWhat);
    return false;
}

bool CSoak::Start()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    pSettings->SetBool(QStringLiteral("SupportSNCheck"), false);
    pSettings->SetBool(QStringLiteral("DefaultJumpToDraw"), false);
    pSettings->SetInt(QStringLiteral("DefaultInterface"), 0);
    const QString image = m_folder + QStringLiteral("/image.bin");
    {
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || file.write(CEmulatedFrameImage::Data()) < 0)
            return Fail("the firmware image cannot be written");
    }
    pSettings->SetString(QStringLiteral("UpgradeFilePath"), image);

    m_pBoxes = std::make_unique<CModalBoxAnswerer>();
    m_pFrame = StartEmulatedFrame(QStringLiteral("healthy"));
    if (!m_pFrame)
        return Fail("no emulated frame");
    m_pFrame->Frame()->Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = 20; });
    m_pFrame->Bootloader()->SetRecordAnswerDelay(0);
    m_pWindow = std::make_unique<MainWindow>();
    MarkEmulatedWindow(m_pWindow.get());
    m_pWindow->resize(1129, 748);
    m_pWindow->show();
    HandleWork* pWork = m_pWindow->GetHandleWork();
    if (!Wait([&] { return pWork->GetDeviceKind() == HandleWork::DeviceKind::Live; }))
        return Fail("the frame was not opened");

    m_pUpgradeView = m_pWindow->findChild<VeloraUpgradeView*>();
    m_pCalibrateView = m_pWindow->findChild<VeloraCalibrateView*>();
    if (!m_pUpgradeView || !m_pCalibrateView)
        return Fail("no upgrade or calibration view");

    if (m_mode == QLatin1String("upgrade")) {
        auto* pOpen = m_pWindow->findChild<QToolButton*>(QStringLiteral("upgradeToolButton"));
        if (!pOpen || !Wait([&] { return pOpen->isEnabled(); }))
            return Fail("no upgrade button");
        pOpen->click();
        m_pUpgrade = m_pUpgradeView->findChild<QPushButton*>(QStringLiteral("upgradePushButton"));
        m_pUpgradeTable = m_pUpgradeView->findChild<QTableWidget*>(QStringLiteral("infoTableWidget"));
        return m_pUpgrade && m_pUpgradeTable ? true : Fail("no upgrade view");
    }
    if (m_mode == QLatin1String("calibration")) {
        m_pCalibrate = m_pCalibrateView->findChild<QPushButton*>(QStringLiteral("Btn_Cal_2"));
        auto* pOpen = m_pWindow->findChild<QToolButton*>(QStringLiteral("calToolButton"));
        if (!m_pCalibrate || !pOpen || !Wait([&] { return m_pCalibrate->isEnabled() && pOpen->isEnabled(); }))
            return Fail("no calibration view");
        pOpen->click();
        return true;
    }
    m_pTestView = m_pWindow->findChild<VeloraTestView*>();
    if (!m_pTestView)
        return Fail("no test view");
    const int nBefore = g_nResults.load();
    m_pWindow->ToggleFunction(SIGNALTESTWORK);
    if (!Wait([&] { return g_nResults.load() > nBefore && !m_pTestView->IsTestRunning(); }))
        return Fail("the first signal test gave no result");
    return true;
}

bool CSoak::Run(int nRun)
{
    // What the answerer keeps of the boxes is the benchmark's, not the station's.
    m_pBoxes->boxes.clear();
    if (m_mode == QLatin1String("upgrade"))
        return UpgradeRun();
    if (m_mode == QLatin1String("calibration"))
        return CalibrationRun();
    if (m_mode == QLatin1String("replay") && !ReplayBetween())
        return false;
    if (m_mode == QLatin1String("record") && !RecordBetween(nRun))
        return false;
    // The replug of the replay mode ran the frame's test already.
    return m_mode == QLatin1String("replay") || SignalRun();
}

bool CSoak::SignalRun()
{
    auto* pRetest = m_pTestView->findChild<QToolButton*>(QStringLiteral("retestTestButton"));
    if (!pRetest || !Wait([&] { return pRetest->isEnabled() && !m_pTestView->IsTestRunning(); }))
        return Fail("the retest button stays disabled");
    const int nBefore = g_nResults.load();
    pRetest->click();
    return Wait([&] { return g_nResults.load() > nBefore && !m_pTestView->IsTestRunning(); })
        ? true
        : Fail("a signal test gave no result");
}

bool CSoak::ReplayBetween()
{
    HandleWork* pWork = m_pWindow->GetHandleWork();
    // The newest log the runs filed under Data/ (the older ones are removed
    // after each replay, so the folder stays small).
    QString log;
    QDateTime newest;
    QStringList logs;
    for (QDirIterator it(QStringLiteral("Data"), {QStringLiteral("*.xml")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QFileInfo info(it.next());
        logs << info.absoluteFilePath();
        if (log.isEmpty() || info.lastModified() > newest) {
            log = info.absoluteFilePath();
            newest = info.lastModified();
        }
    }
    if (log.isEmpty())
        return Fail("the run filed no log");
    m_pBoxes->AnswerFile(log);
    ViewAction(m_pTestView, QStringLiteral("Open log file..."))->trigger();
    if (!Wait([&] { return pWork->GetDeviceKind() == HandleWork::DeviceKind::Replay; })) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(m_pBoxes->problems.join(QLatin1Char('\n'))));
        return Fail("the log did not open");
    }
    if (!Wait([&] { return !m_pTestView->IsTestRunning(); }))
        return Fail("the replay did not settle");
    // Back to the live frame: it arrives again and the operator opens it.
    m_pFrame->Unplug();
    if (!Wait([&] { return pWork->GetUsbPort()->GetDevCount() == 0; }))
        return Fail("the frame did not leave");
    m_pBoxes->Answer(QStringLiteral("Yes"));
    const int nBefore = g_nResults.load();
    m_pFrame->Plug();
    if (!Wait([&] {
            return pWork->GetDeviceKind() == HandleWork::DeviceKind::Live && g_nResults.load() > nBefore
                && !m_pTestView->IsTestRunning();
        }))
        return Fail("the live frame was not tested again");
    for (const QString& path : qAsConst(logs))
        QFile::remove(path);
    return true;
}

bool CSoak::RecordBetween(int nRun)
{
    QAction* pRecord = ViewAction(m_pTestView, QStringLiteral("Record Data..."));
    if (!pRecord || !pRecord->isEnabled())
        return Fail("no recording");
    const QString path = m_folder + QStringLiteral("/recording-%1.xml").arg(nRun);
    m_pBoxes->AnswerFile(path);
    const quint32 nFrameAtStart = [this] {
        HandleWork* pWork = m_pWindow->GetHandleWork();
        QMutexLocker lock(pWork->GetDeviceMutex());
        return pWork->GetTouchDevice() ? pWork->GetTouchDevice()->GetFrameNumber() : 0u;
    }();
    bool bRecorded = false;
    // Inside the clock's own loop: a few frames of the view's refresh, then
    // the operator stops it and saves.
    QTimer::singleShot(0, m_pTestView, [&] {
        bRecorded = Wait(
            [&] {
                HandleWork* pWork = m_pWindow->GetHandleWork();
                QMutexLocker lock(pWork->GetDeviceMutex());
                return pWork->GetTouchDevice() && pWork->GetTouchDevice()->GetFrameNumber() >= nFrameAtStart + 3;
            },
            10000);
        pRecord->trigger();
    });
    pRecord->trigger();
    if (!bRecorded)
        return Fail("the recording took no frames");
    if (!Wait([&] { return QFile::exists(path); }, 10000))
        return Fail("the recording was not saved");
    QFile::remove(path);
    return true;
}

bool CSoak::UpgradeRun()
{
    auto completed = [this] {
        int n = 0;
        for (int r = 0; r < m_pUpgradeTable->rowCount(); ++r) {
            const QTableWidgetItem* pItem = m_pUpgradeTable->item(r, 1);
            n += pItem && pItem->text().startsWith(QLatin1String("Update completed")) ? 1 : 0;
        }
        return n;
    };
    if (!Wait([&] { return m_pUpgrade->isEnabled(); }))
        return Fail("the upgrade button stays disabled");
    const int nBefore = completed();
    m_pUpgrade->click();
    return Wait([&] { return completed() > nBefore && m_pUpgrade->isEnabled(); }, 120000)
        ? true
        : Fail("an upgrade did not complete");
}

bool CSoak::CalibrationRun()
{
    HandleWork* pWork = m_pWindow->GetHandleWork();
    auto* pScreen = m_pWindow->findChild<CCalWorkCustomView*>();
    if (!pScreen || !Wait([&] { return m_pCalibrate->isEnabled() && !pScreen->isVisible(); }))
        return Fail("the calibration button stays disabled");
    const int nBefore = g_nCalibrations.load();
    m_pCalibrate->click();
    return Wait([&] {
               return g_nCalibrations.load() > nBefore && !pWork->IsTaskRunning(QStringLiteral("STEP_END_OK"))
                   && !pWork->IsTaskRunning(QStringLiteral("STEP_END_FAIL")) && !pScreen->isVisible();
           })
        ? true
        : Fail("a calibration did not end");
}

SFill CSoak::Fill() const
{
    SFill f;
    // Qt's count of what the cache holds: its costs are in kB, which this
    // test hook divides by 1024 once more, so it says MB, rounded up.
    f.nPixmapMb = QPixmapCache::totalUsed();
    f.nPixmapLimitKb = QPixmapCache::cacheLimit();
    f.nReports = m_pFrame->Frame()->RequestCount();
    for (QWidget* pView : {static_cast<QWidget*>(m_pUpgradeView), static_cast<QWidget*>(m_pCalibrateView)}) {
        for (const QTableWidget* pTable : pView->findChildren<QTableWidget*>())
            f.nLogRows += pTable->rowCount();
    }
    return f;
}

void CSoak::EmptyLogTables()
{
    m_pUpgradeView->ClearLogAction_event();
    m_pCalibrateView->ClearCalLogAction_event();
}

void CSoak::Stop()
{
    if (m_pWindow)
        m_pWindow->hide();
    m_pWindow.reset();
    m_pFrame.reset();
    m_pBoxes.reset();
}

int DefaultRuns(const QString& mode)
{
    return mode == QLatin1String("upgrade") ? 100 : 300;
}

constexpr int MIN_WARMUP = 100;
constexpr int MAX_WARMUP = 4000;
// Runs without growth that count the pixmap cache as settled (its count moves
// in MB: less than 3.5 kB a run of pixmaps may pass unseen).
constexpr int PIXMAP_SETTLED_RUNS = 300;

// Runs one mode in this process: the warm-up (nWarmUp runs, or while what is
// bounded fills when nWarmUp is negative), then nRuns measured runs; 0 when
// every run ended as it should.
int RunMode(const QString& mode, int nRuns, int nWarmUp)
{
    QTemporaryDir folder;
    if (!folder.isValid() || !QDir::setCurrent(folder.path()))
        return Fail("no working folder"), 1;
    QFile::copy(QStringLiteral(STATION_SAMPLE_TABLE), QStringLiteral("TouchTestInfo-V0001.csv"));
    CSoak soak(mode, folder.path());
    if (!soak.Start())
        return 1;
    const QByteArray name = mode.toLatin1();
    const char* szName = name.constData();
    const SMemory start = Memory();
    PrintMemory(szName, 0, start, soak.Fill());

    int nRun = 0;
    bool bFailed = false;
    auto runOne = [&] {
        if (!soak.Run(++nRun)) {
            std::fprintf(stderr, "soak: %s stopped at run %d\n", szName, nRun);
            bFailed = true;
            return;
        }
    };

    // The warm-up.
    QVector<int> pixmapMb;  // after each run
    bool bPixmapFull = false;
    bool bFull = false;
    int nFullAt = -1;  // the run at which what is bounded was first seen full
    while (!bFailed) {
        const SFill f = soak.Fill();
        pixmapMb << f.nPixmapMb;
        bPixmapFull = bPixmapFull || f.nPixmapMb * 1024 * 100 >= f.nPixmapLimitKb * 95;
        const bool bPixmapSettled = bPixmapFull
            || (nRun >= PIXMAP_SETTLED_RUNS && pixmapMb.at(nRun - PIXMAP_SETTLED_RUNS) >= f.nPixmapMb);
        bFull = bPixmapSettled && f.nReports >= CEmulatedFrame::MAX_KEPT_REQUESTS;
        if (bFull && nFullAt < 0)
            nFullAt = nRun;
        const bool bSettled = nFullAt >= 0 && nRun >= nFullAt + std::max(MIN_WARMUP, nFullAt);
        if (nWarmUp >= 0 ? nRun >= nWarmUp : bSettled || nRun >= MAX_WARMUP)
            break;
        runOne();
        if (nRun % 100 == 0)
            PrintMemory(szName, nRun, Memory(), soak.Fill());
    }
    const int nWarmRuns = nRun;
    const SMemory warmFull = Memory();
    const SFill warmFill = soak.Fill();
    if (nRun % 100 != 0)
        PrintMemory(szName, nRun, warmFull, warmFill);
    soak.EmptyLogTables();
    const SMemory warm = Memory();
    const int nWarmRows = soak.Fill().nLogRows;
    std::printf("%-12s warm-up: %d runs (%s); the log tables emptied: %d rows, %.0f kB\n", szName, nWarmRuns,
                bFull ? "the pixmap cache full or settled, the frame's reports at their bound, and as long again"
                      : "NOT all full: the growth below includes their filling",
                warmFill.nLogRows, (warmFull.heap - warm.heap) / 1e3);

    // The measured runs.
    for (int i = 0; i < nRuns && !bFailed; ++i) {
        runOne();
        if (nRun % 100 == 0 && i + 1 < nRuns)
            PrintMemory(szName, nRun, Memory(), soak.Fill());
    }
    const int nMeasured = nRun - nWarmRuns - (bFailed ? 1 : 0);
    const SMemory last = Memory();
    const SFill lastFill = soak.Fill();
    PrintMemory(szName, nRun, last, lastFill);
    soak.EmptyLogTables();
    const SMemory lastEmpty = Memory();
    if (nMeasured > 0) {
        const double resident = (last.resident - warm.resident) / nMeasured / 1e3;
        const double heap = (last.heap - warm.heap) / nMeasured / 1e3;
        const double tables = (last.heap - lastEmpty.heap) / nMeasured / 1e3;
        const double rows = double(lastFill.nLogRows - nWarmRows) / nMeasured;
        const double rest = (lastEmpty.heap - warm.heap) / nMeasured / 1e3;
        std::printf("%-12s over the %d runs after the warm-up: resident %+.2f kB, heap in use %+.2f kB a run\n",
                    szName, nMeasured, resident, heap);
        std::printf("%-12s of which the views' log tables: %+.2f kB a run (%.1f rows a run, kept until the view"
                    " empties its log)\n",
                    szName, tables, rows);
        std::printf("%-12s heap in use less the log tables: %+.2f kB a run   goal: under 1 kB a run (%s)\n", szName,
                    rest, rest < 1.0 ? "met" : "NOT met");
    }
    const int nAll = nRun - (bFailed ? 1 : 0);
    if (nAll > 0)
        std::printf("%-12s over all %d runs (the log tables full): heap in use %+.2f kB a run\n", szName, nAll,
                    (last.heap - start.heap) / nAll / 1e3);
    std::fflush(stdout);
    // For a heap profile (heaptrack): what the station holds, less the log
    // tables, shows as never freed.
    if (qEnvironmentVariableIsSet("SOAK_EXIT_HOLDING"))
        ::_exit(0);
    soak.Stop();
    return !bFailed && g_nCriticals.load() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // Settings and the working folder in a sandbox; never the user's.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitStationResources();
    // SOAK_PIXMAP_CACHE_KB: another bound for Qt's pixmap cache (10 MB by
    // default), to tell its filling from what the station holds.
    if (qEnvironmentVariableIsSet("SOAK_PIXMAP_CACHE_KB"))
        QPixmapCache::setCacheLimit(qEnvironmentVariableIntValue("SOAK_PIXMAP_CACHE_KB"));
    // Fixed pauses of the protocol pass at once; time-outs stay as they are.
    CStationClock::SetSleepHook([](int) {});

    QString mode = QStringLiteral("all");
    int nRuns = -1;
    int nWarmUp = -1;  // while what is bounded fills
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--mode"))
            mode = args.at(++i);
        else if (args.at(i) == QLatin1String("--runs"))
            nRuns = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--warmup"))
            nWarmUp = args.at(++i).toInt();
    }
    const QStringList modes{"signal", "replay", "record", "upgrade", "calibration"};
    if (mode == QLatin1String("all")) {
        // Each mode in a fresh process: what one leaves does not count for the next.
        int nFailed = 0;
        for (const QString& one : modes) {
            QStringList childArgs{"--mode", one};
            if (nWarmUp >= 0)
                childArgs << "--warmup" << QString::number(nWarmUp);
            if (nRuns > 0)
                childArgs << "--runs" << QString::number(nRuns);
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(app.applicationFilePath(), childArgs);
            if (!child.waitForFinished(-1) || child.exitCode() != 0)
                ++nFailed;
        }
        return nFailed == 0 ? 0 : 1;
    }
    if (!modes.contains(mode)) {
        std::fprintf(stderr, "soak: unknown mode %s (one of %s, or all)\n", qPrintable(mode),
                     qPrintable(modes.join(", ")));
        return 2;
    }
    qInstallMessageHandler(Handler);
    const int nModeRuns = nRuns > 0 ? nRuns : DefaultRuns(mode);
    return RunMode(mode, nModeRuns, nWarmUp);
}
