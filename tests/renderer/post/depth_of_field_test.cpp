#include "renderer/post/depth_of_field.h"

#include <gtest/gtest.h>

#include "render_log_capture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace zephrin {
namespace {
using test::RenderLog;

constexpr double kEmpty = std::numeric_limits<double>::infinity();

SceneCamera dofCamera(int32_t width, int32_t height) {
    SceneCamera camera;
    camera.compWidth = camera.destWidth = width;
    camera.compHeight = camera.destHeight = height;
    camera.focal = 100.0;
    camera.dofEnabled = true;
    camera.focusDistance = 100.0;
    camera.aperture = 20.0;
    camera.blurLevel = 100.0;
    return camera;
}

FrameBuffers rasterOf(int32_t width, int32_t height) {
    FrameBuffers b;
    b.rasterWidth = width;
    b.rasterHeight = height;
    allocateFrameBuffers(b, FrameBufferSet{});
    return b;
}


TEST(DepthOfField, RadiusGrowsAwayFromFocusWithinTheLimit) {
    SceneCamera camera = dofCamera(100, 100);
    EXPECT_EQ(depthOfFieldRadius(camera, 100.0), 0);
    // A depth interpolated across a card at the focus distance lands a hair off it: still sharp.
    EXPECT_EQ(depthOfFieldRadius(camera, 100.0 + 1e-11), 0);
    EXPECT_EQ(depthOfFieldRadius(camera, 100.0 - 1e-11), 0);
    // aperture 0.5 * defocus * blur scale * raster scale: 20 * 0.5 * 0.5 = 5.
    EXPECT_EQ(depthOfFieldRadius(camera, 200.0), 5);
    EXPECT_EQ(depthOfFieldRadius(camera, 50.0), 10);
    EXPECT_EQ(depthOfFieldRadius(camera, kEmpty), 0);
    EXPECT_EQ(depthOfFieldRadius(camera, 0.4), 0);
    // blurLevel 500 counts as 400 %; on a 100 x 100 raster no radius exceeds 15.
    camera.blurLevel = 500.0;
    camera.aperture = 1e6;
    EXPECT_EQ(depthOfFieldRadius(camera, 1e5), 15);
    camera.aperture = 20.0;
    EXPECT_EQ(depthOfFieldRadius(camera, 200.0), 15);  // 20 * 0.5 * 0.5 * 4 = 20, limited
    camera.blurLevel = 0.0;
    EXPECT_EQ(depthOfFieldRadius(camera, 200.0), 0);
    // A half-size raster of the same composition halves the radius.
    camera = dofCamera(100, 100);
    camera.destWidth = camera.destHeight = 50.0;
    EXPECT_EQ(depthOfFieldRadius(camera, 200.0), 3);  // ceil(2.5)
}

TEST(DepthOfField, SpreadFallsByOnePixelIntoTheEmptyBackground) {
    const int32_t w = 9, h = 3;
    std::vector<double> depth(w * h, kEmpty);
    std::vector<int32_t> radii(w * h, 0);
    depth[1 * w + 4] = 200.0;
    radii[1 * w + 4] = 5;
    depth[1 * w + 8] = 100.0;  // an in-focus pixel keeps 0 even beside the spread
    std::vector<int32_t> spread = spreadDepthOfFieldRadii(radii, depth, w, h);
    EXPECT_EQ(spread[1 * w + 4], 5);
    EXPECT_EQ(spread[1 * w + 3], 4);
    EXPECT_EQ(spread[1 * w + 2], 3);
    EXPECT_EQ(spread[1 * w + 0], 1);
    EXPECT_EQ(spread[0 * w + 4], 4);
    EXPECT_EQ(spread[0 * w + 3], 3);
    EXPECT_EQ(spread[1 * w + 7], 2);
    EXPECT_EQ(spread[1 * w + 8], 0);
}

TEST(DepthOfField, InFocusPixelsStaySharpAndEdgesBleedIntoTransparency) {
    RenderLog log;
    const int32_t w = 30, h = 30;  // limit: 15 % of 30 = 4.5 pixels
    FrameBuffers b = rasterOf(w, h);
    SceneCamera camera = dofCamera(w, h);
    camera.aperture = 16.0;  // radius 4 at depth 200
    // Columns 0..9: in focus, red. Columns 10..14: out of focus, green. The rest: empty.
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < 15; ++x) {
            size_t i = static_cast<size_t>(y * w + x);
            b.depth[i] = x < 10 ? 100.0 : 200.0;
            b.color[4 * i + (x < 10 ? 0 : 1)] = 1.0;
            b.color[4 * i + 3] = 1.0;
        }
    }
    applyDepthOfField(b, camera);
    auto pixel = [&](int32_t x) { return &b.color[4 * static_cast<size_t>(15 * w + x)]; };
    // In focus: untouched even beside blurred neighbours.
    EXPECT_EQ(pixel(9)[0], 1.0);
    EXPECT_EQ(pixel(9)[1], 0.0);
    // The blurred block mixes in the red neighbour by alpha, but stays opaque.
    EXPECT_GT(pixel(10)[0], 0.0);
    EXPECT_EQ(pixel(10)[3], 1.0);
    // The empty pixel beside it takes green with partial alpha; alpha falls outward.
    EXPECT_EQ(pixel(15)[1], 1.0);
    EXPECT_GT(pixel(15)[3], 0.0);
    EXPECT_LT(pixel(15)[3], 1.0);
    EXPECT_GT(pixel(15)[3], pixel(17)[3]);
    // Windows that hold nothing opaque are transparent black.
    for (int c = 0; c < 4; ++c) EXPECT_EQ(pixel(29)[c], 0.0);
    EXPECT_NE(log.text().find("RendererV2DOF: focus=100 aperture=16 blur=100 maxRadius=4\n"), std::string::npos)
        << log.text();
}

TEST(DepthOfField, OffOrAllSharpLeavesTheRasterAndLogUntouched) {
    RenderLog log;
    FrameBuffers b = rasterOf(8, 8);
    std::fill(b.depth.begin(), b.depth.end(), 100.0);
    for (size_t i = 0; i < b.color.size(); ++i) b.color[i] = (i % 7) / 7.0;
    const std::vector<double> before = b.color;
    applyDepthOfField(b, dofCamera(8, 8));  // every pixel in focus
    // A card facing the camera at the focus distance, its depth interpolated a hair either side.
    for (size_t i = 0; i < b.depth.size(); ++i) b.depth[i] = 100.0 + (i % 2 ? 1e-11 : -1e-11);
    applyDepthOfField(b, dofCamera(8, 8));
    SceneCamera off = dofCamera(8, 8);
    off.dofEnabled = false;
    std::fill(b.depth.begin(), b.depth.end(), 900.0);
    applyDepthOfField(b, off);
    EXPECT_EQ(b.color, before);
    EXPECT_EQ(log.text(), "");
}

}  // namespace
}  // namespace zephrin
