#include "renderer/gpu/gpu_lighting.h"

#include <sstream>

#include "common/diagnostic_log.h"
#include "common/monotonic_clock.h"

namespace zephrin {

namespace {

constexpr uint64_t kBytesPerMegabyte = 1024 * 1024;
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
    inputs.params = lightingParamsOf(scene.camera, static_cast<uint32_t>(inputs.queries.size()),
                                     static_cast<uint32_t>(inputs.lights.size()),
                                     static_cast<uint32_t>(packed.nodes.size()),
                                     static_cast<uint32_t>(packed.triangles.size()));
    const int64_t converted = nowNanoseconds();

    std::vector<LightingResult> results;
    const bool dispatched =
        packable && !inputs.queries.empty() && dispatchLighting(packed, inputs, results, result.info);
    const int64_t dispatchEnd = nowNanoseconds();
    if (!dispatched || results.size() != inputs.queries.size()) {
        if (renderLogEnabled()) {
            const std::string& reason = result.info.failureReason;
            logRender("RendererV2GPULighting: fallback=cpu reason=" + (reason.empty() ? std::string("dispatch failed") : reason));
        }
        return result;
    }
    scatterLightingResults(inputs, results, buffers);
    result.completed = true;
    if (renderLogEnabled()) {
        std::ostringstream line;
        line << "RendererV2GPULighting: adapter=" << result.info.adapterName
             << " vramMB=" << result.info.dedicatedVideoMemory / kBytesPerMegabyte << " pixels=" << inputs.queries.size()
             << " ms=(prepare:" << millisecondsBetween(start, prepared)
             << ",convert:" << millisecondsBetween(prepared, converted)
             << ",dispatchWall:" << millisecondsBetween(converted, dispatchEnd) << ",dispatch:" << result.info.dispatchMs
             << ",sceneReuse:" << (result.info.sceneReused ? 1 : 0) << ")";
        logRender(line.str());
    }
    return result;
}

bool dispatchLighting(const PackedShadowBvh& /*packed*/, const LightingInputs& /*inputs*/,
                      std::vector<LightingResult>& /*results*/, GpuRunInfo& info) {
    info.failureReason = kNoGpuDeviceReason;
    return false;
}

}  // namespace zephrin
