#pragma once

#include <QMetaType>

// Which work view is open. The main window holds it; the views hand it back
// through their emitWorkType signal when they close; the arrival of a frame
// reads it to choose the frame's first task.
enum eWorkType {
    MAINWORK = 0,        // the main panel
    SIGNALTESTWORK = 1,  // the signal test view
    CALIBRATEWORK = 2,   // the calibration view
    UPGRADEWORK = 3,     // the firmware upgrade view
};

Q_DECLARE_METATYPE(eWorkType)
