#include "host/host_world.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/render_context.h"
#include "sdk/AE_Effect.h"

namespace zephrin::host {
namespace {

PF_Pixel8 pixel8(const HostWorld& w, int32_t x, int32_t y) {
    PF_Pixel8 p;
    std::memcpy(&p, w.bytes.data() + static_cast<size_t>(y) * w.rowBytes + static_cast<size_t>(x) * sizeof p, sizeof p);
    return p;
}
PF_Pixel16 pixel16(const HostWorld& w, int32_t x, int32_t y) {
    PF_Pixel16 p;
    std::memcpy(&p, w.bytes.data() + static_cast<size_t>(y) * w.rowBytes + static_cast<size_t>(x) * sizeof p, sizeof p);
    return p;
}
PF_PixelFloat pixel32(const HostWorld& w, int32_t x, int32_t y) {
    PF_PixelFloat p;
    std::memcpy(&p, w.bytes.data() + static_cast<size_t>(y) * w.rowBytes + static_cast<size_t>(x) * sizeof p, sizeof p);
    return p;
}

TEST(HostWorld, RowsAreNeverTightAndStartTransparent) {
    for (AEGP_WorldType type : {AEGP_WorldType_8, AEGP_WorldType_16, AEGP_WorldType_32}) {
        HostWorld w = makeWorld(type, 7, 3);
        ASSERT_EQ(w.type, type);
        EXPECT_GT(w.rowBytes, 7 * pixelBytes(type));
        EXPECT_EQ(w.rowBytes % pixelBytes(type), 0u);  // every row starts on a pixel boundary
        EXPECT_EQ(w.bytes.size(), w.rowBytes * 3);
        for (uint8_t b : w.bytes) ASSERT_EQ(b, 0);
    }
    EXPECT_EQ(pixelBytes(AEGP_WorldType_8), 4u);
    EXPECT_EQ(pixelBytes(AEGP_WorldType_16), 8u);
    EXPECT_EQ(pixelBytes(AEGP_WorldType_32), 16u);
}

TEST(HostWorld, UnusableSizesAndTypesGiveNoWorld) {
    EXPECT_EQ(makeWorld(AEGP_WorldType_8, 0, 5).type, AEGP_WorldType_NONE);
    EXPECT_EQ(makeWorld(AEGP_WorldType_8, kMaxWorldSide + 1, 1).type, AEGP_WorldType_NONE);
    EXPECT_EQ(makeWorld(AEGP_WorldType_NONE, 4, 4).bytes.size(), 0u);
    EXPECT_EQ(makeWorld(7, 4, 4).type, AEGP_WorldType_NONE);
    EXPECT_EQ(worldTypeForBits(12), AEGP_WorldType_NONE);
}

TEST(HostWorld, ChannelScalesRoundAndClamp) {
    HostWorld w8 = makeWorld(AEGP_WorldType_8, 2, 1);
    writePixel(w8, 0, 0, {0.5, 1.5, -0.2, 1.0});
    PF_Pixel8 p8 = pixel8(w8, 0, 0);
    EXPECT_EQ(p8.red, 128);
    EXPECT_EQ(p8.green, 255);
    EXPECT_EQ(p8.blue, 0);
    EXPECT_EQ(p8.alpha, 255);

    HostWorld w16 = makeWorld(AEGP_WorldType_16, 2, 1);
    writePixel(w16, 1, 0, {1.0, 0.25, 0.0, 0.5});
    PF_Pixel16 p16 = pixel16(w16, 1, 0);
    EXPECT_EQ(p16.red, 32768);  // 16-bit full is 32768, not 65535
    EXPECT_EQ(p16.green, 8192);
    EXPECT_EQ(p16.alpha, 16384);

    HostWorld w32 = makeWorld(AEGP_WorldType_32, 1, 1);
    writePixel(w32, 0, 0, {0.125, 0.0, 1.0, 0.75});
    EXPECT_FLOAT_EQ(pixel32(w32, 0, 0).red, 0.125f);
    EXPECT_FLOAT_EQ(pixel32(w32, 0, 0).alpha, 0.75f);

    // Out of range writes and reads are ignored, not overruns.
    writePixel(w8, 2, 0, {1, 1, 1, 1});
    writePixel(w8, 0, -1, {1, 1, 1, 1});
    EXPECT_EQ(readPixel(w8, 5, 5)[3], 0.0);
}

// The destination of a frame is prefilled with the composition background in its own depth, at the
// downsampled size, and the padding between rows stays untouched.
// The destination holds premultiplied colour, so the background is stored premultiplied by its alpha.
TEST(HostWorld, DestinationIsPrefilledWithTheBackgroundInEveryDepth) {
    Composition comp;
    comp.width = 21;
    comp.height = 10;
    comp.background = {0.2, 0.4, 0.6, 0.5};
    HostState state;
    for (int32_t bits : {8, 16, 32}) {
        FrameRequest request;
        request.bitsPerChannel = bits;
        request.downsampleX = 2;
        request.downsampleY = 3;
        RenderContext& rc = beginRenderContext(state, comp, request);
        HostWorld w = endRenderContext(state, rc.handle);
        ASSERT_EQ(w.type, worldTypeForBits(bits));
        EXPECT_EQ(w.width, 11);  // ceil(21 / 2)
        EXPECT_EQ(w.height, 4);  // ceil(10 / 3)
        for (int32_t y = 0; y < w.height; ++y) {
            for (int32_t x = 0; x < w.width; ++x) {
                switch (bits) {
                    case 8: {
                        PF_Pixel8 p = pixel8(w, x, y);
                        ASSERT_EQ(p.alpha, 128);
                        ASSERT_EQ(p.red, 26);
                        ASSERT_EQ(p.green, 51);
                        ASSERT_EQ(p.blue, 77);
                        break;
                    }
                    case 16: {
                        PF_Pixel16 p = pixel16(w, x, y);
                        ASSERT_EQ(p.alpha, 16384);
                        ASSERT_EQ(p.red, 3277);
                        ASSERT_EQ(p.blue, 9830);
                        break;
                    }
                    default: {
                        PF_PixelFloat p = pixel32(w, x, y);
                        ASSERT_FLOAT_EQ(p.alpha, 0.5f);
                        ASSERT_FLOAT_EQ(p.green, 0.2f);
                        break;
                    }
                }
            }
            size_t padding = static_cast<size_t>(w.width) * pixelBytes(w.type);
            for (size_t b = padding; b < w.rowBytes; ++b) ASSERT_EQ(w.bytes[static_cast<size_t>(y) * w.rowBytes + b], 0);
        }
    }
    EXPECT_TRUE(state.worlds.empty());
    EXPECT_TRUE(state.renderContexts.empty());
    EXPECT_TRUE(state.layerContexts.empty());
}

TEST(HostWorld, FrameTimeIsExactForIntegerAndNtscRates) {
    A_Time t = frameTime(29.97, 2997);
    EXPECT_EQ(t.scale, 29970u);
    EXPECT_EQ(static_cast<double>(t.value) / t.scale, 100.0);
    A_Time u = frameTime(30.0, 45);
    EXPECT_EQ(static_cast<double>(u.value) / u.scale, 1.5);
    A_Time step = frameStep(24.0);
    EXPECT_EQ(step.value, 1000);
    EXPECT_EQ(step.scale, 24000u);
}

TEST(HostWorld, ImageFootageKeepsItsDepthAndStraightAlpha) {
    Footage image;
    image.kind = FootageKind::Image;
    image.width = 2;
    image.height = 2;
    // Top-left half-transparent red, the rest transparent; colour stays straight, not premultiplied.
    image.pixels = {1.0f, 0.0f, 0.0f, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 0.0f, 0.0f, 1.0f, 1.0f};
    for (int32_t bits : {8, 16, 32}) {
        image.bitsPerChannel = bits;
        HostWorld w = footageWorld(image);
        ASSERT_EQ(w.type, worldTypeForBits(bits));
        std::array<double, 4> topLeft = readPixel(w, 0, 0);
        EXPECT_NEAR(topLeft[0], 1.0, 1e-6);
        EXPECT_NEAR(topLeft[3], 0.5, 1.0 / 255.0);
        std::array<double, 4> bottomRight = readPixel(w, 1, 1);
        EXPECT_NEAR(bottomRight[2], 1.0, 1e-6);
        EXPECT_NEAR(bottomRight[3], 1.0, 1e-6);
        EXPECT_EQ(readPixel(w, 1, 0)[3], 0.0);
    }
    image.pixels.pop_back();  // a truncated pixel buffer is refused, never read past its end
    EXPECT_EQ(footageWorld(image).type, AEGP_WorldType_NONE);
}

}  // namespace
}  // namespace zephrin::host
