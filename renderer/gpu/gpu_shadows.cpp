#include "renderer/gpu/gpu_shadows.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <sstream>
#include <string>

#include "common/diagnostic_log.h"
#include "common/monotonic_clock.h"
#include "renderer/raster/raster_band.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/shading/lighting_model.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {
namespace {

constexpr uint64_t kBytesPerMegabyte = 1ull << 20;
constexpr uint32_t kShadowGroupSize = 64;  // the shader's local size
// The identity packs eight bits of surface (bit 31 is the nearest-hit flag) and 24 of triangle.
constexpr size_t kMaxShadowSurfaces = static_cast<size_t>(kMaxPackedSurfaceIndex) + 1;
constexpr size_t kMaxShadowTrianglesPerSurface = static_cast<size_t>(kMaxPackedTriangleIndex) + 1;
// A receiver this transparent shows nothing a shadow could darken.
constexpr double kMinReceiverOpacity = 0.001;

constexpr const char* kAlphaCasterReason = "alpha shadow caster";
constexpr const char* kUploadReason = "failed to upload shadow BVH";
constexpr const char* kBatchTooLargeReason = "GPU shadow batch is too large";
constexpr const char* kQueryBufferReason = "failed to allocate reusable GPU query buffers";
constexpr const char* kResultBufferReason = "failed to create reusable GPU result view";
constexpr const char* kReadbackReason = "GPU result readback failed";
constexpr const char* kDispatchFailedReason = "dispatch failed";

const Vec3 kFallbackDirection{0.0, 0.0, -1.0};

void logFallback(const std::string& reason) {
    if (!renderLogEnabled()) return;
    logRender("RendererV2GPU: fallback=cpu reason=" + (reason.empty() ? std::string(kDispatchFailedReason) : reason));
}

// Whether the frame can use the pass at all. Only the alpha refusal is worth a log line.
bool shadowPassEligible(const FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh) {
    if (bvh.hasAlphaCasters) {
        // Alpha-tested casters need texture lookups the shader cannot do.
        logFallback(kAlphaCasterReason);
        return false;
    }
    const size_t pixels = buffers.pixelCount();
    if (bvh.nodes.empty() || scene.lights.empty() || buffers.preparedIndex.size() != pixels ||
        buffers.visiblePixels.size() != pixels || buffers.surfaceIndex.size() != pixels ||
        buffers.triangleIndex.size() != pixels) {
        return false;
    }
    const bool wanted = std::any_of(scene.surfaces.begin(), scene.surfaces.end(), [](const SceneSurface& surface) {
        return surface.controls.gpuAcceleration && surface.acceptsShadows;
    });
    if (!wanted || scene.surfaces.size() > kMaxShadowSurfaces) return false;
    return std::none_of(scene.surfaces.begin(), scene.surfaces.end(), [](const SceneSurface& surface) {
        return surface.mesh.triangles.size() > kMaxShadowTrianglesPerSurface;
    });
}

Vec3 toVec3(const float v[3]) { return Vec3{v[0], v[1], v[2]}; }

void toFloats(const Vec3& v, float out[3]) {
    out[0] = static_cast<float>(v.x);
    out[1] = static_cast<float>(v.y);
    out[2] = static_cast<float>(v.z);
}

// The ray lightVisibility traces for this light at this point, if it traces one.
bool shadowQueryFor(const SceneLight& light, const Vec3& point, const Vec3& pixelNormal, GpuShadowQuery& query) {
    const bool positional = light.type == kLightPoint || light.type == kLightSpot;
    Vec3 direction;
    if (positional) {
        const Vec3 toLight = light.positionWorld - point;
        const double distance = length(toLight);
        direction = normalizeOr(toLight, kFallbackDirection);
        // Too weak here to be shaded: the shading asks no visibility either.
        if (lightFalloff(light, distance) * spotCone(light, -direction) <= kMinAttenuation) return false;
    } else {
        direction = normalizeOr(-light.directionWorld, kFallbackDirection);
    }
    Vec3 normal = normalizeOr(pixelNormal, kFallbackDirection);
    if (dot(normal, direction) < 0.0) normal = -normal;
    const Vec3 origin = point + normal * kRayOriginOffset;
    const double maxT =
        positional ? std::max(length(light.positionWorld - origin) - kRayEndOffset, 0.0) : kParallelRayLength;
    if (!(maxT >= kMinRayLength)) return false;
    toFloats(origin, query.origin);
    toFloats(direction, query.dir);
    query.maxT = static_cast<float>(maxT);
    return true;
}

void appendBandQueries(const FrameBuffers& buffers, const FrameScene& scene, int32_t firstRow, int32_t endRow,
                       GpuShadowQueryList& out) {
    const auto width = static_cast<size_t>(buffers.rasterWidth);
    const std::vector<SceneLight>& lights = scene.lights;
    for (size_t pixel = static_cast<size_t>(firstRow) * width; pixel < static_cast<size_t>(endRow) * width; ++pixel) {
        if (buffers.preparedIndex[pixel] < 0) continue;
        const int32_t surfaceIndex = buffers.surfaceIndex[pixel];
        const int32_t triangleIndex = buffers.triangleIndex[pixel];
        if (surfaceIndex < 0 || static_cast<size_t>(surfaceIndex) >= scene.surfaces.size() ||
            surfaceIndex > kMaxPackedSurfaceIndex || triangleIndex < 0 || triangleIndex > kMaxPackedTriangleIndex) {
            continue;
        }
        const SceneSurface& surface = scene.surfaces[static_cast<size_t>(surfaceIndex)];
        // Map Fast shadows come from the shadow map; no ray is traced for them.
        if (!surface.acceptsShadows || surface.controls.shadowMode == ShadowMode::MapFast ||
            !(surface.opacity > kMinReceiverOpacity)) {
            continue;
        }
        const VisiblePixel& visible = buffers.visiblePixels[pixel];
        const Vec3 point = toVec3(visible.worldPosition);
        const Vec3 normal = toVec3(visible.worldNormal);
        const uint32_t identity =
            (static_cast<uint32_t>(surfaceIndex) << 24) | static_cast<uint32_t>(triangleIndex);
        for (size_t l = 0; l < lights.size(); ++l) {
            const SceneLight& light = lights[l];
            if (!light.castsShadows || light.type == kLightAmbient) continue;
            GpuShadowQuery query{};
            if (!shadowQueryFor(light, point, normal, query)) continue;
            query.packedIdentity = identity | (light.shadowDiffusion > kMinShadowDiffusion ? kNearestHitBit : 0u);
            out.queries.push_back(query);
            out.pixels.push_back(static_cast<uint32_t>(pixel));
            out.lights.push_back(static_cast<uint32_t>(l));
        }
    }
}

bool dispatchLocked(GpuContext& context, const PackedShadowBvh& packed, const std::vector<GpuShadowQuery>& queries,
                    std::vector<GpuShadowResult>& results, GpuRunInfo& info) {
    if (!ensureGpuDevice(context, &info)) return false;
    context.failureReason.clear();
    GpuPipeline& pipeline = context.pipelines[kGpuShadowPipeline];
    if (packed.nodes.empty() || packed.triangles.empty() || queries.empty() || pipeline.pipeline == VK_NULL_HANDLE ||
        context.batchLimit == 0) {
        return false;
    }
    GpuDevice& device = context.device;
    int64_t stamp = nowNanoseconds();
    if (!uploadShadowScene(context, packed, info.sceneReused)) return failGpuPass(context, kUploadReason);
    info.uploadMs += millisecondsBetween(stamp, nowNanoseconds());

    results.resize(queries.size());
    const size_t limit = context.batchLimit;
    for (size_t first = 0; first < queries.size(); first += limit) {
        const auto count = static_cast<uint32_t>(std::min(limit, queries.size() - first));
        const GpuBatchBuffers pair{context.shadowBatch.capacity, context.shadowBatch.queries, context.shadowBatch.results,
                                   sizeof(GpuShadowQuery), sizeof(GpuShadowResult), kBatchTooLargeReason,
                                   kQueryBufferReason, kResultBufferReason};
        if (const char* reason = ensureBatchBuffers(context, pair, count)) return failGpuPass(context, reason);
        stamp = nowNanoseconds();
        if (!uploadToBuffer(device, context.shadowBatch.queries, queries.data() + first,
                            count * sizeof(GpuShadowQuery))) {
            return failGpuPass(context, kQueryBufferReason);
        }
        info.uploadMs += millisecondsBetween(stamp, nowNanoseconds());
        const uint32_t params[4] = {count, static_cast<uint32_t>(packed.nodes.size()),
                                    static_cast<uint32_t>(packed.triangles.size()), 0u};
        double batchMs = 0.0;
        if (!dispatchCompute(device, pipeline,
                             {&context.shadowScene.nodeBuffer, &context.shadowScene.triangleBuffer,
                              &context.shadowBatch.queries, &context.shadowBatch.results},
                             params, (count + kShadowGroupSize - 1) / kShadowGroupSize, 1, 1, &batchMs)) {
            return failGpuPass(context, kDispatchFailedReason);
        }
        info.dispatchMs += batchMs;
        stamp = nowNanoseconds();
        if (!readFromBuffer(device, context.shadowBatch.results, results.data() + first,
                            count * sizeof(GpuShadowResult))) {
            return failGpuPass(context, kReadbackReason);
        }
        info.readbackMs += millisecondsBetween(stamp, nowNanoseconds());
        info.batchSizes.push_back(count);
    }
    return true;
}

std::string formatShadowLine(const GpuRunInfo& info, size_t queries, double prepareMs, double convertMs,
                             double wallMs, double scatterMs) {
    std::ostringstream line;
    line << "RendererV2GPU: adapter=" << info.adapterName
         << " vramMB=" << info.dedicatedVideoMemory / kBytesPerMegabyte << " queries=" << queries
         << " batch=" << info.batchLimit << " ms=(prepare:" << prepareMs << ",convert:" << convertMs
         << ",dispatchWall:" << wallMs << ",dispatch:" << info.dispatchMs << ",scatter:" << scatterMs
         << ",sceneReuse:" << (info.sceneReused ? 1 : 0) << ")";
    return line.str();
}

}  // namespace

