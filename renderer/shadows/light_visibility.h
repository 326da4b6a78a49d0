// The visibility of one light at a receiving point: lightVisibility's body, inline so that shading,
// which asks it once per lit pixel and light, builds no query record in memory and makes no call
// around the shadow ray itself.
#pragma once

#include <algorithm>
#include <cmath>

#include "common/vec3.h"
#include "renderer/shadows/shadow_map.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {

// Blocker hint of any-hit rays, which do not measure the blocker distance.
constexpr double kAnyHitBlockerHint = 0.5;
// Contact hardening: the hint reaches 0.5 when the blocker lies a fifth of the way to the light
// (point and spot lights), or 200 px from the receiver (parallel lights).
constexpr double kBlockerHintLightShare = 0.2;
constexpr double kParallelBlockerHintDistance = 200.0;
constexpr double kMinBlockerDistance = 1e-6;
// Partial ray visibility is sharpened by this exponent before the darkness is applied.
constexpr double kVisibilityExponent = 1.32;
constexpr double kMapSoftnessPerDiffusion = 0.1;

// The shadow ray from the root of the hierarchy, with the light's memo (shadow_rays.cpp).
bool visibilityRayHits(const ShadowBvh& bvh, const Vec3& origin, const Vec3& direction, double maxT,
                       const ShadowReceiver& receiver, ShadowRayMemo* memo);
bool visibilityRayNearestHit(const ShadowBvh& bvh, const Vec3& origin, const Vec3& direction, double maxT,
                             const ShadowReceiver& receiver, double& bestT, ShadowRayMemo* memo);

// lightVisibility (shadow_rays.h), the same answers.
[[gnu::always_inline]] inline double visibilityOfLight(const ShadowBvh* casters, const SceneLight& light,
                                                       const ShadowLightTerms& terms, const VisibilityQuery& query,
                                                       double* blockerHint) {
    if (blockerHint != nullptr) *blockerHint = 0.0;
    if (!terms.castsShadows) return 1.0;
    // Without darkness every point is fully lit whatever a ray or the map finds: only a soft
    // shadow's blocker hint still needs the ray.
    if (!(terms.darkness > 0.0) && !(blockerHint != nullptr && terms.diffuse)) return 1.0;
    const ShadowMode mode = query.shadowMode;
    const bool mapUsable =
        query.map != nullptr && query.map->valid && (casters == nullptr || !casters->hasAlphaCasters);
    const double darkness = terms.darkness;
    auto darken = [darkness](double visibility) {
        double v = std::clamp(1.0 - (1.0 - visibility) * darkness, 0.0, 1.0);
        return std::isnan(v) ? 1.0 : v;
    };
    auto mapVisibility = [&]() {
        return sampleShadowMap(*query.map, query.point, terms.mapSoftness + query.shadowSoftness, query.shadowQuality);
    };

    if (mode == ShadowMode::MapFast && mapUsable) {
        return darken(mapVisibility());
    }
    if (casters == nullptr || casters->nodes.empty()) return 1.0;
    const ShadowBvh& bvh = *casters;

    const bool positional = terms.positional;
    const Vec3 fallback{0.0, 0.0, -1.0};
    Vec3 direction, normal;
    if (query.unitVectorsGiven) {
        direction = query.towardLight;
        normal = query.unitNormal;
    } else {
        direction = positional ? normalizeOr(light.positionWorld - query.point, fallback)
                               : normalizeOr(-light.directionWorld, fallback);
        normal = normalizeOr(query.normal, fallback);
    }
    if (dot(normal, direction) < 0.0) normal = -normal;
    const Vec3 origin = query.point + normal * kRayOriginOffset;
    const double maxT =
        positional ? std::max(length(light.positionWorld - origin) - kRayEndOffset, 0.0) : kParallelRayLength;
    if (!(maxT >= kMinRayLength)) return 1.0;

    const bool diffuse = terms.diffuse;
    double blocker = 0.0;
    double base = 1.0;
    if (query.cached != nullptr) {
        base = query.cached->hit ? 0.0 : 1.0;
        if (query.cached->hit && diffuse) blocker = query.cached->distance;
    } else if (query.anyHitOnly || !diffuse) {
        base = visibilityRayHits(bvh, origin, direction, maxT, query.receiver, query.memo) ? 0.0 : 1.0;
    } else {
        double best = maxT;
        if (visibilityRayNearestHit(bvh, origin, direction, maxT, query.receiver, best, query.memo)) {
            base = 0.0;
            blocker = best;
        }
    }

    if (blockerHint != nullptr && base < 0.5 && diffuse) {
        double hint = kAnyHitBlockerHint;
        if (!query.anyHitOnly) {
            double t = std::max(blocker, 0.0);
            if (t <= kMinBlockerDistance) {
                hint = 0.0;
            } else if (positional) {
                hint = t / (std::max(maxT - t, 1.0) * kBlockerHintLightShare + t);
            } else {
                hint = t / (t + kParallelBlockerHintDistance);
            }
        }
        *blockerHint = std::isnan(hint) ? 0.0 : std::clamp(hint, 0.0, 1.0);
    }

    if (mode == ShadowMode::Hybrid && mapUsable && base > 0.0) {
        base = std::min(base, mapVisibility());
    }
    double v = base <= 0.0 ? 0.0 : (base >= 1.0 ? 1.0 : std::pow(base, kVisibilityExponent));
    return darken(v);
}

}  // namespace zephrin
