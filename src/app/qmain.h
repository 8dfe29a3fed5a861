#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class CEmulatedStationFrame;
class MainWindow;
class QApplication;

// The station program: opens the run log, makes sure only one instance runs,
// shows the main window and runs the event loop. Returns the exit code.
int qMain(int argc, char* argv[]);

// Installs the Chinese catalogue when the system language is Chinese (an
// empty translator otherwise). Returns 0.
int InstallTranslator(QApplication* pApplication);

// What the command line asks of the station. "--emulated-frame" and
// "--emulated-frame=PROFILE" are the station's own options; every other
// argument is left to Qt.
struct StationOptions
{
    bool bEmulatedFrame = false;
    QString strProfile; // a known profile when bEmulatedFrame is set
};

// The arguments after the program name. False, with a message for the
// operator in *pError, for an option the station cannot follow (an unknown
// profile: the message lists the known ones).
bool ParseStationOptions(const QStringList& arguments, StationOptions* pOptions, QString* pError);

// What "--emulated-frame=PROFILE" starts, before MainWindow is built: the
// fake device backend with one frame of the profile plugged in (the station
// reaches no real USB frame), and the run-log lines that say which frame it is.
// Null for an unknown profile. Keep it until MainWindow is destroyed.
std::unique_ptr<CEmulatedStationFrame> StartEmulatedFrame(const QString& strProfile);

// The window of such a run: its title and the titles of its work views end
// in "[emulated frame]" (also after a view changes its title), and the run
// log gets the device information each time the station has read it from the
// frame.
void MarkEmulatedWindow(MainWindow* pWindow);