uint32_t shadowBatchCapacity(uint32_t batch, uint32_t batchLimit) {
    uint32_t capacity = kMinShadowBatchCapacity;
    while (capacity < batch) {
        const uint32_t next = std::min<uint64_t>(static_cast<uint64_t>(capacity) * 2, batchLimit);
        if (next <= capacity || next > kMaxShadowBatchCapacity) return 0;
        capacity = next;
    }
    return capacity;
}

const char* ensureBatchBuffers(GpuContext& context, const GpuBatchBuffers& pair, uint32_t batch) {
    if (pair.capacity >= batch && pair.queries.buffer != VK_NULL_HANDLE && pair.results.buffer != VK_NULL_HANDLE) {
        return nullptr;
    }
    const uint32_t capacity = shadowBatchCapacity(batch, context.batchLimit);
    if (capacity == 0) return pair.tooLargeReason;
    GpuDevice& device = context.device;
    destroyBuffer(device, pair.queries);
    destroyBuffer(device, pair.results);
    pair.capacity = 0;
    if (!createBuffer(device, static_cast<VkDeviceSize>(capacity) * pair.queryBytes, pair.queries)) {
        return pair.queryBufferReason;
    }
    if (!createBuffer(device, static_cast<VkDeviceSize>(capacity) * pair.resultBytes, pair.results)) {
        destroyBuffer(device, pair.queries);
        return pair.resultBufferReason;
    }
    pair.capacity = capacity;
    return nullptr;
}

