#pragma once

#include <QString>
#include <QtGlobal>

// The run log: one text file per run, "Log/<prefix>yyyyMMdd-hhmmss-zzz.txt"
// under the working directory, one flushed line per message of any thread:
//   [hh:mm:ss:zzz][Level](file\function:line)-message
// Levels: Debug, Info, Warning, Critical, and Fatal, which is written before
// the program aborts. When the file cannot be opened, or a line cannot be
// written to it (a full disk), the lines go to stderr from then on, after one
// line "The run log <path> cannot be written, the lines follow on stderr -
// <reason>".

// Opens the run's log file and installs LogMessageHandler for the whole
// process. Called first at start-up (with an empty prefix). A second call
// closes the previous file and opens a new one. Returns 0.
int InstallLogHandler(const QString &prefix);

// The message handler; safe to call from any thread.
void LogMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

// Closes the log file; later messages are dropped. Returns 0.
int CloseLogFile();

// Path of the open log file, empty while the log is closed.
QString RunLogFilePath();

// The bare function name (no class, return type or parameters) of a
// compiler-written function signature such as Q_FUNC_INFO gives it:
// "virtual void CWorkThread::run()" gives "run".
QString LogFunctionName(const char *signature);
