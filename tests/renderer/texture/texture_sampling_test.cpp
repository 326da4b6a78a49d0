#include "renderer/texture/texture_sampling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "sdk/AE_Effect.h"

namespace zephrin {
namespace {

// Rows padded past their width with opaque magenta: a sampler that ignores rowBytes shows it.
constexpr int32_t kPad = 3;

template <typename Pixel>
struct Image {
    int32_t width, height;
    std::vector<Pixel> pixels;
    Image(int32_t w, int32_t h, Pixel pad) : width(w), height(h), pixels(static_cast<size_t>((w + kPad) * h), pad) {}
    Pixel& at(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y * (width + kPad) + x)]; }
    SurfaceTexture texture(AEGP_WorldType type) const {
        SurfaceTexture t;
        t.worldType = type;
        t.width = width;
        t.height = height;
        t.rowBytes = (width + kPad) * static_cast<int32_t>(sizeof(Pixel));
        t.baseAddress = pixels.data();
        return t;
    }
};
using Image8 = Image<PF_Pixel8>;
Image8 image8(int32_t w, int32_t h) { return Image8(w, h, PF_Pixel8{255, 255, 0, 255}); }

constexpr PackedColor kFallback = packColor(200, 10, 20, 30);
PackedColor argb(int a, int r, int g, int b) {
    return packColor(static_cast<uint8_t>(a), static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
}

TEST(SampleTexture, BilinearBetweenTexelCentresHonouringRowBytesAndUvRect) {
    Image8 image = image8(3, 3);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 3; ++x) image.at(x, y) = {255, static_cast<A_u_char>(x * 60), static_cast<A_u_char>(y * 40), 7};
    }
    SurfaceTexture t = image.texture(AEGP_WorldType_8);
    EXPECT_EQ(sampleTexture(t, kFallback, 0.0, 1.0), argb(255, 0, 80, 7));
    EXPECT_EQ(sampleTexture(t, kFallback, 1.0, 0.5), argb(255, 120, 40, 7));
    EXPECT_EQ(sampleTexture(t, kFallback, 0.25, 0.75), argb(255, 30, 60, 7));
    // Coordinates clamp to the image; they never reach the row padding.
    EXPECT_EQ(sampleTexture(t, kFallback, 7.0, -3.0), argb(255, 120, 0, 7));
    t.uvRect = UvRect{0.5, 0.0, 1.0, 0.5};
    EXPECT_EQ(sampleTexture(t, kFallback, 0.0, 1.0), argb(255, 60, 40, 7));
}

TEST(SampleTexture, ColourIsWeightedByAlphaAndFullyTransparentGivesTheFallback) {
    Image8 image = image8(2, 1);
    image.at(0, 0) = {255, 255, 0, 0};
    image.at(1, 0) = {0, 0, 255, 0};  // transparent: its green must not bleed into the edge
    EXPECT_EQ(sampleTexture(image.texture(AEGP_WorldType_8), kFallback, 0.5, 0.0), argb(128, 255, 0, 0));
    image.at(1, 0) = {85, 0, 255, 0};  // a third opaque: a third of the opaque neighbour's weight
    EXPECT_EQ(sampleTexture(image.texture(AEGP_WorldType_8), kFallback, 0.5, 0.0), argb(170, 191, 64, 0));
    image.at(0, 0) = {0, 90, 90, 90};
    image.at(1, 0) = {0, 90, 90, 90};
    EXPECT_EQ(sampleTexture(image.texture(AEGP_WorldType_8), kFallback, 0.3, 0.0), argb(0, 10, 20, 30));
}

TEST(SampleTexture, UnreadableTexturesGiveTheFallback) {
    Image8 image = image8(2, 2);
    EXPECT_EQ(sampleTexture(SurfaceTexture{}, kFallback, 0.5, 0.5), kFallback);
    SurfaceTexture shortRows = image.texture(AEGP_WorldType_8);
    shortRows.rowBytes = 4;  // shorter than a row: walking it would leave the image
    EXPECT_EQ(sampleTexture(shortRows, kFallback, 0.5, 0.5), kFallback);
    EXPECT_EQ(sampleTexture(image.texture(AEGP_WorldType_NONE), kFallback, 0.5, 0.5), kFallback);
}

