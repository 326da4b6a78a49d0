// Shadow rays leaving a bent slab: on a curved surface the neighbouring triangles rise above a
// triangle's plane (inside the curve) or fall away from it (outside), so a ray that starts on the
// surface must clear its own neighbours where the light is in view, and still be stopped by the
// same surface where the slab folds over between the point and the light.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "renderer/geometry/slab_mesh.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {
namespace {

// A half-pipe along y: the slab's centre follows the half circle of this radius about the y axis on
// the z >= 0 side, so its opening faces the -z side.
constexpr double kPipeRadius = 200.0;
constexpr double kHalfThickness = 10.0;
constexpr double kPipeHalfLength = 100.0;
constexpr int32_t kArcColumns = 49;
constexpr int32_t kLengthRows = 9;
// The point light sits off to the side of the opening, low, so that the arm nearer to it shades the
// bottom of the pipe while the far arm's inner face and the near arm's outer face see it.
const Vec3 kLight{2.0 * kPipeRadius, 0.0, -0.3 * kPipeRadius};
// Points whose ray passes this close to a rim, or meets the surface again this soon, are not judged:
// the mesh is a polygon, not the circle, and rays start just off the surface.
constexpr double kRimMargin = 15.0;
constexpr double kMinBlockerDistance = 20.0;
// Lit points are judged only where the smooth normal faces the light by at least this cosine.
constexpr double kTerminator = 0.02;

SceneSurface halfPipe() {
    SlabCentreGrid grid;
    grid.columns = kArcColumns;
    grid.rows = kLengthRows;
    for (int32_t i = 0; i < grid.rows; ++i) {
        const double y = -kPipeHalfLength + 2.0 * kPipeHalfLength * i / (grid.rows - 1);
        for (int32_t j = 0; j < grid.columns; ++j) {
            const double theta = 3.141592653589793 * j / (grid.columns - 1);
            grid.points.push_back(Vec3{kPipeRadius * std::cos(theta), y, kPipeRadius * std::sin(theta)});
        }
    }
    for (int32_t j = 0; j < grid.columns; ++j) grid.u.push_back(static_cast<double>(j) / (grid.columns - 1));
    MeshPlacement placement;
    placement.width = 2.0 * kPipeRadius;
    placement.height = 2.0 * kPipeHalfLength;
    SceneSurface surface;
    surface.kind = kSurfaceBent;
    surface.castsShadows = true;
    buildSlabOnGrid(surface, grid, kHalfThickness, false, false, placement);
    return surface;
}

enum class Expected { Unjudged, Lit, Shadowed };

// What the exact pipe does to the segment from p to the light. Inside the curve the segment's line
// meets the point's own circle a second time at q; beyond the opening (q.z < 0) nothing more lies in
// its way, on the arc (q.z > 0) the slab itself stands there. Outside the curve a segment heading
// away from the axis never comes back to the pipe.
Expected expectedAt(const Vec3& p) {
    const Vec3 d = kLight - p;
    const double radial = p.x * d.x + p.z * d.z;
    const double radius = std::hypot(p.x, p.z);
    const double lengthXz = std::hypot(d.x, d.z);
    if (radius > kPipeRadius) return radial > 0.1 * radius * lengthXz ? Expected::Lit : Expected::Unjudged;
    if (radial >= 0.0) return Expected::Unjudged;  // the inner face looks away from the light
    const double t = -2.0 * radial / (lengthXz * lengthXz);
    if (t >= 1.0) return Expected::Lit;
    const double qz = p.z + t * d.z;
    if (qz < -kRimMargin) return Expected::Lit;
    if (qz > kRimMargin && t * length(d) > kMinBlockerDistance) return Expected::Shadowed;
    return Expected::Unjudged;
}

TEST(SelfShadowing, CurvedSlabIsFreeOfAcneWhereLitAndShadowsItselfAcrossTheFold) {
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(halfPipe());
    const SurfaceMesh& mesh = surfaces[0].mesh;
    ASSERT_FALSE(mesh.triangles.empty());
    for (double diffusion : {0.0, 20.0}) {  // any-hit rays, then nearest-hit rays
        SceneLight light;
        light.type = kLightPoint;
        light.positionWorld = kLight;
        light.castsShadows = true;
        light.shadowDarkness = 1.0;
        light.shadowDiffusion = diffusion;
        const ShadowBvh bvh = buildShadowBvh(surfaces, {light});
        ASSERT_FALSE(bvh.nodes.empty());

        std::mt19937_64 rng(5);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        int litInside = 0, litOutside = 0, shadowed = 0;
        for (size_t t = 0; t < mesh.triangles.size(); ++t) {
            const SurfaceTriangle& tri = mesh.triangles[t];
            if (tri.faceCode != kFaceFront && tri.faceCode != kFaceBack) continue;
            const SurfaceVertex* v[3] = {&mesh.vertices[static_cast<size_t>(tri.a)],
                                         &mesh.vertices[static_cast<size_t>(tri.b)],
                                         &mesh.vertices[static_cast<size_t>(tri.c)]};
            // The centre and points near each corner and edge, where the neighbours are closest.
            for (int k = 0; k < 7; ++k) {
                double w[3] = {1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0};
                if (k > 0) {
                    w[0] = unit(rng), w[1] = unit(rng), w[2] = unit(rng);
                    w[k % 3] *= 1e-3;
                    if (k > 3) w[(k + 1) % 3] *= 1e-3;
                    const double sum = w[0] + w[1] + w[2];
                    for (double& x : w) x /= sum;
                }
                const Vec3 p = v[0]->worldPosition * w[0] + v[1]->worldPosition * w[1] + v[2]->worldPosition * w[2];
                const Vec3 n = v[0]->worldNormal * w[0] + v[1]->worldNormal * w[1] + v[2]->worldNormal * w[2];
                Expected expected = expectedAt(p);
                // Where the smooth normal turns away from the light while the face still sees it (the
                // slab's edges, whose normals lean toward the walls) the ray starts on the far side of
                // the surface; the lighting term is zero there whatever the ray finds.
                if (expected == Expected::Lit && dot(normalizeOr(n, Vec3{}), normalizeOr(kLight - p, Vec3{})) < kTerminator)
                    expected = Expected::Unjudged;
                if (expected == Expected::Unjudged) continue;
                VisibilityQuery query;
                query.point = p;
                query.normal = n;
                query.receiver = ShadowReceiver{0, static_cast<int32_t>(t)};
                query.shadowMode = ShadowMode::RayTrace;
                const double visibility = lightVisibility(bvh, light, query, nullptr);
                const std::string where = "triangle " + std::to_string(t) + " point " + std::to_string(k) + " at (" +
                                          std::to_string(p.x) + ", " + std::to_string(p.y) + ", " +
                                          std::to_string(p.z) + "), diffusion " + std::to_string(diffusion);
                if (expected == Expected::Lit) {
                    EXPECT_EQ(visibility, 1.0) << where << ": shadowed by its own surface (acne)";
                    (std::hypot(p.x, p.z) < kPipeRadius ? litInside : litOutside)++;
                } else {
                    EXPECT_EQ(visibility, 0.0) << where << ": lit through the fold";
                    ++shadowed;
                }
            }
        }
        // Each kind of point must have been tried in numbers.
        EXPECT_GT(litInside, 100);
        EXPECT_GT(litOutside, 100);
        EXPECT_GT(shadowed, 100);
    }
}

}  // namespace
}  // namespace zephrin
