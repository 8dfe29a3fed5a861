#pragma once

#include <QMap>
#include <QObject>
#include <QString>

// The test view as the dispatcher sees it when it runs a test
// ("StartTestOnce") or opens a saved log ("OpenTestLog"): it gives the log's
// path and counts the InitTestUi calls.
class CTestViewDouble : public QObject
{
    Q_OBJECT
public:
    QString strLogPath;
    int nInitTestUi = 0;

    Q_INVOKABLE QString GetLogFilePath() { return strLogPath; }

public slots:
    void InitTestUi(QMap<QString, QString>) { ++nInitTestUi; }
};
