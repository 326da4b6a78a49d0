#include "renderer/gpu/gpu_raster.h"

#include <algorithm>
#include <mutex>

#include "common/monotonic_clock.h"
#include "renderer/gpu/gpu_raster_resolve.h"

namespace zephrin {

namespace {

constexpr const char* kTooLargeReason = "GPU raster target is too large";
constexpr const char* kResultBufferReason = "failed to allocate GPU raster result buffer";
constexpr const char* kUploadReason = "failed to upload GPU raster inputs";
constexpr const char* kDispatchReason = "dispatch failed";
constexpr const char* kReadbackReason = "GPU raster result readback failed";

template <typename Record>
bool upload(GpuDevice& device, GpuBuffer& buffer, const std::vector<Record>& records) {
    const size_t bytes = records.size() * sizeof(Record);
    return ensureBufferSize(device, bytes, buffer) &&
           (bytes == 0 || uploadToBuffer(device, buffer, records.data(), bytes));
}

bool dispatchLocked(GpuContext& context, const RasterTiles& tiles, int32_t width, int32_t height,
                    std::vector<RasterResult>& results, GpuRunInfo& info) {
    if (!ensureGpuDevice(context, &info)) return false;
    context.failureReason.clear();
    GpuPipeline& pipeline = context.pipelines[kGpuRasterPipeline];
    if (tiles.triangles.empty() || tiles.tiles.empty() || width <= 0 || height <= 0 ||
        pipeline.pipeline == VK_NULL_HANDLE) {
        return false;
    }
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const uint32_t capacity = rasterResultCapacity(pixels);
    if (capacity == 0) return failGpuPass(context, kTooLargeReason);

    GpuDevice& device = context.device;
    GpuRasterBuffers& reusable = context.raster;
    if (reusable.capacity < capacity || reusable.results.buffer == VK_NULL_HANDLE) {
        destroyBuffer(device, reusable.results);
        reusable.capacity = 0;
        if (!createBuffer(device, static_cast<VkDeviceSize>(capacity) * sizeof(RasterResult), reusable.results)) {
            return failGpuPass(context, kResultBufferReason);
        }
        reusable.capacity = capacity;
    }
    int64_t stamp = nowNanoseconds();
    if (!upload(device, reusable.triangles, tiles.triangles) || !upload(device, reusable.tiles, tiles.tiles) ||
        !upload(device, reusable.indices, tiles.indices)) {
        return failGpuPass(context, kUploadReason);
    }
    info.uploadMs += millisecondsBetween(stamp, nowNanoseconds());

    const RasterParams params{static_cast<uint32_t>(width),
                              static_cast<uint32_t>(height),
                              tiles.tilesX,
                              kRasterTileSize,
                              static_cast<uint32_t>(tiles.triangles.size()),
                              static_cast<uint32_t>(tiles.indices.size()),
                              0u,
                              0u};
    const auto groupsX =
        static_cast<uint32_t>((static_cast<uint64_t>(width) + kRasterGroupSize - 1) / kRasterGroupSize);
    const auto groupsY =
        static_cast<uint32_t>((static_cast<uint64_t>(height) + kRasterGroupSize - 1) / kRasterGroupSize);
    if (!dispatchCompute(device, pipeline, {&reusable.triangles, &reusable.tiles, &reusable.indices, &reusable.results},
                         &params, groupsX, groupsY, 1, &info.dispatchMs)) {
        return failGpuPass(context, kDispatchReason);
    }
    stamp = nowNanoseconds();
    results.resize(static_cast<size_t>(pixels));
    if (!readFromBuffer(device, reusable.results, results.data(), results.size() * sizeof(RasterResult))) {
        return failGpuPass(context, kReadbackReason);
    }
    info.readbackMs += millisecondsBetween(stamp, nowNanoseconds());
    info.batchSizes.push_back(static_cast<uint32_t>(pixels));
    return true;
}

}  // namespace

uint32_t rasterResultCapacity(uint64_t pixels) {
    if (pixels > kMaxRasterResultCapacity) return 0;
    uint64_t capacity = kMinRasterResultCapacity;
    while (capacity < pixels) capacity *= 2;
    return static_cast<uint32_t>(std::min<uint64_t>(capacity, kMaxRasterResultCapacity));
}

bool dispatchRaster(GpuContext& context, const RasterTiles& tiles, int32_t width, int32_t height,
                    std::vector<RasterResult>& results, GpuRunInfo& info) {
    const std::lock_guard<std::mutex> held(context.lock);
    info.batchSizes.clear();
    const bool done = dispatchLocked(context, tiles, width, height, results, info);
    reportAdapter(context, info);
    if (!done) results.clear();
    context.lastRuns[kGpuRasterPipeline] = info;
    return done;
}

GpuRasterResult runGpuRaster(const std::vector<PreparedTriangle>& prepared, FrameBuffers& buffers,
                             const FrameScene& scene) {
    GpuRasterResult result;
    RasterTiles tiles;
    if (!buildRasterTiles(prepared, buffers.rasterWidth, buffers.rasterHeight, tiles)) return result;
    std::vector<RasterResult> pixels;
    if (!dispatchRaster(gpuContext(), tiles, buffers.rasterWidth, buffers.rasterHeight, pixels, result.info)) {
        return result;
    }
    resolveGpuRaster(scene.surfaces, prepared, tiles, pixels, buffers);
    result.accepted = true;
    return result;
}

}  // namespace zephrin
