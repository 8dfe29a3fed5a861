#include "qmain.h"

#include "emulatedplugcontrol.h"
#include "emulatedprofile.h"
#include "emulatedstationframe.h"
#include "handlework.h"
#include "mainwindow.h"
#include "quitsignalwatcher.h"
#include "runlog.h"
#include "singleinstance.h"
#include "stationinfo.h"
#include "stationmetatypes.h"
#include "stationresources.h"
#include "uploadtestdata.h"
#include "veloracalibrateview.h"
#include "veloratestview.h"
#include "veloraupgradeview.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <qwt_legend_data.h>

#include <cstdio>

namespace {
const char* const kEmulatedOption = "--emulated-frame";
const char* const kEmulatedMark = "[emulated frame]";
// Exit code of a command line the station cannot follow.
constexpr int kUsageExitCode = 2;

// Puts the mark back at the end of the window's title whenever the window
// gives itself another title (a work view names what it shows).
class CTitleMarkKeeper : public QObject
{
public:
    explicit CTitleMarkKeeper(QWidget* pWindow)
        : QObject(pWindow)
    {
        pWindow->installEventFilter(this);
        Mark(pWindow);
    }

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::WindowTitleChange && pWatched->isWidgetType())
            Mark(static_cast<QWidget*>(pWatched));
        return false;
    }

private:
    static void Mark(QWidget* pWindow)
    {
        const QString strMark = QString::fromLatin1(kEmulatedMark);
        if (!pWindow->windowTitle().endsWith(strMark))
            pWindow->setWindowTitle(pWindow->windowTitle() + QLatin1Char(' ') + strMark);
    }
};

QString KnownProfiles()
{
    return QStringLiteral("Known profiles: ") + CEmulatedProfile::Names().join(QStringLiteral(", ")) + QLatin1Char('.');
}
} // namespace

int InstallTranslator(QApplication* pApplication)
{
    auto* pTranslator = new QTranslator(pApplication);
    if (QLocale::system().language() == QLocale::Chinese) {
        // The interface stays in English when the catalogue cannot be read;
        // only the run log says so.
        if (pTranslator->load(QStringLiteral(":/Language/CorvaneFactoryApp_zh.qm")))
            qInfo() << "The Chinese catalogue is installed.";
        else
            qWarning() << "The Chinese catalogue cannot be loaded; the interface stays in English.";
    }
    pApplication->installTranslator(pTranslator);
    return 0;
}

bool ParseStationOptions(const QStringList& arguments, StationOptions* pOptions, QString* pError)
{
    const QString strOption = QString::fromLatin1(kEmulatedOption);
    StationOptions options;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& strArgument = arguments.at(i);
        if (!strArgument.startsWith(QLatin1String("--emulated")))
            continue;
        if (strArgument == strOption) {
            // The profile is never taken from the next argument: it would be
            // ambiguous with Qt's own arguments.
            const QString strNext = arguments.value(i + 1);
            if (!strNext.isEmpty() && !strNext.startsWith(QLatin1Char('-'))) {
                *pError = QStringLiteral("The profile of an emulated frame follows an equals sign: %1=%2. %3")
                              .arg(strOption, strNext, KnownProfiles());
                return false;
            }
            options.bEmulatedFrame = true;
            options.strProfile = CEmulatedProfile::DefaultName();
        } else if (strArgument.startsWith(strOption + QLatin1Char('='))) {
            const QString strProfile = strArgument.mid(strOption.size() + 1);
            if (!CEmulatedProfile::IsKnown(strProfile)) {
                *pError = QStringLiteral("Unknown profile of an emulated frame: \"%1\". %2")
                              .arg(strProfile, KnownProfiles());
                return false;
            }
            options.bEmulatedFrame = true;
            options.strProfile = strProfile;
        } else {
            *pError = QStringLiteral("Unknown option \"%1\"; the station's option is %2[=PROFILE]. %3")
                          .arg(strArgument, strOption, KnownProfiles());
            return false;
        }
    }
    *pOptions = options;
    return true;
}

std::unique_ptr<CEmulatedStationFrame> StartEmulatedFrame(const QString& strProfile)
{
    std::unique_ptr<CEmulatedStationFrame> pFrame = CEmulatedStationFrame::Create(strProfile);
    if (!pFrame) {
        qWarning().noquote() << kEmulatedMark << "Unknown profile" << strProfile;
        return nullptr;
    }
    qInfo().noquote() << kEmulatedMark << QStringLiteral("Profile \"%1\": %2.")
                                              .arg(strProfile, CEmulatedProfile::Summary(strProfile));
    qInfo().noquote() << kEmulatedMark << "Plugged in:" << pFrame->Identity();
    return pFrame;
}

