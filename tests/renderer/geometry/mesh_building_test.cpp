#include "renderer/geometry/mesh_building.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace zephrin {
namespace {

constexpr double kTolerance = 1e-12;

void expectVec(const Vec3& actual, const Vec3& expected, double tolerance = kTolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// Rotation of 90 degrees about y, scaled by 2, then moved: in the row-vector convention.
LayerTransform turnedLayer() {
    Matrix4 m = identityMatrix();
    m.m[0][0] = 0.0;
    m.m[0][2] = -2.0;
    m.m[1][1] = 2.0;
    m.m[2][0] = 2.0;
    m.m[2][2] = 0.0;
    m.m[3][0] = 10.0;
    m.m[3][1] = 20.0;
    m.m[3][2] = 30.0;
    return layerTransformFromMatrix(m);
}

TEST(AddVertex, PlacesThePointInCameraAndWorldSpace) {
    SurfaceMesh mesh;
    LayerTransform toCamera = turnedLayer();
    LayerTransform toWorld = layerTransformFromMatrix(translationMatrix(Vec3{1.0, 2.0, 3.0}));
    addVertex(mesh, Vec3{1.0, 2.0, 0.0}, 0.25, 0.75, toCamera, toWorld);
    ASSERT_EQ(mesh.vertices.size(), 1u);
    const SurfaceVertex& v = mesh.vertices[0];
    expectVec(v.objectPosition, {1.0, 2.0, 0.0});
    expectVec(v.cameraPosition, {10.0, 24.0, 28.0});
    expectVec(v.worldPosition, {2.0, 4.0, 3.0});
    expectVec(v.cameraNormal, {0.0, 0.0, -1.0});
    expectVec(v.worldNormal, {0.0, 0.0, -1.0});
    EXPECT_EQ(v.u, 0.25);
    EXPECT_EQ(v.v, 0.75);
}

TEST(AddQuad, SplitsAlongTheBToCDiagonalWithOneWinding) {
    SurfaceMesh mesh;
    addQuad(mesh, 10, 11, 12, 13, kFaceSideFrontAlpha, 1);
    ASSERT_EQ(mesh.triangles.size(), 2u);
    const SurfaceTriangle& first = mesh.triangles[0];
    const SurfaceTriangle& second = mesh.triangles[1];
    EXPECT_EQ(first.a, 10);
    EXPECT_EQ(first.b, 11);
    EXPECT_EQ(first.c, 12);
    EXPECT_EQ(second.a, 12);
    EXPECT_EQ(second.b, 11);
    EXPECT_EQ(second.c, 13);
    EXPECT_EQ(first.faceCode, kFaceSideFrontAlpha);
    EXPECT_EQ(second.fineCoverage, 1);

    // On a unit square (a top-left, b top-right, c bottom-left, d bottom-right) both halves share a normal.
    SurfaceMesh square;
    LayerTransform identity;
    for (Vec3 p : {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{1, 1, 0}})
        addVertex(square, p, 0, 0, identity, identity);
    addQuad(square, 0, 1, 2, 3, kFaceFront, 0);
    for (const SurfaceTriangle& t : square.triangles) {
        const Vec3& a = square.vertices[t.a].objectPosition;
        const Vec3& b = square.vertices[t.b].objectPosition;
        const Vec3& c = square.vertices[t.c].objectPosition;
        expectVec(cross(b - a, c - a), {0.0, 0.0, 1.0});
    }
}

TEST(FlatGrid, SixByFourCellsRowByRowOverTheLayer) {
    SurfaceMesh mesh;
    LayerTransform identity;
    buildFlatGrid(mesh, 600.0, 200.0, MeshOrigin{5.0, 7.0}, identity, identity, false);
    ASSERT_EQ(mesh.vertices.size(), 35u);
    ASSERT_EQ(mesh.triangles.size(), 48u);
    for (int i = 0; i <= 4; ++i) {
        for (int j = 0; j <= 6; ++j) {
            const SurfaceVertex& v = mesh.vertices[static_cast<size_t>(i * 7 + j)];
            expectVec(v.objectPosition, {5.0 + 100.0 * j, 7.0 + 50.0 * i, 0.0});
            EXPECT_NEAR(v.u, j / 6.0, kTolerance);
            EXPECT_NEAR(v.v, i / 4.0, kTolerance);
        }
    }
    // Cell (1, 2): vertices (1,2), (1,3), (2,2), (2,3).
    const SurfaceTriangle& first = mesh.triangles[2 * (1 * 6 + 2)];
    const SurfaceTriangle& second = mesh.triangles[2 * (1 * 6 + 2) + 1];
    EXPECT_EQ(first.a, 9);
    EXPECT_EQ(first.b, 10);
    EXPECT_EQ(first.c, 16);
    EXPECT_EQ(second.a, 16);
    EXPECT_EQ(second.b, 10);
    EXPECT_EQ(second.c, 17);
    for (const SurfaceTriangle& t : mesh.triangles) {
        EXPECT_EQ(t.faceCode, kFaceFront);
        EXPECT_EQ(t.fineCoverage, 0);
    }
}

TEST(FlatGrid, InteractiveGridIsTwoByTwoAndNormalsFollowTheLayer) {
    SurfaceMesh mesh;
    LayerTransform toCamera = turnedLayer();
    LayerTransform toWorld;
    buildFlatGrid(mesh, 10.0, 10.0, MeshOrigin{}, toCamera, toWorld, true);
    ASSERT_EQ(mesh.vertices.size(), 9u);
    ASSERT_EQ(mesh.triangles.size(), 8u);
    for (const SurfaceVertex& v : mesh.vertices) {
        // The grid's own normal is +z in layer space; the turned layer carries it to +x.
        expectVec(v.worldNormal, {0.0, 0.0, 1.0});
        expectVec(v.cameraNormal, {1.0, 0.0, 0.0});
        expectVec(v.cameraPosition, applyLayerTransform(toCamera, v.objectPosition));
    }
}

TEST(ComputeNormals, LargerTrianglesWeighMore) {
    SurfaceMesh mesh;
    LayerTransform identity;
    // Vertex 0 is shared by a large triangle in the z = 0 plane (normal +z, area 50) and a small one
    // in the x = 0 plane (normal +x, area 0.5).
    for (Vec3 p : {Vec3{0, 0, 0}, Vec3{10, 0, 0}, Vec3{0, 10, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}}) {
        addVertex(mesh, p, 0, 0, identity, identity);
    }
    mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});
    mesh.triangles.push_back(SurfaceTriangle{0, 3, 4, kFaceFront, 0});
    computeNormals(mesh, identity, identity);
    const Vec3 expected = normalizeOr(Vec3{1.0, 0.0, 100.0}, Vec3{});
    expectVec(mesh.vertices[0].worldNormal, expected);
    expectVec(mesh.vertices[0].cameraNormal, expected);
    expectVec(mesh.vertices[1].worldNormal, {0.0, 0.0, 1.0});
    expectVec(mesh.vertices[3].worldNormal, {1.0, 0.0, 0.0});
}

