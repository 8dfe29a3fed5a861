#pragma once

#include <QCoreApplication>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <cstdint>

// The test view as the dispatcher sees it: it runs a test ("StartTestOnce"),
// files it and opens a saved log ("OpenTestLog") from strLogPath, gives its
// AGC values, steps a replay, and keeps every answer it got.
class CTestViewDouble : public QObject
{
    Q_OBJECT
public:
    QString strLogPath;
    int nInitTestUi = 0;
    int nShowTestResult = 0;
    QList<bool> reverse;
    // Every answer the view got, in order ("ShowReverseData(true)", ...).
    QStringList calls;
    QStringList failures; // "task 0x<code>"
    uint32_t nTAgc = 700;
    uint32_t nRAgc = 40;

    Q_INVOKABLE QString GetLogFilePath() { return strLogPath; }
    Q_INVOKABLE void GetAgcValue(uint32_t* pT, uint32_t* pR)
    {
        *pT = nTAgc;
        *pR = nRAgc;
    }
    // The steps asked of the view, each with whether it came on the GUI
    // thread and whether the device mutex was free then.
    Q_INVOKABLE void StepReplayFrame(int nStep)
    {
        bool bFree = pDeviceMutex && pDeviceMutex->tryLock();
        if (bFree)
            pDeviceMutex->unlock();
        steps << QStringLiteral("%1%2%3")
                     .arg(nStep)
                     .arg(QThread::currentThread() == qApp->thread() ? " gui" : " worker")
                     .arg(bFree ? " free" : " held");
    }
    QMutex* pDeviceMutex = nullptr;
    QStringList steps;

public slots:
    void InitTestUi(QMap<QString, QString>)
    {
        ++nInitTestUi;
        calls << "InitTestUi";
    }
    void ShowTestResult(QMap<QString, QString>, bool bRealTime = true)
    {
        ++nShowTestResult;
        calls << (bRealTime ? QStringLiteral("ShowTestResult") : QStringLiteral("ShowTestResult(false)"));
    }
    void ShowReverseData(bool bOk)
    {
        reverse << bOk;
        calls << QStringLiteral("ShowReverseData(%1)").arg(bOk ? "true" : "false");
    }
    void InitAgcRangeFinished(bool bOk) { calls << QStringLiteral("InitAgcRangeFinished(%1)").arg(bOk ? "true" : "false"); }
    void TaskFailed(QString task, int32_t errorCode)
    {
        failures << task + QStringLiteral(" 0x%1").arg(uint32_t(errorCode), 0, 16);
    }
};
