#pragma once

#include "touchpoint.h"

// Replays contacts reported by a frame as system touch input.
class CSimulatorTouch
{
public:
    virtual ~CSimulatorTouch();
    virtual int InjectTouch(const TouchPoint *points, int count, int screenWidth, int screenHeight) = 0;
};
