#include "renderer/post/blend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "host/host_world.h"
#include "host_fixture.h"

namespace zephrin {
namespace {

using host::HostWorld;
using testhost::kWorldFill;
using testhost::pixelAt;

// A host world with every byte, row padding included, at kWorldFill.
HostWorld filledWorld(AEGP_WorldType type, int32_t width, int32_t height) {
    HostWorld world = host::makeWorld(type, width, height);
    std::memset(world.bytes.data(), kWorldFill, world.bytes.size());
    return world;
}

FrameBuffers buffersOver(HostWorld& world, int32_t rasterWidth, int32_t rasterHeight) {
    FrameBuffers buffers;
    buffers.worldType = world.type;
    switch (world.type) {
        case AEGP_WorldType_8:
            buffers.base8 = reinterpret_cast<PF_Pixel8*>(world.bytes.data());
            break;
        case AEGP_WorldType_16:
            buffers.base16 = reinterpret_cast<PF_Pixel16*>(world.bytes.data());
            break;
        default:
            buffers.base32 = reinterpret_cast<PF_PixelFloat*>(world.bytes.data());
            break;
    }
    buffers.rowBytes = static_cast<int32_t>(world.rowBytes);
    buffers.destWidth = world.width;
    buffers.destHeight = world.height;
    buffers.rasterWidth = rasterWidth;
    buffers.rasterHeight = rasterHeight;
    buffers.color.assign(4 * buffers.pixelCount(), 0.0);
    return buffers;
}

void setRasterColor(FrameBuffers& buffers, int x, int y, double r, double g, double b, double a) {
    double* c = &buffers.color[4 * static_cast<size_t>(y * buffers.rasterWidth + x)];
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

TEST(Blend, AlphaAtOrBelowThresholdLeavesEveryDepthUntouched) {
    for (AEGP_WorldType type : {AEGP_WorldType_8, AEGP_WorldType_16, AEGP_WorldType_32}) {
        HostWorld world = filledWorld(type, 3, 1);
        const std::vector<uint8_t> before = world.bytes;
        FrameBuffers buffers = buffersOver(world, 3, 1);
        setRasterColor(buffers, 0, 0, 1.0, 1.0, 1.0, kBlendMinAlpha);
        setRasterColor(buffers, 1, 0, 1.0, 1.0, 1.0, 0.0);
        setRasterColor(buffers, 2, 0, 1.0, 1.0, 1.0, std::numeric_limits<double>::quiet_NaN());
        blendIntoDestination(buffers);
        EXPECT_EQ(world.bytes, before) << "world type " << type;
    }
}

TEST(Blend, OpaquePixelReplacesDestinationInEveryDepth) {
    HostWorld w8 = filledWorld(AEGP_WorldType_8, 1, 1);
    FrameBuffers b8 = buffersOver(w8, 1, 1);
    setRasterColor(b8, 0, 0, 0.2, 0.5, 1.0, 1.0);
    blendIntoDestination(b8);
    const PF_Pixel8& p8 = pixelAt<PF_Pixel8>(w8, 0, 0);
    EXPECT_EQ(p8.alpha, 255);
    EXPECT_EQ(p8.red, 51);     // 0.2 * 255 = 51
    EXPECT_EQ(p8.green, 128);  // 127.5 rounds up
    EXPECT_EQ(p8.blue, 255);

    HostWorld w16 = filledWorld(AEGP_WorldType_16, 1, 1);
    FrameBuffers b16 = buffersOver(w16, 1, 1);
    setRasterColor(b16, 0, 0, 0.2, 0.5, 1.0, 1.0);
    blendIntoDestination(b16);
    const PF_Pixel16& p16 = pixelAt<PF_Pixel16>(w16, 0, 0);
    // 16-bit channels run to 32768, not 65535.
    EXPECT_EQ(p16.alpha, 32768);
    EXPECT_EQ(p16.red, 6554);  // 6553.6
    EXPECT_EQ(p16.green, 16384);
    EXPECT_EQ(p16.blue, 32768);

    HostWorld w32 = filledWorld(AEGP_WorldType_32, 1, 1);
    FrameBuffers b32 = buffersOver(w32, 1, 1);
    setRasterColor(b32, 0, 0, 0.2, 0.5, 1.0, 1.0);
    blendIntoDestination(b32);
    const PF_PixelFloat& p32 = pixelAt<PF_PixelFloat>(w32, 0, 0);
    EXPECT_FLOAT_EQ(p32.alpha, 1.0f);
    EXPECT_FLOAT_EQ(p32.red, 0.2f);
    EXPECT_FLOAT_EQ(p32.green, 0.5f);
    EXPECT_FLOAT_EQ(p32.blue, 1.0f);
}

TEST(Blend, PartialAlphaCompositesOverDestinationWithRounding) {
    HostWorld w8 = filledWorld(AEGP_WorldType_8, 1, 1);
    pixelAt<PF_Pixel8>(w8, 0, 0) = PF_Pixel8{0, 100, 255, 10};
    FrameBuffers b8 = buffersOver(w8, 1, 1);
    setRasterColor(b8, 0, 0, 0.5, 0.0, 0.0, 0.5);
    blendIntoDestination(b8);
    const PF_Pixel8& p8 = pixelAt<PF_Pixel8>(w8, 0, 0);
    EXPECT_EQ(p8.alpha, 128);  // 0 * 0.5 + 0.5 -> 127.5 rounds up
    EXPECT_EQ(p8.red, 114);    // (100 / 255) * 0.5 + 0.25 = 0.44608 -> 113.75
    EXPECT_EQ(p8.green, 128);  // 1 * 0.5 -> 127.5
    EXPECT_EQ(p8.blue, 5);

    HostWorld w16 = filledWorld(AEGP_WorldType_16, 1, 1);
    pixelAt<PF_Pixel16>(w16, 0, 0) = PF_Pixel16{32768, 16384, 3, 32768};
    FrameBuffers b16 = buffersOver(w16, 1, 1);
    setRasterColor(b16, 0, 0, 0.0, 0.0, 1.0, 0.25);
    blendIntoDestination(b16);
    const PF_Pixel16& p16 = pixelAt<PF_Pixel16>(w16, 0, 0);
    EXPECT_EQ(p16.alpha, 32768);
    EXPECT_EQ(p16.red, 12288);  // 0.5 * 0.75
    EXPECT_EQ(p16.green, 2);    // 3 * 0.75 = 2.25
    EXPECT_EQ(p16.blue, 32768);

    HostWorld w32 = filledWorld(AEGP_WorldType_32, 1, 1);
    pixelAt<PF_PixelFloat>(w32, 0, 0) = PF_PixelFloat{0.5f, 0.25f, 1.0f, 0.0f};
    FrameBuffers b32 = buffersOver(w32, 1, 1);
    setRasterColor(b32, 0, 0, 1.0, 0.0, 0.5, 0.5);
    blendIntoDestination(b32);
    const PF_PixelFloat& p32 = pixelAt<PF_PixelFloat>(w32, 0, 0);
    EXPECT_FLOAT_EQ(p32.alpha, 0.75f);
    EXPECT_FLOAT_EQ(p32.red, 0.625f);
    EXPECT_FLOAT_EQ(p32.green, 0.5f);
    EXPECT_FLOAT_EQ(p32.blue, 0.25f);
}

TEST(Blend, OutOfRangeAndNonFiniteChannelsAreClamped) {
    HostWorld w8 = filledWorld(AEGP_WorldType_8, 1, 1);
    FrameBuffers b8 = buffersOver(w8, 1, 1);
    setRasterColor(b8, 0, 0, 1.5, -0.25, std::numeric_limits<double>::quiet_NaN(), 1.0);
    blendIntoDestination(b8);
    const PF_Pixel8& p8 = pixelAt<PF_Pixel8>(w8, 0, 0);
    EXPECT_EQ(p8.red, 255);
    EXPECT_EQ(p8.green, 0);
    EXPECT_EQ(p8.blue, 0);

    HostWorld w32 = filledWorld(AEGP_WorldType_32, 1, 1);
    FrameBuffers b32 = buffersOver(w32, 1, 1);
    setRasterColor(b32, 0, 0, 1.5, -0.25, 0.5, 1.0);
    blendIntoDestination(b32);
    const PF_PixelFloat& p32 = pixelAt<PF_PixelFloat>(w32, 0, 0);
    EXPECT_FLOAT_EQ(p32.red, 1.0f);
    EXPECT_FLOAT_EQ(p32.green, 0.0f);
}

TEST(Blend, WritesEachRowAtItsStrideAndLeavesPaddingAlone) {
    for (AEGP_WorldType type : {AEGP_WorldType_8, AEGP_WorldType_16, AEGP_WorldType_32}) {
        HostWorld world = filledWorld(type, 3, 4);
        FrameBuffers buffers = buffersOver(world, 3, 4);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 3; ++x) setRasterColor(buffers, x, y, 0.0, 0.0, 0.0, 1.0);
        }
        blendIntoDestination(buffers);
        const size_t rowPixels = 3 * host::pixelBytes(type);
        for (size_t i = 0; i < world.bytes.size(); ++i) {
            bool padding = i % world.rowBytes >= rowPixels;
            if (padding) {
                ASSERT_EQ(world.bytes[i], kWorldFill) << "type " << type << " byte " << i;
            } else {
                ASSERT_NE(world.bytes[i], kWorldFill) << "type " << type << " byte " << i;
            }
        }
    }
}

TEST(Blend, QuarterRasterFillsEachDestinationBlock) {
    // A 7 x 5 destination under a 2 x 2 raster: columns split 0-2 | 3-6, rows 0-1 | 2-4.
    HostWorld world = filledWorld(AEGP_WorldType_8, 7, 5);
    FrameBuffers buffers = buffersOver(world, 2, 2);
    setRasterColor(buffers, 0, 0, 1.0, 0.0, 0.0, 1.0);
    setRasterColor(buffers, 1, 0, 0.0, 1.0, 0.0, 1.0);
    setRasterColor(buffers, 0, 1, 0.0, 0.0, 1.0, 1.0);
    setRasterColor(buffers, 1, 1, 1.0, 1.0, 1.0, 1.0);
    blendIntoDestination(buffers);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            const PF_Pixel8& p = pixelAt<PF_Pixel8>(world, x, y);
            int rx = x < 3 ? 0 : 1, ry = y < 2 ? 0 : 1;
            const double* c = &buffers.color[4 * static_cast<size_t>(ry * 2 + rx)];
            EXPECT_EQ(p.red, c[0] * 255) << x << "," << y;
            EXPECT_EQ(p.green, c[1] * 255) << x << "," << y;
            EXPECT_EQ(p.blue, c[2] * 255) << x << "," << y;
            EXPECT_EQ(p.alpha, 255);
        }
    }
}