TEST(SampleTexture, SixteenBitAndFloatWorldsMatchEightBit) {
    std::mt19937 rng(7);
    Image8 image = image8(4, 3);
    Image<PF_Pixel16> image16(4, 3, PF_Pixel16{32768, 32768, 0, 32768});
    Image<PF_PixelFloat> image32(4, 3, PF_PixelFloat{1.0f, 1.0f, 0.0f, 1.0f});
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            A_u_char c[4];
            for (A_u_char& channel : c) channel = static_cast<A_u_char>(rng() % 256);
            auto wide = [](A_u_char v) { return static_cast<A_u_short>(std::lround(v * 32768.0 / 255.0)); };
            image.at(x, y) = {c[0], c[1], c[2], c[3]};
            image16.at(x, y) = {wide(c[0]), wide(c[1]), wide(c[2]), wide(c[3])};
            image32.at(x, y) = {c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f, c[3] / 255.0f};
        }
    }
    for (double u : {0.0, 0.13, 0.5, 0.77, 1.0}) {
        for (double v : {0.0, 0.4, 1.0}) {
            PackedColor a = sampleTexture(image.texture(AEGP_WorldType_8), kFallback, u, v);
            for (PackedColor b : {sampleTexture(image16.texture(AEGP_WorldType_16), kFallback, u, v),
                                  sampleTexture(image32.texture(AEGP_WorldType_32), kFallback, u, v)}) {
                for (int shift = 0; shift < 32; shift += 8) {
                    EXPECT_NEAR((a >> shift) & 0xff, (b >> shift) & 0xff, 1) << u << "," << v << " byte " << shift / 8;
                }
            }
        }
    }
}

TEST(SampleTexture, FloatChannelsClampAndNonFiniteValuesAreIgnored) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Image<PF_PixelFloat> image(1, 1, PF_PixelFloat{});
    image.at(0, 0) = {2.0f, 1.5f, -0.5f, nan};
    SurfaceTexture t = image.texture(AEGP_WorldType_32);
    EXPECT_EQ(sampleTexture(t, kFallback, 0.5, 0.5), argb(255, 255, 0, 0));
    EXPECT_EQ(sampleTexture(t, kFallback, std::nan(""), std::numeric_limits<double>::infinity()), argb(255, 255, 0, 0));
}

