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


// clampUnit on every lane: max keeps x only where x > 0 (NaN gives 0), then min keeps it only where
// it is below 1, as clampUnit's two comparisons do.
__attribute__((target("avx2"), always_inline)) inline __m256d clampUnitWide(__m256d x) {
    return _mm256_min_pd(_mm256_max_pd(x, _mm256_setzero_pd()), _mm256_set1_pd(1.0));
}

// texelPosition on every lane, in its order of operations (edge: size - 1, span: hi - lo): max keeps
// the position only where it is above 0, and min(edge, p) takes the edge only where the edge is below
// p, as std::min does.
__attribute__((target("avx2"), always_inline)) inline __m256d texelPositionWide(__m256d edge, __m256d lo,
                                                                               __m256d span, __m256d t) {
    const __m256d position = _mm256_mul_pd(edge, _mm256_add_pd(lo, _mm256_mul_pd(span, clampUnitWide(t))));
    return _mm256_min_pd(edge, _mm256_max_pd(position, _mm256_setzero_pd()));
}

// Byte offsets of texels (x, y) from the image's base, in 64 bits: rows of a large image may lie
// further apart than 32 bits reach.
__attribute__((target("avx2"), always_inline)) inline __m256i texelOffsets8(__m256i rowOffsets, __m128i x) {
    return _mm256_add_epi64(rowOffsets, _mm256_slli_epi64(_mm256_cvtepi32_epi64(x), 2));
}

// One corner's texel for four points: each lane reads one whole texel, alpha, red, green and blue
// bytes from low to high. The masked gather, with every lane enabled, starts from a defined register
// (GCC warns about the plain one).
__attribute__((target("avx2"), always_inline)) inline __m128i gatherTexels8(const void* base, __m256i offsets) {
    return _mm256_mask_i64gather_epi32(_mm_setzero_si128(), static_cast<const int*>(base), offsets,
                                       _mm_set1_epi32(-1), 1);
}

// One corner's share for four points: its weight times its texel's alpha fraction, added to the
// alpha sum, and that times each colour byte added to the channel sums. kOpaque: every texel's alpha
// byte is 255, whose fraction is exactly 1, so the weight times it is the weight itself and the
// table need not be read.
struct TexelSums8 {
    __m256d alpha, red, green, blue;
};
template <bool kOpaque>
__attribute__((target("avx2"), always_inline)) inline void addCornerLanes8(TexelSums8& sums, __m128i texels,
                                                                          __m256d weight) {
    const __m128i low = _mm_set1_epi32(0xff);
    __m256d w = weight;
    if constexpr (!kOpaque) {
        const __m128i alphaBytes = _mm_and_si128(texels, low);
        const __m256d fractions = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), kByteFractions.data(), alphaBytes,
                                                           _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
        w = _mm256_mul_pd(weight, fractions);
    }
    sums.alpha = _mm256_add_pd(sums.alpha, w);
    sums.red = _mm256_add_pd(sums.red, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(texels, 8), low))));
    sums.green =
        _mm256_add_pd(sums.green, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(texels, 16), low))));
    sums.blue = _mm256_add_pd(sums.blue, _mm256_mul_pd(w, _mm256_cvtepi32_pd(_mm_srli_epi32(texels, 24))));
}

// The four corners' shares in cell order, summed from 0.
template <bool kOpaque>
__attribute__((target("avx2"), always_inline)) inline TexelSums8 sumCornerLanes8(const __m128i (&texels)[4],
                                                                                const __m256d (&weights)[4]) {
    TexelSums8 sums{_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
    for (int i = 0; i < 4; ++i) addCornerLanes8<kOpaque>(sums, texels[i], weights[i]);
    return sums;
}

// True when every texel's alpha byte is 255.
__attribute__((target("avx2"), always_inline)) inline bool opaqueTexels8(const __m128i (&texels)[4]) {
    const __m128i all = _mm_and_si128(_mm_and_si128(texels[0], texels[1]), _mm_and_si128(texels[2], texels[3]));
    const __m128i low = _mm_set1_epi32(0xff);
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(all, low), low)) == 0xffff;
}

