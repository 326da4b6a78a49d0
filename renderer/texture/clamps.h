// Clamps and fallbacks that never pass a NaN on: a non-finite value from the host or from a
// degenerate computation must not reach an index, an integer conversion or the frame.
#pragma once

#include <cmath>

namespace zephrin {

// x clamped to [lo, hi]; NaN gives lo.
inline double clampRange(double x, double lo, double hi) { return x > lo ? (x < hi ? x : hi) : lo; }

// x clamped to [0, 1]; NaN gives 0.
inline double clampUnit(double x) { return clampRange(x, 0.0, 1.0); }

// The value, or the fallback where it is NaN or infinite.
inline double finiteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

}  // namespace zephrin
