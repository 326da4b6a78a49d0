#include "renderer/gpu/gpu_lighting.h"

#include <algorithm>
#include <mutex>
#include <sstream>

#include "common/diagnostic_log.h"
#include "common/monotonic_clock.h"
#include "renderer/gpu/gpu_shadows.h"

namespace zephrin {

namespace {

constexpr uint64_t kBytesPerMegabyte = 1024 * 1024;
constexpr const char* kBvhUploadReason = "failed to upload lighting BVH";
constexpr const char* kInputsReason = "failed to upload GPU lighting inputs";
constexpr const char* kBatchTooLargeReason = "GPU lighting batch is too large";
constexpr const char* kQueryBufferReason = "failed to allocate reusable GPU lighting buffers";
constexpr const char* kResultBufferReason = "failed to create GPU lighting result view";
constexpr const char* kDispatchReason = "dispatch failed";
constexpr const char* kReadbackReason = "GPU lighting result readback failed";

template <typename Record>
bool upload(GpuDevice& device, GpuBuffer& buffer, const Record* records, size_t count) {
    const size_t bytes = count * sizeof(Record);
    return ensureBufferSize(device, bytes, buffer) && (bytes == 0 || uploadToBuffer(device, buffer, records, bytes));
}

bool dispatchLocked(GpuContext& context, const PackedShadowBvh& packed, const LightingInputs& inputs,
                    std::vector<LightingResult>& results, GpuRunInfo& info) {
    if (!ensureGpuDevice(context, &info)) return false;
    context.failureReason.clear();
    GpuPipeline& pipeline = context.pipelines[kGpuLightingPipeline];
    if (packed.nodes.empty() || packed.triangles.empty() || inputs.queries.empty() || inputs.lights.empty() ||
        inputs.surfaces.empty() || pipeline.pipeline == VK_NULL_HANDLE || context.batchLimit == 0) {
        return false;
    }
    GpuDevice& device = context.device;
    GpuLightingBuffers& reusable = context.lighting;
    int64_t stamp = nowNanoseconds();
    if (!uploadShadowScene(context, packed, info.sceneReused)) return failGpuPass(context, kBvhUploadReason);
    if (!upload(device, reusable.lights, inputs.lights.data(), inputs.lights.size()) ||
        !upload(device, reusable.surfaces, inputs.surfaces.data(), inputs.surfaces.size()) ||
        !upload(device, reusable.shadowDepth, inputs.shadowDepth.data(), inputs.shadowDepth.size())) {
        return failGpuPass(context, kInputsReason);
    }
    info.uploadMs += millisecondsBetween(stamp, nowNanoseconds());

    const std::vector<LightingQuery>& queries = inputs.queries;
    results.resize(queries.size());
    const size_t limit = context.batchLimit;
    for (size_t first = 0; first < queries.size(); first += limit) {
        const auto count = static_cast<uint32_t>(std::min(limit, queries.size() - first));
        const GpuBatchBuffers pair{context.lighting.capacity, context.lighting.queries, context.lighting.results,
                                   sizeof(LightingQuery), sizeof(LightingResult), kBatchTooLargeReason,
                                   kQueryBufferReason, kResultBufferReason};
        if (const char* reason = ensureBatchBuffers(context, pair, count)) return failGpuPass(context, reason);
        stamp = nowNanoseconds();
        if (!uploadToBuffer(device, reusable.queries, queries.data() + first, count * sizeof(LightingQuery))) {
            return failGpuPass(context, kInputsReason);
        }
        info.uploadMs += millisecondsBetween(stamp, nowNanoseconds());
        LightingParams params = inputs.params;
        params.queryCount = count;
        double batchMs = 0.0;
        if (!dispatchCompute(device, pipeline,
                             {&context.shadowScene.nodeBuffer, &context.shadowScene.triangleBuffer, &reusable.lights,
                              &reusable.surfaces, &reusable.queries, &reusable.shadowDepth, &reusable.results},
                             &params, (count + kLightingGroupSize - 1) / kLightingGroupSize, 1, 1, &batchMs)) {
            return failGpuPass(context, kDispatchReason);
        }
        info.dispatchMs += batchMs;
        stamp = nowNanoseconds();
        if (!readFromBuffer(device, reusable.results, results.data() + first, count * sizeof(LightingResult))) {
            return failGpuPass(context, kReadbackReason);
        }
        info.readbackMs += millisecondsBetween(stamp, nowNanoseconds());
        info.batchSizes.push_back(count);
    }
    return true;
}
}  // namespace

GpuPassResult runGpuLighting(FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh,
                             const std::vector<ShadowMap>& shadowMaps) {
    GpuPassResult result;
    switch (gpuLightingEligibility(buffers, scene, bvh)) {
        case LightingEligibility::AlphaCaster:
            result.info.failureReason = "alpha shadow caster";
            if (renderLogEnabled()) logRender("RendererV2GPULighting: fallback=cpu reason=alpha shadow caster");
            return result;
        case LightingEligibility::Declined:
            return result;
        case LightingEligibility::Eligible:
            break;
    }

    const int64_t start = nowNanoseconds();
    LightingInputs inputs;
    buildLightingQueries(buffers, scene, inputs);
    const int64_t prepared = nowNanoseconds();
    convertLightingScene(scene, shadowMaps, inputs);
    PackedShadowBvh packed;
    const bool packable = packShadowBvh(bvh, packed);
    inputs.params = lightingParamsOf(
        scene.camera, static_cast<uint32_t>(inputs.queries.size()), static_cast<uint32_t>(inputs.lights.size()),
        static_cast<uint32_t>(packed.nodes.size()), static_cast<uint32_t>(packed.triangles.size()));
    const int64_t converted = nowNanoseconds();

    std::vector<LightingResult> results;
    const bool dispatched =
        packable && !inputs.queries.empty() && dispatchLighting(gpuContext(), packed, inputs, results, result.info);
    const int64_t dispatchEnd = nowNanoseconds();
    if (!dispatched || results.size() != inputs.queries.size()) {
        if (renderLogEnabled()) {
            const std::string& reason = result.info.failureReason;
            logRender("RendererV2GPULighting: fallback=cpu reason=" +
                      (reason.empty() ? std::string("dispatch failed") : reason));
        }
        return result;
    }
    scatterLightingResults(inputs, results, buffers);
    result.completed = true;
    if (renderLogEnabled()) {
        std::ostringstream line;
        line << "RendererV2GPULighting: adapter=" << result.info.adapterName
             << " vramMB=" << result.info.dedicatedVideoMemory / kBytesPerMegabyte
             << " pixels=" << inputs.queries.size() << " ms=(prepare:" << millisecondsBetween(start, prepared)
             << ",convert:" << millisecondsBetween(prepared, converted)
             << ",dispatchWall:" << millisecondsBetween(converted, dispatchEnd)
             << ",dispatch:" << result.info.dispatchMs << ",sceneReuse:" << (result.info.sceneReused ? 1 : 0) << ")";
        logRender(line.str());
    }
    return result;
}

bool dispatchLighting(GpuContext& context, const PackedShadowBvh& packed, const LightingInputs& inputs,
                      std::vector<LightingResult>& results, GpuRunInfo& info) {
    const std::lock_guard<std::mutex> held(context.lock);
    info.batchSizes.clear();
    const bool done = dispatchLocked(context, packed, inputs, results, info);
    reportAdapter(context, info);
    if (!done) results.clear();
    context.lastRuns[kGpuLightingPipeline] = info;
    return done;
}

}  // namespace zephrin
