// Two bent slabs and a floor. A third of the rays start on the slabs (where a bent surface may
// shadow itself), the rest on the floor, which is a plain layer that casts nothing.
#include "bench/shadow_scene/shadow_scene.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace zephrin {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSlabWidth = 900.0, kSlabHeight = 600.0, kSlabThickness = 12.0, kSlabRadius = 300.0;
constexpr double kFloorY = 900.0;
// The floor's part that the rays start on: under and around the slabs.
constexpr double kFloorRayMinX = -500.0, kFloorRaySpanX = 3000.0, kFloorRayMinZ = -500.0, kFloorRaySpanZ = 2500.0;
constexpr uint32_t kRaySeed = 11;

// A sheet curved like a page, with front and back grids kSlabThickness apart and its two long walls:
// about 4 * columns * rows triangles.
SceneSurface bentSlab(int32_t columns, int32_t rows, double offsetX, double offsetZ) {
    SceneSurface s;
    s.kind = kSurfaceBent;
    s.castsShadows = true;
    for (int side = 0; side < 2; ++side) {
        for (int32_t i = 0; i <= rows; ++i) {
            for (int32_t j = 0; j <= columns; ++j) {
                double t = static_cast<double>(j) / columns;
                double angle = t * kPi * 1.2;
                double radius = kSlabRadius - side * kSlabThickness;
                SurfaceVertex v;
                v.worldPosition = Vec3{offsetX + radius * std::sin(angle) - kSlabWidth * 0.5 * (1.0 - t),
                                       kSlabHeight * (static_cast<double>(i) / rows - 0.5) + 540.0,
                                       offsetZ - radius * std::cos(angle)};
                v.u = t;
                v.v = static_cast<double>(i) / rows;
                s.mesh.vertices.push_back(v);
            }
        }
    }
    const int32_t stride = columns + 1, back = (rows + 1) * stride;
    for (int32_t i = 0; i < rows; ++i) {
        for (int32_t j = 0; j < columns; ++j) {
            int32_t a = i * stride + j, b = a + 1, c = a + stride, d = c + 1;
            s.mesh.triangles.push_back({a, b, c, kFaceFront, 0});
            s.mesh.triangles.push_back({c, b, d, kFaceFront, 0});
            s.mesh.triangles.push_back({back + a, back + c, back + b, kFaceBack, 0});
            s.mesh.triangles.push_back({back + c, back + d, back + b, kFaceBack, 0});
        }
    }
    for (int32_t j = 0; j < columns; ++j) {
        for (int32_t row : {0, rows}) {
            int32_t a = row * stride + j, b = a + 1;
            s.mesh.triangles.push_back({a, b, back + a, kFaceSideThickness, 0});
            s.mesh.triangles.push_back({b, back + b, back + a, kFaceSideThickness, 0});
        }
    }
    return s;
}

SceneSurface floorSquare() {
    SceneSurface s;
    for (const Vec3& p : {Vec3{-1500, kFloorY, -1500}, Vec3{3500, kFloorY, -1500}, Vec3{3500, kFloorY, 2500},
                          Vec3{-1500, kFloorY, 2500}}) {
        SurfaceVertex v;
        v.worldPosition = p;
        s.mesh.vertices.push_back(v);
    }
    s.mesh.triangles.push_back({0, 1, 2, kFaceFront, 0});
    s.mesh.triangles.push_back({0, 2, 3, kFaceFront, 0});
    return s;
}

struct Corners {
    Vec3 a, b, c;
};

Corners cornersOf(const SceneSurface& s, size_t triangle) {
    const SurfaceTriangle& t = s.mesh.triangles[triangle];
    return {s.mesh.vertices[static_cast<size_t>(t.a)].worldPosition,
            s.mesh.vertices[static_cast<size_t>(t.b)].worldPosition,
            s.mesh.vertices[static_cast<size_t>(t.c)].worldPosition};
}