// The 8-bit lookup (AVX2 where the processor has it) sums the channels side by side; each packed byte
// must still be the one the bilinear, alpha-weighted formula gives when computed channel by channel in
// texel order, transparent neighbourhoods (fallback colour) and a cropped uvRect included.
TEST(SampleTexture, EightBitLookupMatchesTheChannelByChannelSumExactly) {
    std::mt19937 rng(16);
    std::uniform_int_distribution<int> byte(0, 255);
    Image8 image = image8(13, 9);
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            // A third of the texels fully transparent, so that some neighbourhoods have no alpha at all,
            // except in the opaque top rows, where four neighbouring lookups often read only opaque texels.
            const int alpha = y < 5 ? 255 : (x + 2 * y) % 3 == 0 ? 0 : byte(rng);
            image.at(x, y) = {static_cast<A_u_char>(alpha), static_cast<A_u_char>(byte(rng)),
                              static_cast<A_u_char>(byte(rng)), static_cast<A_u_char>(byte(rng))};
        }
    }
    auto reference = [&](const SurfaceTexture& t, double u, double v) {
        auto position = [](int32_t size, double lo, double hi, double c) {
            const double unit = c > 0.0 ? (c < 1.0 ? c : 1.0) : 0.0;
            const double p = (size - 1) * (lo + (hi - lo) * unit);
            return p > 0.0 ? std::min(p, static_cast<double>(size - 1)) : 0.0;
        };
        const double x = position(t.width, t.uvRect.uMin, t.uvRect.uMax, u);
        const double y = position(t.height, t.uvRect.vMin, t.uvRect.vMax, v);
        const auto x0 = static_cast<int32_t>(x), y0 = static_cast<int32_t>(y);
        const int32_t x1 = std::min(x0 + 1, t.width - 1), y1 = std::min(y0 + 1, t.height - 1);
        const double fx = x - x0, fy = y - y0;
        const double weights[4] = {(1.0 - fx) * (1.0 - fy), fx * (1.0 - fy), (1.0 - fx) * fy, fx * fy};
        const PF_Pixel8 texels[4] = {image.at(x0, y0), image.at(x1, y0), image.at(x0, y1), image.at(x1, y1)};
        double a = 0.0, r = 0.0, g = 0.0, b = 0.0;
        for (int i = 0; i < 4; ++i) {
            const double w = weights[i] * (texels[i].alpha / 255.0);
            a += w;
            r += w * texels[i].red;
            g += w * texels[i].green;
            b += w * texels[i].blue;
        }
        if (a > kTextureAlphaFloor) {
            const double inverse = 1.0 / a;
            r *= inverse;
            g *= inverse;
            b *= inverse;
        } else {
            r = packedRed(kFallback);
            g = packedGreen(kFallback);
            b = packedBlue(kFallback);
        }
        auto pack = [](double c) { return static_cast<int>(std::clamp(c, 0.0, 255.0) + 0.5); };
        return argb(pack(a * 255.0), pack(r), pack(g), pack(b));
    };
    std::uniform_real_distribution<double> coordinate(-0.1, 1.1);
    for (const UvRect rect : {UvRect{0.0, 0.0, 1.0, 1.0}, UvRect{0.2, 0.1, 0.7, 0.8}}) {
        SurfaceTexture t = image.texture(AEGP_WorldType_8);
        t.uvRect = rect;
        double u[4] = {}, v[4] = {};
        PackedColor expected[4] = {};
        for (int i = 0; i < 4000; ++i) {
            const int lane = i % 4;
            u[lane] = coordinate(rng);
            v[lane] = coordinate(rng);
            expected[lane] = reference(t, u[lane], v[lane]);
            ASSERT_EQ(sampleTexture(t, kFallback, u[lane], v[lane]), expected[lane]) << u[lane] << ", " << v[lane];
            // Every path on the same input, whichever this processor takes.
            ASSERT_EQ(sampleTexture8Portable(t, kFallback, u[lane], v[lane]), expected[lane]);
            if (!wideTextureLookups()) continue;
            ASSERT_EQ(sampleTexture8Wide(t, kFallback, u[lane], v[lane]), expected[lane]) << u[lane] << ", " << v[lane];
            if (lane == 3) {
                PackedColor colors[4] = {};
                sampleTexture8Lanes(t, kFallback, u, v, colors);
                for (int k = 0; k < 4; ++k) ASSERT_EQ(colors[k], expected[k]) << u[k] << ", " << v[k];
            }
        }
    }
    if (wideTextureLookups()) {
        // Points that are not finite, in some lanes only: each lane is clamped on its own, as one
        // point at a time would be, and reads inside the image.
        const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
        SurfaceTexture t = image.texture(AEGP_WorldType_8);
        const double u[4] = {nan, 0.3, inf, -inf}, v[4] = {0.6, -inf, nan, inf};
        PackedColor colors[4] = {};
        sampleTexture8Lanes(t, kFallback, u, v, colors);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(colors[k], sampleTexture8Portable(t, kFallback, u[k], v[k])) << k;
        // An image one texel wide, whose rows hold no pair of texels: the lookups read inside it (the
        // address sanitizer sees a read before its first row) and answer as one point at a time.
        Image8 column = image8(1, 5);
        for (int32_t y = 0; y < 5; ++y) {
            column.at(0, y) = {static_cast<A_u_char>(50 * y + 5), 10, static_cast<A_u_char>(40 * y), 200};
        }
        const SurfaceTexture narrow = column.texture(AEGP_WorldType_8);
        const double cu[4] = {0.0, 0.5, 1.0, 0.2}, cv[4] = {0.0, 0.45, 0.8, 1.0};
        sampleTexture8Lanes(narrow, kFallback, cu, cv, colors);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(colors[k], sampleTexture8Portable(narrow, kFallback, cu[k], cv[k])) << k;
    }
    if (!wideTextureLookups()) GTEST_SKIP() << "no AVX2 here: only the portable path was checked";
}

// ---- faceColour -----------------------------------------------------------------------------------

// 5 x 1 images: the front's red and the back's green are 50 * x, so u = channel / 200.
struct TexturedSurface {
    Image8 front = image8(5, 1), back = image8(5, 1);
    SceneSurface surface;
    TexturedSurface() {
        for (int32_t x = 0; x < 5; ++x) {
            front.at(x, 0) = {255, static_cast<A_u_char>(x * 50), 0, 0};
            back.at(x, 0) = {255, 0, static_cast<A_u_char>(x * 50), 0};
        }
        surface.frontTexture = front.texture(AEGP_WorldType_8);
        surface.controls.hasFrontLayer = true;
    }
};

