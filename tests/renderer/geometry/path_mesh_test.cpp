#include "renderer/geometry/path_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

#include "renderer/geometry/path_samples.h"

namespace zephrin {
namespace {

constexpr double kTolerance = 1e-6;

MeshPlacement placement(double width, double height) {
    MeshPlacement p;
    p.width = width;
    p.height = height;
    return p;
}

BendControls pathControls() {
    BendControls c;
    c.mode = 2;
    c.subdivisionX = 40;
    c.subdivisionY = 2;
    c.thickness = 0.0;
    c.motion = 100.0;
    c.motionDirection = 1;
    return c;
}

PathSamples straightPath(double length, int32_t points = 11) {
    std::vector<Vec3> origins;
    for (int32_t i = 0; i < points; ++i) origins.push_back(Vec3{length * i / (points - 1), 0.0, 0.0});
    return makePathSamples(origins, std::nullopt, std::nullopt);
}

bool allFinite(const SurfaceMesh& mesh) {
    for (const SurfaceVertex& v : mesh.vertices) {
        if (!isFinite(v.objectPosition) || !isFinite(v.worldNormal)) return false;
    }
    return true;
}

// The front vertices' x extent of a flat sheet along a straight path.
std::pair<double, double> frontXRange(const SurfaceMesh& mesh) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (size_t n = 0; n < mesh.vertices.size() / 2; ++n) {
        lo = std::min(lo, mesh.vertices[n].objectPosition.x);
        hi = std::max(hi, mesh.vertices[n].objectPosition.x);
    }
    return {lo, hi};
}

TEST(PathSampling, SubdivisionsGiveOneSampleMoreUpTo256) {
    EXPECT_EQ(pathSampleCount(300), 256);
    EXPECT_EQ(pathSampleCount(255), 256);
    EXPECT_EQ(pathSampleCount(96), 97);
    EXPECT_EQ(pathSampleCount(0), 2);
    EXPECT_EQ(pathSampleCount(-50), 2);
    EXPECT_EQ(pathSampleCount(std::numeric_limits<int32_t>::max()), 256);
}

TEST(PathSampling, SampleTimesAreTheNearestWholeFrames) {
    // Ten frames over four samples: 0, 3.33, 6.67, 10 round to 0, 3, 7, 10.
    EXPECT_EQ(pathSampleFrame(0, 4, 10), 0);
    EXPECT_EQ(pathSampleFrame(1, 4, 10), 3);
    EXPECT_EQ(pathSampleFrame(2, 4, 10), 7);
    EXPECT_EQ(pathSampleFrame(3, 4, 10), 10);
    // Halves round up.
    EXPECT_EQ(pathSampleFrame(1, 3, 5), 3);
    EXPECT_EQ(pathSampleFrame(1, 2, 1), 1);
}

TEST(PathSampling, StillLayerIsExtendedAHundredPixelsAlongX) {
    const std::vector<Vec3> still(20, Vec3{300.0, 200.0, 50.0});
    const PathSamples samples = makePathSamples(still, std::nullopt, std::nullopt);
    ASSERT_TRUE(samples.valid);
    ASSERT_EQ(samples.points.size(), 2u);
    EXPECT_NEAR(samples.points[1].x - samples.points[0].x, kStillPathExtension, kTolerance);
    EXPECT_NEAR(samples.length, kStillPathExtension, kTolerance);
    EXPECT_EQ(samples.cumulative, (std::vector<double>{0.0, kStillPathExtension}));
}

TEST(PathSampling, UnusableAndRepeatedOriginsAreDroppedAndTheRenderTimeOriginStandsIn) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const PathSamples mixed =
        makePathSamples({Vec3{0, 0, 0}, Vec3{inf, 0, 0}, Vec3{0.0005, 0, 0}, Vec3{nan, 1, 1}, Vec3{30, 40, 0}},
                        std::nullopt, std::nullopt);
    ASSERT_TRUE(mixed.valid);
    EXPECT_EQ(mixed.points.size(), 2u);
    EXPECT_NEAR(mixed.length, 50.0, kTolerance);

