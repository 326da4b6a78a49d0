// The raster pass's CPU side: tile binning and the acceptance of the GPU's per-pixel answers, held
// against the CPU band raster. The GPU's answers are stood in for here; the device tests feed the
// real ones.
#include "renderer/gpu/gpu_raster_resolve.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "gpu_test_scenes.h"
#include "renderer/gpu/gpu_raster_tiles.h"
#include "renderer/raster/raster_fragment.h"

namespace zephrin {
namespace {

using namespace gputest;

// Every array the raster writes, pixel by pixel; names the first pixel that differs.
void expectSameRaster(const FrameBuffers& expected, const FrameBuffers& actual, const char* what) {
    ASSERT_EQ(expected.pixelCount(), actual.pixelCount());
    for (size_t p = 0; p < expected.pixelCount(); ++p) {
        const bool same =
            expected.preparedIndex[p] == actual.preparedIndex[p] &&
            expected.surfaceIndex[p] == actual.surfaceIndex[p] &&
            expected.triangleIndex[p] == actual.triangleIndex[p] &&
            expected.clipTriangle[p] == actual.clipTriangle[p] && expected.coverage[p] == actual.coverage[p] &&
            expected.winnerMask[p] == actual.winnerMask[p] && expected.packedColor[p] == actual.packedColor[p] &&
            (expected.depth[p] == actual.depth[p]) && expected.color[4 * p + 3] == actual.color[4 * p + 3];
        ASSERT_TRUE(same) << what << ": pixel " << p % static_cast<size_t>(expected.rasterWidth) << ","
                          << p / static_cast<size_t>(expected.rasterWidth) << " prepared " << expected.preparedIndex[p]
                          << " vs " << actual.preparedIndex[p] << ", mask " << int(expected.coverage[p]) << " vs "
                          << int(actual.coverage[p]);
        if (!expected.visiblePixels.empty()) {
            ASSERT_EQ(std::memcmp(&expected.visiblePixels[p], &actual.visiblePixels[p], sizeof(VisiblePixel)), 0)
                << what << ": VisiblePixel of pixel " << p;
        }
    }
}

std::vector<RasterResult> answersOf(const FrameBuffers& buffers) {
    std::vector<RasterResult> answers(buffers.pixelCount());
    for (size_t p = 0; p < answers.size(); ++p) {
        answers[p].preparedIndex = buffers.preparedIndex[p];
        answers[p].coverageMask = buffers.coverage[p];
    }
    return answers;
}

TEST(RasterTiles, TrianglesAreListedInEveryTileTheirBoundsReachInPreparedOrder) {
    const SceneCamera camera = screenCamera(17, 9);
    std::vector<SceneSurface> surfaces(1);
    SceneSurface& s = surfaces[0];
    // A triangle inside one pixel (5, 2), one spanning tiles 0..4 x 0..2, and one pixel at the corner.
    s.mesh.vertices = {
        screenVertex(camera, 5.1, 2.1, 100), screenVertex(camera, 5.9, 2.1, 100),  screenVertex(camera, 5.1, 2.9, 100),
        screenVertex(camera, 0.2, 0.2, 120), screenVertex(camera, 16.8, 0.2, 120), screenVertex(camera, 0.2, 8.8, 120),
        screenVertex(camera, 16.1, 8.1, 90), screenVertex(camera, 16.9, 8.1, 90),  screenVertex(camera, 16.1, 8.9, 90)};
    s.mesh.triangles = {{0, 1, 2, kFaceFront, 0}, {3, 4, 5, kFaceFront, 0}, {6, 7, 8, kFaceFront, 0}};
    const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, 17, 9);
    ASSERT_EQ(prepared.size(), 3u);
    RasterTiles tiles;
    ASSERT_TRUE(buildRasterTiles(prepared, 17, 9, tiles));
    EXPECT_EQ(tiles.tilesX, 5u);
    EXPECT_EQ(tiles.tilesY, 3u);
    ASSERT_EQ(tiles.tiles.size(), 15u);
    // Bounds of the one-pixel triangle are 5..6 x 2..3: all inside tile (1, 0).
    size_t tilesWithFirst = 0;
    for (size_t k = 0; k < tiles.tiles.size(); ++k) {
        for (uint32_t i = 0; i < tiles.tiles[k].count; ++i) {
            if (tiles.indices[tiles.tiles[k].offset + i] == 0) {
                ++tilesWithFirst;
                EXPECT_EQ(k, 1u);
            }
        }
    }
    EXPECT_EQ(tilesWithFirst, 1u);
    // The last tile holds the big triangle before the corner one; offsets are the prefix sums.
    const RasterTile& last = tiles.tiles[14];
    ASSERT_EQ(last.count, 2u);
    EXPECT_EQ(tiles.indices[last.offset], 1u);
    EXPECT_EQ(tiles.indices[last.offset + 1], 2u);
    uint32_t offset = 0;
    for (const RasterTile& tile : tiles.tiles) {
        EXPECT_EQ(tile.offset, offset);
        offset += tile.count;
    }
    EXPECT_EQ(offset, tiles.indices.size());
    // Records carry the prepared triangle in single precision.
    EXPECT_FLOAT_EQ(tiles.triangles[2].p1[0], static_cast<float>(prepared[2].vertices[1].screenX));
    EXPECT_FLOAT_EQ(tiles.triangles[2].p0[2], 1.0f / 90.0f);
    EXPECT_EQ(tiles.triangles[2].preparedIndex, 2);
    EXPECT_EQ(tiles.triangles[2].pad0, 0.0f);

