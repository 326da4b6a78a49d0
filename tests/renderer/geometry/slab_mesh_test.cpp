#include "renderer/geometry/slab_mesh.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "render_log_capture.h"
#include "renderer/geometry/path_mesh.h"
#include "renderer/geometry/path_samples.h"
#include "renderer/geometry/scroll_mesh.h"
#include "renderer/runtime/worker_pool.h"
#include "sdk/AE_Effect.h"

namespace zephrin {
namespace {

using test::LogCapture;

// The slab builders give every grid vertex its normal straight from the cells and walls around it.
// Those normals must be the very ones the general sum over the finished mesh gives, to the bit:
// both orders of summation are the triangle list's.
void expectNormalsOfTheGeneralSum(const SurfaceMesh& mesh, const MeshPlacement& placement) {
    ASSERT_FALSE(mesh.triangles.empty());
    SurfaceMesh general = mesh;
    computeNormals(general, placement.layerToCamera, placement.layerToWorld);
    ASSERT_EQ(general.vertices.size(), mesh.vertices.size());
    size_t differing = 0, first = 0;
    for (size_t n = 0; n < mesh.vertices.size(); ++n) {
        const SurfaceVertex& built = mesh.vertices[n];
        const SurfaceVertex& summed = general.vertices[n];
        if (std::memcmp(&built.cameraNormal, &summed.cameraNormal, sizeof(Vec3)) != 0 ||
            std::memcmp(&built.worldNormal, &summed.worldNormal, sizeof(Vec3)) != 0) {
            if (differing++ == 0) first = n;
        }
    }
    EXPECT_EQ(differing, 0u) << "first at vertex " << first << " of " << mesh.vertices.size();
}

// A turned, scaled layer whose camera and world placements differ, so that both carried normals
// are checked.
MeshPlacement turnedPlacement(double width, double height) {
    MeshPlacement p;
    p.width = width;
    p.height = height;
    p.origin = MeshOrigin{12.0, -30.0};
    // Tipped back about x by 0.4 rad and scaled by 0.8.
    const double c = std::cos(0.4) * 0.8, s = std::sin(0.4) * 0.8;
    p.layerToCamera.rotationScale[0][0] = 0.8;
    p.layerToCamera.rotationScale[1][1] = c;
    p.layerToCamera.rotationScale[1][2] = s;
    p.layerToCamera.rotationScale[2][1] = -s;
    p.layerToCamera.rotationScale[2][2] = c;
    p.layerToCamera.translation = Vec3{10.0, 20.0, 2000.0};
    p.layerToWorld = p.layerToCamera;
    p.layerToWorld.rotationScale[1][0] = 0.1;
    p.layerToWorld.translation = Vec3{-5.0, 0.0, 30.0};
    return p;
}

std::vector<BendControlPoint> twistedWave() {
    std::vector<BendControlPoint> points(4);
    const double xs[4] = {0.0, 0.33, 0.67, 1.0}, ys[4] = {0.0, 0.6, -0.6, 0.1};
    for (size_t i = 0; i < 4; ++i) {
        points[i].x = xs[i];
        points[i].y = ys[i];
        points[i].twist = i == 2 ? 20.0 : 0.0;
    }
    return points;
}

std::vector<BendControlPoint> roundLoop() {
    std::vector<BendControlPoint> points(12);
    for (size_t i = 0; i < points.size(); ++i) {
        const double a = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(points.size());
        points[i].x = 0.5 + 0.3 * std::cos(a);
        points[i].y = 0.3 * std::sin(a);
    }
    return points;
}

SceneSurface bentSurface(int32_t columns, int32_t rows, double thickness) {
    SceneSurface surface;
    surface.kind = kSurfaceBent;
    surface.controls.subdivisionX = columns;
    surface.controls.subdivisionY = rows;
    surface.controls.thickness = thickness;
    return surface;
}

// Gives the surface a square 8-bit front image (the caller keeps the pixels alive and clears the
// texture before they go).
void attachFrontImage(SceneSurface& surface, std::vector<PF_Pixel8>& pixels, int32_t size) {
    surface.controls.hasFrontLayer = true;
    surface.frontTexture.worldType = AEGP_WorldType_8;
    surface.frontTexture.width = size;
    surface.frontTexture.height = size;
    surface.frontTexture.rowBytes = static_cast<int32_t>(size * sizeof(PF_Pixel8));
    surface.frontTexture.baseAddress = pixels.data();
}
TEST(SlabNormals, FreeModeSlabsMatchTheGeneralSum) {
    LogCapture log;
    const MeshPlacement placement = turnedPlacement(1000.0, 500.0);
    {
        SCOPED_TRACE("tiled, mirrored, animated, twisted");
        SceneSurface surface = bentSurface(24, 6, 300.0);
        surface.controls.tileCount = 2;
        surface.controls.tileMirror = true;
        surface.controls.motion = 130.0;
        surface.controls.bendDirection = 30.0;
        buildFreeModeMesh(surface, twistedWave(), placement);
        expectNormalsOfTheGeneralSum(surface.mesh, placement);
    }
    {
        SCOPED_TRACE("closed loop: no end walls, the seam wraps");
        SceneSurface surface = bentSurface(32, 5, 250.0);
        surface.controls.closeEndpoints = true;
        buildFreeModeMesh(surface, roundLoop(), placement);
        expectNormalsOfTheGeneralSum(surface.mesh, placement);
    }
    {
        SCOPED_TRACE("a single cell row, no thickness: degenerate walls");
        SceneSurface surface = bentSurface(8, 1, 0.0);
        buildFreeModeMesh(surface, twistedWave(), placement);
        expectNormalsOfTheGeneralSum(surface.mesh, placement);
    }
    {
        SCOPED_TRACE("a single cell column");
        SceneSurface surface = bentSurface(8, 3, 200.0);
        surface.controls.motion = 10.0;
        buildFreeModeMesh(surface, twistedWave(), placement);
        expectNormalsOfTheGeneralSum(surface.mesh, placement);
    }
}

TEST(SlabNormals, CutOutWallsKeepTheirOwnNormals) {
    LogCapture log;
    // An opaque disc in a transparent square: the contour walls add vertices of their own after the
    // slab's, whose normals are summed over their triangles alone.
    const int32_t size = 48;
    std::vector<PF_Pixel8> pixels(static_cast<size_t>(size * size), PF_Pixel8{0, 200, 100, 50});
    for (int32_t y = 0; y < size; ++y)
        for (int32_t x = 0; x < size; ++x)
            if (std::hypot(x - 23.5, y - 23.5) <= 15.0) pixels[static_cast<size_t>(y * size + x)].alpha = 255;
    SceneSurface surface = bentSurface(16, 8, 300.0);
    attachFrontImage(surface, pixels, size);
    const MeshPlacement placement = turnedPlacement(640.0, 640.0);
    const SlabGrid grid = buildFreeModeMesh(surface, twistedWave(), placement);
    ASSERT_GT(surface.mesh.vertices.size(), static_cast<size_t>(grid.frontVertexCount) * 2);
    expectNormalsOfTheGeneralSum(surface.mesh, placement);
    surface.frontTexture = SurfaceTexture{};
}

TEST(SlabNormals, PathAndScrollSlabsMatchTheGeneralSum) {
    LogCapture log;
    const MeshPlacement placement = turnedPlacement(800.0, 400.0);
    {
        SCOPED_TRACE("path");
        PathSamples samples;
        for (int i = 0; i < 40; ++i) {
            samples.points.push_back(Vec3{i * 20.0, 100.0 * std::sin(i * 0.2), 40.0 * std::cos(i * 0.1)});
        }
        samples.cumulative.push_back(0.0);
        for (size_t i = 1; i < samples.points.size(); ++i) {
            samples.cumulative.push_back(samples.cumulative.back() + length(samples.points[i] - samples.points[i - 1]));
        }
        samples.length = samples.cumulative.back();
        samples.valid = true;
        SceneSurface surface = bentSurface(40, 6, 200.0);
        surface.controls.mode = 2;
        surface.controls.tileCount = 1;
        surface.controls.pathBendDirection = 20.0;
        ASSERT_TRUE(buildPathMesh(surface, samples, placement));
        expectNormalsOfTheGeneralSum(surface.mesh, placement);
    }
    {
        SCOPED_TRACE("scroll, with fine row walls");
        SceneSurface surface = bentSurface(40, 6, 200.0);
        surface.controls.mode = 3;
        surface.controls.rightCurl.enabled = true;
        surface.controls.leftCurl.curlAngle = 30.0;
        buildScrollMesh(surface, placement);
        expectNormalsOfTheGeneralSum(surface.mesh, placement);
    }
}

// Keeps the calling thread on the one CPU it is running on while in scope, so that the workers'
// count of usable CPUs is one and every parallel loop runs in a single slice.
struct OneCpuScope {
    cpu_set_t previous;
    bool pinned = false;
    OneCpuScope() {
        CPU_ZERO(&previous);
        if (sched_getaffinity(0, sizeof previous, &previous) != 0) return;
        const int cpu = sched_getcpu();
        if (cpu < 0) return;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        pinned = sched_setaffinity(0, sizeof one, &one) == 0;
    }
    ~OneCpuScope() {
        if (pinned) sched_setaffinity(0, sizeof previous, &previous);
    }
    OneCpuScope(const OneCpuScope&) = delete;
    OneCpuScope& operator=(const OneCpuScope&) = delete;
};

bool sameSlab(const SceneSurface& a, const SceneSurface& b) {
    const SurfaceMesh &s = a.mesh, &t = b.mesh;
    if (s.vertices.size() != t.vertices.size() || s.triangles.size() != t.triangles.size()) return false;
    if (std::memcmp(s.vertices.data(), t.vertices.data(), s.vertices.size() * sizeof(SurfaceVertex)) != 0) return false;
    for (size_t n = 0; n < s.triangles.size(); ++n) {
        const SurfaceTriangle &p = s.triangles[n], &q = t.triangles[n];
        if (p.a != q.a || p.b != q.b || p.c != q.c || p.faceCode != q.faceCode || p.fineCoverage != q.fineCoverage) {
            return false;
        }
    }
    return a.cullRangeBegin == b.cullRangeBegin && a.cullRangeEnd == b.cullRangeEnd;
}

// A slab large enough to be shared out is built by runs of rows on several workers; each run works
// out the rows above its first again. A cut-out front image's outline is sampled and traced by runs
// of rows too. The result must be the slab one worker builds, to the bit, walls in the same order.
TEST(SlabRows, RowsBuiltSideBySideEqualTheSlabOfOneWorker) {
    LogCapture log;
    const MeshPlacement placement = turnedPlacement(1000.0, 500.0);
    // A ring with a notched hole, repeated by the tiles: many contour walls across the whole slab.
    const int32_t size = 96;
    std::vector<PF_Pixel8> pixels(static_cast<size_t>(size * size), PF_Pixel8{0, 200, 100, 50});
    for (int32_t y = 0; y < size; ++y) {
        for (int32_t x = 0; x < size; ++x) {
            const double r = std::hypot(x - 47.5, y - 47.5),
                         notch = 20.0 + 8.0 * std::cos(5.0 * std::atan2(y - 47.5, x - 47.5));
            if (r <= 45.0 && r > notch) pixels[static_cast<size_t>(y * size + x)].alpha = 255;
        }
    }
    enum class Case { kOpen, kClosed, kCutOut };
    const auto build = [&](Case kind) {
        SceneSurface surface = bentSurface(640, 64, 300.0);
        surface.controls.bendDirection = 30.0;
        surface.controls.closeEndpoints = kind == Case::kClosed;
        if (kind == Case::kCutOut) {
            surface.controls.subdivisionX = 160;
            surface.controls.tileCount = 3;
            attachFrontImage(surface, pixels, size);
        }
        buildFreeModeMesh(surface, kind == Case::kClosed ? roundLoop() : twistedWave(), placement);
        surface.frontTexture = SurfaceTexture{};
        return surface;
    };
    for (const Case kind : {Case::kOpen, Case::kClosed, Case::kCutOut}) {
        SCOPED_TRACE(kind == Case::kOpen ? "open slab" : kind == Case::kClosed ? "closed loop" : "cut-out slab");
        SceneSurface alone;
        {
            OneCpuScope one;
            ASSERT_TRUE(one.pinned);
            ASSERT_EQ(workerCount(65, 1), 1);
            alone = build(kind);
        }
        const SceneSurface shared = build(kind);
        if (workerCount(65, 1) < 2) GTEST_SKIP() << "one usable CPU: both slabs were built by one worker";
        EXPECT_TRUE(sameSlab(shared, alone));
        expectNormalsOfTheGeneralSum(shared.mesh, placement);
        if (kind == Case::kCutOut) {
            size_t walls = 0;
            for (const SurfaceTriangle& t : shared.mesh.triangles) walls += t.faceCode == kFaceSideThickness ? 1 : 0;
            EXPECT_GT(walls, 1000u);
        }
    }
}

}  // namespace
}  // namespace zephrin
