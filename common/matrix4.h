// 4x4 double matrices in the row-vector convention: a point p maps to p * M, translation in row 3.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

#include "common/vec3.h"

namespace zephrin {

struct Matrix4 {
    std::array<std::array<double, 4>, 4> m{};
};

inline Matrix4 identityMatrix() {
    Matrix4 r;
    for (int i = 0; i < 4; ++i) r.m[i][i] = 1.0;
    return r;
}

// A*B: a point is carried by A first, then by B.
Matrix4 multiply(const Matrix4& a, const Matrix4& b);

// Inverse by cofactors. A singular matrix (determinant exactly 0) yields its adjugate undivided.
Matrix4 invert(const Matrix4& m);

// (p, 1) * M, divided by w when |w| > 1e-8.
inline Vec3 transformPoint(const Matrix4& t, const Vec3& p) {
    double x = p.x * t.m[0][0] + p.y * t.m[1][0] + p.z * t.m[2][0] + t.m[3][0];
    double y = p.x * t.m[0][1] + p.y * t.m[1][1] + p.z * t.m[2][1] + t.m[3][1];
    double z = p.x * t.m[0][2] + p.y * t.m[1][2] + p.z * t.m[2][2] + t.m[3][2];
    double w = p.x * t.m[0][3] + p.y * t.m[1][3] + p.z * t.m[2][3] + t.m[3][3];
    if (std::fabs(w) > 1e-8) return Vec3{x / w, y / w, z / w};
    return Vec3{x, y, z};
}

// Rotation-and-scale part only (no translation): directions and normals.
inline Vec3 transformDirection(const Matrix4& t, const Vec3& d) {
    return Vec3{d.x * t.m[0][0] + d.y * t.m[1][0] + d.z * t.m[2][0],
                d.x * t.m[0][1] + d.y * t.m[1][1] + d.z * t.m[2][1],
                d.x * t.m[0][2] + d.y * t.m[1][2] + d.z * t.m[2][2]};
}

// The same mapping laid out for column vectors, column by column (OpenGL's layout: clip = M' * (p, 1)).
// M' is the transpose of M, so its column c is M's row c: the layout is M's rows one after another.
inline std::array<double, 16> columnMajorLayout(const Matrix4& t) {
    std::array<double, 16> out{};
    for (size_t row = 0; row < 4; ++row) {
        for (size_t col = 0; col < 4; ++col) out[row * 4 + col] = t.m[row][col];
    }
    return out;
}

inline Matrix4 translationMatrix(const Vec3& t) {
    Matrix4 r = identityMatrix();
    r.m[3][0] = t.x;
    r.m[3][1] = t.y;
    r.m[3][2] = t.z;
    return r;
}

}  // namespace zephrin
