#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>

// The test view as the dispatcher sees it: it runs a test ("StartTestOnce"),
// files it and opens a saved log ("OpenTestLog") from strLogPath, gives its
// AGC values, and keeps every answer it got.
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

public slots:
    void InitTestUi(QMap<QString, QString>)
    {
        ++nInitTestUi;
        calls << "InitTestUi";
    }
    void ShowTestResult(QMap<QString, QString>)
    {
        ++nShowTestResult;
        calls << "ShowTestResult";
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
