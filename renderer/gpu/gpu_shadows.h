// GPU shadow queries: every shadow ray the CPU shading would trace, for all visible pixels and all
// shadow-casting lights, traced at once on the GPU and cached per pixel and light for the shading
// pass to read. When the pass declines or fails the cache stays empty and the CPU traces the rays
// itself; the image is the same either way.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/gpu/gpu_context.h"
#include "renderer/gpu/gpu_run_info.h"
#include "renderer/gpu/shadow_bvh_packing.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_sample_cache.h"

namespace zephrin {

// One ray as the shader reads it (32 bytes, little-endian).
struct GpuShadowQuery {
    float origin[3];  // the receiving point offset along its normal
    float maxT;
    float dir[3];             // unit, toward the light
    uint32_t packedIdentity;  // kNearestHitBit | surface << 24 | triangle
};
static_assert(sizeof(GpuShadowQuery) == 32, "GpuShadowQuery mirrors the shader's 32-byte Query");

// The shader's answer (8 bytes).
struct GpuShadowResult {
    float nearestT;  // distance of the hit used
    uint32_t hit;    // non-zero when blocked
};
static_assert(sizeof(GpuShadowResult) == 8, "GpuShadowResult mirrors the shader's 8-byte Result");

// Set in a query's identity when the blocker distance is wanted (soft shadows), not just a hit.
constexpr uint32_t kNearestHitBit = 0x80000000u;

// The queries of a frame and, for each, where its answer goes.
struct GpuShadowQueryList {
    std::vector<GpuShadowQuery> queries;
    std::vector<uint32_t> pixels;  // raster pixel of query i
    std::vector<uint32_t> lights;  // light of query i
};

// Batch buffers are never smaller than this many queries, so small frames allocate once.
constexpr uint32_t kMinShadowBatchCapacity = 65536;
// The most queries one batch buffer may hold (its byte size stays within 32 bits).
constexpr uint32_t kMaxShadowBatchCapacity = 0x7FFFFFF;

// The query capacity for a batch: kMinShadowBatchCapacity, doubled until it holds the batch and
// never beyond the batch limit. 0 when it cannot hold it.
uint32_t shadowBatchCapacity(uint32_t batch, uint32_t batchLimit);

// A pass's reusable pair of query and result buffers, and what to say when they cannot be made.
struct GpuBatchBuffers {
    uint32_t& capacity;
    GpuBuffer& queries;
    GpuBuffer& results;
    size_t queryBytes = 0, resultBytes = 0;  // per query
    const char* tooLargeReason = nullptr;
    const char* queryBufferReason = nullptr;
    const char* resultBufferReason = nullptr;
};

// Grows the pair to hold `batch` queries (shadowBatchCapacity's rule, on the context's batch limit);
// null when they are ready, else the reason. Both passes batch the same way on the same device.
const char* ensureBatchBuffers(GpuContext& context, const GpuBatchBuffers& pair, uint32_t batch);

// The rays shading would trace for every visible pixel and light, in parallel row bands.
GpuShadowQueryList buildShadowQueries(const FrameBuffers& buffers, const FrameScene& scene);

// The device-side part: uploads the hierarchy (unless the context holds it already), runs the queries
// in batches of at most the batch limit and reads the results back, one per query. Holds the
// context's lock throughout. False with the context's reason in `info` on any failure.
bool dispatchShadowQueries(GpuContext& context, const PackedShadowBvh& packed,
                           const std::vector<GpuShadowQuery>& queries, std::vector<GpuShadowResult>& results,
                           GpuRunInfo& info);

// The whole pass on the process's GPU context: eligibility, queries, dispatch, scatter into the
// cache and the log line. False (cache empty) when the CPU is to trace the rays.
GpuPassResult runGpuShadows(const FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh,
                            ShadowSampleCache& cache);

}  // namespace zephrin