    const PathSamples fallback = makePathSamples({Vec3{inf, inf, inf}}, Vec3{5, 6, 7}, std::nullopt);
    ASSERT_TRUE(fallback.valid);
    EXPECT_NEAR(fallback.points[0].y, 6.0, kTolerance);

    EXPECT_FALSE(makePathSamples({}, std::nullopt, std::nullopt).valid);
    EXPECT_FALSE(makePathSamples({Vec3{nan, 0, 0}}, Vec3{inf, 0, 0}, std::nullopt).valid);
}

TEST(PathSampling, LayerFlungTowardsInfinityIsDegenerateNotNaN) {
    const PathSamples huge =
        makePathSamples({Vec3{-1e300, 0, 0}, Vec3{1e300, 0, 0}, Vec3{1e300, 1e300, 0}}, std::nullopt, std::nullopt);
    EXPECT_FALSE(huge.valid);
    const PathSamples far = makePathSamples({Vec3{0, 0, 0}, Vec3{1e6, 0, 0}}, std::nullopt, std::nullopt);
    EXPECT_TRUE(far.valid);
}

TEST(PathSampling, PointsAreCarriedIntoThePathLayersSpace) {
    const Matrix4 worldToLayer = translationMatrix(Vec3{-100.0, -50.0, 0.0});
    const PathSamples samples = makePathSamples({Vec3{100, 50, 0}, Vec3{200, 50, 0}}, std::nullopt, worldToLayer);
    ASSERT_TRUE(samples.valid);
    EXPECT_NEAR(samples.points[0].x, 0.0, kTolerance);
    EXPECT_NEAR(samples.points[1].x, 100.0, kTolerance);
    EXPECT_NEAR(samples.points[1].y, 0.0, kTolerance);
}

TEST(PathPoints, InterpolatedInsideAndExtendedStraightBeyondTheEnds) {
    const PathSamples samples =
        makePathSamples({Vec3{0, 0, 0}, Vec3{100, 0, 0}, Vec3{100, 100, 0}}, std::nullopt, std::nullopt);
    EXPECT_NEAR(pathPointAt(samples, 50.0).x, 50.0, kTolerance);
    EXPECT_NEAR(pathPointAt(samples, 150.0).y, 50.0, kTolerance);
    EXPECT_NEAR(pathPointAt(samples, -30.0).x, -30.0, kTolerance);
    EXPECT_NEAR(pathPointAt(samples, 230.0).y, 130.0, kTolerance);
    EXPECT_NEAR(pathTangentAt(samples, -5.0).x, 1.0, kTolerance);
    EXPECT_NEAR(pathTangentAt(samples, 500.0).y, 1.0, kTolerance);
    const Vec3 corner = pathTangentAt(samples, 100.0);
    EXPECT_NEAR(corner.x, corner.y, kTolerance) << "the chord across the corner halves it";
}

TEST(PathMesh, MotionZeroLeavesTheLayerOffThePath) {
    SceneSurface surface;
    surface.controls = pathControls();
    surface.controls.motion = 0.0;
    EXPECT_FALSE(buildPathMesh(surface, straightPath(1000.0), placement(400, 100)));
    EXPECT_TRUE(surface.mesh.triangles.empty());
    EXPECT_TRUE(surface.mesh.vertices.empty());
}

TEST(PathMesh, FitPathLengthStretchesTheLayerOverTheWholePath) {
    SceneSurface fitted;
    fitted.controls = pathControls();
    fitted.controls.fitPathLength = true;
    ASSERT_TRUE(buildPathMesh(fitted, straightPath(1000.0), placement(400, 100)));
    auto [lo, hi] = frontXRange(fitted.mesh);
    EXPECT_NEAR(lo, 0.0, kTolerance);
    EXPECT_NEAR(hi, 1000.0, kTolerance);

    // Without fitting the layer keeps its 400 pixels, its right end at the path's end.
    SceneSurface natural;
    natural.controls = pathControls();
    natural.controls.fitPathLength = false;
    ASSERT_TRUE(buildPathMesh(natural, straightPath(1000.0), placement(400, 100)));
    std::tie(lo, hi) = frontXRange(natural.mesh);
    EXPECT_NEAR(lo, 600.0, kTolerance);
    EXPECT_NEAR(hi, 1000.0, kTolerance);
}

