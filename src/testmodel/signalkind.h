#pragma once

#include <QLatin1String>

// The kinds of signal reading a frame gives for every axis and direction: the
// names of the test core's signal maps, of the test log's sections and of the
// views' histograms.
namespace SignalKind {
constexpr QLatin1String kReverse("REVERSE"); // the ADC reading taken in reverse mode
constexpr QLatin1String kAdc("ADC");
constexpr QLatin1String kAgc("AGC");
constexpr QLatin1String kUnt("UNT");
} // namespace SignalKind
