#include "renderer/geometry/free_mode_mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "render_log_capture.h"

namespace zephrin {
namespace {

BendControlPoint flatPoint(double x) {
    BendControlPoint p;
    p.x = x;
    return p;
}

std::vector<BendControlPoint> flatPoints() { return {flatPoint(0.0), flatPoint(1.0)}; }

// A gentle S: up at a third, down at two thirds.
std::vector<BendControlPoint> wavePoints() {
    std::vector<BendControlPoint> points{flatPoint(0.0), flatPoint(0.33), flatPoint(0.67), flatPoint(1.0)};
    points[1].y = 0.5;
    points[2].y = -0.5;
    return points;
}

MeshPlacement placement(double width, double height) {
    MeshPlacement p;
    p.width = width;
    p.height = height;
    return p;
}

SceneSurface surfaceWith(const BendControls& controls) {
    SceneSurface surface;
    surface.kind = kSurfaceBent;
    surface.controls = controls;
    return surface;
}

BendControls slabControls(double thickness) {
    BendControls controls;
    controls.subdivisionX = 16;
    controls.subdivisionY = 4;
    controls.thickness = thickness;
    return controls;
}

const Vec3& vertexAt(const SurfaceMesh& mesh, int32_t index) {
    return mesh.vertices[static_cast<size_t>(index)].objectPosition;
}

Vec3 faceNormal(const SurfaceMesh& mesh, const SurfaceTriangle& t) {
    const Vec3& a = vertexAt(mesh, t.a);
    return cross(vertexAt(mesh, t.b) - a, vertexAt(mesh, t.c) - a);
}

Vec3 centroid(const SurfaceMesh& mesh, const SurfaceTriangle& t) {
    return (vertexAt(mesh, t.a) + vertexAt(mesh, t.b) + vertexAt(mesh, t.c)) * (1.0 / 3.0);
}

void expectSoundMesh(const SurfaceMesh& mesh) {
    for (const SurfaceVertex& v : mesh.vertices) {
        ASSERT_TRUE(isFinite(v.objectPosition) && isFinite(v.cameraPosition) && isFinite(v.worldPosition));
        ASSERT_TRUE(isFinite(v.cameraNormal) && isFinite(v.worldNormal));
        ASSERT_TRUE(std::isfinite(v.u) && std::isfinite(v.v));
    }
    const auto valid = [&](int32_t i) { return i >= 0 && static_cast<size_t>(i) < mesh.vertices.size(); };
    for (const SurfaceTriangle& t : mesh.triangles) ASSERT_TRUE(valid(t.a) && valid(t.b) && valid(t.c));
}

TEST(FreeModeMesh, FlatSlabWithoutThicknessIsAFlatGridWhoseFacesCoincide) {
    SceneSurface surface = surfaceWith(slabControls(0.0));
    const SlabGrid grid = buildFreeModeMesh(surface, flatPoints(), placement(400, 200));
    EXPECT_EQ(grid.columns, 17);
    EXPECT_EQ(grid.rows, 5);
    ASSERT_EQ(surface.mesh.vertices.size(), static_cast<size_t>(2 * grid.frontVertexCount));
    for (int32_t n = 0; n < grid.frontVertexCount; ++n) {
        const Vec3& front = vertexAt(surface.mesh, n);
        const Vec3& back = vertexAt(surface.mesh, n + grid.frontVertexCount);
        EXPECT_NEAR(front.z, 0.0, 1e-9);
        EXPECT_NEAR(length(front - back), 0.0, 1e-9);
    }
    // The grid spans the layer: left-top corner at the origin, right-bottom at (width, height).
    EXPECT_NEAR(vertexAt(surface.mesh, 0).x, 0.0, 1e-9);
    EXPECT_NEAR(vertexAt(surface.mesh, 0).y, 0.0, 1e-9);
    EXPECT_NEAR(vertexAt(surface.mesh, grid.frontVertexCount - 1).x, 400.0, 1e-9);
    EXPECT_NEAR(vertexAt(surface.mesh, grid.frontVertexCount - 1).y, 200.0, 1e-9);
    EXPECT_EQ(surface.cullRangeBegin, grid.frontVertexCount);
    EXPECT_EQ(surface.cullRangeEnd, grid.frontVertexCount);
}

TEST(FreeModeMesh, ThicknessFiveHundredOnAThousandByFiveHundredIs98Pixels) {
    SceneSurface surface = surfaceWith(slabControls(500.0));
    const SlabGrid grid = buildFreeModeMesh(surface, flatPoints(), placement(1000, 500));
    EXPECT_NEAR(grid.halfThickness, 49.0, 1e-9);
    const Vec3& front = vertexAt(surface.mesh, 0);
    const Vec3& back = vertexAt(surface.mesh, grid.frontVertexCount);
    EXPECT_NEAR(back.z - front.z, 98.0, 1e-9);
    // The front sits towards the camera (which looks along +z).
    EXPECT_LT(front.z, back.z);
}

TEST(FreeModeMesh, EveryFaceAndWallPointsAwayFromTheSlab) {
    SceneSurface surface = surfaceWith(slabControls(200.0));
    buildFreeModeMesh(surface, flatPoints(), placement(400, 200));
    const Vec3 centre{200.0, 100.0, 0.0};
    int walls = 0;
    for (const SurfaceTriangle& t : surface.mesh.triangles) {
        const Vec3 n = faceNormal(surface.mesh, t);
        if (t.faceCode == kFaceFront) {
            EXPECT_LT(n.z, 0.0);
        }
        if (t.faceCode == kFaceBack) {
            EXPECT_GT(n.z, 0.0);
        }
        if (t.faceCode == kFaceSideFrontAlpha) {
            ++walls;
            EXPECT_GT(dot(n, centroid(surface.mesh, t) - centre), 0.0);
        }
    }
    // Two walls per row along the two ends, two per column along the top and bottom, two triangles each.
    EXPECT_EQ(walls, 2 * (2 * 4 + 2 * 16));
}

TEST(FreeModeMesh, WallsOfABentTwistedSlabStillFaceOutward) {
    BendControls controls = slabControls(300.0);
    controls.bendDirection = 30.0;
    std::vector<BendControlPoint> points = wavePoints();
    points[1].twist = 40.0;
    SceneSurface surface = surfaceWith(controls);
    const SlabGrid grid = buildFreeModeMesh(surface, points, placement(400, 200));
    expectSoundMesh(surface.mesh);
    const SurfaceMesh& mesh = surface.mesh;
    int checked = 0;
    for (const SurfaceTriangle& t : mesh.triangles) {
        if (t.faceCode != kFaceSideFrontAlpha) continue;
        const SurfaceVertex* corners[3] = {&mesh.vertices[static_cast<size_t>(t.a)],
                                           &mesh.vertices[static_cast<size_t>(t.b)],
                                           &mesh.vertices[static_cast<size_t>(t.c)]};
        const auto all = [&](auto pred) { return pred(*corners[0]) && pred(*corners[1]) && pred(*corners[2]); };
        const Vec3 n = faceNormal(mesh, t);
        // The layer's height runs along +y (turned at most 100 degrees by bend and twist), its length along +x.
        if (all([](const SurfaceVertex& v) { return v.v == 0.0; })) {
            EXPECT_LT(n.y, 0.0);
            ++checked;
        }
        if (all([](const SurfaceVertex& v) { return v.v == 1.0; })) {
            EXPECT_GT(n.y, 0.0);
            ++checked;
        }
        if (all([](const SurfaceVertex& v) { return v.u == 0.0; })) {
            EXPECT_LT(n.x, 0.0);
            ++checked;
        }
        if (all([](const SurfaceVertex& v) { return v.u == 1.0; })) {
            EXPECT_GT(n.x, 0.0);
            ++checked;
        }
    }
    EXPECT_EQ(checked, 2 * (2 * 4 + 2 * 16));
    // Every front vertex lies a full thickness from its back partner.
    for (int32_t n = 0; n < grid.frontVertexCount; ++n) {
        const Vec3 offset = vertexAt(mesh, n) - vertexAt(mesh, n + grid.frontVertexCount);
        EXPECT_NEAR(length(offset), 2.0 * grid.halfThickness, 1e-6);
    }
}

TEST(FreeModeMesh, BendDirectionZeroDisplacesAlongZAndNinetyAlongMinusY) {
    const double W = 1010, H = 200;
    BendControls controls = slabControls(0.0);
    SceneSurface zero = surfaceWith(controls);
    buildFreeModeMesh(zero, wavePoints(), placement(W, H));
    controls.bendDirection = 90.0;
    SceneSurface ninety = surfaceWith(controls);
    const SlabGrid grid = buildFreeModeMesh(ninety, wavePoints(), placement(W, H));

    double zMax = 0.0, yMin = 0.0;
    for (int32_t n = 0; n < grid.frontVertexCount; ++n) {
        zMax = std::max(zMax, std::fabs(vertexAt(zero.mesh, n).z));
        const Vec3& p = vertexAt(ninety.mesh, n);
        yMin = std::min(yMin, p.y - H / 2);
    }
    // Direction 0: the height stays along y and the curve (|y| up to about 0.5) pushes along z by W * 15/101.
    EXPECT_GT(zMax, 0.3 * W * 15.0 / 101.0);
    EXPECT_LT(zMax, 0.7 * W * 15.0 / 101.0);
    for (int32_t i = 0; i < grid.rows; ++i) {
        EXPECT_NEAR(vertexAt(zero.mesh, i * grid.columns).y, H * i / (grid.rows - 1), 1e-9);
    }
    // Direction 90: the height lies along z, and the curve pushes along -y by H * 0.45.
    for (int32_t i = 0; i < grid.rows; ++i) {
        EXPECT_NEAR(vertexAt(ninety.mesh, i * grid.columns).z, H * (static_cast<double>(i) / (grid.rows - 1) - 0.5),
                    1e-9);
    }
    EXPECT_LT(yMin, -0.3 * H * 0.45);
}

TEST(FreeModeMesh, TilesFollowEachOtherWithoutGaps) {
    for (bool mirror : {false, true}) {
        BendControls controls = slabControls(0.0);
        controls.tileCount = 2;
        controls.tileMirror = mirror;
        std::vector<BendControlPoint> points = wavePoints();
        points.back().y = 0.2;  // the strip rises from start to end
        SceneSurface surface = surfaceWith(controls);
        const SlabGrid grid = buildFreeModeMesh(surface, points, placement(100, 50));
        ASSERT_EQ(grid.columns, 5 * 16 + 1);
        const SurfaceMesh& mesh = surface.mesh;
        EXPECT_NEAR(vertexAt(mesh, 0).x, -200.0, 1e-9) << mirror;
        EXPECT_NEAR(vertexAt(mesh, grid.columns - 1).x, 300.0, 1e-9) << mirror;
        EXPECT_NEAR(mesh.vertices[0].u, -2.0, 1e-12);
        double largestStep = 0.0;
        for (int32_t j = 1; j < grid.columns; ++j) {
            largestStep = std::max(largestStep, length(vertexAt(mesh, j) - vertexAt(mesh, j - 1)));
        }
        // A column step is a sixteenth of a curve at most a few times longer than the layer; a gap
        // between tiles would be a whole tile wide.
        EXPECT_LT(largestStep, 40.0) << mirror;
        if (!mirror) {
            // Each copy rises by the curve's rise: the start of tile 1 sits 0.2 higher than tile 0's.
            const double riseZ = 0.2 * 100.0 * 15.0 / 101.0;
            EXPECT_NEAR(vertexAt(mesh, 3 * 16).z - vertexAt(mesh, 2 * 16).z, riseZ, 1e-9);
        }
    }
}

TEST(FreeModeMesh, SlideAtHalfMotionBuildsTheRightHalfOnTheCurvesFirstHalf) {
    BendControls controls = slabControls(0.0);
    controls.motion = 50.0;
    SceneSurface surface = surfaceWith(controls);
    const SlabGrid grid = buildFreeModeMesh(surface, flatPoints(), placement(200, 100));
    ASSERT_EQ(grid.columns, 9);
    const SurfaceMesh& mesh = surface.mesh;
    EXPECT_NEAR(mesh.vertices[0].u, 0.5, 1e-12);
    EXPECT_NEAR(mesh.vertices[static_cast<size_t>(grid.columns - 1)].u, 1.0, 1e-12);
    EXPECT_NEAR(vertexAt(mesh, 0).x, 0.0, 1e-9);
    EXPECT_NEAR(vertexAt(mesh, grid.columns - 1).x, 100.0, 1e-9);

    controls.motion = 0.0;
    SceneSurface gone = surfaceWith(controls);
    buildFreeModeMesh(gone, flatPoints(), placement(200, 100));
    EXPECT_TRUE(gone.mesh.triangles.empty());
}

TEST(FreeModeMesh, ClosedLoopHasNoEndWallsAndMeetsItself) {
    BendControls controls = slabControls(100.0);
    controls.closeEndpoints = true;
    controls.motion = 0.0;
    std::vector<BendControlPoint> points{flatPoint(0.0), flatPoint(1.0), flatPoint(0.5), flatPoint(0.0)};
    points[1].y = 0.5;
    points[2].y = -0.5;
    SceneSurface surface = surfaceWith(controls);
    const SlabGrid grid = buildFreeModeMesh(surface, points, placement(200, 100));
    const SurfaceMesh& mesh = surface.mesh;
    EXPECT_NEAR(length(vertexAt(mesh, 0) - vertexAt(mesh, grid.columns - 1)), 0.0, 1e-9);
    const auto walls = std::count_if(mesh.triangles.begin(), mesh.triangles.end(),
                                     [](const SurfaceTriangle& t) { return t.faceCode == kFaceSideFrontAlpha; });
    EXPECT_EQ(walls, 2 * 2 * 16);
}

TEST(FreeModeMesh, InteractiveRendersHalveTheCaps) {
    BendControls controls = slabControls(0.0);
    controls.subdivisionX = 640;
    controls.subdivisionY = 64;
    SceneSurface surface = surfaceWith(controls);
    MeshPlacement p = placement(100, 100);
    p.interactive = true;
    const SlabGrid grid = buildFreeModeMesh(surface, flatPoints(), p);
    EXPECT_EQ(grid.columns, 321);
    EXPECT_EQ(grid.rows, 33);
}

TEST(FreeModeMesh, RoundClosedLoopIsDrawnAsAnAnalyticEllipseAndLogged) {
    test::LogCapture log;
    BendControls controls = slabControls(0.0);
    controls.closeEndpoints = true;
    controls.motion = 0.0;
    std::vector<BendControlPoint> points;
    for (int i = 0; i <= 12; ++i) {
        const double angle = std::numbers::pi / 6.0 * (i % 12);
        BendControlPoint p = flatPoint(0.5 + 0.25 * std::cos(angle));
        p.y = 0.5 * std::sin(angle);
        points.push_back(p);
    }
    SceneSurface surface = surfaceWith(controls);
    const SlabGrid grid = buildFreeModeMesh(surface, points, placement(404, 200));
    const auto lines = log.renderLines("RendererV2Mesh: analyticCirclePreset center=(");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(") radius=(0.25,0.5) dir=1"), std::string::npos) << lines[0];
    // Every column of the front lies on the ellipse: x about the centre by 0.25 W, z by 0.5 W * 15/101.
    for (int32_t j = 0; j < grid.columns; ++j) {
        const Vec3& p = vertexAt(surface.mesh, j);
        const double ex = (p.x - 202.0) / (0.25 * 404.0), ez = p.z / (0.5 * 404.0 * 15.0 / 101.0);
        EXPECT_NEAR(ex * ex + ez * ez, 1.0, 1e-9) << j;
    }
}

TEST(FreeModeMesh, CoincidentPointsAndBackwardHandlesStillGiveASoundMesh) {
    for (bool closed : {false, true}) {
        BendControls controls = slabControls(300.0);
        controls.closeEndpoints = closed;
        std::vector<BendControlPoint> same(12, flatPoint(0.4));
        for (BendControlPoint& p : same) {
            p.y = 0.2;
            p.slope = p.outSlope = p.inSlope = 3.0;
        }
        SceneSurface coincident = surfaceWith(controls);
        buildFreeModeMesh(coincident, same, placement(1, 1));
        expectSoundMesh(coincident.mesh);

        std::vector<BendControlPoint> backward = wavePoints();
        for (BendControlPoint& p : backward) p.outLength = p.inLength = -0.5;
        backward[2].outLength = 0.0;
        SceneSurface folded = surfaceWith(controls);
        buildFreeModeMesh(folded, backward, placement(640, 360));
        expectSoundMesh(folded.mesh);
        EXPECT_FALSE(folded.mesh.triangles.empty());
    }
}

}  // namespace
}  // namespace zephrin
