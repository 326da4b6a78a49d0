#include "renderer/geometry/path_samples.h"

#include <algorithm>
#include <cmath>

namespace zephrin {

namespace {

// Tangents are chords this fraction of the path long, and never shorter than half a pixel.
constexpr double kTangentChordFraction = 1.0 / 200.0;
constexpr double kMinTangentChord = 0.5;
constexpr double kMinDirection = 1e-6;

// Direction of the first (or last) segment longer than the smallest usable length.
Vec3 endDirection(const PathSamples& samples, bool fromStart) {
    const size_t n = samples.points.size();
    for (size_t k = 0; k + 1 < n; ++k) {
        const size_t a = fromStart ? k : n - 2 - k;
        const Vec3 d = samples.points[a + 1] - samples.points[a];
        const double len = length(d);
        if (len > kMinDirection) return d * (1.0 / len);
    }
    return Vec3{1.0, 0.0, 0.0};
}

}  // namespace

int32_t pathSampleCount(int32_t subdivisionX) {
    const int64_t wanted = static_cast<int64_t>(subdivisionX) + 1;
    return static_cast<int32_t>(std::clamp<int64_t>(wanted, kMinPathSamples, kMaxPathSamples));
}

int64_t pathSampleFrame(int32_t i, int32_t count, int64_t frameCount) {
    if (count < 2) return 0;
    return static_cast<int64_t>(std::floor(static_cast<double>(frameCount) * i / (count - 1) + 0.5));
}

PathSamples makePathSamples(const std::vector<Vec3>& worldOrigins, const std::optional<Vec3>& fallbackOrigin,
                            const std::optional<Matrix4>& worldToPathLayer) {
    PathSamples samples;
    std::vector<Vec3> kept;
    for (const Vec3& p : worldOrigins) {
        if (!isFinite(p)) continue;
        if (!kept.empty() && length(p - kept.back()) <= kPathPointMergeDistance) continue;
        kept.push_back(p);
    }
    if (kept.empty() && fallbackOrigin && isFinite(*fallbackOrigin)) kept.push_back(*fallbackOrigin);

    for (const Vec3& p : kept) {
        const Vec3 local = worldToPathLayer ? transformPoint(*worldToPathLayer, p) : p;
        // A path layer flung towards infinity leaves points no matrix can carry.
        if (isFinite(local)) samples.points.push_back(local);
    }
    if (samples.points.size() == 1) {
        samples.points.push_back(samples.points.front() + Vec3{kStillPathExtension, 0.0, 0.0});
    }

    // Lengths are measured where the mesh is laid, so arc positions and points agree.
    samples.cumulative.reserve(samples.points.size());
    double total = 0.0;
    for (size_t k = 0; k < samples.points.size(); ++k) {
        if (k > 0) total += length(samples.points[k] - samples.points[k - 1]);
        samples.cumulative.push_back(total);
    }
    samples.length = total;
    samples.valid = samples.points.size() >= 2 && std::isfinite(total) && total > kMinPathLength;
    return samples;
}

Vec3 pathPointAt(const PathSamples& samples, double s) {
    const std::vector<Vec3>& pts = samples.points;
    if (pts.empty()) return Vec3{};
    const double L = samples.length;
    if (pts.size() < 2 || !(L > kMinPathLength) || !std::isfinite(s)) return pts.front();
    if (s <= 0.0) return pts.front() + endDirection(samples, true) * s;
    if (s >= L) return pts.back() + endDirection(samples, false) * (s - L);
    // The first point whose arc length passes s closes the enclosing segment.
    const auto it = std::upper_bound(samples.cumulative.begin(), samples.cumulative.end(), s);
    const size_t hi = std::clamp<size_t>(static_cast<size_t>(it - samples.cumulative.begin()), 1, pts.size() - 1);
    const size_t lo = hi - 1;
    const double segment = std::max(samples.cumulative[hi] - samples.cumulative[lo], kMinDirection);
    const double t = std::clamp((s - samples.cumulative[lo]) / segment, 0.0, 1.0);
    return pts[lo] + (pts[hi] - pts[lo]) * t;
}

Vec3 pathTangentAt(const PathSamples& samples, double s) {
    const double L = samples.length;
    if (samples.points.size() < 2 || !std::isfinite(s)) return Vec3{1.0, 0.0, 0.0};
    if (s <= 0.0) return endDirection(samples, true);
    if (s >= L) return endDirection(samples, false);
    const double d = std::max(L * kTangentChordFraction, kMinTangentChord);
    const Vec3 chord = pathPointAt(samples, s + d) - pathPointAt(samples, s - d);
    const double len = length(chord);
    if (len >= kMinDirection && std::isfinite(len)) return chord * (1.0 / len);
    return endDirection(samples, true);
}

}  // namespace zephrin
