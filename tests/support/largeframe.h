#pragma once

#include "emulatedpanel.h"

// A large frame: 600 LEDs on X (eight bottom and eight top boards of 75) and
// 340 on Y (four left and four right boards of 85), three directions per axis
// with slants of ±20 (X) and ±12 (Y), the divide value 10 in its signal
// threshold, ADC limits 100..255 and every path healthy at ADC 200, AGC 128.
void LargeFrame(CEmulatedPanel::Model &m);