void MarkEmulatedWindow(MainWindow* pWindow)
{
    const QString strMark = QString::fromLatin1(kEmulatedMark);
    if (pWindow->windowTitle().endsWith(strMark))
        return;
    // The window and each work view it opens, whatever title they take on.
    QList<QWidget*> lstWindows{pWindow};
    for (QWidget* pView : pWindow->findChildren<VeloraTestView*>(QString(), Qt::FindDirectChildrenOnly))
        lstWindows << pView;
    for (QWidget* pView : pWindow->findChildren<VeloraCalibrateView*>(QString(), Qt::FindDirectChildrenOnly))
        lstWindows << pView;
    for (QWidget* pView : pWindow->findChildren<VeloraUpgradeView*>(QString(), Qt::FindDirectChildrenOnly))
        lstWindows << pView;
    for (QWidget* pMarked : qAsConst(lstWindows))
        new CTitleMarkKeeper(pMarked);
    // Only what the frame itself reported: a replayed log's identity is no
    // read of the emulated frame.
    QObject::connect(pWindow->GetHandleWork(), &HandleWork::EmitFrameInfoRead, pWindow,
                     [](const QList<QPair<QString, QString>>& lstDevInfo) {
                         QStringList items;
                         for (const auto& item : lstDevInfo)
                             items << item.first + QLatin1Char(' ') + item.second;
                         qInfo().noquote() << kEmulatedMark << "The station read:" << items.join(QStringLiteral(", "));
                     });
}

int qMain(int argc, char* argv[])
{
    InstallLogHandler(QString());
    qInfo() << "Start " << StationInfo::kAppName << StationInfo::kAppVersion << ".";

    // The station's own options are read before Qt takes its own out.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    StationOptions options;
    QString strError;
    if (!ParseStationOptions(arguments, &options, &strError)) {
        qCritical().noquote() << strError;
        std::fprintf(stderr, "%s\n", strError.toLocal8Bit().constData());
        qInfo().noquote() << QStringLiteral("The App will exit, and the exit code is ") + QString::number(kUsageExitCode);
        CloseLogFile();
        return kUsageExitCode;
    }
    if (options.bEmulatedFrame) {
        qInfo().noquote() << kEmulatedMark
                          << QStringLiteral("Started with %1=%2: the USB side is a fake device backend with "
                                            "one emulated frame; no real USB frame is reached.")
                                 .arg(QString::fromLatin1(kEmulatedOption), options.strProfile);
    }

    RegisterStationMetaTypes();
    qRegisterMetaType<QList<QwtLegendData>>("QList<QwtLegendData>");

    int nExitCode = 0;
    {
        QApplication application(argc, argv);
        InitStationResources();
        CSingleInstance instance(QString::fromLatin1(StationInfo::kAppName)
                                 + QString::fromLatin1(StationInfo::kAppGuid));
        if (instance.IsRunning()) {
            qInfo() << "The App has started and will be actived.";
            nExitCode = instance.SendMessage(QByteArray(), 5000) ? 0 : 1;
        } else {
            InstallTranslator(&application);
            // A session that ends (SIGTERM) or Ctrl+C leaves through the event
            // loop like the exit button, so the run log gets its last line.
            CQuitSignalWatcher quitWatcher;
            // Plugged in before the window's dispatcher opens the device layer,
            // which then finds the frame as it finds one present at start.
            std::unique_ptr<CEmulatedStationFrame> pEmulatedFrame;
            if (options.bEmulatedFrame)
                pEmulatedFrame = StartEmulatedFrame(options.strProfile);
            auto* pMainWindow = new MainWindow(nullptr);
            std::unique_ptr<CEmulatedPlugControl> pPlugControl;
            if (pEmulatedFrame) {
                MarkEmulatedWindow(pMainWindow);
                // Only here do SIGUSR1 and SIGUSR2 stop being fatal.
                pPlugControl = std::make_unique<CEmulatedPlugControl>(pEmulatedFrame.get());
                pPlugControl->WatchSignals(&quitWatcher);
            }
            instance.SetActivationWindow(pMainWindow, true);
            pMainWindow->show();
            // The uploads an earlier run left unsettled (ended or killed with
            // logs under way) go on once the window is up.
            QTimer::singleShot(0, pMainWindow, [] { CUploadTestData::SettleAtStart(); });
            qInfo() << "Init MainWindow successfully and Start event loop.";
            nExitCode = application.exec();
            // The frame stays as it is while the station closes.
            pPlugControl.reset();
            delete pMainWindow;
            pEmulatedFrame.reset();
        }
        qInfo().noquote() << QStringLiteral("The App will exit, and the exit code is ") + QString::number(nExitCode);
        CloseLogFile();
    }
    return nExitCode;
}