// packChannel on every lane: the values are finite, and max/min clamp them as std::clamp does.
__attribute__((target("avx2"), always_inline)) inline __m128i packChannelLanes(__m256d x) {
    const __m256d clamped = _mm256_min_pd(_mm256_max_pd(x, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(_mm256_add_pd(clamped, _mm256_set1_pd(0.5)));
}

// What lookUpTexture8Lanes needs of a texture and its fallback, each value in every lane, set up once
// for many lookups.
struct Texture8Lanes {
    __m256d edgeX, edgeY, loU, spanU, loV, spanV;
    __m128i lastX, lastY;
    __m256i rowBytes;
    const void* base;
    __m256d fallbackRed, fallbackGreen, fallbackBlue;
    bool pairLoads;  // at least two texels wide: see rowPairTexels8
};

__attribute__((target("avx2"), always_inline)) inline Texture8Lanes texture8Lanes(const SurfaceTexture& texture,
                                                                                 PackedColor fallback) {
    const UvRect& rect = texture.uvRect;
    Texture8Lanes lanes;
    lanes.edgeX = _mm256_set1_pd(static_cast<double>(texture.width - 1));
    lanes.edgeY = _mm256_set1_pd(static_cast<double>(texture.height - 1));
    lanes.loU = _mm256_set1_pd(rect.uMin);
    lanes.spanU = _mm256_set1_pd(rect.uMax - rect.uMin);
    lanes.loV = _mm256_set1_pd(rect.vMin);
    lanes.spanV = _mm256_set1_pd(rect.vMax - rect.vMin);
    lanes.lastX = _mm_set1_epi32(texture.width - 1);
    lanes.lastY = _mm_set1_epi32(texture.height - 1);
    lanes.rowBytes = _mm256_set1_epi64x(texture.rowBytes);
    lanes.base = texture.baseAddress;
    lanes.fallbackRed = _mm256_set1_pd(static_cast<double>(packedRed(fallback)));
    lanes.fallbackGreen = _mm256_set1_pd(static_cast<double>(packedGreen(fallback)));
    lanes.fallbackBlue = _mm256_set1_pd(static_cast<double>(packedBlue(fallback)));
    lanes.pairLoads = texture.width >= 2;
    return lanes;
}

// The texels (x0, y) and (x1, y) of four points in one row (x1 = min(x0 + 1, last column)), read as
// one 8-byte pair per lane with plain loads: on processors whose gathers are microcoded, such as
// AMD's, eight loads cost less than two gathers. A pair starts at x0, or at x0 - 1 in the last
// column, where x1 is x0 itself; either way it lies inside the row. The texture is at least two
// texels wide.
__attribute__((target("avx2"), always_inline)) inline void rowPairTexels8(const Texture8Lanes& texture,
                                                                         __m256i rowOffsets, __m128i x0,
                                                                         __m128i& left, __m128i& right) {
    const __m128i lastColumn = _mm_cmpeq_epi32(x0, texture.lastX);
    alignas(32) int64_t offsets[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(offsets),
                       texelOffsets8(rowOffsets, _mm_add_epi32(x0, lastColumn)));
    const auto* base = static_cast<const unsigned char*>(texture.base);
    int64_t pairs[4];
    for (int k = 0; k < 4; ++k) std::memcpy(&pairs[k], base + offsets[k], sizeof pairs[k]);
    // Lanes 0-3: each pair's first texel; lanes 4-7: its second.
    const __m256i split = _mm256_permutevar8x32_epi32(_mm256_setr_epi64x(pairs[0], pairs[1], pairs[2], pairs[3]),
                                                      _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    right = _mm256_extracti128_si256(split, 1);
    left = _mm_blendv_epi8(_mm256_castsi256_si128(split), right, lastColumn);
}

// A colour sum back to straight colour in the lanes marked opaque, the fallback's channel elsewhere.
__attribute__((target("avx2"), always_inline)) inline __m256d straightLanes(__m256d sum, __m256d inverseAlpha,
                                                                           __m256d opaque, __m256d fallback) {
    return _mm256_blendv_pd(fallback, _mm256_mul_pd(sum, inverseAlpha), opaque);
}

// lookUpTexture8Wide at four points, a point per lane: lane k of the result is the packed colour of
// (u[k], v[k]), bit for bit. Every step runs lane-wise in the one-point lookup's order (sums from 0,
// corners in cell order), with only AVX2 enabled, not FMA. Coordinates that are not finite are
// clamped as the one-point lookup clamps them, so any lane reads inside the image.
__attribute__((target("avx2"), always_inline)) inline __m128i lookUpTexture8Lanes(const Texture8Lanes& texture,
                                                                                 __m256d u, __m256d v) {
    const __m256d x = texelPositionWide(texture.edgeX, texture.loU, texture.spanU, u);
    const __m256d y = texelPositionWide(texture.edgeY, texture.loV, texture.spanV, v);
    // Both positions lie in [0, size - 1], where truncation is floor.
    const __m128i x0 = _mm256_cvttpd_epi32(x);
    const __m128i y0 = _mm256_cvttpd_epi32(y);
    const __m128i one = _mm_set1_epi32(1);
    const __m128i x1 = _mm_min_epi32(_mm_add_epi32(x0, one), texture.lastX);
    const __m128i y1 = _mm_min_epi32(_mm_add_epi32(y0, one), texture.lastY);
    const __m256d fx = _mm256_sub_pd(x, _mm256_cvtepi32_pd(x0));
    const __m256d fy = _mm256_sub_pd(y, _mm256_cvtepi32_pd(y0));
    const __m256d unit = _mm256_set1_pd(1.0);
    const __m256d restX = _mm256_sub_pd(unit, fx), restY = _mm256_sub_pd(unit, fy);

    const __m256i row0 = _mm256_mul_epi32(_mm256_cvtepi32_epi64(y0), texture.rowBytes);
    const __m256i row1 = _mm256_mul_epi32(_mm256_cvtepi32_epi64(y1), texture.rowBytes);
    __m128i texels[4];
    if (texture.pairLoads) {
        rowPairTexels8(texture, row0, x0, texels[0], texels[1]);
        rowPairTexels8(texture, row1, x0, texels[2], texels[3]);
    } else {
        texels[0] = gatherTexels8(texture.base, texelOffsets8(row0, x0));
        texels[1] = gatherTexels8(texture.base, texelOffsets8(row0, x1));
        texels[2] = gatherTexels8(texture.base, texelOffsets8(row1, x0));
        texels[3] = gatherTexels8(texture.base, texelOffsets8(row1, x1));
    }
    const __m256d weights[4] = {_mm256_mul_pd(restX, restY), _mm256_mul_pd(fx, restY), _mm256_mul_pd(restX, fy),
                                _mm256_mul_pd(fx, fy)};
    // Most pictures are opaque over most of their area.
    const TexelSums8 sums =
        opaqueTexels8(texels) ? sumCornerLanes8<true>(texels, weights) : sumCornerLanes8<false>(texels, weights);

    // Straight colour where some alpha was summed, the fallback's colour elsewhere.
    const __m256d opaque = _mm256_cmp_pd(sums.alpha, _mm256_set1_pd(kTextureAlphaFloor), _CMP_GT_OQ);
    const __m256d inverseAlpha = _mm256_div_pd(unit, sums.alpha);
    const __m128i alpha = packChannelLanes(_mm256_mul_pd(sums.alpha, _mm256_set1_pd(255.0)));
    const __m128i red = packChannelLanes(straightLanes(sums.red, inverseAlpha, opaque, texture.fallbackRed));
    const __m128i green = packChannelLanes(straightLanes(sums.green, inverseAlpha, opaque, texture.fallbackGreen));
    const __m128i blue = packChannelLanes(straightLanes(sums.blue, inverseAlpha, opaque, texture.fallbackBlue));
    return _mm_or_si128(_mm_or_si128(alpha, _mm_slli_epi32(red, 8)),
                        _mm_or_si128(_mm_slli_epi32(green, 16), _mm_slli_epi32(blue, 24)));
}

}  // namespace zephrin