GpuShadowQueryList buildShadowQueries(const FrameBuffers& buffers, const FrameScene& scene) {
    const int32_t height = buffers.rasterHeight;
    const auto bands = static_cast<uint32_t>(workerCount(static_cast<uint32_t>(std::max(height, 0)), kRasterRowBlock));
    std::vector<GpuShadowQueryList> perBand(bands);
    auto body = [&](uint32_t begin, uint32_t end) {
        for (uint32_t band = begin; band < end; ++band) {
            const auto first = static_cast<int32_t>(static_cast<int64_t>(band) * height / bands);
            const auto last = static_cast<int32_t>(static_cast<int64_t>(band + 1) * height / bands);
            appendBandQueries(buffers, scene, first, last, perBand[band]);
        }
    };
    parallelFor(bands, 1, body);

    GpuShadowQueryList all;
    size_t total = 0;
    for (const GpuShadowQueryList& band : perBand) total += band.queries.size();
    all.queries.reserve(total);
    all.pixels.reserve(total);
    all.lights.reserve(total);
    for (const GpuShadowQueryList& band : perBand) {
        all.queries.insert(all.queries.end(), band.queries.begin(), band.queries.end());
        all.pixels.insert(all.pixels.end(), band.pixels.begin(), band.pixels.end());
        all.lights.insert(all.lights.end(), band.lights.begin(), band.lights.end());
    }
    return all;
}

