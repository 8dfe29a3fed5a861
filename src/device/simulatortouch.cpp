#include "simulatortouch.h"

CSimulatorTouch::~CSimulatorTouch() = default;