// Every 8-bit byte is the one the compositing formula gives (scaled, clamped, rounded half up), over
// random destinations and sources, out-of-range and NaN sources included.
TEST(Blend, EightBitPixelsMatchThePerChannelFormulaExactly) {
    constexpr int kWidth = 64, kHeight = 32;
    std::mt19937 rng(16);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_real_distribution<double> channel(-0.1, 1.1);
    HostWorld world = filledWorld(AEGP_WorldType_8, kWidth, kHeight);
    FrameBuffers buffers = buffersOver(world, kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            pixelAt<PF_Pixel8>(world, x, y) =
                PF_Pixel8{static_cast<A_u_char>(byte(rng)), static_cast<A_u_char>(byte(rng)),
                          static_cast<A_u_char>(byte(rng)), static_cast<A_u_char>(byte(rng))};
            const double alpha = x % 7 == 0 ? 1.0 : std::uniform_real_distribution<double>(0.0, 1.0)(rng);
            const double red = x % 11 == 0 ? std::numeric_limits<double>::quiet_NaN() : channel(rng);
            setRasterColor(buffers, x, y, red, channel(rng), channel(rng), alpha);
        }
    }
    HostWorld before = world;
    blendIntoDestination(buffers);
    auto expected = [](A_u_char d, double s, double a) {
        const double x = (d / 255.0 * (1.0 - a) + s * a) * 255.0;
        const double clamped = x > 0.0 ? (x < 255.0 ? x : 255.0) : 0.0;
        return static_cast<int>(std::floor(clamped + 0.5));
    };
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const PF_Pixel8& d = pixelAt<PF_Pixel8>(before, x, y);
            const PF_Pixel8& p = pixelAt<PF_Pixel8>(world, x, y);
            const double* c = &buffers.color[4 * static_cast<size_t>(y * kWidth + x)];
            if (!(c[3] > kBlendMinAlpha)) {
                EXPECT_EQ(std::memcmp(&p, &d, sizeof p), 0) << x << "," << y;
                continue;
            }
            ASSERT_EQ(p.alpha, expected(d.alpha, 1.0, c[3])) << x << "," << y;
            ASSERT_EQ(p.red, expected(d.red, c[0], c[3])) << x << "," << y;
            ASSERT_EQ(p.green, expected(d.green, c[1], c[3])) << x << "," << y;
            ASSERT_EQ(p.blue, expected(d.blue, c[2], c[3])) << x << "," << y;
        }
    }
}

