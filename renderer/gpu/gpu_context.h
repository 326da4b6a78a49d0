// The one process-wide GPU context: the Vulkan device the compute passes share, their pipelines,
// the batch limit and the buffers they keep from frame to frame. It is created on first use and
// initialised once; a failed initialisation is never retried, so every later frame falls back to
// the CPU at once with the same reason. Each pass holds `lock` for its whole upload, dispatch and
// readback, so the device is never used from two threads at once.
//
// The reason texts are what users and the render log see; they keep the names of the platform
// calls they stand for (the device list, the device, the shaders) across graphics APIs.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "renderer/gpu/gpu_adapter.h"
#include "renderer/gpu/gpu_device.h"
#include "renderer/gpu/gpu_run_info.h"
#include "renderer/gpu/shadow_bvh_packing.h"

namespace zephrin {

inline constexpr const char* kGpuLoaderUnavailableReason = "DXGI factory unavailable";
inline constexpr const char* kGpuNoAdapterReason = "no discrete DXGI adapter";
inline constexpr const char* kGpuDeviceCreationReason = "D3D11 device creation failed";
// A device that stopped answering (driver reset, hang) is not used again in this process.
inline constexpr const char* kGpuDeviceLostReason = "GPU device lost";

enum GpuPipelineKind : int32_t {
    kGpuShadowPipeline = 0,
    kGpuRasterPipeline = 1,
    kGpuLightingPipeline = 2,
    kGpuPipelineCount = 3,
};

// The packed shadow hierarchy last uploaded, kept while frames bring the same one (byte for byte).
// Shared by the shadow-query and lighting passes.
struct GpuShadowScene {
    std::vector<PackedBvhNode> nodes;
    std::vector<PackedShadowTriangle> triangles;
    GpuBuffer nodeBuffer, triangleBuffer;
};

// The shadow pass's reusable batch buffers; capacity in queries.
struct GpuShadowBatch {
    uint32_t capacity = 0;
    GpuBuffer queries, results;
};

struct GpuContext {
    std::mutex lock;
    bool initialised = false;  // initialisation was attempted (only ever once)
    bool ready = false;        // it succeeded
    std::string failureReason;
    std::string adapterName;
    uint64_t dedicatedVideoMemory = 0;  // bytes
    uint32_t batchLimit = 0;
    GpuDevice device;
    std::array<GpuPipeline, kGpuPipelineCount> pipelines{};
    GpuShadowScene shadowScene;
    GpuShadowBatch shadowBatch;
    // Each pass's last run, by pipeline kind: its transfer and dispatch times for the benchmarks.
    std::array<GpuRunInfo, kGpuPipelineCount> lastRuns{};

    GpuContext() = default;
    GpuContext(const GpuContext&) = delete;
    GpuContext& operator=(const GpuContext&) = delete;
    ~GpuContext();
};

// How a context opens its device. Production uses the defaults; tests name a missing loader to
// see the fallback, and switch the validation layers on to catch misuse of the API.
struct GpuDeviceOptions {
    std::string loaderName = kVulkanLoaderName;
    bool validation = false;  // only when the validation layer is installed
};

// The process-wide context, created on first call (thread-safe). Released at process exit, or when
// the plug-in is unloaded, without touching a driver that has already gone.
GpuContext& gpuContext();

// True when the device and every embedded pipeline exist. The caller holds context.lock. After the
// first call it only reports the stored state; `info`, when given, receives the adapter name, the
// reason, the memory and the batch limit either way.
bool ensureGpuDevice(GpuContext& context, GpuRunInfo* info, const GpuDeviceOptions& options = {});

// Copies the adapter data and the reason into a pass's run info.
void reportAdapter(const GpuContext& context, GpuRunInfo& info);

// Marks a failure of the current pass: the device's loss wins over the pass's own text.
bool failGpuPass(GpuContext& context, const char* reason);

// Uploads the packed hierarchy unless the context already holds the same one. `reused` tells which.
bool uploadShadowScene(GpuContext& context, const PackedShadowBvh& packed, bool& reused);

// Destroys everything the context holds, device last; the context can be initialised again.
void releaseGpuContext(GpuContext& context);

// Every adapter the Vulkan loader reports, in enumeration order, without creating a device; for
// `zephrin info --gpu`. An empty list with a reason when the loader or the instance is missing.
struct GpuAdapterSurvey {
    std::string failureReason;
    std::vector<GpuAdapterDescription> adapters;
};
GpuAdapterSurvey surveyGpuAdapters(const GpuDeviceOptions& options = {});

}  // namespace zephrin
