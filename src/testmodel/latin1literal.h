#pragma once

#include <QLatin1String>

// A QLatin1String of a string literal as a constant expression (the
// constructor from a bare pointer counts with strlen, which not every
// compiler takes in a constant expression).
template <int N>
constexpr QLatin1String Latin1Literal(const char (&text)[N])
{
    return QLatin1String(text, N - 1);
}
