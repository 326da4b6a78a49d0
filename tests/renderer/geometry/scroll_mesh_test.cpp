#include "renderer/geometry/scroll_mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace zephrin {
namespace {

constexpr double kTolerance = 1e-6;

MeshPlacement placement(double width, double height) {
    MeshPlacement p;
    p.width = width;
    p.height = height;
    return p;
}

BendControls scrollControls() {
    BendControls c;
    c.mode = 3;
    c.subdivisionX = 200;
    c.subdivisionY = 4;
    c.thickness = 0.0;
    c.leftCurl = CurlControls{false, 2, 0.0, 0.0, 100.0, 0.0};
    c.rightCurl = CurlControls{false, 2, 0.0, 0.0, 100.0, 0.0};
    return c;
}

bool allFinite(const SurfaceMesh& mesh) {
    for (const SurfaceVertex& v : mesh.vertices) {
        if (!isFinite(v.objectPosition) || !isFinite(v.cameraNormal) || !std::isfinite(v.u)) return false;
    }
    return true;
}

TEST(ScrollMesh, BothCurlsOffIsAFlatSlab) {
    SceneSurface surface;
    surface.controls = scrollControls();
    surface.controls.thickness = 500.0;
    const SlabGrid grid = buildScrollMesh(surface, placement(1000, 500));
    ASSERT_EQ(grid.columns, 201);
    ASSERT_EQ(grid.rows, 5);
    const double half = 0.5 * 1000.0 * 0.098;
    for (int32_t n = 0; n < grid.frontVertexCount; ++n) {
        EXPECT_NEAR(surface.mesh.vertices[static_cast<size_t>(n)].objectPosition.z, -half, kTolerance);
        EXPECT_NEAR(surface.mesh.vertices[static_cast<size_t>(grid.frontVertexCount + n)].objectPosition.z, half,
                    kTolerance);
    }
    // Front and back quads, walls along both columns and rows; no texture, so no contour walls.
    EXPECT_EQ(surface.mesh.triangles.size(), 4u * 200u * 4u + 4u * (4u + 200u));
}

TEST(ScrollMesh, LongRowWallsAskForFineCoverageAndColumnWallsDoNot) {
    SceneSurface surface;
    surface.controls = scrollControls();
    surface.controls.leftCurl = CurlControls{true, 2, 360.0, 0.0, 50.0, 0.0};
    buildScrollMesh(surface, placement(1000, 500));
    size_t fineWalls = 0, plainWalls = 0;
    for (const SurfaceTriangle& t : surface.mesh.triangles) {
        if (t.faceCode != kFaceSideFrontAlpha) {
            EXPECT_EQ(t.fineCoverage, 0);
            continue;
        }
        (t.fineCoverage != 0 ? fineWalls : plainWalls) += 1;
    }
    EXPECT_EQ(fineWalls, 2u * 2u * 200u);
    EXPECT_EQ(plainWalls, 2u * 2u * 4u);
}

TEST(ScrollMesh, OneFullTurnEndsOneGrowthStepFurtherOut) {
    BendControls c = scrollControls();
    c.thickness = 250.0;
    c.leftCurl = CurlControls{true, 2, 360.0, 0.0, 100.0, 0.0};
    const double W = 1000.0, H = 500.0;
    const ScrollCurls curls = deriveScrollCurls(c, W, H);
    const double g = std::max(scrollSlabThickness(250.0, W, H), kMinCurlGrowth);
    EXPECT_NEAR(curls.left.used, 2.0 * std::numbers::pi * 100.0 + std::numbers::pi * g, kTolerance);
    EXPECT_EQ(curls.right.used, 0.0);

    // The layer's left edge has gone round once: back above the curl's start, g further out.
    for (double y : {0.0, 250.0, 500.0}) {
        const Vec3 edge = rollScrollPoint(curls, 0.0, y);
        EXPECT_NEAR(edge.x, curls.left.used, 1e-6) << y;
        EXPECT_NEAR(edge.y, y, kTolerance);
        EXPECT_NEAR(edge.z, g, 1e-6);
        const Vec3 start = rollScrollPoint(curls, curls.left.used, y);
        EXPECT_NEAR(start.z, 0.0, kTolerance);
    }
    // Half a turn in, the sheet is a diameter plus half a growth step off the plane, on the camera's
    // side for a positive angle.
    const double halfTurnLength = std::numbers::pi * 100.0 + std::numbers::pi * g / 4.0;
    const Vec3 top = rollScrollPoint(curls, curls.left.used - halfTurnLength, 0.0);
    EXPECT_NEAR(top.z, -(200.0 + g / 2.0), 1e-6);
    EXPECT_NEAR(top.x, curls.left.used + g / std::numbers::pi, 1e-6);
}

TEST(ScrollMesh, NegativeAngleRollsToTheOtherSideAtTheSameSize) {
    BendControls up = scrollControls();
    up.leftCurl = CurlControls{true, 2, -270.0, 0.0, 80.0, 10.0};
    BendControls down = up;
    down.leftCurl.curlAngle = 270.0;
    const ScrollCurls a = deriveScrollCurls(up, 1000.0, 500.0);
    const ScrollCurls b = deriveScrollCurls(down, 1000.0, 500.0);
    EXPECT_DOUBLE_EQ(a.left.used, b.left.used);
    for (double x : {0.0, 100.0, 300.0}) {
        const Vec3 p = rollScrollPoint(a, x, 10.0), q = rollScrollPoint(b, x, 10.0);
        EXPECT_DOUBLE_EQ(p.x, q.x);
        EXPECT_DOUBLE_EQ(p.z, -q.z);
        EXPECT_GT(p.z, 0.0) << "a negative angle rolls away from the camera";
    }
}

TEST(ScrollMesh, CurlsLongerThanTheLayerAreScaledToMeetWithoutOverlap) {
    BendControls c = scrollControls();
    c.leftCurl = CurlControls{true, 2, 720.0, 0.0, 100.0, 0.0};
    c.rightCurl = CurlControls{true, 2, 1080.0, 30.0, 100.0, 0.0};
    const double W = 1000.0;
    const ScrollCurls curls = deriveScrollCurls(c, W, 400.0);
    const double g = kMinCurlGrowth;
    const double lenL = scrollCurlLength(g, 100.0, 4.0 * std::numbers::pi);
    const double lenR = scrollCurlLength(g, 100.0, 6.0 * std::numbers::pi);
    EXPECT_NEAR(curls.left.used, lenL * W / (lenL + lenR), kTolerance);
    EXPECT_NEAR(curls.left.used + curls.right.used, W, kTolerance);

    // Where the zones touch the left one wins and the sheet has not yet left the plane.
    const Vec3 seam = rollScrollPoint(curls, curls.left.used, 0.0);
    EXPECT_NEAR(seam.z, 0.0, kTolerance);
    SceneSurface surface;
    surface.controls = c;
    buildScrollMesh(surface, placement(W, 400.0));
    EXPECT_TRUE(allFinite(surface.mesh));
}

TEST(ScrollMesh, TighteningSpiralWindsInwardAndKeepsAPositiveRadius) {
    BendControls c = scrollControls();
    c.thickness = 100.0;
    c.leftCurl = CurlControls{true, 2, 0.0, 0.0, 50.0, -40.0};
    ScrollCurls probe = deriveScrollCurls(c, 2000.0, 200.0);
    ASSERT_LT(probe.left.growth, 0.0);
    // Just short of the angle where the radius would vanish.
    const double vanishing = 50.0 / -probe.left.spiral;
    c.leftCurl.curlAngle = 0.999 * vanishing * 180.0 / std::numbers::pi;
    const ScrollCurls curls = deriveScrollCurls(c, 2000.0, 200.0);
    ASSERT_GT(curls.left.used, 0.0);

    // Distance from the start circle's centre shrinks as the sheet winds in, and never reaches zero.
    const Vec3 centre{curls.left.used, 0.0, -50.0};
    double previous = 50.0 + 1e-9;
    for (double x = curls.left.used; x >= 0.0; x -= curls.left.used / 400.0) {
        const Vec3 p = rollScrollPoint(curls, x, 0.0);
        const double r = std::hypot(p.x - centre.x, p.z - centre.z);
        EXPECT_LE(r, previous + 1e-6) << x;
        EXPECT_GT(r, 0.0) << x;
        previous = r;
    }

    // Past the vanishing angle the spiral's length formula turns negative: no curl, a flat layer.
    c.leftCurl.curlAngle = 3.0 * vanishing * 180.0 / std::numbers::pi;
    EXPECT_EQ(deriveScrollCurls(c, 2000.0, 200.0).left.used, 0.0);
    SceneSurface surface;
    surface.controls = c;
    buildScrollMesh(surface, placement(2000.0, 200.0));
    EXPECT_TRUE(allFinite(surface.mesh));
}

TEST(ScrollMesh, TiltedRightCurlStartsFurtherInAlongItsAxis) {
    BendControls c = scrollControls();
    c.rightCurl = CurlControls{true, 2, 540.0, 20.0, 60.0, 0.0};
    const ScrollCurls curls = deriveScrollCurls(c, 1000.0, 500.0);
    EXPECT_NEAR(curls.right.axisX, -std::cos(20.0 * std::numbers::pi / 180.0), kTolerance);
    // Along a tilted axis the curl's start line crosses the layer at a slant: a positive tilt lets the
    // bottom row run flat further to the right than the top row (by H tan 20 degrees).
    auto firstCurled = [&](double y) {
        for (double x = 0.0; x <= 1000.0; x += 1.0) {
            if (std::fabs(rollScrollPoint(curls, x, y).z) > 1e-6) return x;
        }
        return 1001.0;
    };
    EXPECT_NEAR(firstCurled(500.0) - firstCurled(0.0), 500.0 * std::tan(20.0 * std::numbers::pi / 180.0), 2.0);
}

TEST(ScrollMesh, HostileControlsStillGiveFiniteVertices) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const CurlControls& curl :
         {CurlControls{true, 2, nan, nan, nan, nan}, CurlControls{true, 2, inf, 89.9, -inf, inf},
          CurlControls{true, 2, 1e9, -1e9, 1e-12, -1e9}, CurlControls{true, 2, -1e300, 0.0, 1e300, 0.0},
          CurlControls{true, 2, 720.0, 0.0, -50.0, -1000.0}}) {
        SceneSurface surface;
        surface.controls = scrollControls();
        surface.controls.leftCurl = curl;
        surface.controls.rightCurl = curl;
        surface.controls.thickness = 300.0;
        buildScrollMesh(surface, placement(640, 360));
        EXPECT_FALSE(surface.mesh.triangles.empty());
        EXPECT_TRUE(allFinite(surface.mesh)) << curl.curlAngle << " " << curl.radius;
    }
}

TEST(ScrollMesh, InteractiveRendersHalveTheGridCaps) {
    SceneSurface surface;
    surface.controls = scrollControls();
    surface.controls.subdivisionX = 5000;
    surface.controls.subdivisionY = 500;
    MeshPlacement p = placement(100, 100);
    p.interactive = true;
    const SlabGrid grid = buildScrollMesh(surface, p);
    EXPECT_EQ(grid.columns, kMaxSubdivisionX / 2 + 1);
    EXPECT_EQ(grid.rows, kMaxSubdivisionY / 2 + 1);
}

}  // namespace
}  // namespace zephrin
