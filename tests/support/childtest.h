#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// Runs one test function of this test binary in a child process, with these
// variables added to its environment (a locale of its own, the folder it
// works in). True when it passed; *pOutput gets what it printed. Header only.
inline bool RunTestInChild(const QString &strFunction, const QProcessEnvironment &extra, QByteArray *pOutput)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(extra);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {strFunction});
    const bool bFinished = child.waitForFinished(30000);
    if (!bFinished) {
        child.kill();
        child.waitForFinished(5000);
    }
    *pOutput = child.readAll();
    return bFinished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

// The variables that make a child's locale Arabic (Egypt), which writes
// digits of its own.
inline QProcessEnvironment ArabicLocale()
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ar_EG.UTF-8"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("ar_EG.UTF-8"));
    return env;
}