TEST(Blend, WideAndPortableEightBitRowsWriteTheSameBytes) {
    // Every destination byte value, and raster colours in and out of range, infinite, NaN and
    // negative zero, under alphas at and around the threshold, opaque and above one.
    constexpr int64_t kWidth = 1024;
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const double specials[] = {0.0, -0.0, 1.0, 0.5, 1.0 / 255.0, 254.5 / 255.0, 1.5, -0.25, kInfinity, -kInfinity,
                               std::numeric_limits<double>::quiet_NaN()};
    const double alphas[] = {kBlendMinAlpha, 0.0011, 1.0, 0.5, 1.25, 1e-300, std::numeric_limits<double>::quiet_NaN()};
    std::mt19937 rng(23);
    std::uniform_int_distribution<int> byte(0, 255), special(0, 10), pickAlpha(0, 6), coin(0, 3);
    std::uniform_real_distribution<double> channel(-0.1, 1.1), unit(0.0, 1.0);
    std::vector<PF_Pixel8> row(kWidth);
    std::vector<double> colour(4 * kWidth);
    for (int64_t x = 0; x < kWidth; ++x) {
        const auto value = static_cast<A_u_char>(x % 256);
        row[static_cast<size_t>(x)] = PF_Pixel8{value, static_cast<A_u_char>(255 - value),
                                                static_cast<A_u_char>(byte(rng)), static_cast<A_u_char>(byte(rng))};
        for (int k = 0; k < 3; ++k) {
            colour[static_cast<size_t>(4 * x + k)] = coin(rng) == 0 ? specials[special(rng)] : channel(rng);
        }
        colour[static_cast<size_t>(4 * x + 3)] = coin(rng) == 0 ? alphas[pickAlpha(rng)] : unit(rng);
    }
    std::vector<PF_Pixel8> portable = row;
    blendRow8Portable(portable.data(), colour.data(), kWidth);
    size_t changed = 0;
    for (int64_t x = 0; x < kWidth; ++x) {
        changed += std::memcmp(&portable[static_cast<size_t>(x)], &row[static_cast<size_t>(x)], sizeof(PF_Pixel8)) != 0;
    }
    EXPECT_GT(changed, static_cast<size_t>(kWidth / 2));
    if (!wideBlend()) GTEST_SKIP() << "no AVX2 here: only the portable row was run";
    std::vector<PF_Pixel8> wide = row;
    blendRow8Wide(wide.data(), colour.data(), kWidth);
    for (int64_t x = 0; x < kWidth; ++x) {
        const PF_Pixel8& p = portable[static_cast<size_t>(x)];
        const PF_Pixel8& w = wide[static_cast<size_t>(x)];
        ASSERT_EQ(std::memcmp(&p, &w, sizeof p), 0)
            << x << ": " << int(p.alpha) << "," << int(p.red) << "," << int(p.green) << "," << int(p.blue) << " vs "
            << int(w.alpha) << "," << int(w.red) << "," << int(w.green) << "," << int(w.blue);
    }
}

}  // namespace
}  // namespace zephrin
