#pragma once

#include <QPointF>
#include <cmath>

// Numbers of a hardware record as the panel diagram draws them. A record
// replayed from a log may carry "nan", "inf" or "1e400" (which reads as inf):
// such a value counts as 0, so that building, fitting and painting always
// finish. Large finite values simply draw large; beyond 1e300 they are held
// there, so that the few sums and turns of the drawing stay finite too.
namespace DiagramValue {

constexpr double kLargest = 1e300;

inline double Finite(double d)
{
    if (!std::isfinite(d))
        return 0.0;
    return d > kLargest ? kLargest : (d < -kLargest ? -kLargest : d);
}

// d × s, with d and s and the product taken through Finite.
inline double Scaled(double d, double s)
{
    return Finite(Finite(d) * Finite(s));
}

inline QPointF Scaled(const QPointF &pt, double s)
{
    return QPointF(Scaled(pt.x(), s), Scaled(pt.y(), s));
}

} // namespace DiagramValue
