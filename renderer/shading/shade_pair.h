// Lit points shaded side by side. The deferred pass queues the points that take lights; shading them
// two (or, with AVX2, four) at a time lets the part of the light loop that does not wait for a shadow
// ray (the normalisations, the light's path, falloff and cone, the diffuse and specular terms and the
// final colour) run in lanes of doubles, one point per lane, and so does the interpolation of their
// positions and normals. The shadow rays are still traced one by one, in the points' order.
#pragma once

#include <cstddef>
#include <vector>

#include "renderer/raster/raster_fragment.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shading/shade_point.h"
#include "renderer/shading/shading_frame.h"
#include "renderer/shading/shading_terms.h"

namespace zephrin {

// A point that takes lights (shadesUnlit false), with its surface and that surface's terms.
struct LitPoint {
    ShadingPoint point;
    const SceneSurface* surface = nullptr;
    const SurfaceShadingTerms* surfaceTerms = nullptr;
    // The fragment the point's positions and normals come from, for fillFragmentPoints: its winning
    // triangle and weights there.
    const PreparedTriangle* triangle = nullptr;
    FragmentWeights weights;
};

// Each point's worldPosition, cameraPosition, worldNormal and cameraNormal as fillFragmentShadingPoint
// gives them for its triangle, surface and weights, bit for bit: four points at a time in AVX2 lanes
// where `wide` and the processor allows, two at a time otherwise, a last odd one alone.
void fillFragmentPoints(LitPoint* points, size_t count, bool wide = true);
// fillFragmentPoints of four points, in four AVX2 lanes; only where wideLitShadingAvailable.
void fillFragmentPointsWide(LitPoint* points);

// Whether two points share the paired loop: one light that is not ambient (the usual key light), and
// whole shininess exponents (the default among them), whose repeated squaring pairs where a general
// power does not.
inline bool shadesAsPair(const SurfaceShadingTerms& a, const SurfaceShadingTerms& b,
                         const std::vector<SceneLight>& lights) {
    return lights.size() == 1 && lights[0].type != kLightAmbient && a.wholeShininess != 0 && b.wholeShininess != 0;
}

// shadeLitPointWithTerms of `a` and of `b`, the same results bit for bit: lane by lane every step is
// the single point's, in its order. The lights' rays of `a` are traced before those of `b`, so each
// light's memo sees the run of rays it sees when the points are shaded one after the other. Pairs
// that shadesAsPair turns down are shaded one after the other.
void shadeLitPair(const LitPoint& a, const LitPoint& b, const ShadingTerms& terms, const ShadingFrame& frame,
                  bool withSlope, ShadingResult& resultA, ShadingResult& resultB);

// Whether the processor runs the four-lane loop (AVX2).
bool wideLitShadingAvailable();

// shadeLitPair of four points at once, in four AVX2 lanes, for points of which both pairs pass
// shadesAsPair (one light, not ambient; whole shininess); only where wideLitShadingAvailable. The
// rays are traced in the points' order.
void shadeLitQuadWide(const LitPoint* points, const ShadingTerms& terms, const ShadingFrame& frame, bool withSlope,
                      ShadingResult* results);

// Each of `count` points' shadeLitPointWithTerms into `results`, the same bit for bit, tracing rays in
// the points' order: four at a time where `wide` and the processor allows, two at a time otherwise
// (and where a four does not qualify), a last odd one alone.
void shadeLitPoints(const LitPoint* points, size_t count, const ShadingTerms& terms, const ShadingFrame& frame,
                    bool withSlope, ShadingResult* results, bool wide = true);

}  // namespace zephrin
