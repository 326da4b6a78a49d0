// The raster pass on a Vulkan device (lavapipe in CI), held against the CPU band raster.
#include "renderer/gpu/gpu_raster.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "gpu_test_device.h"
#include "gpu_test_scenes.h"
#include "renderer/gpu/gpu_raster_resolve.h"
#include "renderer/raster/raster_fragment.h"

namespace zephrin {
namespace {

using namespace gputest;

// On opaque scenes the shader's own answers already are the band raster's, up to single-precision
// differences at triangle edges; once accepted, the frame's buffers are the band raster's exactly.
TEST(GpuRaster, EqualsTheBandRasterOnOpaqueScenes) {
    SoftwareDevicesAllowed allowed;
    GpuContext context;
    if (!openTestDevice(context)) GTEST_SKIP() << "no Vulkan device: " << context.failureReason;
    std::mt19937_64 rng(0x13a);
    constexpr int32_t kW = 83, kH = 61;
    const SceneCamera camera = screenCamera(kW, kH);
    size_t covered = 0, edgeDisagreements = 0;
    for (int scene = 0; scene < 12; ++scene) {
        std::vector<SceneSurface> surfaces;
        for (int k = 0; k < 3; ++k) surfaces.push_back(randomGridSurface(rng, camera, k == 1 ? kFaceBack : kFaceFront));
        const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kW, kH);
        RasterTiles tiles;
        ASSERT_TRUE(buildRasterTiles(prepared, kW, kH, tiles));
        std::vector<RasterResult> answers;
        GpuRunInfo info;
        ASSERT_TRUE(dispatchRaster(context, tiles, kW, kH, answers, info)) << info.failureReason;
        ASSERT_EQ(answers.size(), static_cast<size_t>(kW * kH));

        FrameBuffers cpu = freshBuffers(kW, kH, true);
        bandRaster(surfaces, prepared, cpu);
        for (size_t p = 0; p < answers.size(); ++p) {
            if (cpu.preparedIndex[p] >= 0) ++covered;
            if (answers[p].preparedIndex == cpu.preparedIndex[p]) continue;
            // A disagreement is allowed only where the band raster's winner does not cover the whole
            // pixel (a sample within rounding of an edge) or the shader marked the depths contested.
            ++edgeDisagreements;
            EXPECT_TRUE(cpu.preparedIndex[p] < 0 || cpu.winnerMask[p] != 0xF ||
                        (answers[p].coverageMask & kRasterContestedBit) != 0)
                << "scene " << scene << " pixel " << p % kW << "," << p / kW << ": GPU " << answers[p].preparedIndex
                << ", CPU " << cpu.preparedIndex[p];
        }
        FrameBuffers resolved = freshBuffers(kW, kH, true);
        resolveGpuRaster(surfaces, prepared, tiles, answers, resolved);
        for (size_t p = 0; p < answers.size(); ++p) {
            ASSERT_EQ(resolved.preparedIndex[p], cpu.preparedIndex[p]) << "scene " << scene << " pixel " << p;
            ASSERT_EQ(resolved.coverage[p], cpu.coverage[p]);
            ASSERT_EQ(resolved.depth[p], cpu.depth[p]);
        }
    }
    EXPECT_LT(edgeDisagreements * 100, covered) << "more than 1 % of the pixels disagree";
    releaseGpuContext(context);
    expectNoValidationErrors(context);
}

TEST(GpuRaster, OnePixelTriangleLandsInOneTileAndOnePixel) {
    SoftwareDevicesAllowed allowed;
    GpuContext context;
    if (!openTestDevice(context)) GTEST_SKIP() << "no Vulkan device: " << context.failureReason;
    constexpr int32_t kW = 20, kH = 12;
    const SceneCamera camera = screenCamera(kW, kH);
    std::vector<SceneSurface> surfaces(1);
    surfaces[0].mesh.vertices = {screenVertex(camera, 9.1, 5.1, 100), screenVertex(camera, 9.9, 5.1, 100),
                                 screenVertex(camera, 9.1, 5.9, 100)};
    surfaces[0].mesh.triangles = {{0, 1, 2, kFaceFront, 0}};
    const std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kW, kH);
    RasterTiles tiles;
    ASSERT_TRUE(buildRasterTiles(prepared, kW, kH, tiles));
    size_t listed = 0;
    for (const RasterTile& tile : tiles.tiles) listed += tile.count;
    EXPECT_EQ(listed, 1u);
    std::vector<RasterResult> answers;
    GpuRunInfo info;
    ASSERT_TRUE(dispatchRaster(context, tiles, kW, kH, answers, info)) << info.failureReason;
    for (int32_t y = 0; y < kH; ++y) {
        for (int32_t x = 0; x < kW; ++x) {
            const RasterResult& r = answers[static_cast<size_t>(y * kW + x)];
            if (x == 9 && y == 5) {
                EXPECT_EQ(r.preparedIndex, 0);
                // (0.25, 0.25) inside, (0.75, 0.25) and (0.25, 0.75) on the long edge: inside as well.
                EXPECT_EQ(r.coverageMask, 7u);
                EXPECT_EQ(r.coverageMask, coverPixel(prepared[0], x, y).mask);
            } else {
                EXPECT_EQ(r.preparedIndex, -1) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(info.batchSizes, std::vector<uint32_t>{static_cast<uint32_t>(kW * kH)});
    releaseGpuContext(context);
    expectNoValidationErrors(context);
}

TEST(GpuRaster, TargetSizeLimits) {
    EXPECT_EQ(rasterResultCapacity(1), kMinRasterResultCapacity);
    EXPECT_EQ(rasterResultCapacity(8000ull * 8000ull), 67108864u);
    EXPECT_EQ(rasterResultCapacity(30000ull * 20000ull), 0u);
    GpuContext context;
    GpuDeviceOptions missing;
    missing.loaderName = "libvulkan-absent.so.1";
    {
        const std::lock_guard<std::mutex> held(context.lock);
        ensureGpuDevice(context, nullptr, missing);
    }
    RasterTiles tiles;
    tiles.tilesX = 1;
    tiles.triangles.resize(1);
    tiles.tiles.resize(1);
    std::vector<RasterResult> answers(3);
    GpuRunInfo info;
    EXPECT_FALSE(dispatchRaster(context, tiles, 4, 4, answers, info));
    EXPECT_EQ(info.failureReason, kGpuLoaderUnavailableReason);
    EXPECT_TRUE(answers.empty());
}

}  // namespace
}  // namespace zephrin
