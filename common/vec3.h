// Small double 3-vector used throughout geometry and shading.
#pragma once

#include <cmath>

#include "common/simd.h"

namespace zephrin {

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(const Vec3& a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, const Vec3& a) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3& operator+=(Vec3& a, const Vec3& b) {
    a.x += b.x;
    a.y += b.y;
    a.z += b.z;
    return a;
}

inline double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const Vec3& a) { return std::sqrt(dot(a, a)); }
inline bool isFinite(const Vec3& a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

// Shorter vectors have no usable direction: normalising them takes the caller's fallback.
constexpr double kMinNormalisableLength = 1e-9;
// Whether a vector of this length can be normalised: above kMinNormalisableLength and finite.
inline bool normalisableLength(double len) { return len > kMinNormalisableLength && std::isfinite(len); }

// a divided by its length `len` (already worked out as length(a)), or `fallback` when the length is
// <= 1e-9 or not finite.
inline Vec3 normalizeWithLength(const Vec3& a, double len, const Vec3& fallback) {
    if (!normalisableLength(len)) return fallback;
    return a * (1.0 / len);
}

// Unit vector, or `fallback` when the length is <= 1e-9 or not finite.
inline Vec3 normalizeOr(const Vec3& a, const Vec3& fallback) { return normalizeWithLength(a, length(a), fallback); }

// Two vectors' lengths, and the two normalisations below, are worked out side by side: one square
// root and one division for both where the target pairs doubles. Lane by lane every step is the
// single vector's, so the results equal length() and normalizeOr() exactly.
struct LengthPair {
    double first = 0.0, second = 0.0;
};

inline LengthPair lengthsOf(const Vec3& a, const Vec3& b) {
#if ZEPHRIN_SSE2_LANES
    const DoubleLanes x{a.x, b.x}, y{a.y, b.y}, z{a.z, b.z};
    const DoubleLanes roots = laneSqrt(x * x + y * y + z * z);
    return {roots[0], roots[1]};
#else
    return {length(a), length(b)};
#endif
}

inline void normalizeBothWithLengths(const Vec3& a, const Vec3& b, const LengthPair& lengths, const Vec3& fallback,
                                     Vec3& unitA, Vec3& unitB) {
#if ZEPHRIN_SSE2_LANES
    const DoubleLanes inverse = DoubleLanes{1.0, 1.0} / DoubleLanes{lengths.first, lengths.second};
    unitA = normalisableLength(lengths.first) ? a * inverse[0] : fallback;
    unitB = normalisableLength(lengths.second) ? b * inverse[1] : fallback;
#else
    unitA = normalizeWithLength(a, lengths.first, fallback);
    unitB = normalizeWithLength(b, lengths.second, fallback);
#endif
}

inline void normalizeBothOr(const Vec3& a, const Vec3& b, const Vec3& fallback, Vec3& unitA, Vec3& unitB) {
    normalizeBothWithLengths(a, b, lengthsOf(a, b), fallback, unitA, unitB);
}

}  // namespace zephrin