TEST(FaceColour, TilesMirrorAndOffsetMapU) {
    TexturedSurface s;
    BendControls& c = s.surface.controls;
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, 1.5), 1.0);  // no tiles: clamped
    c.tileCount = 2;
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, 1.25), 0.25);
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, -1.75), 0.25);
    // A whole number ends the previous tile; at or below 0 it starts the next one.
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, 2.0 + 1e-12), 1.0);
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, -1.0), 0.0);
    c.tileMirror = true;
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, 1.25), 0.75);
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, -0.75), 0.75);
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, 2.25), 0.25);
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, 2.0), 0.0);  // end of tile 1, mirrored
    c.tileMirror = false;
    c.tileOffset = 25.0;
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, 0.5), 0.75);
    c.tileOffset = 250.0;  // at most one whole tile
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, 0.5), 0.5);
    c.tileOffset = 0.0;
    c.frontFlip = true;
    EXPECT_EQ(packedRed(faceColour(s.surface, kFaceFront, 1.25, 0.0)), 150);
}

TEST(FaceColour, ClosedLoopsScrollByTheLoopPhase) {
    TexturedSurface s;
    s.surface.kind = kSurfaceBent;
    BendControls& c = s.surface.controls;
    c.closeEndpoints = true;
    c.loopPhase = 0.3;
    c.tileCount = 2;
    c.mode = 3;
    EXPECT_NEAR(mapFaceU(s.surface, 0.8), 0.1, 1e-12);
    EXPECT_EQ(mapFaceU(s.surface, std::nan("")), 0.0);
    c.mode = 1;  // Free Mode with tiles: unwrapped
    EXPECT_NEAR(mapFaceU(s.surface, 0.8), 1.1, 1e-12);
    s.surface.kind = kSurfaceFlat;  // only bent surfaces loop, and the switch turns tiles off
    EXPECT_DOUBLE_EQ(mapFaceU(s.surface, 0.8), 0.8);
}

TEST(FaceColour, FaceCodesPickTextureOrColourAndBorrowTheFrontMatte) {
    TexturedSurface s;
    BendControls& c = s.surface.controls;
    c.thicknessColor = argb(7, 1, 2, 3);
    c.backColor = argb(255, 9, 8, 7);
    s.front.at(0, 0).alpha = 0;
    s.front.at(1, 0).alpha = 0;  // the left part of the front layer is cut out

    // Thickness walls: always opaque, never borrowing.
    EXPECT_EQ(faceColour(s.surface, kFaceSideThickness, 0.1, 0.0), argb(255, 1, 2, 3));
    // Without a back image the back and the borrowing walls take the front's matte.
    EXPECT_EQ(faceColour(s.surface, kFaceBack, 0.1, 0.0), argb(0, 9, 8, 7));
    EXPECT_EQ(faceColour(s.surface, kFaceBack, 0.9, 0.0), argb(255, 9, 8, 7));
    EXPECT_EQ(faceColour(s.surface, kFaceSideFrontAlpha, 0.1, 0.0), argb(0, 1, 2, 3));
    // The matte is read where the front shows it.
    c.frontFlip = true;
    EXPECT_EQ(packedAlpha(faceColour(s.surface, kFaceBack, 0.9, 0.0)), 0);
    c.frontFlip = false;
    c.hasFrontLayer = false;
    EXPECT_EQ(packedAlpha(faceColour(s.surface, kFaceBack, 0.1, 0.0)), 255);
    c.hasFrontLayer = true;
    // A back image is used as it is, flipped on request.
    s.surface.backTexture = s.back.texture(AEGP_WorldType_8);
    EXPECT_EQ(faceColour(s.surface, kFaceBack, 0.25, 0.0), argb(255, 0, 50, 0));
    c.backFlip = true;
    EXPECT_EQ(faceColour(s.surface, kFaceBack, 0.25, 0.0), argb(255, 0, 150, 0));
}