TEST(ComputeNormals, DegenerateAndUnusedVerticesFaceTheCamera) {
    SurfaceMesh mesh;
    LayerTransform identity;
    for (Vec3 p : {Vec3{0, 0, 0}, Vec3{1, 1, 0}, Vec3{2, 2, 0}, Vec3{5, 5, 5}})
        addVertex(mesh, p, 0, 0, identity, identity);
    mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});   // collinear
    mesh.triangles.push_back(SurfaceTriangle{0, 1, 99, kFaceFront, 0});  // out of range: ignored
    computeNormals(mesh, identity, turnedLayer());
    for (const SurfaceVertex& v : mesh.vertices) {
        expectVec(v.cameraNormal, {0.0, 0.0, -1.0});
        expectVec(v.worldNormal, {-1.0, 0.0, 0.0});
    }

    // A transform that flattens the normal away leaves a zero normal rather than an invented one.
    LayerTransform collapse;
    collapse.rotationScale[2][2] = 0.0;
    computeNormals(mesh, collapse, identity);
    expectVec(mesh.vertices[0].cameraNormal, {0.0, 0.0, 0.0});
}

bool sameBits(const Vec3& a, const Vec3& b) { return std::memcmp(&a, &b, sizeof(Vec3)) == 0; }

// The paired camera and world placement must give placedVertex's positions and carryNormal's normals
// to the bit: the slab builders write every vertex through it, and the pictures may not change.
TEST(PlacementPair, WritesTheVertexOfPlacedVertexAndCarryNormal) {
    std::mt19937_64 random(16);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    const auto randomVec = [&] { return Vec3{value(random), value(random), value(random)}; };
    const auto randomTransform = [&] {
        LayerTransform t;
        for (auto& row : t.rotationScale)
            for (double& entry : row) entry = value(random);
        t.translation = randomVec() * 1000.0;
        return t;
    };
    // A transform that flattens every normal away, one that is singular along z, and a normal too
    // short to carry, besides the random ones.
    LayerTransform flattening;
    for (auto& row : flattening.rotationScale)
        for (double& entry : row) entry = 0.0;
    LayerTransform singular = randomTransform();
    singular.rotationScale[2][0] = singular.rotationScale[2][1] = singular.rotationScale[2][2] = 0.0;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    size_t differing = 0;
    for (int n = 0; n < 2000; ++n) {
        const LayerTransform toCamera = n % 7 == 0 ? flattening : randomTransform();
        const LayerTransform toWorld = n % 5 == 0 ? singular : randomTransform();
        const Vec3 position = randomVec() * 500.0;
        Vec3 normal = normalizeOr(randomVec(), kCameraFacingNormal);
        if (n % 11 == 0) normal = Vec3{0.0, 0.0, 1.0};
        if (n % 13 == 0) normal = Vec3{1e-12, 0.0, 0.0};
        if (n % 17 == 0) normal = Vec3{nan, 0.0, 1.0};
        const double u = value(random), v = value(random);
        const SurfaceVertex expected = placedVertex(position, u, v, toCamera, toWorld, carryNormal(toCamera, normal),
                                                    carryNormal(toWorld, normal));
        SurfaceVertex written;
        writePlacedVertex(written, placementPair(toCamera, toWorld), position, normal, u, v);
        const bool same = sameBits(written.objectPosition, expected.objectPosition) &&
                          sameBits(written.cameraPosition, expected.cameraPosition) &&
                          sameBits(written.worldPosition, expected.worldPosition) &&
                          sameBits(written.cameraNormal, expected.cameraNormal) &&
                          sameBits(written.worldNormal, expected.worldNormal) && written.u == expected.u &&
                          written.v == expected.v;
        if (!same && differing++ == 0) ADD_FAILURE() << "first difference at sample " << n;
    }
    EXPECT_EQ(differing, 0u);
}

}  // namespace
}  // namespace zephrin
