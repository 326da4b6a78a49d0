// The four-lane light loop: lit_lanes.h's loop built for AVX2, one point per 256-bit lane. Everything
// from the loop's own header on is AVX2 code (and only AVX2: no FMA, so nothing is fused and every lane
// rounds as the single loop does); shadeLitPoints calls in only where the processor has it. Every
// header the loop reads is included before AVX2 is switched on, so no shared inline function is
// ever built here with instructions other files' callers may lack.
#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "common/simd.h"
#include "renderer/raster/raster_fragment.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/shading/lighting_model.h"
#include "renderer/shading/point_shadow.h"
#include "renderer/shading/shade_pair.h"
#include "renderer/shading/shading_terms.h"
#include "renderer/texture/texture_sampling.h"

#if ZEPHRIN_QUAD_LANES

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "renderer/shading/fragment_lanes.h"
#include "renderer/shading/lit_lanes.h"

namespace zephrin {

namespace {

struct FourLanes {
    using Value = QuadLanes;
    using Mask = QuadMask;
    static constexpr int kLanes = 4;
    static Value splat(double value) { return quadSplat(value); }
    static Value load(const double* values) { return QuadLanes{values[0], values[1], values[2], values[3]}; }
    static void store(Value lanes, double* values) { __builtin_memcpy(values, &lanes, sizeof lanes); }
    static Mask maskOfBits(unsigned bits) { return quadMaskOfBits(bits); }
    // Four vectors into lanes of x, y and z, and back: each vector's x and y move as one pair, its z
    // alone, and pairs of pairs swap halves, instead of a trip through memory per value.
    static void loadVec3s(const Vec3* const* vectors, Value& x, Value& y, Value& z) {
        const __m128d a = _mm_loadu_pd(&vectors[0]->x), b = _mm_loadu_pd(&vectors[1]->x);
        const __m128d c = _mm_loadu_pd(&vectors[2]->x), d = _mm_loadu_pd(&vectors[3]->x);
        x = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_unpacklo_pd(a, b)), _mm_unpacklo_pd(c, d), 1);
        y = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_unpackhi_pd(a, b)), _mm_unpackhi_pd(c, d), 1);
        const __m128d zLow = _mm_loadh_pd(_mm_load_sd(&vectors[0]->z), &vectors[1]->z);
        const __m128d zHigh = _mm_loadh_pd(_mm_load_sd(&vectors[2]->z), &vectors[3]->z);
        z = _mm256_insertf128_pd(_mm256_castpd128_pd256(zLow), zHigh, 1);
    }
    static void storeVec3s(Value x, Value y, Value z, Vec3* const* vectors) {
        const __m128d xLow = _mm256_castpd256_pd128(x), xHigh = _mm256_extractf128_pd(x, 1);
        const __m128d yLow = _mm256_castpd256_pd128(y), yHigh = _mm256_extractf128_pd(y, 1);
        const __m128d zLow = _mm256_castpd256_pd128(z), zHigh = _mm256_extractf128_pd(z, 1);
        _mm_storeu_pd(&vectors[0]->x, _mm_unpacklo_pd(xLow, yLow));
        _mm_storeu_pd(&vectors[1]->x, _mm_unpackhi_pd(xLow, yLow));
        _mm_storeu_pd(&vectors[2]->x, _mm_unpacklo_pd(xHigh, yHigh));
        _mm_storeu_pd(&vectors[3]->x, _mm_unpackhi_pd(xHigh, yHigh));
        _mm_store_sd(&vectors[0]->z, zLow);
        _mm_storeh_pd(&vectors[1]->z, zLow);
        _mm_store_sd(&vectors[2]->z, zHigh);
        _mm_storeh_pd(&vectors[3]->z, zHigh);
    }
};

// Out of line, so that the caller below (built without AVX2) calls it rather than taking it in.
[[gnu::noinline]] void shadeFourLanes(const LitPoint* points, const ShadingTerms& terms, const ShadingFrame& frame,
                                      bool withSlope, ShadingResult* results) {
    const LitPoint* lanes[4] = {&points[0], &points[1], &points[2], &points[3]};
    shadeOneLightLanes<FourLanes>(lanes, frame.scene->lights[0], terms.lights[0], frame, withSlope, results);
}

[[gnu::noinline]] void fragmentFourLanes(LitPoint* points) { fragmentPointLanes<FourLanes>(points); }

}  // namespace
}  // namespace zephrin

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace zephrin {

void shadeLitQuadWide(const LitPoint* points, const ShadingTerms& terms, const ShadingFrame& frame, bool withSlope,
                      ShadingResult* results) {
    shadeFourLanes(points, terms, frame, withSlope, results);
}

void fillFragmentPointsWide(LitPoint* points) { fragmentFourLanes(points); }

}  // namespace zephrin

#endif