// The raster takes faceColour's per-surface decisions once per triangle; whatever the surface and face,
// the lookup must answer exactly as faceColour does.
TEST(FaceColour, LookupTakenOnceAnswersAsFaceColourForEverySurfaceAndFace) {
    TexturedSurface s;
    s.front.at(1, 0).alpha = 0;
    Image<PF_Pixel16> wide(5, 1, PF_Pixel16{32768, 0, 0, 0});
    for (int32_t x = 0; x < 5; ++x) wide.at(x, 0) = {32768, static_cast<A_u_short>(x * 6000), 0, 0};
    Image8 solid(3, 2, PF_Pixel8{255, 40, 50, 60});
    SurfaceTexture uniform = solid.texture(AEGP_WorldType_8);
    noteUniformTexels(uniform);
    ASSERT_TRUE(uniform.uniform8);

    std::mt19937 rng(4);
    std::uniform_real_distribution<double> coordinate(-0.5, 1.5);
    int direct = 0;
    for (int variant = 0; variant < 9; ++variant) {
        TexturedSurface t;
        t.front.at(1, 0).alpha = 0;
        SceneSurface& surface = t.surface;
        BendControls& c = surface.controls;
        c.frontColor = argb(255, 1, 2, 3);
        c.frontFlip = variant % 2 == 1;
        if (variant == 2) c.tileCount = 3;
        if (variant == 3) {
            surface.kind = kSurfaceBent;
            c.closeEndpoints = true;
            c.loopPhase = 0.4;
        }
        if (variant == 4) c.closeEndpoints = true;  // a flat surface ignores the loop: u is clamped
        if (variant == 5) surface.frontTexture = wide.texture(AEGP_WorldType_16);
        if (variant == 6) surface.frontTexture = uniform;
        if (variant == 7) surface.frontTexture = SurfaceTexture{};
        if (variant == 8) surface.backTexture = t.back.texture(AEGP_WorldType_8);
        for (int32_t face : {kFaceFront, kFaceBack, kFaceSideFrontAlpha, kFaceObj, kFaceSideThickness}) {
            const FaceLookup lookup = faceLookup(surface, face);
            if (lookup.frontImage8 != nullptr) ++direct;
            for (int i = 0; i < 200; ++i) {
                const double u = coordinate(rng), v = coordinate(rng);
                ASSERT_EQ(lookUpFaceColour(lookup, surface, face, u, v), faceColour(surface, face, u, v))
                    << "variant " << variant << " face " << face << " at " << u << ", " << v;
            }
        }
    }
    // The fast path was taken where it may be (plain and flipped 8-bit fronts, clamped loops)...
    EXPECT_GT(direct, 0);
    // ...and never for a back face, a tiled front or a 16-bit image.
    TexturedSurface tiled;
    tiled.surface.controls.tileCount = 2;
    EXPECT_EQ(faceLookup(tiled.surface, kFaceFront).frontImage8, nullptr);
    EXPECT_EQ(faceLookup(s.surface, kFaceBack).frontImage8, nullptr);
    EXPECT_NE(faceLookup(s.surface, kFaceFront).frontImage8, nullptr);
}

}  // namespace
}  // namespace zephrin

namespace zephrin {
namespace {

TEST(SampleTexture, SolidImagesAnswerAsTheBilinearSumWould) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> coordinate(-0.2, 1.2);
    for (const PF_Pixel8 texel : {PF_Pixel8{255, 200, 40, 9}, PF_Pixel8{128, 255, 1, 254}, PF_Pixel8{1, 3, 2, 1},
                                  PF_Pixel8{0, 90, 90, 90}}) {
        // The padding differs from the texels: only the image itself counts.
        Image8 solid(37, 23, PF_Pixel8{255, 255, 0, 255});
        for (int32_t y = 0; y < solid.height; ++y) {
            for (int32_t x = 0; x < solid.width; ++x) solid.at(x, y) = texel;
        }
        SurfaceTexture fast = solid.texture(AEGP_WorldType_8);
        noteUniformTexels(fast);
        ASSERT_TRUE(fast.uniform8);
        SurfaceTexture general = solid.texture(AEGP_WorldType_8);
        ASSERT_FALSE(general.uniform8);
        for (int i = 0; i < 2000; ++i) {
            const double u = coordinate(rng), v = coordinate(rng);
            ASSERT_EQ(sampleTexture(fast, kFallback, u, v), sampleTexture(general, kFallback, u, v))
                << "alpha " << int{texel.alpha} << " at " << u << ", " << v;
        }
    }

    // One texel off, anywhere (here the last one), and the image is sampled in full.
    Image8 almost(16, 16, PF_Pixel8{255, 0, 0, 0});
    for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 16; ++x) almost.at(x, y) = PF_Pixel8{255, 10, 10, 10};
    }
    almost.at(15, 15) = PF_Pixel8{255, 11, 10, 10};
    SurfaceTexture t = almost.texture(AEGP_WorldType_8);
    noteUniformTexels(t);
    EXPECT_FALSE(t.uniform8);
    // Only 8-bit images are taken as solid.
    Image<PF_Pixel16> wide(4, 4, PF_Pixel16{32768, 0, 0, 0});
    SurfaceTexture t16 = wide.texture(AEGP_WorldType_16);
    noteUniformTexels(t16);
    EXPECT_FALSE(t16.uniform8);
}

}  // namespace
}  // namespace zephrin
