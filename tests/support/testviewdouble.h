#pragma once

#include <QMap>
#include <QObject>
#include <QString>

// The test view as the dispatcher sees it: it runs a test ("StartTestOnce"),
// files it and opens a saved log ("OpenTestLog") from strLogPath, and counts
// the times it was told to show a fresh test.
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
