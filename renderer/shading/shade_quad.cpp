// The four-lane light loop: lit_lanes.h's loop built for AVX2, one point per 256-bit lane. Everything
// from the loop's own header on is AVX2 code (and only AVX2: no FMA, so nothing is fused and every lane
// rounds as the single loop does); shadeLitPoints calls in only where the processor has it. Every
// header the loop reads is included before AVX2 is switched on, so no shared inline function is
// ever built here with instructions other files' callers may lack.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "common/simd.h"
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

#include "renderer/shading/lit_lanes.h"

namespace zephrin {

namespace {

struct FourLanes {
    using Value = QuadLanes;
    using Mask = QuadMask;
    static constexpr int kLanes = 4;
    static Value splat(double value) { return quadSplat(value); }
    static Value load(const double* values) { return QuadLanes{values[0], values[1], values[2], values[3]}; }
    static Mask maskOfBits(unsigned bits) { return quadMaskOfBits(bits); }
};

// Out of line, so that the caller below (built without AVX2) calls it rather than taking it in.
[[gnu::noinline]] void shadeFourLanes(const LitPoint* points, const ShadingTerms& terms, const ShadingFrame& frame,
                                      bool withSlope, ShadingResult* results) {
    const LitPoint* lanes[4] = {&points[0], &points[1], &points[2], &points[3]};
    shadeOneLightLanes<FourLanes>(lanes, frame.scene->lights[0], terms.lights[0], frame, withSlope, results);
}

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

}  // namespace zephrin

#endif
