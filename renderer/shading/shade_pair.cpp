// The paired light loop: lit_lanes.h's loop two lanes wide, in SSE2 doubles where the target has them
// (every x86-64 processor does), and the dispatch between it, the four-lane loop and the single one.
#include "renderer/shading/shade_pair.h"

#include "common/simd.h"
#include "renderer/shading/fragment_lanes.h"
#include "renderer/shading/lit_lanes.h"

namespace zephrin {

namespace {

// Two lanes: SSE2 doubles, or plain pairs where the compiler has no vector extensions.
struct PairLanes {
    using Value = DoubleLanes;
    using Mask = LaneMask;
    static constexpr int kLanes = 2;
    static Value splat(double value) { return laneSplat(value); }
    static Value load(const double* values) { return DoubleLanes{values[0], values[1]}; }
    static void store(Value lanes, double* values) {
        values[0] = lanes[0];
        values[1] = lanes[1];
    }
    static Mask maskOfBits(unsigned bits) { return laneMaskOf((bits & 1u) != 0, (bits & 2u) != 0); }
    static void loadVec3s(const Vec3* const* vectors, Value& x, Value& y, Value& z) {
        x = DoubleLanes{vectors[0]->x, vectors[1]->x};
        y = DoubleLanes{vectors[0]->y, vectors[1]->y};
        z = DoubleLanes{vectors[0]->z, vectors[1]->z};
    }
    static void storeVec3s(Value x, Value y, Value z, Vec3* const* vectors) {
        *vectors[0] = Vec3{x[0], y[0], z[0]};
        *vectors[1] = Vec3{x[1], y[1], z[1]};
    }
};

void shadeOneLightPair(const LitPoint& a, const LitPoint& b, const ShadingFrame& frame, bool withSlope,
                       const ShadingTerms& terms, ShadingResult* results) {
    const LitPoint* points[2] = {&a, &b};
    shadeOneLightLanes<PairLanes>(points, frame.scene->lights[0], terms.lights[0], frame, withSlope, results);
}

// Where the processor has AVX2, four queued points share one four-lane loop.
const bool kWideLitShading = [] {
#if ZEPHRIN_QUAD_LANES
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}();

}  // namespace

bool wideLitShadingAvailable() { return kWideLitShading; }

void shadeLitPair(const LitPoint& a, const LitPoint& b, const ShadingTerms& terms, const ShadingFrame& frame,
                  bool withSlope, ShadingResult& resultA, ShadingResult& resultB) {
    const std::vector<SceneLight>& lights = frame.scene->lights;
    if (!shadesAsPair(*a.surfaceTerms, *b.surfaceTerms, lights)) {
        resultA = shadeLitPointWithTerms(a.point, *a.surface, *a.surfaceTerms, terms, frame, withSlope);
        resultB = shadeLitPointWithTerms(b.point, *b.surface, *b.surfaceTerms, terms, frame, withSlope);
        return;
    }
    ShadingResult results[2];
    shadeOneLightPair(a, b, frame, withSlope, terms, results);
    resultA = results[0];
    resultB = results[1];
}

void shadeLitPoints(const LitPoint* points, size_t count, const ShadingTerms& terms, const ShadingFrame& frame,
                    bool withSlope, ShadingResult* results, bool wide) {
    const std::vector<SceneLight>& lights = frame.scene->lights;
    size_t i = 0;
#if ZEPHRIN_QUAD_LANES
    if (wide && kWideLitShading) {
        for (; i + 3 < count; i += 4) {
            const LitPoint* quad = points + i;
            if (shadesAsPair(*quad[0].surfaceTerms, *quad[1].surfaceTerms, lights) &&
                shadesAsPair(*quad[2].surfaceTerms, *quad[3].surfaceTerms, lights)) {
                shadeLitQuadWide(quad, terms, frame, withSlope, results + i);
                continue;
            }
            // Each pair then takes the loop it can, the first before the second.
            shadeLitPair(quad[0], quad[1], terms, frame, withSlope, results[i], results[i + 1]);
            shadeLitPair(quad[2], quad[3], terms, frame, withSlope, results[i + 2], results[i + 3]);
        }
    }
#else
    (void)wide;
#endif
    for (; i + 1 < count; i += 2) {
        shadeLitPair(points[i], points[i + 1], terms, frame, withSlope, results[i], results[i + 1]);
    }
    if (i < count) {
        const LitPoint& p = points[i];
        results[i] = shadeLitPointWithTerms(p.point, *p.surface, *p.surfaceTerms, terms, frame, withSlope);
    }
}

void fillFragmentPoints(LitPoint* points, size_t count, bool wide) {
    size_t i = 0;
#if ZEPHRIN_QUAD_LANES
    if (wide && kWideLitShading) {
        for (; i + 3 < count; i += 4) fillFragmentPointsWide(points + i);
    }
#else
    (void)wide;
#endif
    for (; i + 1 < count; i += 2) fragmentPointLanes<PairLanes>(points + i);
    if (i < count) {
        LitPoint& p = points[i];
        const FragmentPoint fragment = interpolateFragmentPoint(*p.triangle, *p.surface, p.weights);
        p.point.worldPosition = fragment.worldPosition;
        p.point.cameraPosition = fragment.cameraPosition;
        p.point.worldNormal = fragment.worldNormal;
        p.point.cameraNormal = fragment.cameraNormal;
    }
}

}  // namespace zephrin
