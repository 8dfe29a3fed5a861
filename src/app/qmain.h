#pragma once

class QApplication;

// The station program: opens the run log, makes sure only one instance runs,
// shows the main window and runs the event loop. Returns the exit code.
int qMain(int argc, char* argv[]);

// Installs the Chinese catalogue when the system language is Chinese (an
// empty translator otherwise). Returns 0.
int InstallTranslator(QApplication* pApplication);
