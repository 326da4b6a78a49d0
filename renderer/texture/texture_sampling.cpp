#include "renderer/texture/texture_sampling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "sdk/AE_Effect.h"

namespace zephrin {

namespace {

// One texel: alpha as a fraction, colour channels on the 0..255 scale.
struct Texel {
    double alpha = 0.0, red = 0.0, green = 0.0, blue = 0.0;
};

// Every byte as a double, read from a table rather than converted per channel.
constexpr std::array<double, 256> kByteValues = [] {
    std::array<double, 256> values{};
    for (size_t k = 0; k < values.size(); ++k) values[k] = static_cast<double>(k);
    return values;
}();

Texel toTexel(const PF_Pixel16& p) {
    constexpr double kFull16 = static_cast<double>(PF_MAX_CHAN16);
    constexpr double kTo255 = 255.0 / kFull16;
    return Texel{p.alpha / kFull16, p.red * kTo255, p.green * kTo255, p.blue * kTo255};
}

// Float worlds may hold anything; a NaN or infinity must not spread into the packed result.
Texel toTexel(const PF_PixelFloat& p) {
    return Texel{std::clamp(finiteOr(p.alpha, 0.0), 0.0, 1.0), finiteOr(p.red, 0.0) * 255.0,
                 finiteOr(p.green, 0.0) * 255.0, finiteOr(p.blue, 0.0) * 255.0};
}

template <typename Pixel>
Texel readTexel(const SurfaceTexture& texture, int32_t x, int32_t y) {
    return toTexel(texelAt<Pixel>(texture, x, y));
}

// Adds one texel's bilinear share: its weight times its alpha, and that times each colour channel.
void accumulate(Texel& sum, double weight, const Texel& texel) {
    const double w = weight * texel.alpha;
    sum.alpha += w;
    sum.red += w * texel.red;
    sum.green += w * texel.green;
    sum.blue += w * texel.blue;
}

// Rounds a channel to its byte. The clamped value plus one half is positive, where truncation is floor.
uint8_t packChannel(double x) { return static_cast<uint8_t>(std::clamp(x, 0.0, 255.0) + 0.5); }

// Wraps to the fractional part; anything not finite starts the loop over.
double wrapUnit(double x) {
    if (!std::isfinite(x)) return 0.0;
    double wrapped = x - std::floor(x);
    return wrapped < 0.0 ? wrapped + 1.0 : wrapped;
}

// Position within a tile of a tiled coordinate s, mirrored on odd tiles.
double tileFraction(double s, bool mirror) {
    double tile = 0.0;
    double fraction = 0.0;
    double nearest = std::round(s);
    if (std::fabs(s - nearest) <= kTileBoundaryEpsilon) {
        if (nearest > 0.0) {
            tile = nearest - 1.0;
            fraction = 1.0;
        } else {
            tile = nearest;
            fraction = 0.0;
        }
    } else {
        tile = std::floor(s);
        fraction = s - tile;
    }
    if (mirror && std::fabs(std::fmod(tile, 2.0)) == 1.0) fraction = 1.0 - fraction;
    return clampUnit(fraction);
}

// Where the processor has them, the 8-bit lookups use AVX2: a texel's four channels in one register.
// Only AVX2 is enabled for that code, not FMA, so every product and sum rounds as in the portable path.
const bool kWideLookups = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

}  // namespace

// A premultiplied texel sum back to straight colour; where nothing opaque was summed, the fallback's
// colour with the summed alpha.
inline PackedColor straightColour(double alpha, double red, double green, double blue, PackedColor fallback) {
    if (alpha > kTextureAlphaFloor) {
        const double inverseAlpha = 1.0 / alpha;
        red *= inverseAlpha;
        green *= inverseAlpha;
        blue *= inverseAlpha;
    } else {
        red = packedRed(fallback);
        green = packedGreen(fallback);
        blue = packedBlue(fallback);
    }
    return packColor(packChannel(alpha * 255.0), packChannel(red), packChannel(green), packChannel(blue));
}

PackedColor sampleTexture8Portable(const SurfaceTexture& texture, PackedColor fallback, double u, double v) {
    const BilinearCell8 cell = bilinearCell8(texture, u, v);
    // Texel by texel, in this order, so that the sums round the same way whatever the compiler does.
    double alpha = 0.0, red = 0.0, green = 0.0, blue = 0.0;
    for (int i = 0; i < 4; ++i) {
        const PF_Pixel8& p = *cell.texel[i];
        const double w = cell.weight[i] * kByteFractions[p.alpha];
        alpha += w;
        red += w * kByteValues[p.red];
        green += w * kByteValues[p.green];
        blue += w * kByteValues[p.blue];
    }
    return straightColour(alpha, red, green, blue, fallback);
}

// The lookup itself lives in texture_lookup8.h, where the raster's wide pixel loop takes it inline.
__attribute__((target("avx2"))) PackedColor sampleTexture8Wide(const SurfaceTexture& texture, PackedColor fallback,
                                                               double u, double v) {
    return lookUpTexture8Wide(texture, fallback, u, v);
}

PackedColor sampleTexture8(const SurfaceTexture& texture, PackedColor fallback, double u, double v) {
    return kWideLookups ? sampleTexture8Wide(texture, fallback, u, v) : sampleTexture8Portable(texture, fallback, u, v);
}

bool wideTextureLookups() { return kWideLookups; }

__attribute__((target("avx2"))) void sampleTexture8Lanes(const SurfaceTexture& texture, PackedColor fallback,
                                                         const double (&u)[4], const double (&v)[4],
                                                         PackedColor (&colors)[4]) {
    const __m128i packed = lookUpTexture8Lanes(texture8Lanes(texture, fallback), _mm256_loadu_pd(u), _mm256_loadu_pd(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(colors), packed);
}

namespace {

template <typename Pixel>
PackedColor sampleTyped(const SurfaceTexture& texture, PackedColor fallback, double u, double v) {
    const UvRect& rect = texture.uvRect;
    double x = texelPosition(texture.width, rect.uMin, rect.uMax, u);
    double y = texelPosition(texture.height, rect.vMin, rect.vMax, v);
    // Both positions lie in [0, size - 1], where truncation is floor.
    int32_t x0 = static_cast<int32_t>(x);
    int32_t y0 = static_cast<int32_t>(y);
    int32_t x1 = std::min(x0 + 1, texture.width - 1);
    int32_t y1 = std::min(y0 + 1, texture.height - 1);
    double fx = x - x0;
    double fy = y - y0;

    // Texel by texel, in this order, so that the sums round the same way whatever the compiler does.
    Texel sum;
    accumulate(sum, (1.0 - fx) * (1.0 - fy), readTexel<Pixel>(texture, x0, y0));
    accumulate(sum, fx * (1.0 - fy), readTexel<Pixel>(texture, x1, y0));
    accumulate(sum, (1.0 - fx) * fy, readTexel<Pixel>(texture, x0, y1));
    accumulate(sum, fx * fy, readTexel<Pixel>(texture, x1, y1));
    double alpha = sum.alpha, red = sum.red, green = sum.green, blue = sum.blue;
    return straightColour(alpha, red, green, blue, fallback);
}

}  // namespace

void noteUniformTexels(SurfaceTexture& texture) {
    texture.uniform8 = false;
    texture.uniformColor = 0;
    if (!walkablePixels(texture) || texture.worldType != AEGP_WorldType_8) return;
    const auto* base = static_cast<const unsigned char*>(texture.baseAddress);
    const auto rowBytes = static_cast<size_t>(texture.rowBytes);
    const auto width = static_cast<size_t>(texture.width);
    const PF_Pixel8 first = *reinterpret_cast<const PF_Pixel8*>(base);
    for (int32_t y = 0; y < texture.height; ++y) {
        const unsigned char* row = base + static_cast<size_t>(y) * rowBytes;
        for (size_t x = 0; x < width; ++x) {
            if (std::memcmp(row + x * sizeof(PF_Pixel8), &first, sizeof(PF_Pixel8)) != 0) return;
        }
    }
    texture.uniform8 = true;
    texture.uniformColor = packColor(first.alpha, first.red, first.green, first.blue);
}

PackedColor sampleTexture(const SurfaceTexture& texture, PackedColor fallback, double u, double v) {
    if (!walkablePixels(texture)) return fallback;
    if (texture.uniform8) {
        // What the bilinear sum of four equal texels rounds to: the texel itself, or, where it is fully
        // transparent, the fallback's colour with alpha 0.
        if (packedAlpha(texture.uniformColor) != 0) return texture.uniformColor;
        return packColor(0, packedRed(fallback), packedGreen(fallback), packedBlue(fallback));
    }
    switch (texture.worldType) {
        case AEGP_WorldType_8:
            return sampleTexture8(texture, fallback, u, v);
        case AEGP_WorldType_16:
            return sampleTyped<PF_Pixel16>(texture, fallback, u, v);
        default:
            return sampleTyped<PF_PixelFloat>(texture, fallback, u, v);
    }
}

double mapFaceU(const SceneSurface& surface, double u) {
    const BendControls& controls = surface.controls;
    if (surface.kind == kSurfaceBent && controls.closeEndpoints) {
        double scrolled = u + controls.loopPhase;
        // A closed Free Mode loop with tiles runs its texture across the tiles unwrapped.
        if (controls.mode == param::kModeFree && controls.tileCount >= 1) return scrolled;
        return wrapUnit(scrolled);
    }
    if (controls.closeEndpoints || controls.tileCount < 1) return clampUnit(u);
    double shifted = u + std::clamp(controls.tileOffset, -100.0, 100.0) * 0.01;
    return tileFraction(shifted, controls.tileMirror);
}

FaceLookup faceLookup(const SceneSurface& surface, int32_t faceCode) {
    FaceLookup lookup;
    const BendControls& controls = surface.controls;
    const SurfaceTexture& front = surface.frontTexture;
    // The cases faceColour sends straight to the front image's bilinear lookup with u only clamped.
    const bool frontFace = faceCode != kFaceBack && faceCode != kFaceSideThickness && faceCode != kFaceSideFrontAlpha;
    const bool clampsU = !(surface.kind == kSurfaceBent && controls.closeEndpoints) &&
                         (controls.closeEndpoints || controls.tileCount < 1);
    if (frontFace && clampsU && walkablePixels(front) && !front.uniform8 && front.worldType == AEGP_WorldType_8) {
        lookup.frontImage8 = &front;
        lookup.fallback = controls.frontColor;
        lookup.flipU = controls.frontFlip;
    }
    return lookup;
}

PackedColor faceColour(const SceneSurface& surface, int32_t faceCode, double u, double v) {
    const BendControls& controls = surface.controls;
    const double mapped = mapFaceU(surface, u);
    const double frontU = controls.frontFlip ? 1.0 - mapped : mapped;

    PackedColor color = 0;
    switch (faceCode) {
        case kFaceBack:
            color = sampleTexture(surface.backTexture, controls.backColor, controls.backFlip ? 1.0 - mapped : mapped,
                                  v);
            break;
        case kFaceSideThickness:
        case kFaceSideFrontAlpha:
            color = (controls.thicknessColor & ~PackedColor{0xff}) | PackedColor{0xff};
            break;
        default:
            color = sampleTexture(surface.frontTexture, controls.frontColor, frontU, v);
            break;
    }

    // Without a back image, the back and the borrowing sides take the front layer's matte, so a cut-out
    // layer stays cut out from behind.
    bool borrowsMatte = faceCode == kFaceBack || faceCode == kFaceSideFrontAlpha;
    if (borrowsMatte && !surface.backTexture.hasPixels() && surface.frontTexture.hasPixels() &&
        controls.hasFrontLayer) {
        PackedColor transparentFallback = controls.frontColor & ~PackedColor{0xff};
        PackedColor front = sampleTexture(surface.frontTexture, transparentFallback, frontU, v);
        color = (color & ~PackedColor{0xff}) | packedAlpha(front);
    }
    return color;
}

}  // namespace zephrin
