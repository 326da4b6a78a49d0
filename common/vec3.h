// Small double 3-vector used throughout geometry and shading.
#pragma once

#include <cmath>

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

// a divided by its length `len` (already worked out as length(a)), or `fallback` when the length is
// <= 1e-9 or not finite.
inline Vec3 normalizeWithLength(const Vec3& a, double len, const Vec3& fallback) {
    if (!(len > 1e-9) || !std::isfinite(len)) return fallback;
    return a * (1.0 / len);
}

// Unit vector, or `fallback` when the length is <= 1e-9 or not finite.
inline Vec3 normalizeOr(const Vec3& a, const Vec3& fallback) { return normalizeWithLength(a, length(a), fallback); }

}  // namespace zephrin
