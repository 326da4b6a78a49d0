// The light loop of shadeLitPoint for two points under one light, lane 0 the first point and lane 1
// the second. Every lane computes what the single point's loop computes, by the same operations in the
// same order (paired square roots and divisions round as their single forms do, and nothing here is
// fused), so the colours do not change by a bit. Where the single loop branches on one point, the
// pair computes both sides and keeps each lane's own through a mask; a result the single loop never
// reaches is computed and dropped, never added.
#include "renderer/shading/shade_pair.h"

#include <algorithm>
#include <limits>

#include "common/simd.h"
#include "renderer/shading/lighting_model.h"
#include "renderer/shading/point_shadow.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A Vec3 of each lane's point.
struct Lanes3 {
    DoubleLanes x{}, y{}, z{};
};

inline Lanes3 lanesOf(const Vec3& a, const Vec3& b) {
    return {DoubleLanes{a.x, b.x}, DoubleLanes{a.y, b.y}, DoubleLanes{a.z, b.z}};
}
inline Lanes3 splat3(const Vec3& v) { return {laneSplat(v.x), laneSplat(v.y), laneSplat(v.z)}; }
inline Vec3 laneVec(const Lanes3& v, int lane) { return {v.x[lane], v.y[lane], v.z[lane]}; }
inline Lanes3 operator+(const Lanes3& a, const Lanes3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Lanes3 operator-(const Lanes3& a, const Lanes3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Lanes3 operator-(const Lanes3& a) { return {-a.x, -a.y, -a.z}; }
inline Lanes3 operator*(const Lanes3& a, DoubleLanes s) { return {a.x * s, a.y * s, a.z * s}; }
inline Lanes3 mul(const Lanes3& a, const Lanes3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline DoubleLanes dot(const Lanes3& a, const Lanes3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Lanes3 select3(LaneMask mask, const Lanes3& a, const Lanes3& b) {
    return {laneSelect(mask, a.x, b.x), laneSelect(mask, a.y, b.y), laneSelect(mask, a.z, b.z)};
}

// clampRange lane by lane (for lo below hi), NaN giving lo.
inline DoubleLanes clampLanes(DoubleLanes x, double lo, double hi) {
    // Where x is not above lo, lo is below hi and stays.
    return laneBelow(laneAbove(x, laneSplat(lo)), laneSplat(hi));
}

// normalizeWithLength lane by lane. A length is a square root, never below zero, so below infinity
// is finite.
inline Lanes3 normalizeLanes(const Lanes3& a, DoubleLanes len) {
    const LaneMask usable = (len > laneSplat(kMinNormalisableLength)) & (len < laneSplat(kInfinity));
    const DoubleLanes inverse = laneSplat(1.0) / len;
    return select3(usable, a * inverse, splat3(kShadingFallbackDirection));
}
inline DoubleLanes lengthLanes(const Lanes3& a) { return laneSqrt(dot(a, a)); }

// lightFalloff lane by lane.
inline DoubleLanes falloffLanes(const FalloffShape& shape, DoubleLanes distance) {
    const DoubleLanes one = laneSplat(1.0);
    switch (shape.type) {
        case 1: {
            // std::clamp's choices, and a NaN kept for the test below.
            const DoubleLanes raw = (distance - laneSplat(shape.start)) / laneSplat(shape.span);
            const DoubleLanes t =
                laneSelect(raw < laneSplat(0.0), laneSplat(0.0), laneSelect(one < raw, one, raw));
            const DoubleLanes factor = one / (one + laneSplat(kSmoothFalloffSteepness) * t * t);
            return laneSelect(t <= t, factor, one);
        }
        case 2: {
            const DoubleLanes ratio = distance * distance / laneSplat(shape.range);
            const DoubleLanes factor = one / laneSelect(ratio < one, one, ratio);
            return laneSelect(factor <= factor, factor, one);
        }
        default:
            return one;
    }
}

// spotCone lane by lane: 0 outside the cone or for a direction that is not finite, 1 inside the
// feather, the smooth step between.
inline DoubleLanes coneLanes(const SpotConeShape& cone, const Lanes3& lightToPoint) {
    if (!cone.spot) return laneSplat(1.0);
    const DoubleLanes q = dot(splat3(cone.axis), lightToPoint);
    const DoubleLanes t =
        (q - laneSplat(cone.outer)) / laneSplat(std::max(cone.inner - cone.outer, kMinFeatherBand));
    const DoubleLanes smooth = t * t * (laneSplat(3.0) - laneSplat(2.0) * t);
    const LaneMask inside = (q > laneSplat(cone.outer)) & (q < laneSplat(kInfinity));
    return laneSelect(inside, laneSelect(q >= laneSplat(cone.inner), laneSplat(1.0), smooth), laneSplat(0.0));
}

// specularPower for whole exponents, lane by lane: repeated squaring, each lane multiplying in the
// squares its own exponent's bits name.
inline DoubleLanes wholePowerLanes(DoubleLanes x, uint32_t exponentA, uint32_t exponentB) {
    DoubleLanes result = laneSplat(1.0), square = x;
    if (exponentA == exponentB) {
        for (uint32_t bits = exponentA; bits != 0; bits >>= 1) {
            if ((bits & 1u) != 0) result = result * square;
            square = square * square;
        }
    } else {
        for (uint32_t a = exponentA, b = exponentB; (a | b) != 0; a >>= 1, b >>= 1) {
            result = laneSelect(laneMaskOf((a & 1u) != 0, (b & 1u) != 0), result * square, result);
            square = square * square;
        }
    }
    return laneSelect(x > laneSplat(0.0), result, laneSplat(0.0));
}

// The light's contribution and its shadow test at both points, lane by lane. The single loop adds
// each to sums that start at zero; so does this, keeping `0 + x` (which turns -0 into +0) as it is.
struct LightLanes {
    // Direct terms, shadowed and not. With one light, a point whose slope is asked for was shadow
    // tested, so its sum of untested terms is the zero it starts at.
    Lanes3 lit, unshadowed;
    LaneMask tested{};                  // the light was shadow tested
    DoubleLanes visibility = laneSplat(1.0);
    DoubleLanes hint = laneSplat(0.0);
};

// Unit vectors toward the light in world and camera space, and its falloff and cone (lightPathAt).
struct PathLanes {
    Lanes3 world, camera;
    DoubleLanes attenuation = laneSplat(1.0);
};

inline PathLanes pathLanes(const SceneLight& light, const LightShadingTerms& terms, const LitPoint& a,
                           const LitPoint& b) {
    PathLanes path;
    if (terms.type == kLightParallel) {
        path.world = splat3(terms.towardWorld);
        path.camera = splat3(terms.towardCamera);
        return path;
    }
    const Lanes3 toLight = splat3(light.positionWorld) - lanesOf(a.point.worldPosition, b.point.worldPosition);
    const Lanes3 toLightInCamera =
        splat3(light.positionCamera) - lanesOf(a.point.cameraPosition, b.point.cameraPosition);
    const DoubleLanes distance = lengthLanes(toLight);
    path.world = normalizeLanes(toLight, distance);
    path.camera = normalizeLanes(toLightInCamera, lengthLanes(toLightInCamera));
    path.attenuation = falloffLanes(terms.falloff, distance) * coneLanes(terms.cone, -path.world);
    return path;
}

// The light's diffuse and specular contribution before shadowing (directContribution).
inline Lanes3 directLanes(const SceneLight& light, const LightShadingTerms& terms, const PathLanes& path,
                          DoubleLanes nDotL, const Lanes3& nv, const Lanes3& view, const Lanes3& baseRgb,
                          const SurfaceShadingTerms& ka, const SurfaceShadingTerms& kb) {
    const DoubleLanes strength = laneSplat(terms.strength) * path.attenuation;
    const DoubleLanes diffuse = clampLanes(nDotL, 0.0, 1.0) * DoubleLanes{ka.diffuse, kb.diffuse};
    const Lanes3 halfway = view + path.camera;
    const Lanes3 half = normalizeLanes(halfway, lengthLanes(halfway));
    const DoubleLanes power =
        wholePowerLanes(clampLanes(dot(nv, half), 0.0, 1.0), ka.wholeShininess, kb.wholeShininess);
    const DoubleLanes specular =
        power * DoubleLanes{ka.specular, kb.specular} * DoubleLanes{ka.specularScale, kb.specularScale};
    const Lanes3 color = splat3(light.color);
    return (mul(baseRgb, color) * diffuse + color * specular) * strength;
}

// composeShading lane by lane for one light, written into the two results.
void composeLanes(const Lanes3& ambient, const LightLanes& sums, DoubleLanes alpha, bool withSlope,
                  ShadingResult& resultA, ShadingResult& resultB) {
    const DoubleLanes one = laneSplat(1.0);
    // addShadowTest from a minimum of 1 and a strongest shadow of -1.
    const DoubleLanes minimum = laneSelect(sums.tested & (sums.visibility < one), sums.visibility, one);
    const LaneMask stronger = sums.tested & ((one - sums.visibility) > laneSplat(-1.0));
    const DoubleLanes hint = laneSelect(stronger, sums.hint, laneSplat(0.0));
    const DoubleLanes ambientScale = laneSelect(
        sums.tested,
        clampLanes(laneSplat(kShadowedAmbientShare) + laneSplat(1.0 - kShadowedAmbientShare) * minimum, 0.0, 1.0),
        one);
    const DoubleLanes red = clampLanes(ambientScale * ambient.x + sums.lit.x, 0.0, 1.0);
    const DoubleLanes green = clampLanes(ambientScale * ambient.y + sums.lit.y, 0.0, 1.0);
    const DoubleLanes blue = clampLanes(ambientScale * ambient.z + sums.lit.z, 0.0, 1.0);
    const unsigned tested = laneBits(sums.tested);
    ShadingResult* results[2] = {&resultA, &resultB};
    for (int lane = 0; lane < 2; ++lane) {
        ShadingResult& r = *results[lane];
        r.red = red[lane];
        r.green = green[lane];
        r.blue = blue[lane];
        r.alpha = alpha[lane];
        r.lightTested = (tested & (1u << lane)) != 0;
        r.minimumVisibility = minimum[lane];
        r.blockerHint = hint[lane];
        r.slope = ShadowSlope{};
    }
    if (tested == 0 || !withSlope) return;
    auto slopeOf = [](DoubleLanes full, DoubleLanes shadowedAmbient) {
        return clampLanes(full, 0.0, 1.0) - clampLanes(shadowedAmbient + laneSplat(0.0), 0.0, 1.0);
    };
    const DoubleLanes share = laneSplat(kShadowedAmbientShare);
    const DoubleLanes slopeRed = slopeOf(ambient.x + sums.unshadowed.x, share * ambient.x);
    const DoubleLanes slopeGreen = slopeOf(ambient.y + sums.unshadowed.y, share * ambient.y);
    const DoubleLanes slopeBlue = slopeOf(ambient.z + sums.unshadowed.z, share * ambient.z);
    for (int lane = 0; lane < 2; ++lane) {
        if ((tested & (1u << lane)) == 0) continue;
        results[lane]->slope = ShadowSlope{slopeRed[lane], slopeGreen[lane], slopeBlue[lane]};
    }
}

// shadeLitPoint of two points under one light that is not ambient.
void shadeOneLightPair(const LitPoint& a, const LitPoint& b, const SceneLight& light,
                       const LightShadingTerms& terms, const ShadingFrame& frame, bool withSlope,
                       ShadingResult& resultA, ShadingResult& resultB) {
    const SurfaceShadingTerms& ka = *a.surfaceTerms;
    const SurfaceShadingTerms& kb = *b.surfaceTerms;
    const BaseColor baseA = unpackBaseColor(a.point.baseColor, a.surface->opacity);
    const BaseColor baseB = unpackBaseColor(b.point.baseColor, b.surface->opacity);
    const Lanes3 baseRgb =
        lanesOf(Vec3{baseA.red, baseA.green, baseA.blue}, Vec3{baseB.red, baseB.green, baseB.blue});

    const Lanes3 worldNormal = lanesOf(a.point.worldNormal, b.point.worldNormal);
    const Lanes3 n = normalizeLanes(worldNormal, lengthLanes(worldNormal));
    const PathLanes path = pathLanes(light, terms, a, b);
    // Parallel lights reach every point; the others where they are strong enough to shade.
    LaneMask reached = laneMaskOf(true, true);
    if (terms.type != kLightParallel) reached = path.attenuation > laneSplat(kMinAttenuation);
    const DoubleLanes nDotL = dot(n, path.world);
    const LaneMask facing = reached & (nDotL > laneSplat(kMinFacing));
    LightLanes sums;
    sums.tested = reached & laneMaskOf(a.surface->acceptsShadows && light.castsShadows,
                                       b.surface->acceptsShadows && light.castsShadows);
    const unsigned facingBits = laneBits(facing);
    if (facingBits != 0) {
        const Lanes3 cameraNormal = lanesOf(a.point.cameraNormal, b.point.cameraNormal);
        const Lanes3 nv = normalizeLanes(cameraNormal, lengthLanes(cameraNormal));
        const Lanes3 toEye = -lanesOf(a.point.cameraPosition, b.point.cameraPosition);
        const Lanes3 view = normalizeLanes(toEye, lengthLanes(toEye));
        const Lanes3 contribution = directLanes(light, terms, path, nDotL, nv, view, baseRgb, ka, kb);
        const unsigned rayBits = facingBits & laneBits(sums.tested);
        if (rayBits != 0) {
            double visibility[2] = {1.0, 1.0};
            double hint[2] = {0.0, 0.0};
            const LitPoint* points[2] = {&a, &b};
            for (int lane = 0; lane < 2; ++lane) {
                if ((rayBits & (1u << lane)) == 0) continue;
                const LitPoint& q = *points[lane];
                visibility[lane] = pointShadowVisibility(light, terms, 0, q.point, *q.surface, frame,
                                                         laneVec(path.world, lane), laneVec(n, lane), hint[lane]);
            }
            sums.visibility = DoubleLanes{visibility[0], visibility[1]};
            sums.hint = DoubleLanes{hint[0], hint[1]};
        }
        const Lanes3 zero;
        sums.lit = select3(facing, zero + contribution * sums.visibility, zero);
        // Only the slope reads this.
        if (withSlope) sums.unshadowed = select3(facing, zero + contribution, zero);
    }
    // Facing away from a shadow-casting light is being in its shadow.
    sums.visibility = laneSelect(facing, sums.visibility, laneSplat(terms.awayVisibility));
    const Lanes3 ambient = baseRgb * DoubleLanes{ka.ambientGain, kb.ambientGain};
    composeLanes(ambient, sums, DoubleLanes{baseA.alpha, baseB.alpha}, withSlope, resultA, resultB);
}

}  // namespace

void shadeLitPair(const LitPoint& a, const LitPoint& b, const ShadingTerms& terms, const ShadingFrame& frame,
                  bool withSlope, ShadingResult& resultA, ShadingResult& resultB) {
    const std::vector<SceneLight>& lights = frame.scene->lights;
    if (!shadesAsPair(*a.surfaceTerms, *b.surfaceTerms, lights)) {
        resultA = shadeLitPointWithTerms(a.point, *a.surface, *a.surfaceTerms, terms, frame, withSlope);
        resultB = shadeLitPointWithTerms(b.point, *b.surface, *b.surfaceTerms, terms, frame, withSlope);
        return;
    }
    shadeOneLightPair(a, b, lights[0], terms.lights[0], frame, withSlope, resultA, resultB);
}

}  // namespace zephrin
