// Evaluation of a possibly keyframed value at a composition time.
#pragma once

#include "host/composition.h"

namespace zephrin::host {

// The constant value when there are no keyframes; otherwise the keyframes evaluated as the host does
// (keyframe_curve.h): each key's temporal interpolation and eases, and for a spatial property the path
// through the keys. Held before the first key and after the last. Defined for the value types the
// composition model animates: double and three-component vectors (points, colours).
template <typename T>
T valueAt(const Animated<T>& animated, double seconds);

extern template double valueAt<double>(const Animated<double>&, double);
extern template Vec3d valueAt<Vec3d>(const Animated<Vec3d>&, double);

}  // namespace zephrin::host
