#include "qmain.h"

#include "mainwindow.h"
#include "quitsignalwatcher.h"
#include "runlog.h"
#include "singleinstance.h"
#include "stationinfo.h"
#include "stationmetatypes.h"
#include "stationresources.h"

#include <QApplication>
#include <QDebug>
#include <QLocale>
#include <QTranslator>

#include <qwt_legend_data.h>

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

int qMain(int argc, char* argv[])
{
    InstallLogHandler(QString());
    qInfo() << "Start " << StationInfo::kAppName << StationInfo::kAppVersion << ".";

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
            auto* pMainWindow = new MainWindow(nullptr);
            instance.SetActivationWindow(pMainWindow, true);
            pMainWindow->show();
            qInfo() << "Init MainWindow successfully and Start event loop.";
            nExitCode = application.exec();
            delete pMainWindow;
        }
        qInfo().noquote() << QStringLiteral("The App will exit, and the exit code is ") + QString::number(nExitCode);
        CloseLogFile();
    }
    return nExitCode;
}
