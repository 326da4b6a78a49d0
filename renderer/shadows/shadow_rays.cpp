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
#include "renderer/shadows/light_visibility.h"
#include "renderer/shadows/shadow_map.h"
#include "renderer/shadows/shadow_walk_paths.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {
namespace {

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
    return visibilityOfLight(casters, light, terms, query, blockerHint);
}

bool visibilityRayHits(const ShadowBvh& bvh, const Vec3& origin, const Vec3& direction, double maxT,
                       const ShadowReceiver& receiver, ShadowRayMemo* memo) {
    return anyHitRemembering(bvh, 0, origin, direction, maxT, receiver, memo);
}

bool visibilityRayNearestHit(const ShadowBvh& bvh, const Vec3& origin, const Vec3& direction, double maxT,
                             const ShadowReceiver& receiver, double& bestT, ShadowRayMemo* memo) {
    return nearestHitRemembering(bvh, 0, origin, direction, maxT, receiver, bestT, memo);
}

}  // namespace zephrin