    EXPECT_FALSE(buildRasterTiles({}, 17, 9, tiles));
    EXPECT_FALSE(buildRasterTiles(prepared, 0, 9, tiles));
    EXPECT_FALSE(buildRasterTiles(prepared, 17, -1, tiles));
}

// Whatever the GPU answered (its own winners, nothing at all, or nonsense), the resolved buffers are
// the band raster's, bit for bit: a GPU answer only lets pixels skip their tile walk.
TEST(ResolveGpuRaster, EqualsTheBandRasterWhateverTheAnswer) {
    std::mt19937_64 rng(0x5eed13);
    constexpr int32_t kW = 61, kH = 47;
    const SceneCamera camera = screenCamera(kW, kH);
    for (int scene = 0; scene < 40; ++scene) {
        std::vector<SceneSurface> surfaces;
        const int count = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < count; ++k) {
            const int32_t faces[] = {kFaceFront, kFaceBack, kFaceObj};
            surfaces.push_back(randomGridSurface(rng, camera, faces[rng() % 3]));
        }
        const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kW, kH);
        RasterTiles tiles;
        ASSERT_TRUE(buildRasterTiles(prepared, kW, kH, tiles));
        const bool visible = scene % 2 == 0;
        FrameBuffers cpu = freshBuffers(kW, kH, visible);
        bandRaster(surfaces, prepared, cpu);

        FrameBuffers own = freshBuffers(kW, kH, visible);
        resolveGpuRaster(surfaces, prepared, tiles, answersOf(cpu), own);
        expectSameRaster(cpu, own, "the band raster's own answer");

        FrameBuffers none = freshBuffers(kW, kH, visible);
        resolveGpuRaster(surfaces, prepared, tiles, std::vector<RasterResult>(cpu.pixelCount()), none);
        expectSameRaster(cpu, none, "no answer");

