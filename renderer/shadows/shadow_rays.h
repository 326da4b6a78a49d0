// Shadow rays through the hierarchy (any hit and nearest hit, with a per-thread memo of the last
// blocker) and the visibility of one light at a receiving point, which combines them with the
// light's shadow map according to the receiver's shadow mode.
#pragma once

#include <cstdint>

#include "common/vec3.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shadows/shadow_bvh.h"

namespace zephrin {

struct ShadowMap;  // renderer/shadows/shadow_map.h

// Offsets of the shadow ray's origin along the receiver's normal, and of its end before the light:
// large enough to leave the receiver's own slab (shadow acne), small against a layer's size.
// The GPU shadow queries build the same rays from these.
constexpr double kRayOriginOffset = 1.8;
constexpr double kRayEndOffset = 0.5;
constexpr double kMinRayLength = 0.01;
constexpr double kParallelRayLength = 1e9;
// Diffusion below this keeps shadows hard: no blocker distance is needed.
constexpr double kMinShadowDiffusion = 0.01;

// The receiver of a shadow ray: its own triangle never blocks it, and a plain layer never shadows
// itself at all.
struct ShadowReceiver {
    int32_t surface = -1;
    int32_t triangle = -1;
};

// True when something opaque lies on the ray between the hit epsilon and maxT.
bool anyHit(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
            const ShadowReceiver& receiver);

// The nearest opaque hit below min(bestT, maxT); bestT is replaced by its distance when one is found.
bool nearestHit(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                const ShadowReceiver& receiver, double& bestT);

// The copies of the walk: one every x86-64 processor runs (paired SSE2 arithmetic), and one that
// tests four boxes per pass with AVX2. anyHit and nearestHit use the widest the processor has; both
// give the same answers.
enum class ShadowWalkPath { Portable, Avx2 };
ShadowWalkPath widestShadowWalkPath();

// anyHit and nearestHit on a chosen copy (Avx2 falls back to Portable where the processor lacks it).
bool anyHitOn(ShadowWalkPath path, const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction,
              double maxT, const ShadowReceiver& receiver);
bool nearestHitOn(ShadowWalkPath path, const ShadowBvh& bvh, int32_t node, const Vec3& origin,
                  const Vec3& direction, double maxT, const ShadowReceiver& receiver, double& bestT);

// A shadow ray answered ahead of shading (by the GPU); null when the CPU traces it.
struct CachedShadowHit {
    bool hit = false;
    double distance = 0.0;
};

// The triangle that last blocked one light's shadow rays on one thread (a position in
// ShadowBvh::rayTriangles, -1 for none). Neighbouring pixels are mostly shadowed by the same
// triangle: testing it first answers an any-hit ray at once and gives a nearest-hit ray a short
// limit before it walks the tree. The answers are the same with or without it.
struct ShadowRayMemo {
    int32_t blocker = -1;
};

struct VisibilityQuery {
    const ShadowMap* map = nullptr;  // the light's map, or null
    Vec3 point;                      // world position of the receiving point
    Vec3 normal;                     // its world normal
    ShadowReceiver receiver;
    int32_t shadowQuality = 1;
    double shadowSoftness = 0.0;  // the surface's own softness, percent
    ShadowMode shadowMode = ShadowMode::Auto;
    bool anyHitOnly = false;  // quick preview: no nearest-hit rays, a fixed blocker hint
    const CachedShadowHit* cached = nullptr;
    ShadowRayMemo* memo = nullptr;  // this thread's memo for the light, or null
    // The unit vectors toward the light and along the normal, when the caller has already worked
    // them out exactly as lightVisibility would (normalizeOr with (0, 0, -1) as the fallback).
    bool unitVectorsGiven = false;
    Vec3 towardLight;
    Vec3 unitNormal;
};

// Visibility of `light` at the query point in [0, 1] (1 fully lit), darkness applied. blockerHint,
// when given, receives the contact-hardening hint of the nearest blocker (0 when there is none).
double lightVisibility(const ShadowBvh& bvh, const SceneLight& light, const VisibilityQuery& query,
                       double* blockerHint);

}  // namespace zephrin