TEST(PathMesh, HalfMotionCoversHalfTheLayerOnTheFirstHalfOfThePath) {
    SceneSurface surface;
    surface.controls = pathControls();
    surface.controls.motion = 50.0;
    ASSERT_TRUE(buildPathMesh(surface, straightPath(1000.0), placement(400, 100)));
    auto [lo, hi] = frontXRange(surface.mesh);
    EXPECT_NEAR(lo, 0.0, kTolerance);
    EXPECT_NEAR(hi, 500.0, kTolerance);
    for (size_t n = 0; n < surface.mesh.vertices.size() / 2; ++n) {
        EXPECT_GE(surface.mesh.vertices[n].u, 0.5 - kTolerance);
    }
}

TEST(PathMesh, SideFrameNeverFlipsBetweenColumns) {
    // Straight up into an arch, over the top and down again: the tangent runs along the up reference
    // at both ends, where the side has to be found another way.
    std::vector<Vec3> origins{Vec3{300.0, 400.0, 0.0}};
    for (int32_t i = 0; i <= 120; ++i) {
        const double a = std::numbers::pi * i / 120.0;
        origins.push_back(Vec3{300.0 * std::cos(a), -300.0 * std::sin(a), 40.0 * std::sin(3.0 * a)});
    }
    origins.push_back(Vec3{-300.0, 400.0, 0.0});
    const PathSamples samples = makePathSamples(origins, std::nullopt, std::nullopt);
    ASSERT_TRUE(samples.valid);
    for (double bend : {0.0, 35.0}) {
        SceneSurface surface;
        surface.controls = pathControls();
        surface.controls.subdivisionX = 300;
        surface.controls.pathBendDirection = bend;
        ASSERT_TRUE(buildPathMesh(surface, samples, placement(800, 80)));
        ASSERT_TRUE(allFinite(surface.mesh));
        const int32_t rows = 3, columns = static_cast<int32_t>(surface.mesh.vertices.size() / 2 / rows);
        Vec3 previous;
        for (int32_t j = 0; j < columns; ++j) {
            const Vec3 side = surface.mesh.vertices[static_cast<size_t>(2 * columns + j)].objectPosition -
                              surface.mesh.vertices[static_cast<size_t>(j)].objectPosition;
            EXPECT_NEAR(length(side), 80.0, 1e-6) << j;
            if (j > 0) {
                EXPECT_GT(dot(side, previous), 0.0) << "column " << j << " bend " << bend;
            }
            previous = side;
        }
    }
}

TEST(PathMesh, TilesAndOverdrivenMotionStayFinite) {
    for (int32_t tiles : {0, 2, 10}) {
        for (double motion : {1.0, 100.0, 150.0, 200.0, 1e9}) {
            for (int32_t direction : {1, 2}) {
                SceneSurface surface;
                surface.controls = pathControls();
                surface.controls.tileCount = tiles;
                surface.controls.tileMirror = true;
                surface.controls.motion = motion;
                surface.controls.motionDirection = direction;
                surface.controls.thickness = 200.0;
                EXPECT_TRUE(buildPathMesh(surface, straightPath(700.0, 3), placement(300, 60)));
                EXPECT_TRUE(allFinite(surface.mesh)) << tiles << " " << motion << " " << direction;
            }
        }
    }
}

TEST(PathMesh, LayoutAtFullMotionEndsAtThePathEnd) {
    const PathLayout layout = layoutOnPath(pathControls(), 400.0, 100.0, 1000.0);
    EXPECT_NEAR(pathArcPosition(layout, 1.0), 1000.0, kTolerance);
    EXPECT_NEAR(pathArcPosition(layout, 0.0), 0.0, kTolerance);
    BendControls scaled = pathControls();
    scaled.fitPathLength = false;
    scaled.layerScale = 50.0;
    const PathLayout half = layoutOnPath(scaled, 400.0, 100.0, 1000.0);
    EXPECT_NEAR(half.usedLength, 200.0, kTolerance);
    EXPECT_NEAR(half.sheetHeight, 50.0, kTolerance);
    EXPECT_NEAR(pathArcPosition(half, 0.0), 800.0, kTolerance);
}

}  // namespace
}  // namespace zephrin
