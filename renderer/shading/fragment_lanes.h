// interpolateFragmentPoint for a row of queued lit points, one point per lane, written once for any
// lane width (lit_lanes.h names the lanes and their vector helpers). Lane by lane every step is the
// single point's, in its order: each position and normal the corners' values times their weights,
// summed first to last; the two normals normalised with the same fallback; then turned to face the
// triangle's face normal, and turned once more for the back of a flat surface. The results go into
// the points' records, where the light loop reads them.
#pragma once

#include "renderer/raster/raster_prepare.h"
#include "renderer/shading/lit_lanes.h"

namespace zephrin {
namespace {

// One field of corner `corner` in every lane: broadcast where the lanes share one triangle (the usual
// case inside a run of pixels), gathered otherwise.
template <class Kind>
[[gnu::always_inline]] inline Lanes3<Kind> cornerLanes(const LitPoint* points, bool shared, int corner,
                                                       Vec3 SurfaceVertex::*field) {
    if (shared) return splat3<Kind>(points[0].triangle->vertices[corner].vertex.*field);
    const Vec3* vectors[Kind::kLanes];
    for (int lane = 0; lane < Kind::kLanes; ++lane)
        vectors[lane] = &(points[lane].triangle->vertices[corner].vertex.*field);
    return lanesOf<Kind>(vectors);
}

// The weighted sum of the corners' field, as interpolateVec3 sums it.
template <class Kind>
[[gnu::always_inline]] inline Lanes3<Kind> interpolateLanes(const LitPoint* points, bool shared,
                                                            const typename Kind::Value* weights,
                                                            Vec3 SurfaceVertex::*field) {
    return scaled(cornerLanes<Kind>(points, shared, 0, field), weights[0]) +
           scaled(cornerLanes<Kind>(points, shared, 1, field), weights[1]) +
           scaled(cornerLanes<Kind>(points, shared, 2, field), weights[2]);
}

template <class Kind>
[[gnu::always_inline]] inline void storeLanes(const Lanes3<Kind>& v, LitPoint* points, Vec3 ShadingPoint::*field) {
    Vec3* vectors[Kind::kLanes];
    for (int lane = 0; lane < Kind::kLanes; ++lane) vectors[lane] = &(points[lane].point.*field);
    Kind::storeVec3s(v.x, v.y, v.z, vectors);
}

// Each point's worldPosition, cameraPosition, worldNormal and cameraNormal from its triangle and
// weights, the values interpolateFragmentPoint gives.
template <class Kind>
inline void fragmentPointLanes(LitPoint* points) {
    using Value = typename Kind::Value;
    using Mask = typename Kind::Mask;
    constexpr int kLanes = Kind::kLanes;
    bool shared = true;
    double w[3][kLanes];
    unsigned flatBack = 0;
    for (int lane = 0; lane < kLanes; ++lane) {
        const LitPoint& p = points[lane];
        shared = shared && p.triangle == points[0].triangle;
        for (int corner = 0; corner < 3; ++corner) w[corner][lane] = p.weights.weights[corner];
        flatBack |= p.surface->kind == kSurfaceFlat && !p.triangle->frontFacing ? 1u << lane : 0u;
    }
    const Value weights[3] = {Kind::load(w[0]), Kind::load(w[1]), Kind::load(w[2])};
    storeLanes(interpolateLanes<Kind>(points, shared, weights, &SurfaceVertex::worldPosition), points,
               &ShadingPoint::worldPosition);
    storeLanes(interpolateLanes<Kind>(points, shared, weights, &SurfaceVertex::cameraPosition), points,
               &ShadingPoint::cameraPosition);
    const Lanes3<Kind> worldNormal = interpolateLanes<Kind>(points, shared, weights, &SurfaceVertex::worldNormal);
    const Lanes3<Kind> cameraNormal = interpolateLanes<Kind>(points, shared, weights, &SurfaceVertex::cameraNormal);
    Lanes3<Kind> n = normalizeLanes(worldNormal, lengthLanes(worldNormal));
    Lanes3<Kind> nv = normalizeLanes(cameraNormal, lengthLanes(cameraNormal));
    Lanes3<Kind> face;
    if (shared) {
        face = splat3<Kind>(points[0].triangle->faceNormal);
    } else {
        const Vec3* vectors[kLanes];
        for (int lane = 0; lane < kLanes; ++lane) vectors[lane] = &points[lane].triangle->faceNormal;
        face = lanesOf<Kind>(vectors);
    }
    const Mask away = dot(nv, face) < Kind::splat(0.0);
    n = select3<Kind>(away, -n, n);
    nv = select3<Kind>(away, -nv, nv);
    if (flatBack != 0) {
        const Mask back = Kind::maskOfBits(flatBack);
        n = select3<Kind>(back, -n, n);
        nv = select3<Kind>(back, -nv, nv);
    }
    storeLanes(n, points, &ShadingPoint::worldNormal);
    storeLanes(nv, points, &ShadingPoint::cameraNormal);
}

}  // namespace
}  // namespace zephrin
