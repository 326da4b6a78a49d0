// The light loop of shadeLitPoint for a row of lit points under one light, one point per lane, written
// once for any lane width. `Kind` names the lanes: its value and mask types, its lane count, and the
// few operations the vector types do not spell as operators (splat, masks from bits). Every lane
// computes what the single point's loop computes, by the same operations in the same order (lane
// square roots and divisions round as their single forms do, and nothing here is fused), so the
// colours do not change by a bit. Where the single loop branches on one point, the lanes compute both
// sides and keep each lane's own through a mask; a result the single loop never reaches is computed
// and dropped, never added. The shadow rays are traced one by one, lane 0 first.
//
// Each file that includes this gets its own copy (everything is in an unnamed namespace): the wide
// lanes' file includes it where AVX2 code is being built, the paired file where it is not, so neither
// ever runs the other's instructions.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/simd.h"
#include "renderer/shading/lighting_model.h"
#include "renderer/shading/point_shadow.h"
#include "renderer/shading/shade_pair.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {
namespace {

template <class Kind>
struct Lanes3 {
    typename Kind::Value x{}, y{}, z{};
};

template <class Kind>
inline Lanes3<Kind> splat3(const Vec3& v) {
    return {Kind::splat(v.x), Kind::splat(v.y), Kind::splat(v.z)};
}
template <class Kind>
inline Lanes3<Kind> operator+(const Lanes3<Kind>& a, const Lanes3<Kind>& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
template <class Kind>
inline Lanes3<Kind> operator-(const Lanes3<Kind>& a, const Lanes3<Kind>& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <class Kind>
inline Lanes3<Kind> operator-(const Lanes3<Kind>& a) {
    return {-a.x, -a.y, -a.z};
}
template <class Kind>
inline Lanes3<Kind> scaled(const Lanes3<Kind>& a, typename Kind::Value s) {
    return {a.x * s, a.y * s, a.z * s};
}
template <class Kind>
inline Lanes3<Kind> mul(const Lanes3<Kind>& a, const Lanes3<Kind>& b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
template <class Kind>
inline typename Kind::Value dot(const Lanes3<Kind>& a, const Lanes3<Kind>& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
template <class Kind>
inline Lanes3<Kind> select3(typename Kind::Mask mask, const Lanes3<Kind>& a, const Lanes3<Kind>& b) {
    return {laneSelect(mask, a.x, b.x), laneSelect(mask, a.y, b.y), laneSelect(mask, a.z, b.z)};
}

// One field of each lane's point, record or terms.
template <class Kind, class Record, class Field>
inline typename Kind::Value gatherLanes(const Record* const* records, Field Record::*field) {
    double values[Kind::kLanes];
    for (int lane = 0; lane < Kind::kLanes; ++lane) values[lane] = static_cast<double>(records[lane]->*field);
    return Kind::load(values);
}
// Kind::loadVec3s of one vector per lane.
template <class Kind>
inline Lanes3<Kind> lanesOf(const Vec3* const* vectors) {
    Lanes3<Kind> v;
    Kind::loadVec3s(vectors, v.x, v.y, v.z);
    return v;
}
template <class Kind>
inline Lanes3<Kind> gatherVec3(const LitPoint* const* points, Vec3 ShadingPoint::*field) {
    const Vec3* vectors[Kind::kLanes];
    for (int lane = 0; lane < Kind::kLanes; ++lane) vectors[lane] = &(points[lane]->point.*field);
    return lanesOf<Kind>(vectors);
}
// A surface term of every lane's point: one value for all where the points share their surface's
// terms (the usual case), gathered otherwise.
template <class Kind>
inline typename Kind::Value termLanes(const SurfaceShadingTerms* const* k, bool sharedTerms,
                                      double SurfaceShadingTerms::*field) {
    return sharedTerms ? Kind::splat(k[0]->*field) : gatherLanes<Kind>(k, field);
}
// The mask holding in each lane whose point passes `test`.
template <class Kind, class Test>
inline typename Kind::Mask maskWhere(const LitPoint* const* points, Test test) {
    unsigned bits = 0;
    for (int lane = 0; lane < Kind::kLanes; ++lane) bits |= test(*points[lane]) ? 1u << lane : 0u;
    return Kind::maskOfBits(bits);
}

constexpr double kLanesInfinity = std::numeric_limits<double>::infinity();

// clampRange lane by lane (for lo below hi), NaN giving lo.
template <class Kind>
inline typename Kind::Value clampLanes(typename Kind::Value x, double lo, double hi) {
    // Where x is not above lo, lo is below hi and stays.
    return laneBelow(laneAbove(x, Kind::splat(lo)), Kind::splat(hi));
}

// normalizeWithLength lane by lane. A length is a square root, never below zero, so below infinity
// is finite.
template <class Kind>
inline Lanes3<Kind> normalizeLanes(const Lanes3<Kind>& a, typename Kind::Value len) {
    const typename Kind::Mask usable =
        (len > Kind::splat(kMinNormalisableLength)) & (len < Kind::splat(kLanesInfinity));
    const typename Kind::Value inverse = Kind::splat(1.0) / len;
    return select3<Kind>(usable, scaled(a, inverse), splat3<Kind>(kShadingFallbackDirection));
}
template <class Kind>
inline typename Kind::Value lengthLanes(const Lanes3<Kind>& a) {
    return laneSqrt(dot(a, a));
}

// lightFalloff lane by lane.
template <class Kind>
inline typename Kind::Value falloffLanes(const FalloffShape& shape, typename Kind::Value distance) {
    using Value = typename Kind::Value;
    const Value one = Kind::splat(1.0);
    switch (shape.type) {
        case 1: {
            // std::clamp's choices, and a NaN kept for the test below.
            const Value raw = (distance - Kind::splat(shape.start)) / Kind::splat(shape.span);
            const Value t = laneSelect(raw < Kind::splat(0.0), Kind::splat(0.0), laneSelect(one < raw, one, raw));
            const Value factor = one / (one + Kind::splat(kSmoothFalloffSteepness) * t * t);
            return laneSelect(t <= t, factor, one);
        }
        case 2: {
            const Value ratio = distance * distance / Kind::splat(shape.range);
            const Value factor = one / laneSelect(ratio < one, one, ratio);
            return laneSelect(factor <= factor, factor, one);
        }
        default:
            return one;
    }
}

// spotCone lane by lane: 0 outside the cone or for a direction that is not finite, 1 inside the
// feather, the smooth step between.
template <class Kind>
inline typename Kind::Value coneLanes(const SpotConeShape& cone, const Lanes3<Kind>& lightToPoint) {
    using Value = typename Kind::Value;
    if (!cone.spot) return Kind::splat(1.0);
    const Value q = dot(splat3<Kind>(cone.axis), lightToPoint);
    const Value t = (q - Kind::splat(cone.outer)) / Kind::splat(std::max(cone.inner - cone.outer, kMinFeatherBand));
    const Value smooth = t * t * (Kind::splat(3.0) - Kind::splat(2.0) * t);
    const typename Kind::Mask inside = (q > Kind::splat(cone.outer)) & (q < Kind::splat(kLanesInfinity));
    return laneSelect(inside, laneSelect(q >= Kind::splat(cone.inner), Kind::splat(1.0), smooth), Kind::splat(0.0));
}

// specularPower for whole exponents, lane by lane: repeated squaring, each lane multiplying in the
// squares its own exponent's bits name.
template <class Kind>
inline typename Kind::Value wholePowerLanes(typename Kind::Value x, const uint32_t* exponents) {
    using Value = typename Kind::Value;
    Value result = Kind::splat(1.0), square = x;
    bool same = true;
    uint32_t any = 0;
    for (int lane = 0; lane < Kind::kLanes; ++lane) {
        same = same && exponents[lane] == exponents[0];
        any |= exponents[lane];
    }
    if (same) {
        for (uint32_t bits = exponents[0]; bits != 0; bits >>= 1) {
            if ((bits & 1u) != 0) result = result * square;
            square = square * square;
        }
    } else {
        for (uint32_t shift = 0; (any >> shift) != 0; ++shift) {
            unsigned laneBitsSet = 0;
            for (int lane = 0; lane < Kind::kLanes; ++lane) laneBitsSet |= ((exponents[lane] >> shift) & 1u) << lane;
            result = laneSelect(Kind::maskOfBits(laneBitsSet), result * square, result);
            square = square * square;
        }
    }
    return laneSelect(x > Kind::splat(0.0), result, Kind::splat(0.0));
}

// The light's contribution and its shadow test at every lane's point. The single loop adds each to
// sums that start at zero; so does this, keeping `0 + x` (which turns -0 into +0) as it is.
template <class Kind>
struct LightLanes {
    // Direct terms, shadowed and not. With one light, a point whose slope is asked for was shadow
    // tested, so its sum of untested terms is the zero it starts at.
    Lanes3<Kind> lit, unshadowed;
    typename Kind::Mask tested{};               // the light was shadow tested
    typename Kind::Value visibility{}, hint{};  // set by the loop: 1 and 0 where no ray was traced
};

// Unit vectors toward the light in world and camera space, and its falloff and cone (lightPathAt).
template <class Kind>
struct PathLanes {
    Lanes3<Kind> world, camera;
    typename Kind::Value attenuation{};  // set by pathLanes
};

template <class Kind>
inline PathLanes<Kind> pathLanes(const SceneLight& light, const LightShadingTerms& terms,
                                 const LitPoint* const* points) {
    PathLanes<Kind> path;
    path.attenuation = Kind::splat(1.0);
    if (terms.type == kLightParallel) {
        path.world = splat3<Kind>(terms.towardWorld);
        path.camera = splat3<Kind>(terms.towardCamera);
        return path;
    }
    const Lanes3<Kind> toLight =
        splat3<Kind>(light.positionWorld) - gatherVec3<Kind>(points, &ShadingPoint::worldPosition);
    const Lanes3<Kind> toLightInCamera =
        splat3<Kind>(light.positionCamera) - gatherVec3<Kind>(points, &ShadingPoint::cameraPosition);
    const typename Kind::Value distance = lengthLanes(toLight);
    path.world = normalizeLanes(toLight, distance);
    path.camera = normalizeLanes(toLightInCamera, lengthLanes(toLightInCamera));
    path.attenuation = falloffLanes<Kind>(terms.falloff, distance) * coneLanes<Kind>(terms.cone, -path.world);
    return path;
}

// The light's diffuse and specular contribution before shadowing (directContribution).
template <class Kind>
inline Lanes3<Kind> directLanes(const SceneLight& light, const LightShadingTerms& terms, const PathLanes<Kind>& path,
                                typename Kind::Value nDotL, const Lanes3<Kind>& nv, const Lanes3<Kind>& view,
                                const Lanes3<Kind>& baseRgb, const SurfaceShadingTerms* const* k, bool sharedTerms) {
    using Value = typename Kind::Value;
    const Value strength = Kind::splat(terms.strength) * path.attenuation;
    const Value diffuse =
        clampLanes<Kind>(nDotL, 0.0, 1.0) * termLanes<Kind>(k, sharedTerms, &SurfaceShadingTerms::diffuse);
    const Lanes3<Kind> halfway = view + path.camera;
    const Lanes3<Kind> half = normalizeLanes(halfway, lengthLanes(halfway));
    uint32_t exponents[Kind::kLanes];
    for (int lane = 0; lane < Kind::kLanes; ++lane) exponents[lane] = k[lane]->wholeShininess;
    const Value power = wholePowerLanes<Kind>(clampLanes<Kind>(dot(nv, half), 0.0, 1.0), exponents);
    const Value specular = power * termLanes<Kind>(k, sharedTerms, &SurfaceShadingTerms::specular) *
                           termLanes<Kind>(k, sharedTerms, &SurfaceShadingTerms::specularScale);
    const Lanes3<Kind> color = splat3<Kind>(light.color);
    return scaled(scaled(mul(baseRgb, color), diffuse) + scaled(color, specular), strength);
}

// composeShading lane by lane for one light, written into the lanes' results.
template <class Kind>
void composeLanes(const Lanes3<Kind>& ambient, const LightLanes<Kind>& sums, typename Kind::Value alpha, bool withSlope,
                  ShadingResult* results) {
    using Value = typename Kind::Value;
    const Value one = Kind::splat(1.0);
    // addShadowTest from a minimum of 1 and a strongest shadow of -1.
    const Value minimum = laneSelect(sums.tested & (sums.visibility < one), sums.visibility, one);
    const typename Kind::Mask stronger = sums.tested & ((one - sums.visibility) > Kind::splat(-1.0));
    const Value hint = laneSelect(stronger, sums.hint, Kind::splat(0.0));
    const Value ambientScale = laneSelect(
        sums.tested,
        clampLanes<Kind>(Kind::splat(kShadowedAmbientShare) + Kind::splat(1.0 - kShadowedAmbientShare) * minimum, 0.0,
                         1.0),
        one);
    const Value red = clampLanes<Kind>(ambientScale * ambient.x + sums.lit.x, 0.0, 1.0);
    const Value green = clampLanes<Kind>(ambientScale * ambient.y + sums.lit.y, 0.0, 1.0);
    const Value blue = clampLanes<Kind>(ambientScale * ambient.z + sums.lit.z, 0.0, 1.0);
    const unsigned tested = laneBits(sums.tested);
    // Through arrays: a vector's lane picked by a loop's index costs a trip through memory per value.
    double values[6][Kind::kLanes];
    Kind::store(red, values[0]);
    Kind::store(green, values[1]);
    Kind::store(blue, values[2]);
    Kind::store(alpha, values[3]);
    Kind::store(minimum, values[4]);
    Kind::store(hint, values[5]);
    for (int lane = 0; lane < Kind::kLanes; ++lane) {
        ShadingResult& r = results[lane];
        r.red = values[0][lane];
        r.green = values[1][lane];
        r.blue = values[2][lane];
        r.alpha = values[3][lane];
        r.lightTested = (tested & (1u << lane)) != 0;
        r.minimumVisibility = values[4][lane];
        r.blockerHint = values[5][lane];
        r.slope = ShadowSlope{};
    }
    if (tested == 0 || !withSlope) return;
    const Value share = Kind::splat(kShadowedAmbientShare);
    const Value slopeRed = clampLanes<Kind>(ambient.x + sums.unshadowed.x, 0.0, 1.0) -
                           clampLanes<Kind>(share * ambient.x + Kind::splat(0.0), 0.0, 1.0);
    const Value slopeGreen = clampLanes<Kind>(ambient.y + sums.unshadowed.y, 0.0, 1.0) -
                             clampLanes<Kind>(share * ambient.y + Kind::splat(0.0), 0.0, 1.0);
    const Value slopeBlue = clampLanes<Kind>(ambient.z + sums.unshadowed.z, 0.0, 1.0) -
                            clampLanes<Kind>(share * ambient.z + Kind::splat(0.0), 0.0, 1.0);
    Kind::store(slopeRed, values[0]);
    Kind::store(slopeGreen, values[1]);
    Kind::store(slopeBlue, values[2]);
    for (int lane = 0; lane < Kind::kLanes; ++lane) {
        if ((tested & (1u << lane)) == 0) continue;
        results[lane].slope = ShadowSlope{values[0][lane], values[1][lane], values[2][lane]};
    }
}

// shadeLitPoint of Kind::kLanes points under one light that is not ambient.
template <class Kind>
void shadeOneLightLanes(const LitPoint* const* points, const SceneLight& light, const LightShadingTerms& terms,
                        const ShadingFrame& frame, bool withSlope, ShadingResult* results) {
    using Value = typename Kind::Value;
    constexpr int kLanes = Kind::kLanes;
    const SurfaceShadingTerms* k[kLanes];
    double red[kLanes], green[kLanes], blue[kLanes], alpha[kLanes];
    for (int lane = 0; lane < kLanes; ++lane) {
        k[lane] = points[lane]->surfaceTerms;
        const BaseColor base = unpackBaseColor(points[lane]->point.baseColor, points[lane]->surface->opacity);
        red[lane] = base.red;
        green[lane] = base.green;
        blue[lane] = base.blue;
        alpha[lane] = base.alpha;
    }
    const Lanes3<Kind> baseRgb{Kind::load(red), Kind::load(green), Kind::load(blue)};
    bool sharedTerms = true;
    for (int lane = 1; lane < kLanes; ++lane) sharedTerms = sharedTerms && k[lane] == k[0];

    const Lanes3<Kind> worldNormal = gatherVec3<Kind>(points, &ShadingPoint::worldNormal);
    const Lanes3<Kind> n = normalizeLanes(worldNormal, lengthLanes(worldNormal));
    const PathLanes<Kind> path = pathLanes<Kind>(light, terms, points);
    // Parallel lights reach every point; the others where they are strong enough to shade.
    typename Kind::Mask reached = Kind::maskOfBits((1u << kLanes) - 1u);
    if (terms.type != kLightParallel) reached = path.attenuation > Kind::splat(kMinAttenuation);
    const Value nDotL = dot(n, path.world);
    const typename Kind::Mask facing = reached & (nDotL > Kind::splat(kMinFacing));
    LightLanes<Kind> sums;
    sums.visibility = Kind::splat(1.0);
    sums.hint = Kind::splat(0.0);
    const bool casts = light.castsShadows;
    sums.tested =
        reached & maskWhere<Kind>(points, [casts](const LitPoint& p) { return p.surface->acceptsShadows && casts; });
    const unsigned facingBits = laneBits(facing);
    if (facingBits != 0) {
        const Lanes3<Kind> cameraNormal = gatherVec3<Kind>(points, &ShadingPoint::cameraNormal);
        const Lanes3<Kind> nv = normalizeLanes(cameraNormal, lengthLanes(cameraNormal));
        const Lanes3<Kind> toEye = -gatherVec3<Kind>(points, &ShadingPoint::cameraPosition);
        const Lanes3<Kind> view = normalizeLanes(toEye, lengthLanes(toEye));
        const Lanes3<Kind> contribution =
            directLanes<Kind>(light, terms, path, nDotL, nv, view, baseRgb, k, sharedTerms);
        const unsigned rayBits = facingBits & laneBits(sums.tested);
        if (rayBits != 0) {
            double toward[3][kLanes], normal[3][kLanes];
            Kind::store(path.world.x, toward[0]);
            Kind::store(path.world.y, toward[1]);
            Kind::store(path.world.z, toward[2]);
            Kind::store(n.x, normal[0]);
            Kind::store(n.y, normal[1]);
            Kind::store(n.z, normal[2]);
            double visibility[kLanes], hint[kLanes];
            for (int lane = 0; lane < kLanes; ++lane) {
                visibility[lane] = 1.0;
                hint[lane] = 0.0;
                if ((rayBits & (1u << lane)) == 0) continue;
                const LitPoint& q = *points[lane];
                visibility[lane] =
                    pointShadowVisibility(light, terms, 0, q.point, *q.surface, frame,
                                          Vec3{toward[0][lane], toward[1][lane], toward[2][lane]},
                                          Vec3{normal[0][lane], normal[1][lane], normal[2][lane]}, hint[lane]);
            }
            sums.visibility = Kind::load(visibility);
            sums.hint = Kind::load(hint);
        }
        const Lanes3<Kind> zero;
        sums.lit = select3<Kind>(facing, zero + scaled(contribution, sums.visibility), zero);
        // Only the slope reads this.
        if (withSlope) sums.unshadowed = select3<Kind>(facing, zero + contribution, zero);
    }
    // Facing away from a shadow-casting light is being in its shadow.
    sums.visibility = laneSelect(facing, sums.visibility, Kind::splat(terms.awayVisibility));
    const Lanes3<Kind> ambient = scaled(baseRgb, termLanes<Kind>(k, sharedTerms, &SurfaceShadingTerms::ambientGain));
    composeLanes<Kind>(ambient, sums, Kind::load(alpha), withSlope, results);
}

}  // namespace
}  // namespace zephrin
