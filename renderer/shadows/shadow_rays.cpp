// Shadow rays against the hierarchy (any hit and nearest hit) and the per-light visibility that
// combines them with the light's shadow map according to the receiver's shadow mode. The walks
// themselves are in shadow_walk_body.h; this file holds the copy every processor runs and picks,
// once per process, the widest copy the processor can run.
#include "renderer/shadows/shadow_rays.h"

#define ZEPHRIN_SHADOW_WALK_AVX2 0
#include "renderer/shadows/shadow_walk_body.h"

#include <algorithm>
#include <cmath>

#include "renderer/scene/light_gains.h"
#include "renderer/shadows/shadow_map.h"
#include "renderer/shadows/shadow_walk_paths.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {
namespace {
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

ShadowWalkPath detectShadowWalkPath() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return ShadowWalkPath::Avx2;
#endif
    return ShadowWalkPath::Portable;
}

// Decided once, before any frame: the processor does not change under a running process.
const ShadowWalkPath kWidestShadowWalkPath = detectShadowWalkPath();

bool anyHitRemembering(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                       const ShadowReceiver& receiver, ShadowRayMemo* memo) {
    if (kWidestShadowWalkPath == ShadowWalkPath::Avx2) {
        return anyHitAvx2(bvh, node, origin, direction, maxT, receiver, memo);
    }
    return anyHitWalk(bvh, node, origin, direction, maxT, receiver, memo);
}

bool nearestHitRemembering(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction,
                           double maxT, const ShadowReceiver& receiver, double& bestT, ShadowRayMemo* memo) {
    if (kWidestShadowWalkPath == ShadowWalkPath::Avx2) {
        return nearestHitAvx2(bvh, node, origin, direction, maxT, receiver, bestT, memo);
    }
    return nearestHitWalk(bvh, node, origin, direction, maxT, receiver, bestT, memo);
}

}  // namespace

// A caster fragment at or below this alpha lets light through.
constexpr double kTransparentCasterAlpha = 0.001;

// An alpha-tested caster blocks only where its texture is opaque.
bool shadowCasterOpaqueAt(const ShadowBvh& bvh, const ShadowRayTriangle& tri, double u, double v) {
    if (!tri.alphaTested || bvh.surfaces == nullptr) return true;
    const SceneSurface& surface = (*bvh.surfaces)[static_cast<size_t>(tri.surfaceIndex)];
    const SurfaceTriangle& mesh = surface.mesh.triangles[static_cast<size_t>(tri.triangleIndex)];
    const SurfaceVertex& a = surface.mesh.vertices[static_cast<size_t>(mesh.a)];
    const SurfaceVertex& b = surface.mesh.vertices[static_cast<size_t>(mesh.b)];
    const SurfaceVertex& c = surface.mesh.vertices[static_cast<size_t>(mesh.c)];
    double w = 1.0 - u - v;
    double tu = w * a.u + u * b.u + v * c.u;
    double tv = w * a.v + u * b.v + v * c.v;
    PackedColor color = faceColour(surface, mesh.faceCode, tu, tv);
    return packedAlpha(color) / 255.0 * surface.opacity > kTransparentCasterAlpha;
}

ShadowWalkPath widestShadowWalkPath() { return kWidestShadowWalkPath; }

bool anyHitOn(ShadowWalkPath path, const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction,
              double maxT, const ShadowReceiver& receiver) {
    if (path == ShadowWalkPath::Avx2 && kWidestShadowWalkPath == ShadowWalkPath::Avx2) {
        return anyHitAvx2(bvh, node, origin, direction, maxT, receiver, nullptr);
    }
    return anyHitWalk(bvh, node, origin, direction, maxT, receiver, nullptr);
}

bool nearestHitOn(ShadowWalkPath path, const ShadowBvh& bvh, int32_t node, const Vec3& origin,
                  const Vec3& direction, double maxT, const ShadowReceiver& receiver, double& bestT) {
    if (path == ShadowWalkPath::Avx2 && kWidestShadowWalkPath == ShadowWalkPath::Avx2) {
        return nearestHitAvx2(bvh, node, origin, direction, maxT, receiver, bestT, nullptr);
    }
    return nearestHitWalk(bvh, node, origin, direction, maxT, receiver, bestT, nullptr);
}

bool anyHit(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
            const ShadowReceiver& receiver) {
    return anyHitRemembering(bvh, node, origin, direction, maxT, receiver, nullptr);
}

bool nearestHit(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                const ShadowReceiver& receiver, double& bestT) {
    return nearestHitRemembering(bvh, node, origin, direction, maxT, receiver, bestT, nullptr);
}

ShadowLightTerms shadowLightTerms(const SceneLight& light) {
    ShadowLightTerms terms;
    terms.castsShadows = light.castsShadows;
    terms.positional = light.type == kLightPoint || light.type == kLightSpot;
    terms.diffuse = light.shadowDiffusion > kMinShadowDiffusion;
    terms.darkness = std::clamp(light.shadowDarkness * kShadowDarknessGain, 0.0, 1.0);
    terms.mapSoftness = light.shadowDiffusion * kMapSoftnessPerDiffusion;
    return terms;
}

double lightVisibility(const ShadowBvh& bvh, const SceneLight& light, const VisibilityQuery& query,
                       double* blockerHint) {
    return lightVisibility(&bvh, light, shadowLightTerms(light), query, blockerHint);
}

double lightVisibility(const ShadowBvh* casters, const SceneLight& light, const ShadowLightTerms& terms,
                       const VisibilityQuery& query, double* blockerHint) {
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
        return sampleShadowMap(*query.map, query.point, terms.mapSoftness + query.shadowSoftness,
                               query.shadowQuality);
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
        base = anyHitRemembering(bvh, 0, origin, direction, maxT, query.receiver, query.memo) ? 0.0 : 1.0;
    } else {
        double best = maxT;
        if (nearestHitRemembering(bvh, 0, origin, direction, maxT, query.receiver, best, query.memo)) {
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