        std::vector<RasterResult> wrong(cpu.pixelCount());
        for (RasterResult& r : wrong) r = RasterResult{static_cast<int32_t>(rng() % (prepared.size() + 2)) - 1, 0xF};
        FrameBuffers noisy = freshBuffers(kW, kH, visible);
        resolveGpuRaster(surfaces, prepared, tiles, wrong, noisy);
        // A wrong triangle that covers a whole pixel is taken on trust (the GPU ranks depths), so only
        // pixels it cannot cover fully must come out as the band raster's.
        for (size_t p = 0; p < wrong.size(); ++p) {
            const int32_t chosen = wrong[p].preparedIndex;
            const auto x = static_cast<int32_t>(p % kW), y = static_cast<int32_t>(p / kW);
            const bool trusted = chosen >= 0 && static_cast<size_t>(chosen) < prepared.size() &&
                                 coverPixel(prepared[static_cast<size_t>(chosen)], x, y).mask == 0xF;
            if (trusted) continue;
            ASSERT_EQ(noisy.preparedIndex[p], cpu.preparedIndex[p]) << "scene " << scene << " pixel " << x << "," << y;
            ASSERT_EQ(noisy.coverage[p], cpu.coverage[p]);
        }
    }
}

TEST(ResolveGpuRaster, TransparentTexelTakesTheNextCandidateOfTheTile) {
    constexpr int32_t kW = 12, kH = 8;
    const SceneCamera camera = screenCamera(kW, kH);
    std::vector<SceneSurface> surfaces(2);
    // In front: a textured square whose left half is fully transparent; behind: an opaque one.
    const PF_Pixel8 clear{0, 0, 0, 0}, solid{255, 10, 200, 30};
    std::vector<PF_Pixel8> texels = {clear, clear, solid, solid, clear, clear, solid, solid};
    SceneSurface& front = surfaces[0];
    front.frontTexture.worldType = AEGP_WorldType_8;
    front.frontTexture.width = 4;
    front.frontTexture.height = 2;
    front.frontTexture.rowBytes = 4 * static_cast<int32_t>(sizeof(PF_Pixel8));
    front.frontTexture.baseAddress = texels.data();
    front.mesh.vertices = {screenVertex(camera, 0, 0, 100, 0, 0), screenVertex(camera, 12, 0, 100, 1, 0),
                           screenVertex(camera, 12, 8, 100, 1, 1), screenVertex(camera, 0, 8, 100, 0, 1)};
    front.mesh.triangles = {{0, 1, 2, kFaceFront, 0}, {0, 2, 3, kFaceFront, 0}};
    SceneSurface& back = surfaces[1];
    back.mesh.vertices = {screenVertex(camera, 0, 0, 200), screenVertex(camera, 12, 0, 200),
                          screenVertex(camera, 12, 8, 200), screenVertex(camera, 0, 8, 200)};
    back.mesh.triangles = {{0, 1, 2, kFaceFront, 0}, {0, 2, 3, kFaceFront, 0}};
    const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kW, kH);
    RasterTiles tiles;
    ASSERT_TRUE(buildRasterTiles(prepared, kW, kH, tiles));

    // The GPU knows no textures: it answers the front square everywhere.
    std::vector<RasterResult> answers(static_cast<size_t>(kW * kH));
    for (int32_t y = 0; y < kH; ++y) {
        for (int32_t x = 0; x < kW; ++x) {
            const int32_t chosen = coverPixel(prepared[0], x, y).mask != 0 ? 0 : 1;
            answers[static_cast<size_t>(y * kW + x)] =
                RasterResult{chosen, coverPixel(prepared[static_cast<size_t>(chosen)], x, y).mask};
        }
    }
    FrameBuffers resolved = freshBuffers(kW, kH, true);
    resolveGpuRaster(surfaces, prepared, tiles, answers, resolved);
    FrameBuffers cpu = freshBuffers(kW, kH, true);
    bandRaster(surfaces, prepared, cpu);
    expectSameRaster(cpu, resolved, "transparent front");
    // Left edge: the back surface shows through; right edge: the front texels are opaque.
    EXPECT_EQ(resolved.surfaceIndex[static_cast<size_t>(3 * kW + 0)], 1);
    EXPECT_EQ(resolved.surfaceIndex[static_cast<size_t>(3 * kW + kW - 1)], 0);
}

}  // namespace
}  // namespace zephrin
