#include "renderer/post/silhouette_fade.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace zephrin {
namespace {

constexpr uint8_t kFullFour = 0x0F;
constexpr uint8_t kSevenFlag = 0x80;

// A raster of the given coverage masks (row-major), every pixel opaque.
FrameBuffers rasterOf(int32_t width, int32_t height, std::initializer_list<uint8_t> masks) {
    FrameBuffers buffers;
    buffers.rasterWidth = width;
    buffers.rasterHeight = height;
    buffers.coverage.assign(masks.begin(), masks.end());
    buffers.color.assign(4 * buffers.coverage.size(), 1.0);
    return buffers;
}

double alphaAt(const FrameBuffers& buffers, int x, int y) {
    return buffers.color[4 * static_cast<size_t>(y * buffers.rasterWidth + x) + 3];
}

TEST(SilhouetteFade, CoverageFractionCountsOnlyThePatternsSamples) {
    EXPECT_DOUBLE_EQ(coverageFraction(0x00), 0.0);
    EXPECT_DOUBLE_EQ(coverageFraction(0x05), 0.5);
    EXPECT_DOUBLE_EQ(coverageFraction(kFullFour), 1.0);
    // Bits 4..6 are not samples of the four-sample pattern.
    EXPECT_DOUBLE_EQ(coverageFraction(0x70), 0.0);
    EXPECT_DOUBLE_EQ(coverageFraction(kSevenFlag | 0x07), 3.0 / 7.0);
    EXPECT_DOUBLE_EQ(coverageFraction(kSevenFlag | 0x7F), 1.0);
    EXPECT_DOUBLE_EQ(coverageFraction(kSevenFlag), 0.0);
}

TEST(SilhouetteFade, HalfCoveredPixelBesideEmptyPixelKeepsHalfAlpha) {
    FrameBuffers buffers = rasterOf(3, 3,
                                    {kFullFour, kFullFour, kFullFour,  //
                                     0x00, 0x03, kFullFour,            //
                                     kFullFour, kFullFour, kFullFour});
    fadeSilhouettes(buffers);
    EXPECT_DOUBLE_EQ(alphaAt(buffers, 1, 1), 0.5);
    EXPECT_DOUBLE_EQ(alphaAt(buffers, 0, 0), 1.0);
}

TEST(SilhouetteFade, HalfCoveredPixelSurroundedByCoverageKeepsFullAlpha) {
    FrameBuffers buffers = rasterOf(3, 3,
                                    {0x00, kFullFour, 0x00,       //
                                     kFullFour, 0x03, kFullFour,  //
                                     0x00, kFullFour, 0x00});
    fadeSilhouettes(buffers);
    // Diagonal neighbours do not count.
    EXPECT_DOUBLE_EQ(alphaAt(buffers, 1, 1), 1.0);
}

TEST(SilhouetteFade, RasterBorderCountsAsUncovered) {
    FrameBuffers buffers = rasterOf(2, 1, {0x03, kFullFour});
    fadeSilhouettes(buffers);
    EXPECT_DOUBLE_EQ(alphaAt(buffers, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(alphaAt(buffers, 1, 0), 1.0);
}

TEST(SilhouetteFade, AlphaIsScaledOnceHoweverManyNeighboursAreEmpty) {
    FrameBuffers buffers = rasterOf(3, 3,
                                    {0x00, 0x00, 0x00,  //
                                     0x00, 0x01, 0x00,  //
                                     0x00, 0x00, 0x00});
    fadeSilhouettes(buffers);
    EXPECT_DOUBLE_EQ(alphaAt(buffers, 1, 1), 0.25);
}

TEST(SilhouetteFade, SevenSampleEdgePixelUsesSevenths) {
    FrameBuffers buffers = rasterOf(1, 1, {static_cast<uint8_t>(kSevenFlag | 0x07)});
    fadeSilhouettes(buffers);
    EXPECT_DOUBLE_EQ(alphaAt(buffers, 0, 0), 3.0 / 7.0);
}

TEST(SilhouetteFade, FullyCoveredAndEmptyPixelsAreUnchanged) {
    FrameBuffers buffers = rasterOf(2, 1, {kFullFour, 0x00});
    buffers.color[3] = 0.8;
    buffers.color[7] = 0.0;
    fadeSilhouettes(buffers);
    EXPECT_DOUBLE_EQ(alphaAt(buffers, 0, 0), 0.8);
    EXPECT_DOUBLE_EQ(alphaAt(buffers, 1, 0), 0.0);
}

}  // namespace
}  // namespace zephrin