bool dispatchShadowQueries(GpuContext& context, const PackedShadowBvh& packed,
                           const std::vector<GpuShadowQuery>& queries, std::vector<GpuShadowResult>& results,
                           GpuRunInfo& info) {
    const std::lock_guard<std::mutex> held(context.lock);
    info.batchSizes.clear();
    const bool done = dispatchLocked(context, packed, queries, results, info);
    reportAdapter(context, info);
    if (!done) results.clear();
    context.lastRuns[kGpuShadowPipeline] = info;
    return done;
}

GpuPassResult runGpuShadows(const FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh,
                            ShadowSampleCache& cache) {
    cache.samples.clear();
    cache.lightCount = 0;
    GpuPassResult result;
    if (!shadowPassEligible(buffers, scene, bvh)) return result;

    const int64_t start = nowNanoseconds();
    const GpuShadowQueryList list = buildShadowQueries(buffers, scene);
    const int64_t prepared = nowNanoseconds();
    PackedShadowBvh packed;
    if (!packShadowBvh(bvh, packed)) return result;
    const int64_t converted = nowNanoseconds();

    std::vector<GpuShadowResult> answers;
    if (!dispatchShadowQueries(gpuContext(), packed, list.queries, answers, result.info)) {
        logFallback(result.info.failureReason);
        return result;
    }
    const int64_t dispatched = nowNanoseconds();

    const size_t lightCount = scene.lights.size();
    cache.lightCount = static_cast<int32_t>(lightCount);
    cache.samples.assign(buffers.pixelCount() * lightCount, ShadowSample{});
    for (size_t i = 0; i < answers.size(); ++i) {
        ShadowSample& sample = cache.samples[static_cast<size_t>(list.pixels[i]) * lightCount + list.lights[i]];
        sample.distance = answers[i].nearestT;
        sample.valid = true;
        sample.hit = answers[i].hit != 0;
    }
    const int64_t scattered = nowNanoseconds();
    if (renderLogEnabled()) {
        logRender(formatShadowLine(result.info, list.queries.size(), millisecondsBetween(start, prepared),
                                   millisecondsBetween(prepared, converted), millisecondsBetween(converted, dispatched),
                                   millisecondsBetween(dispatched, scattered)));
    }
    result.completed = true;
    return result;
}

}  // namespace zephrin
