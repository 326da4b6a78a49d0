// Shadow maps: the casters seen from the light, rasterized into a depth image with the usual
// OpenGL conventions (right-handed look-at, clip space -1..1, depth 0..1 after the viewport).
#include "renderer/shadows/shadow_map.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "common/matrix4.h"

namespace zephrin {
namespace {

using ColumnMajor = std::array<double, 16>;

constexpr int32_t kBaseSizeQuality1 = 256;
constexpr int32_t kBaseSizeQuality2 = 512;
constexpr int32_t kBaseSizeHighQuality = 1024;
constexpr int32_t kMinMapSize = 64;
constexpr double kNearPlane = 1.0;
// The light's volume reaches four scene sizes away; a parallel light sits two scene sizes back.
constexpr double kFarScale = 4.0;
// A light standing far from the casters sees them beyond four scene sizes, so its volume reaches twice
// the distance to the casters' farthest corner instead: the casters and the receivers behind them
// (which need not cast, so are not in the box) stay inside. Lights close by keep four scene sizes.
constexpr double kFarCornerScale = 2.0;
constexpr double kParallelEyeDistance = 4.0;  // in half scene sizes
constexpr double kParallelHalfWidth = 2.5;    // in half scene sizes
constexpr double kParallelFar = 8.0;          // in half scene sizes
constexpr double kSpotFovScale = 1.5;
constexpr double kMinSpotFov = 10.0;
constexpr double kMaxSpotFov = 170.0;
constexpr double kPointFov = 120.0;
constexpr double kDegenerateProjection = 1e-8;
constexpr double kMinW = 1e-8;
constexpr double kMinRasterArea = 1e-8;
constexpr double kTexelInsideSlack = 1e-5;
// Depth bias of the comparison: keeps a caster from shadowing its own texels.
constexpr double kDepthBias = 0.001;
constexpr double kTexelBiasScale = 1.5;
// Softness at or below this fraction samples a single texel.
constexpr double kSingleTapSoftness = 0.02;
constexpr double kKernelSpreadTexels = 4.0;

// Element (row, col) of the column-vector matrix held in OpenGL's layout.
double at(const ColumnMajor& m, int row, int col) { return m[static_cast<size_t>(col * 4 + row)]; }

// The standard right-handed look-at, in the row-vector convention: the side, up and backward axes
// are the columns, the translation the fourth row. A view straight along the up axis has no side
// vector; the z axis then stands in for up, so that lights aimed straight down still get a map.
Matrix4 lookAt(const Vec3& eye, const Vec3& target, const Vec3& up) {
    Vec3 f = normalizeOr(target - eye, Vec3{0.0, 0.0, 1.0});
    Vec3 s = cross(f, up);
    if (!(length(s) > 1e-9)) s = cross(f, Vec3{0.0, 0.0, 1.0});
    s = normalizeOr(s, Vec3{1.0, 0.0, 0.0});
    Vec3 u = cross(s, f);
    Matrix4 m;
    m.m[0][0] = s.x;
    m.m[1][0] = s.y;
    m.m[2][0] = s.z;
    m.m[0][1] = u.x;
    m.m[1][1] = u.y;
    m.m[2][1] = u.z;
    m.m[0][2] = -f.x;
    m.m[1][2] = -f.y;
    m.m[2][2] = -f.z;
    m.m[3][0] = -dot(s, eye);
    m.m[3][1] = -dot(u, eye);
    m.m[3][2] = dot(f, eye);
    m.m[3][3] = 1.0;
    return m;
}

struct ClipPoint {
    double x = 0.0, y = 0.0, z = 0.0;
};

ClipPoint toClip(const ColumnMajor& m, const Vec3& p) {
    double x = at(m, 0, 0) * p.x + at(m, 0, 1) * p.y + at(m, 0, 2) * p.z + at(m, 0, 3);
    double y = at(m, 1, 0) * p.x + at(m, 1, 1) * p.y + at(m, 1, 2) * p.z + at(m, 1, 3);
    double z = at(m, 2, 0) * p.x + at(m, 2, 1) * p.y + at(m, 2, 2) * p.z + at(m, 2, 3);
    double w = at(m, 3, 0) * p.x + at(m, 3, 1) * p.y + at(m, 3, 2) * p.z + at(m, 3, 3);
    if (std::fabs(w) > kMinW) return ClipPoint{x / w, y / w, z / w};
    return ClipPoint{x, y, z};
}

void rasterizeDepth(ShadowMap& map, const ShadowTriangle& tri) {
    ClipPoint c[3] = {toClip(map.worldToClip, tri.a), toClip(map.worldToClip, tri.b), toClip(map.worldToClip, tri.c)};
    double sx[3], sy[3], d[3];
    for (int i = 0; i < 3; ++i) {
        // No clipping: a triangle reaching past the near or far plane is left out whole.
        if (!(c[i].z >= -1.0 && c[i].z <= 1.0)) return;
        sx[i] = (c[i].x * 0.5 + 0.5) * map.width;
        sy[i] = (c[i].y * 0.5 + 0.5) * map.height;
        d[i] = c[i].z * 0.5 + 0.5;
    }
    double area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
    if (!(std::fabs(area) >= kMinRasterArea) || !std::isfinite(area)) return;
    auto bound = [](double v, int32_t size) {
        return static_cast<int32_t>(std::clamp(v, 0.0, static_cast<double>(size - 1)));
    };
    int32_t x0 = bound(std::floor(std::min({sx[0], sx[1], sx[2]})), map.width);
    int32_t x1 = bound(std::ceil(std::max({sx[0], sx[1], sx[2]})), map.width);
    int32_t y0 = bound(std::floor(std::min({sy[0], sy[1], sy[2]})), map.height);
    int32_t y1 = bound(std::ceil(std::max({sy[0], sy[1], sy[2]})), map.height);
    const double invArea = 1.0 / area;
    for (int32_t j = y0; j <= y1; ++j) {
        double py = j + 0.5;
        for (int32_t i = x0; i <= x1; ++i) {
            double px = i + 0.5;
            double w0 = ((sx[2] - sx[1]) * (py - sy[1]) - (px - sx[1]) * (sy[2] - sy[1])) * invArea;
            double w1 = ((sx[0] - sx[2]) * (py - sy[2]) - (px - sx[2]) * (sy[0] - sy[2])) * invArea;
            double w2 = ((sx[1] - sx[0]) * (py - sy[0]) - (px - sx[0]) * (sy[1] - sy[0])) * invArea;
            if (w0 < -kTexelInsideSlack || w1 < -kTexelInsideSlack || w2 < -kTexelInsideSlack) continue;
            auto depth = static_cast<float>(w0 * d[0] + w1 * d[1] + w2 * d[2]);
            float& stored = map.depth[static_cast<size_t>(j) * static_cast<size_t>(map.width) + static_cast<size_t>(i)];
            if (depth < stored) stored = depth;
        }
    }
}

// Map depth (0..1) back to distance along the light's axis. Orthographic maps are linear already.
double linearDepth(const ShadowMap& map, double d) {
    if (!(map.farPlane > map.nearPlane)) return d;
    const double n = map.nearPlane, f = map.farPlane;
    return 2.0 * f * n / (f + n - (2.0 * d - 1.0) * (f - n));
}

// Comparing perspective depth values with a fixed bias would shrink it to a fraction of a pixel near
// the light and stretch it to hundreds of pixels a few hundred pixels away, so that distant casters
// would never shadow anything. Perspective maps compare distances instead, with a bias of 0.1 % of
// the light's depth range, and at least the width of 1.5 texels plus the kernel's reach at the
// receiver's distance: a surface sloping up to 45 degrees across the taps then does not shadow
// itself (shadow acne).
double depthBias(const ShadowMap& map, double linearD, double reachTexels) {
    if (!(map.farPlane > map.nearPlane)) return kDepthBias;
    return std::max(kDepthBias * (map.farPlane - map.nearPlane),
                    (kTexelBiasScale + reachTexels) * map.texelSpread * linearD);
}

// The stored depth below which a texel shadows a point at linear depth linearD: the comparison
// stored distance + bias > distance, carried back into map depth once per sample instead of once
// per tap (distance grows with map depth, so the order is kept).
double shadowThreshold(const ShadowMap& map, double linearD, double bias) {
    const double z = linearD - bias;
    if (!(map.farPlane > map.nearPlane)) return z;
    if (!(z > 0.0)) return -std::numeric_limits<double>::infinity();
    const double n = map.nearPlane, f = map.farPlane;
    const double ndc = (f + n) / (f - n) - 2.0 * f * n / ((f - n) * z);
    return ndc * 0.5 + 0.5;
}

bool litAt(const ShadowMap& map, int32_t x, int32_t y, double threshold) {
    return map.depth[static_cast<size_t>(y) * static_cast<size_t>(map.width) + static_cast<size_t>(x)] > threshold;
}

int32_t texelIndex(double coordinate, int32_t size) {
    double t = std::floor(size * coordinate);
    return static_cast<int32_t>(std::clamp(t, 0.0, static_cast<double>(size - 1)));
}

constexpr int32_t kMaxKernelHalfSize = 7;

int32_t kernelHalfSize(int32_t quality) {
    if (quality <= 1) return 3;
    return quality == 2 ? 5 : 7;
}

bool inUnit(double x) { return x >= 0.0 && x <= 1.0; }

// A point outside the view volume reads as lit, so a volume that stops short of the casters and what
// lies behind them loses their shadow altogether.
double farthestCornerDistance(const Vec3& from, const Vec3& lo, const Vec3& hi) {
    const double dx = std::max(std::fabs(lo.x - from.x), std::fabs(hi.x - from.x));
    const double dy = std::max(std::fabs(lo.y - from.y), std::fabs(hi.y - from.y));
    const double dz = std::max(std::fabs(lo.z - from.z), std::fabs(hi.z - from.z));
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

int32_t shadowMapSize(int32_t quality, int32_t sizeDivisor) {
    int32_t base = quality <= 1 ? kBaseSizeQuality1 : (quality == 2 ? kBaseSizeQuality2 : kBaseSizeHighQuality);
    return std::max(base / std::max(sizeDivisor, 1), kMinMapSize);
}

ShadowMap buildShadowMap(const ShadowBvh& bvh, const SceneLight& light, int32_t quality, int32_t sizeDivisor) {
    ShadowMap map;
    if (!light.castsShadows || bvh.triangles.empty() || bvh.hasAlphaCasters) return map;
    const int32_t size = shadowMapSize(quality, sizeDivisor);
    map.depth.assign(static_cast<size_t>(size) * static_cast<size_t>(size), 1.0f);

    const double inf = std::numeric_limits<double>::infinity();
    Vec3 lo{inf, inf, inf}, hi{-inf, -inf, -inf};
    for (const ShadowTriangle& t : bvh.triangles) {
        for (const Vec3& p : {t.a, t.b, t.c}) {
            lo = Vec3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = Vec3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
    }
    const Vec3 centre = (lo + hi) * 0.5;
    const Vec3 extent = hi - lo;
    const double sceneSize = std::max({extent.x, extent.y, extent.z, 1.0});
    const double r = sceneSize * 0.5;
    const Vec3 up{0.0, 1.0, 0.0};

    Matrix4 view;
    Matrix4 projection;
    if (light.type == kLightParallel) {
        Vec3 d = light.directionWorld;
        if (length(d) > 1e-8) d = d * (1.0 / length(d));
        view = lookAt(centre - d * (kParallelEyeDistance * r), centre, up);
        const double far = kParallelFar * r;
        const double halfWidth = kParallelHalfWidth * r;
        if (std::fabs(far - kNearPlane) > kDegenerateProjection && std::fabs(2.0 * halfWidth) > kDegenerateProjection) {
            projection.m[0][0] = 1.0 / halfWidth;
            projection.m[1][1] = 1.0 / halfWidth;
            projection.m[2][2] = -2.0 / (far - kNearPlane);
            projection.m[3][2] = -(far + kNearPlane) / (far - kNearPlane);
            projection.m[3][3] = 1.0;
        }
    } else {
        view = lookAt(light.positionWorld, light.positionWorld + light.directionWorld, up);
        double far = kFarScale * sceneSize;
        const double cornerFar = kFarCornerScale * farthestCornerDistance(light.positionWorld, lo, hi);
        if (std::isfinite(cornerFar) && cornerFar > far) far = cornerFar;
        double fovDegrees = light.type == kLightSpot
                                ? std::clamp(light.coneAngle * kSpotFovScale, kMinSpotFov, kMaxSpotFov)
                                : kPointFov;
        if (std::isnan(fovDegrees)) fovDegrees = kPointFov;
        const double f = 1.0 / std::tan(fovDegrees * std::numbers::pi / 360.0);
        if (std::fabs(far - kNearPlane) > kDegenerateProjection) {
            map.nearPlane = kNearPlane;
            map.farPlane = far;
            map.texelSpread = 2.0 / (f * size);
            projection.m[0][0] = f;
            projection.m[1][1] = f;
            projection.m[2][2] = (far + kNearPlane) / (kNearPlane - far);
            projection.m[3][2] = 2.0 * far * kNearPlane / (kNearPlane - far);
            projection.m[2][3] = -1.0;
        }
    }
    // View first, then projection: the column-vector product projection * view.
    map.worldToClip = columnMajorLayout(multiply(view, projection));
    map.width = size;
    map.height = size;
    for (const ShadowTriangle& t : bvh.triangles) rasterizeDepth(map, t);
    map.valid = true;
    return map;
}

double sampleShadowMap(const ShadowMap& map, const Vec3& worldPoint, double softness, int32_t quality) {
    if (!map.valid || map.width < 1 || map.height < 1 ||
        map.depth.size() != static_cast<size_t>(map.width) * static_cast<size_t>(map.height)) {
        return 1.0;
    }
    ClipPoint c = toClip(map.worldToClip, worldPoint);
    double u = c.x * 0.5 + 0.5, v = c.y * 0.5 + 0.5, d = c.z * 0.5 + 0.5;
    if (!inUnit(u) || !inUnit(v) || !inUnit(d)) return 1.0;

    d = linearDepth(map, d);
    double s = softness * 0.01;
    if (s < 0.0 || !(std::min(s, 1.0) > kSingleTapSoftness)) {
        const double threshold = shadowThreshold(map, d, depthBias(map, d, 0.0));
        return litAt(map, texelIndex(u, map.width), texelIndex(v, map.height), threshold) ? 1.0 : 0.0;
    }
    const int32_t k = kernelHalfSize(quality);
    const double step = std::min(s, 1.0) * kKernelSpreadTexels * std::max(1.0 / map.width, 1.0 / map.height);
    const double threshold = shadowThreshold(map, d, depthBias(map, d, k * step * std::max(map.width, map.height)));
    // The kernel is a grid: its columns and rows are placed once, then each tap is one comparison.
    int32_t columns[2 * kMaxKernelHalfSize + 1];
    int32_t columnCount = 0;
    for (int32_t i = -k; i <= k; ++i) {
        double tu = u + i * step;
        if (inUnit(tu)) columns[columnCount++] = texelIndex(tu, map.width);
    }
    int32_t lit = 0, counted = 0;
    for (int32_t j = -k; j <= k; ++j) {
        double tv = v + j * step;
        if (!inUnit(tv)) continue;
        const float* row = map.depth.data() + static_cast<size_t>(texelIndex(tv, map.height)) * static_cast<size_t>(map.width);
        counted += columnCount;
        for (int32_t n = 0; n < columnCount; ++n) lit += row[columns[n]] > threshold ? 1 : 0;
    }
    return counted == 0 ? 1.0 : static_cast<double>(lit) / counted;
}

}  // namespace zephrin
