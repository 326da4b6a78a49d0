#include "host/animated_value.h"

#include "host/keyframe_curve.h"

namespace zephrin::host {

namespace {

const ValueComponents<double> kNumber{1, [](const double& v, std::size_t) { return v; },
                                      [](double& v, std::size_t, double x) { v = x; }};
const ValueComponents<Vec3d> kTriple{3, [](const Vec3d& v, std::size_t i) { return v[i]; },
                                     [](Vec3d& v, std::size_t i, double x) { v[i] = x; }};

const ValueComponents<double>& componentsOf(const double*) { return kNumber; }
const ValueComponents<Vec3d>& componentsOf(const Vec3d*) { return kTriple; }

}  // namespace

template <typename T>
T valueAt(const Animated<T>& animated, double seconds) {
    if (animated.keyframes.empty()) return animated.value;
    return keyframedValue(animated.keyframes, animated.spatial, seconds, componentsOf(static_cast<const T*>(nullptr)));
}

template double valueAt<double>(const Animated<double>&, double);
template Vec3d valueAt<Vec3d>(const Animated<Vec3d>&, double);

}  // namespace zephrin::host
