// What the copies of the shadow walk share across files: the alpha test, which stays in one copy
// for every processor, and the entry points of the AVX2 copy (shadow_walk_avx2.cpp), which only
// shadow_rays.cpp calls and only on processors that have AVX2.
#pragma once

#include <cstdint>

#include "common/vec3.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {

// An alpha-tested caster blocks only where its texture is opaque (u, v of the hit on tri).
bool shadowCasterOpaqueAt(const ShadowBvh& bvh, const ShadowRayTriangle& tri, double u, double v);

bool anyHitAvx2(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                const ShadowReceiver& receiver, ShadowRayMemo* memo);
bool nearestHitAvx2(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                    const ShadowReceiver& receiver, double& bestT, ShadowRayMemo* memo);

}  // namespace zephrin
