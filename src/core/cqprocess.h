#pragma once

#include <QObject>
#include <QStringList>

// Tells whether a program runs on this station, by its executable name. The
// listing scans /proc: a process counts when its name (or the file name of its
// first argument) is the executable name, or the name without ".exe" (so
// "PanelHost.exe" matches both a Windows build under Wine and a native
// "PanelHost"). Names compare case-sensitively. Made for one check.
class CQProcess : public QObject
{
    Q_OBJECT
public:
    explicit CQProcess(QObject *parent = nullptr);

    // Takes the listing of the processes that carry the name.
    void StartTaskList(const QString &exeName);
    // Whether the listing holds the name; logs "CheckProcessRunning :In", then
    // ":Match End", or ":Time Out End" when no listing could be taken.
    bool CheckProcessRunning(const QString &exeName);

    // Names (as matched) of the processes found by the last listing.
    QStringList Listing() const { return m_listing; }

private:
    bool m_bListed;
    QStringList m_listing;
};
