#include "renderer/geometry/mesh_storage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "renderer/geometry/free_mode_mesh.h"

namespace zephrin {
namespace {

SceneSurface waveSurface(int32_t columns, int32_t rows) {
    SceneSurface surface;
    surface.kind = kSurfaceBent;
    surface.controls.subdivisionX = columns;
    surface.controls.subdivisionY = rows;
    surface.controls.thickness = 12.0;
    return surface;
}

std::vector<BendControlPoint> wave() {
    std::vector<BendControlPoint> points(3);
    points[1].x = 0.5;
    points[1].y = 0.4;
    points[2].x = 1.0;
    return points;
}

MeshPlacement placement() {
    MeshPlacement p;
    p.width = 400;
    p.height = 200;
    return p;
}

// Vertices bit for bit (they are all doubles); triangles field by field (they have padding).
bool sameMesh(const SurfaceMesh& a, const SurfaceMesh& b) {
    if (a.vertices.size() != b.vertices.size() || a.triangles.size() != b.triangles.size()) return false;
    if (std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(SurfaceVertex)) != 0) return false;
    for (size_t i = 0; i < a.triangles.size(); ++i) {
        const SurfaceTriangle& s = a.triangles[i];
        const SurfaceTriangle& t = b.triangles[i];
        if (s.a != t.a || s.b != t.b || s.c != t.c || s.faceCode != t.faceCode || s.fineCoverage != t.fineCoverage) {
            return false;
        }
    }
    return true;
}

TEST(MeshStorage, AMeshBuiltIntoRecycledArraysEqualsOneBuiltFresh) {
    releaseRecycledMeshStorage();
    SceneSurface fresh = waveSurface(64, 8);
    buildFreeModeMesh(fresh, wave(), placement());

    // A larger mesh of another shape leaves its arrays behind with other contents in them.
    SceneSurface previous = waveSurface(100, 8);
    previous.controls.thickness = 40.0;
    buildFreeModeMesh(previous, wave(), placement());
    const SurfaceVertex* previousStorage = previous.mesh.vertices.data();
    recycleMeshStorage(previous.mesh);
    EXPECT_TRUE(previous.mesh.vertices.empty());
    EXPECT_GT(recycledMeshStorageBytes(), 0u);

    SceneSurface reused = waveSurface(64, 8);
    buildFreeModeMesh(reused, wave(), placement());
    EXPECT_EQ(reused.mesh.vertices.data(), previousStorage);
    EXPECT_TRUE(sameMesh(reused.mesh, fresh.mesh));
    releaseRecycledMeshStorage();
}

// The slab builders size their arrays without writing them and then write every element once. A
// vertex or triangle they missed would keep whatever the recycled storage held before: two builds
// into storage filled with two different byte patterns must both equal the build into fresh memory.
// The slab is large enough to be built by runs of rows side by side.
TEST(MeshStorage, EveryVertexAndTriangleIsWrittenWhateverTheStorageHeldBefore) {
    releaseRecycledMeshStorage();
    SceneSurface fresh = waveSurface(640, 64);
    buildFreeModeMesh(fresh, wave(), placement());
    ASSERT_GT(fresh.mesh.vertices.size(), 80000u);
    for (const unsigned char pattern : {0x00, 0xA5, 0xFF}) {
        SCOPED_TRACE(static_cast<int>(pattern));
        SceneSurface previous = waveSurface(640, 64);
        buildFreeModeMesh(previous, wave(), placement());
        std::memset(static_cast<void*>(previous.mesh.vertices.data()), pattern,
                    previous.mesh.vertices.capacity() * sizeof(SurfaceVertex));
        std::memset(static_cast<void*>(previous.mesh.triangles.data()), pattern,
                    previous.mesh.triangles.capacity() * sizeof(SurfaceTriangle));
        const SurfaceVertex* storage = previous.mesh.vertices.data();
        recycleMeshStorage(previous.mesh);

        SceneSurface reused = waveSurface(640, 64);
        buildFreeModeMesh(reused, wave(), placement());
        EXPECT_EQ(reused.mesh.vertices.data(), storage);
        EXPECT_TRUE(sameMesh(reused.mesh, fresh.mesh));
        recycleMeshStorage(reused.mesh);
    }
    releaseRecycledMeshStorage();
}

TEST(MeshStorage, OnlyArraysBetweenOnceAndTwiceTheNeedAreTaken) {
    releaseRecycledMeshStorage();
    SurfaceMesh big;
    big.vertices.reserve(1000);
    big.triangles.reserve(1000);
    recycleMeshStorage(big);
    const size_t held = recycledMeshStorageBytes();
    EXPECT_EQ(held, 1000 * sizeof(SurfaceVertex) + 1000 * sizeof(SurfaceTriangle));

    SurfaceMesh small;  // a tenth of the size: the big arrays stay in the store
    reserveMeshStorage(small, 100, 100);
    EXPECT_EQ(small.vertices.capacity(), 100u);
    EXPECT_EQ(recycledMeshStorageBytes(), held);

    SurfaceMesh larger;  // more than the spare arrays hold
    reserveMeshStorage(larger, 1001, 1001);
    EXPECT_EQ(recycledMeshStorageBytes(), held);

    SurfaceMesh fitting;
    reserveMeshStorage(fitting, 600, 900);
    EXPECT_EQ(fitting.vertices.capacity(), 1000u);
    EXPECT_EQ(fitting.triangles.capacity(), 1000u);
    EXPECT_EQ(recycledMeshStorageBytes(), 0u);
    releaseRecycledMeshStorage();
}

TEST(MeshStorage, TheStoreKeepsNoMoreThanItsLimitAndReleasesEverything) {
    releaseRecycledMeshStorage();
    // Far beyond the store's limit: it is freed on the spot instead of kept.
    SurfaceMesh huge;
    huge.triangles.reserve((size_t{600} << 20) / sizeof(SurfaceTriangle));
    recycleMeshStorage(huge);
    EXPECT_EQ(recycledMeshStorageBytes(), 0u);
    EXPECT_EQ(huge.triangles.capacity(), 0u);

    for (int i = 0; i < 40; ++i) {
        SurfaceMesh mesh;
        mesh.vertices.reserve(10);
        recycleMeshStorage(mesh);
    }
    EXPECT_LE(recycledMeshStorageBytes(), 40 * 10 * sizeof(SurfaceVertex));
    EXPECT_GT(recycledMeshStorageBytes(), 0u);
    releaseRecycledMeshStorage();
    EXPECT_EQ(recycledMeshStorageBytes(), 0u);
}

}  // namespace
}  // namespace zephrin
