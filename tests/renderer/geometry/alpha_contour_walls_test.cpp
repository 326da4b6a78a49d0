#include "renderer/geometry/alpha_contour_walls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "render_log_capture.h"
#include "renderer/geometry/back_texture_fit.h"
#include "renderer/geometry/free_mode_mesh.h"
#include "renderer/geometry/mesh_storage.h"
#include "sdk/AE_Effect.h"

namespace zephrin {
namespace {

using test::LogCapture;

// An 8-bit image held by the test, with a texture record that reads it in place.
struct Image {
    int32_t width = 0, height = 0;
    std::vector<PF_Pixel8> pixels;

    Image(int32_t w, int32_t h, A_u_char alpha) : width(w), height(h), pixels(static_cast<size_t>(w * h)) {
        for (PF_Pixel8& p : pixels) p = PF_Pixel8{alpha, 200, 100, 50};
    }
    PF_Pixel8& at(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y * width + x)]; }
    SurfaceTexture texture() const {
        SurfaceTexture t;
        t.worldType = AEGP_WorldType_8;
        t.width = width;
        t.height = height;
        t.rowBytes = static_cast<int32_t>(width * sizeof(PF_Pixel8));
        t.baseAddress = pixels.data();
        return t;
    }
};

// An opaque disc of the given radius in the middle of a transparent square image.
Image disc(int32_t size, double radius) {
    Image image(size, size, 0);
    const double c = (size - 1) * 0.5;
    for (int32_t y = 0; y < size; ++y)
        for (int32_t x = 0; x < size; ++x)
            if (std::hypot(x - c, y - c) <= radius) image.at(x, y).alpha = 255;
    return image;
}

SceneSurface slabWithTexture(const Image& image, double thickness) {
    SceneSurface surface;
    surface.kind = kSurfaceBent;
    surface.controls.subdivisionX = 8;
    surface.controls.subdivisionY = 8;
    surface.controls.thickness = thickness;
    surface.controls.hasFrontLayer = true;
    surface.frontTexture = image.texture();
    return surface;
}

std::vector<BendControlPoint> flatPoints() {
    BendControlPoint a, b;
    b.x = 1.0;
    return {a, b};
}

MeshPlacement square(double size) {
    MeshPlacement p;
    p.width = size;
    p.height = size;
    return p;
}

TEST(AlphaContourWalls, CutOutGetsWallsAlongItsOutlineFacingOutward) {
    LogCapture log;
    const Image image = disc(64, 20.0);
    SceneSurface surface = slabWithTexture(image, 300.0);
    buildFreeModeMesh(surface, flatPoints(), square(640));
    const SurfaceMesh& mesh = surface.mesh;
    int walls = 0;
    for (const SurfaceTriangle& t : mesh.triangles) {
        if (t.faceCode != kFaceSideThickness) continue;
        ++walls;
        const Vec3& a = mesh.vertices[static_cast<size_t>(t.a)].objectPosition;
        const Vec3& b = mesh.vertices[static_cast<size_t>(t.b)].objectPosition;
        const Vec3& c = mesh.vertices[static_cast<size_t>(t.c)].objectPosition;
        const Vec3 mid = (a + b + c) * (1.0 / 3.0);
        // The disc's edge lies 20 texels of 63 from the centre: 640 * 20 / 63 layer pixels.
        EXPECT_NEAR(std::hypot(mid.x - 320.0, mid.y - 320.0), 640.0 * 20.0 / 63.0, 12.0);
        const Vec3 outward{mid.x - 320.0, mid.y - 320.0, 0.0};
        EXPECT_GT(dot(cross(b - a, c - a), outward), 0.0);
    }
    EXPECT_GT(walls, 40);
    const auto lines = log.renderLines("RendererV2AlphaContour:");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "RendererV2AlphaContour: samples=3969 segments=" + std::to_string(walls / 2));
}

// The outline is traced from the grid before the slab is built, and the mesh arrays are asked for
// the slab and its walls at once: the walls never grow a full slab's arrays into new memory, copying
// them. A spare array that holds the slab but not its walls is left in the store. Tiles repeat the
// emblem, so there are many walls.
TEST(AlphaContourWalls, TheSlabsArraysAreSizedForItsWallsFromTheStart) {
    releaseRecycledMeshStorage();
    const Image image = disc(64, 20.0);
    const auto cutOutSlab = [&image] {
        SceneSurface surface = slabWithTexture(image, 300.0);
        surface.controls.subdivisionX = 64;
        surface.controls.tileCount = 3;
        buildFreeModeMesh(surface, flatPoints(), square(640));
        return surface;
    };
    const SceneSurface surface = cutOutSlab();
    const SurfaceMesh& mesh = surface.mesh;
    const int32_t columns = 7 * 64 + 1, rows = 9, gridCount = columns * rows;
    std::vector<double> columnU(static_cast<size_t>(columns));
    for (int32_t j = 0; j < columns; ++j) columnU[static_cast<size_t>(j)] = mesh.vertices[static_cast<size_t>(j)].u;
    const AlphaContour contour = traceAlphaContour(surface, columnU, rows, 1.0);
    ASSERT_TRUE(contour.traced);
    ASSERT_GT(contour.segments.size(), 100u);
    size_t wallTriangles = 0;
    for (const SurfaceTriangle& t : mesh.triangles) wallTriangles += t.faceCode == kFaceSideThickness ? 1 : 0;
    EXPECT_EQ(mesh.vertices.size(), static_cast<size_t>(gridCount) * 2 + 2 * wallTriangles);
    EXPECT_LE(2 * wallTriangles, contour.wallVertexBound());

    SurfaceMesh slabOnly;
    slabOnly.vertices.reserve(static_cast<size_t>(gridCount) * 2 + 1);
    recycleMeshStorage(slabOnly);
    const size_t held = recycledMeshStorageBytes();
    ASSERT_GT(held, 0u);
    const SceneSurface again = cutOutSlab();
    EXPECT_EQ(recycledMeshStorageBytes(), held);
    EXPECT_EQ(again.mesh.vertices.capacity(), static_cast<size_t>(gridCount) * 2 + contour.wallVertexBound());
    EXPECT_EQ(again.mesh.triangles.capacity(), mesh.triangles.size() - wallTriangles + contour.wallTriangleBound());
    releaseRecycledMeshStorage();
}

