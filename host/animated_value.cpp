#include "host/animated_value.h"

#include <algorithm>
#include <cstddef>

namespace zephrin::host {

namespace {

double interpolate(double a, double b, double f) { return a + (b - a) * f; }

Vec3d interpolate(const Vec3d& a, const Vec3d& b, double f) {
    Vec3d r{};
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = interpolate(a[i], b[i], f);
    return r;
}

}  // namespace

template <typename T>
T valueAt(const Animated<T>& animated, double seconds) {
    const auto& keys = animated.keyframes;
    if (keys.empty()) return animated.value;
    // Written so that a NaN time holds the first key instead of reaching the search below.
    if (!(seconds > keys.front().first)) return keys.front().second;
    if (seconds >= keys.back().first) return keys.back().second;
    auto after = std::upper_bound(keys.begin(), keys.end(), seconds,
                                  [](double t, const std::pair<double, T>& key) { return t < key.first; });
    auto before = after - 1;
    double span = after->first - before->first;
    // Two keys at one time are a jump, not a slope; the reader refuses them, but stay finite.
    if (!(span > 0.0)) return after->second;
    return interpolate(before->second, after->second, (seconds - before->first) / span);
}

template double valueAt<double>(const Animated<double>&, double);
template Vec3d valueAt<Vec3d>(const Animated<Vec3d>&, double);

}  // namespace zephrin::host
