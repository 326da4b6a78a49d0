#include "renderer/scene/mesh_arrays.h"

#include <gtest/gtest.h>

#include "renderer/scene/frame_scene.h"

namespace zephrin {
namespace {

// Only resizeUnwritten leaves new elements alone; every other way of growing a mesh array gives them
// their default values, as std::vector does, for the builders that rely on those.
TEST(MeshArrays, OnlyResizeUnwrittenLeavesNewElementsAlone) {
    MeshArray<SurfaceVertex> vertices;
    vertices.reserve(8);
    vertices.resize(6);
    EXPECT_EQ(vertices[5].cameraNormal.z, -1.0);
    // Storage the array already owns, with values the next growth must not touch.
    for (SurfaceVertex& vertex : vertices) vertex.v = 7.0;
    vertices[0].u = 5.0;
    vertices.resize(2);
    const SurfaceVertex* storage = vertices.data();

    resizeUnwritten(vertices, 6);
    ASSERT_EQ(vertices.size(), 6u);
    EXPECT_EQ(vertices.data(), storage);
    EXPECT_EQ(vertices[0].u, 5.0);
    EXPECT_EQ(vertices[5].v, 7.0);

    resizeUnwritten(vertices, 3);
    EXPECT_EQ(vertices.size(), 3u);
    EXPECT_EQ(vertices[0].u, 5.0);
    vertices.resize(5);
    EXPECT_EQ(vertices[4].v, 0.0);
    EXPECT_EQ(vertices[4].cameraNormal.z, -1.0);

    // Past the capacity the kept elements move to the new storage with their values.
    resizeUnwritten(vertices, 100);
    ASSERT_EQ(vertices.size(), 100u);
    EXPECT_EQ(vertices[0].u, 5.0);
    EXPECT_EQ(vertices[4].cameraNormal.z, -1.0);

    MeshArray<SurfaceTriangle> triangles(2);
    EXPECT_EQ(triangles[1].faceCode, kFaceFront);
    const MeshArray<SurfaceTriangle> copy = triangles;
    EXPECT_EQ(copy.size(), 2u);
}

}  // namespace
}  // namespace zephrin
