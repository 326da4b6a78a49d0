#include "renderer/collect/path_layer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <sstream>
#include <vector>

#include "common/diagnostic_log.h"
#include "renderer/geometry/path_mesh.h"
#include "renderer/collect/camera.h"

namespace zephrin {

namespace {

struct CompTiming {
    int64_t frameCount = 1;
    double timeScale = 1.0;
    double frameRate = 1.0;
};

CompTiming readCompTiming(HostSuites& suites, AEGP_CompH comp) {
    const auto& comps = suites.acquire<AEGP_CompSuite9>(kAEGPCompSuite, kAEGPCompSuiteVersion9);
    const auto& items = suites.acquire<AEGP_ItemSuite10>(kAEGPItemSuite, kAEGPItemSuiteVersion10);
    AEGP_ItemH item = nullptr;
    A_Time duration{0, 1};
    A_FpLong rate = 0.0;
    if (comps.AEGP_GetItemFromComp(comp, &item) != A_Err_NONE || items.AEGP_GetItemDuration == nullptr ||
        items.AEGP_GetItemDuration(item, &duration) != A_Err_NONE ||
        comps.AEGP_GetCompFramerate(comp, &rate) != A_Err_NONE) {
        return CompTiming{};
    }
    if (duration.scale == 0 || !(rate > 0.0) || !std::isfinite(rate)) return CompTiming{};
    const double frames = std::round(static_cast<double>(duration.value) / duration.scale * rate);
    if (!(frames >= 1.0) || frames > static_cast<double>(INT32_MAX)) return CompTiming{};
    return CompTiming{static_cast<int64_t>(frames), static_cast<double>(duration.scale), rate};
}

A_Time frameTime(const CompTiming& timing, int64_t frame) {
    const double value = std::round(static_cast<double>(frame) * timing.timeScale / timing.frameRate);
    return A_Time{static_cast<A_long>(std::clamp(value, 0.0, static_cast<double>(INT32_MAX))),
                  static_cast<A_u_long>(timing.timeScale)};
}

std::optional<Matrix4> layerToWorldAt(const AEGP_LayerSuite11& layers, AEGP_LayerH layer, const A_Time& time) {
    A_Matrix4 host{};
    if (layers.AEGP_GetLayerToWorldXform(layer, &time, &host) != A_Err_NONE) return std::nullopt;
    return matrixFromHost(host);
}

Vec3 originOf(const Matrix4& m) { return Vec3{m.m[3][0], m.m[3][1], m.m[3][2]}; }

void logPathMesh(const SceneSurface& surface, const PathSamples& samples) {
    if (!renderLogEnabled()) return;
    const BendControls& c = surface.controls;
    std::ostringstream line;
    line << "RendererV2Path: samples=" << samples.points.size() << " length=" << samples.length
         << " fit=" << (c.fitPathLength ? 1 : 0) << " angle=" << c.pathBendDirection << " motion=" << c.motion
         << " motionDirection=" << c.motionDirection << " verts=" << surface.mesh.vertices.size()
         << " tris=" << surface.mesh.triangles.size();
    logRender(line.str());
}

}  // namespace

const char* pathFailureLine(PathFailure failure) {
    switch (failure) {
        case PathFailure::kSelectedMissing:
            return "RendererV2Path: selectedMissing";
        case PathFailure::kSelectedInvalid:
            return "RendererV2Path: selectedInvalid";
        case PathFailure::kSampleFailed:
            return "RendererV2Path: sampleFailed";
        case PathFailure::kSampledDegenerate:
            return "RendererV2Path: sampledDegenerate";
        case PathFailure::kNone:
            break;
    }
    return "";
}

bool isPathLayerType(AEGP_ObjectType objectType) {
    return objectType == AEGP_ObjectType_AV || objectType == AEGP_ObjectType_LIGHT;
}

AEGP_LayerH resolvePathLayer(HostSuites& suites, AEGP_CompH comp, int32_t ref) {
    if (ref == 0 || comp == nullptr) return nullptr;
    const auto& layers = suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    AEGP_LayerH layer = nullptr;
    const int64_t wide = ref;
    if (wide > 0) {
        A_long count = 0;
        if (layers.AEGP_GetCompNumLayers(comp, &count) != A_Err_NONE) count = 0;
        if (wide <= count) {
            return layers.AEGP_GetCompLayerByIndex(comp, static_cast<A_long>(wide - 1), &layer) == A_Err_NONE ? layer
                                                                                                              : nullptr;
        }
    }
    const int64_t id = wide < 0 ? -wide : wide;
    if (id > INT32_MAX) return nullptr;
    return layers.AEGP_GetLayerFromLayerID(comp, static_cast<AEGP_LayerIDVal>(id), &layer) == A_Err_NONE ? layer
                                                                                                         : nullptr;
}

PathSampling samplePathLayer(HostSuites& suites, PR_RenderContextH renderContext, const A_Time& time,
                             AEGP_LayerH pathLayer, int32_t sampleCount) {
    PathSampling result;
    const auto& canvas = suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
    const auto& layers = suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    AEGP_CompH comp = nullptr;
    if (pathLayer == nullptr || canvas.AEGP_GetCompToRender(renderContext, &comp) != A_Err_NONE) {
        result.failure = PathFailure::kSampleFailed;
        return result;
    }
    const CompTiming timing = readCompTiming(suites, comp);
    const int32_t count = std::clamp(sampleCount, kMinPathSamples, kMaxPathSamples);
    std::vector<Vec3> origins;
    origins.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const A_Time at = frameTime(timing, pathSampleFrame(i, count, timing.frameCount));
        if (const std::optional<Matrix4> m = layerToWorldAt(layers, pathLayer, at)) origins.push_back(originOf(*m));
    }
    const std::optional<Matrix4> now = layerToWorldAt(layers, pathLayer, time);
    std::optional<Vec3> fallback;
    std::optional<Matrix4> worldToLayer;
    if (now) {
        fallback = originOf(*now);
        worldToLayer = invert(*now);
    }
    result.samples = makePathSamples(origins, fallback, worldToLayer);
    if (!result.samples.valid) result.failure = PathFailure::kSampledDegenerate;
    return result;
}

PathOutcome buildPathSurface(HostSuites& suites, PR_RenderContextH renderContext, const A_Time& time,
                             SceneSurface& surface, const MeshPlacement& placement) {
    const auto& canvas = suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
    const auto& layers = suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
    AEGP_CompH comp = nullptr;
    if (canvas.AEGP_GetCompToRender(renderContext, &comp) != A_Err_NONE) comp = nullptr;
    const AEGP_LayerH pathLayer = resolvePathLayer(suites, comp, surface.controls.pathLayerRef);
    PathFailure failure = PathFailure::kNone;
    PathSampling sampling;
    AEGP_ObjectType objectType = AEGP_ObjectType_NONE;
    if (pathLayer == nullptr) {
        failure = PathFailure::kSelectedMissing;
    } else if (layers.AEGP_GetLayerObjectType(pathLayer, &objectType) != A_Err_NONE || !isPathLayerType(objectType)) {
        failure = PathFailure::kSelectedInvalid;
    } else {
        sampling =
            samplePathLayer(suites, renderContext, time, pathLayer, pathSampleCount(surface.controls.subdivisionX));
        failure = sampling.failure;
    }
    if (failure != PathFailure::kNone) {
        logRender(pathFailureLine(failure));
        return PathOutcome::kFallback;
    }
    if (!buildPathMesh(surface, sampling.samples, placement)) return PathOutcome::kHidden;
    logPathMesh(surface, sampling.samples);
    return PathOutcome::kBuilt;
}

}  // namespace zephrin