TEST(AlphaContourWalls, NoneOnAnOpaqueImageOrAFlatSlab) {
    LogCapture log;
    const Image opaque(32, 32, 255);
    SceneSurface surface = slabWithTexture(opaque, 300.0);
    buildFreeModeMesh(surface, flatPoints(), square(320));
    for (const SurfaceTriangle& t : surface.mesh.triangles) EXPECT_NE(t.faceCode, kFaceSideThickness);

    const Image cutOut = disc(32, 10.0);
    SceneSurface flat = slabWithTexture(cutOut, 0.0);
    buildFreeModeMesh(flat, flatPoints(), square(320));
    for (const SurfaceTriangle& t : flat.mesh.triangles) EXPECT_NE(t.faceCode, kFaceSideThickness);
    EXPECT_TRUE(log.renderLines("RendererV2AlphaContour:").empty());
}

TEST(AlphaContourWalls, OpaqueTestPerChannelFormat) {
    Image image(3, 1, 0);
    image.at(0, 0).alpha = 2;
    image.at(1, 0).alpha = 3;
    const SurfaceTexture t8 = image.texture();
    EXPECT_FALSE(texelIsOpaque(t8, 0, 0));
    EXPECT_TRUE(texelIsOpaque(t8, 1, 0));

    std::vector<PF_Pixel16> wide{{327, 0, 0, 0}, {328, 0, 0, 0}};
    SurfaceTexture t16;
    t16.worldType = AEGP_WorldType_16;
    t16.width = 2;
    t16.height = 1;
    t16.rowBytes = static_cast<int32_t>(2 * sizeof(PF_Pixel16));
    t16.baseAddress = wide.data();
    EXPECT_FALSE(texelIsOpaque(t16, 0, 0));
    EXPECT_TRUE(texelIsOpaque(t16, 1, 0));
    EXPECT_TRUE(textureHasTransparency(t16));
}

TEST(BackTextureFit, VisibleContentFillsTheWholeBack) {
    LogCapture log;
    Image image(101, 51, 0);
    for (int32_t y = 10; y <= 40; ++y)
        for (int32_t x = 25; x <= 75; ++x) image.at(x, y).alpha = 255;
    SurfaceTexture texture = image.texture();
    EXPECT_TRUE(fitBackTexture(texture));
    EXPECT_DOUBLE_EQ(texture.uvRect.uMin, 0.25);
    EXPECT_DOUBLE_EQ(texture.uvRect.vMin, 0.2);
    EXPECT_DOUBLE_EQ(texture.uvRect.uMax, 0.75);
    EXPECT_DOUBLE_EQ(texture.uvRect.vMax, 0.8);
    EXPECT_EQ(log.renderLines("RendererV2BackFit:"),
              std::vector<std::string>{"RendererV2BackFit: layerPlus content=[25,10,75,40] texture=101x51"});
}

TEST(BackTextureFit, TransparentOrUnreadableImagesKeepTheirRect) {
    LogCapture log;
    const Image clear(20, 20, 0);
    SurfaceTexture texture = clear.texture();
    EXPECT_FALSE(fitBackTexture(texture));
    EXPECT_EQ(texture.uvRect.uMax, 1.0);
    SurfaceTexture none;
    EXPECT_FALSE(fitBackTexture(none));
    // A single opaque texel in a one-pixel-wide image: the divisor stays at least 1.
    Image line(1, 3, 0);
    line.at(0, 1).alpha = 255;
    SurfaceTexture thin = line.texture();
    EXPECT_TRUE(fitBackTexture(thin));
    EXPECT_DOUBLE_EQ(thin.uvRect.uMax, 0.0);
    EXPECT_DOUBLE_EQ(thin.uvRect.vMin, 0.5);
    EXPECT_EQ(log.renderLines("RendererV2BackFit:").size(), 1u);
}

}  // namespace
}  // namespace zephrin