// The floor triangle under (x, z): the floor's two triangles share the diagonal from its first
// corner to its third.
int32_t floorTriangleAt(const SceneSurface& floor, double x, double z) {
    const Corners c = cornersOf(floor, 0);
    const double side = (c.c.x - c.a.x) * (z - c.a.z) - (c.c.z - c.a.z) * (x - c.a.x);
    const double cornerSide = (c.c.x - c.a.x) * (c.b.z - c.a.z) - (c.c.z - c.a.z) * (c.b.x - c.a.x);
    return (side > 0.0) == (cornerSide > 0.0) ? 0 : 1;
}

// The ray the renderer casts from P on the receiver toward a point light: the triangle's normal
// turned toward the light, the origin lifted along it, the end short of the light.
void addRay(ShadowBenchRays& rays, const SceneLight& light, const Vec3& p, const Corners& c,
            const ShadowReceiver& receiver) {
    const Vec3 fallback{0.0, 0.0, -1.0};
    const Vec3 direction = normalizeOr(light.positionWorld - p, fallback);
    Vec3 normal = normalizeOr(cross(c.b - c.a, c.c - c.a), fallback);
    if (dot(normal, direction) < 0.0) normal = -normal;
    const Vec3 origin = p + normal * kRayOriginOffset;
    rays.origins.push_back(origin);
    rays.directions.push_back(direction);
    rays.lengths.push_back(std::max(length(light.positionWorld - origin) - kRayEndOffset, 0.0));
    rays.receivers.push_back(receiver);
}

}  // namespace

std::unique_ptr<ShadowBenchScene> makeShadowBenchScene(int32_t totalTriangles, size_t rayCount) {
    auto made = std::make_unique<ShadowBenchScene>();
    ShadowBenchScene& scene = *made;
    const auto rows = static_cast<int32_t>(std::sqrt(totalTriangles / 8.0 / 2.0));
    const int32_t columns = totalTriangles / 8 / std::max(rows, 1);
    scene.surfaces.push_back(bentSlab(columns, rows, 700.0, 300.0));
    scene.surfaces.push_back(bentSlab(columns, rows, 1400.0, 700.0));
    scene.surfaces.push_back(floorSquare());
    const auto floorIndex = static_cast<int32_t>(scene.surfaces.size() - 1);
    SceneLight light;
    light.castsShadows = true;
    light.positionWorld = Vec3{900.0, -600.0, -900.0};
    scene.lights = {light};
    scene.bvh = buildShadowBvh(scene.surfaces, scene.lights);

    std::mt19937 rng(kRaySeed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    ShadowBenchRays& rays = scene.rays;
    rays.origins.reserve(rayCount);
    rays.directions.reserve(rayCount);
    rays.lengths.reserve(rayCount);
    rays.receivers.reserve(rayCount);
    for (size_t i = 0; i < rayCount; ++i) {
        if (i % 3 == 0) {
            const auto surface = static_cast<int32_t>(rng() % 2);
            const SceneSurface& slab = scene.surfaces[static_cast<size_t>(surface)];
            const auto triangle = static_cast<int32_t>(rng() % slab.mesh.triangles.size());
            const Corners c = cornersOf(slab, static_cast<size_t>(triangle));
            const double u = unit(rng), v = unit(rng) * (1.0 - u);
            addRay(rays, light, c.a + (c.b - c.a) * u + (c.c - c.a) * v, c, {surface, triangle});
        } else {
            const SceneSurface& floor = scene.surfaces[static_cast<size_t>(floorIndex)];
            const double x = kFloorRayMinX + kFloorRaySpanX * unit(rng);
            const double z = kFloorRayMinZ + kFloorRaySpanZ * unit(rng);
            const int32_t triangle = floorTriangleAt(floor, x, z);
            addRay(rays, light, Vec3{x, kFloorY, z}, cornersOf(floor, static_cast<size_t>(triangle)),
                   {floorIndex, triangle});
        }
    }
    return made;
}

}  // namespace zephrin
