// The shadow walks with four boxes per pass, for processors with AVX2. Built with AVX2 but not FMA
// (the build gives this file -mavx2 alone): fused multiply-adds would round differently from the
// copy every processor runs, and the two must answer alike. Nothing here runs before
// shadow_rays.cpp has seen AVX2 on the processor.
#if defined(__AVX2__)
#define ZEPHRIN_SHADOW_WALK_AVX2 1
#else
// A build for another processor family: these entry points are never chosen there.
#define ZEPHRIN_SHADOW_WALK_AVX2 0
#endif
#include "renderer/shadows/shadow_walk_body.h"

namespace zephrin {

bool anyHitAvx2(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                const ShadowReceiver& receiver, ShadowRayMemo* memo) {
    return anyHitWalk(bvh, node, origin, direction, maxT, receiver, memo);
}

bool nearestHitAvx2(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                    const ShadowReceiver& receiver, double& bestT, ShadowRayMemo* memo) {
    return nearestHitWalk(bvh, node, origin, direction, maxT, receiver, bestT, memo);
}

}  // namespace zephrin
