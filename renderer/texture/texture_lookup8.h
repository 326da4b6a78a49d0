// The bilinear lookup of an 8-bit texture, in a header so that the raster's wide pixel loop takes it
// inline: the lookup runs once per drawn fragment, and a call per fragment costs about as much as
// the work it calls. sampleTexture8 (texture_sampling.h) is the entry point for everything else.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

#include "renderer/scene/frame_scene.h"
#include "renderer/texture/clamps.h"
#include "renderer/texture/pixel_formats.h"

namespace zephrin {

// Below this summed texel alpha the colour channels are meaningless and the fallback colour stands.
constexpr double kTextureAlphaFloor = 1e-6;

// Texel coordinate along one axis. A uvRect outside 0..1 would put the position past the image; it is
// held at the edge texel instead of extrapolating with negative weights.
inline double texelPosition(int32_t size, double lo, double hi, double t) {
    double position = (size - 1) * (lo + (hi - lo) * clampUnit(t));
    return position > 0.0 ? std::min(position, static_cast<double>(size - 1)) : 0.0;
}

// The four texels of an 8-bit bilinear lookup and their weights, in the order the sums take them.
struct BilinearCell8 {
    const PF_Pixel8* texel[4];
    double weight[4];
};

[[gnu::always_inline]] inline BilinearCell8 bilinearCell8(const SurfaceTexture& texture, double u, double v) {
    const UvRect& rect = texture.uvRect;
    const double x = texelPosition(texture.width, rect.uMin, rect.uMax, u);
    const double y = texelPosition(texture.height, rect.vMin, rect.vMax, v);
    // Both positions lie in [0, size - 1], where truncation is floor.
    const auto x0 = static_cast<int32_t>(x);
    const auto y0 = static_cast<int32_t>(y);
    const int32_t x1 = std::min(x0 + 1, texture.width - 1);
    const int32_t y1 = std::min(y0 + 1, texture.height - 1);
    const double fx = x - x0;
    const double fy = y - y0;
    return BilinearCell8{{&texelAt<PF_Pixel8>(texture, x0, y0), &texelAt<PF_Pixel8>(texture, x1, y0),
                          &texelAt<PF_Pixel8>(texture, x0, y1), &texelAt<PF_Pixel8>(texture, x1, y1)},
                         {(1.0 - fx) * (1.0 - fy), fx * (1.0 - fy), (1.0 - fx) * fy, fx * fy}};
}

// One texel's share: its weight times its alpha, times (1, red, green, blue).
__attribute__((target("avx2"), always_inline)) inline __m256d addTexel8Wide(__m256d sum, __m256d one,
                                                                           const BilinearCell8& cell, int i) {
    const PF_Pixel8& p = *cell.texel[i];
    int32_t bytes = 0;  // alpha, red, green, blue in memory order
    std::memcpy(&bytes, &p, sizeof bytes);
    __m256d channels = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(bytes)));
    channels = _mm256_blend_pd(channels, one, 0x1);
    const double w = cell.weight[i] * kByteFractions[p.alpha];
    return _mm256_add_pd(sum, _mm256_mul_pd(_mm256_set1_pd(w), channels));
}

// The portable lookup (sampleTexture8Portable) with the channels side by side: lane 0 sums w * 1
// (which is w exactly) for the alpha, lanes 1 to 3 the colour; the texel's bytes are converted
// exactly as the table holds them. Only AVX2 is enabled here, not FMA, so every product and sum
// rounds as in the portable lookup. The caller has checked the texture as sampleTexture8 requires.
__attribute__((target("avx2"), always_inline)) inline PackedColor lookUpTexture8Wide(const SurfaceTexture& texture,
                                                                                    PackedColor fallback, double u,
                                                                                    double v) {
    const BilinearCell8 cell = bilinearCell8(texture, u, v);
    const __m256d one = _mm256_set_pd(0.0, 0.0, 0.0, 1.0);
    __m256d sum = _mm256_setzero_pd();
    sum = addTexel8Wide(sum, one, cell, 0);
    sum = addTexel8Wide(sum, one, cell, 1);
    sum = addTexel8Wide(sum, one, cell, 2);
    sum = addTexel8Wide(sum, one, cell, 3);
    const double alpha = _mm256_cvtsd_f64(sum);
    __m256d scaled;
    if (alpha > kTextureAlphaFloor) {
        const double inverseAlpha = 1.0 / alpha;
        scaled = _mm256_mul_pd(sum, _mm256_set_pd(inverseAlpha, inverseAlpha, inverseAlpha, 255.0));
    } else {
        scaled = _mm256_set_pd(packedBlue(fallback), packedGreen(fallback), packedRed(fallback), alpha * 255.0);
    }
    // packChannel on every lane: the values are finite, and max/min clamp them as std::clamp does.
    const __m256d clamped = _mm256_min_pd(_mm256_max_pd(scaled, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    const __m128i whole = _mm256_cvttpd_epi32(_mm256_add_pd(clamped, _mm256_set1_pd(0.5)));
    const __m128i packed = _mm_packus_epi16(_mm_packus_epi32(whole, whole), _mm_setzero_si128());
    return static_cast<PackedColor>(_mm_cvtsi128_si32(packed));
}

}  // namespace zephrin
