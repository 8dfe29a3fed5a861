#pragma once

#include "latin1literal.h"

// The kinds of signal reading a frame gives for every axis and direction: the
// names of the test core's signal maps, of the test log's sections and of the
// views' histograms.
namespace SignalKind {
constexpr QLatin1String kReverse = Latin1Literal("REVERSE"); // the ADC reading taken in reverse mode
constexpr QLatin1String kAdc = Latin1Literal("ADC");
constexpr QLatin1String kAgc = Latin1Literal("AGC");
constexpr QLatin1String kUnt = Latin1Literal("UNT");
} // namespace SignalKind
