// What a GPU pass reports about its run, for its log line and for the CPU fallback.
#pragma once

#include <cstdint>
#include <string>

namespace zephrin {

struct GpuRunInfo {
    std::string adapterName;    // UTF-8
    std::string failureReason;  // empty when the pass gave no reason
    uint64_t dedicatedVideoMemory = 0;  // bytes
    uint32_t batchLimit = 0;            // largest number of queries or pixels per dispatch
    double dispatchMs = 0.0;
    bool sceneReused = false;
};

// This build has no Direct3D device to run the compute passes on.
inline constexpr const char* kNoGpuDeviceReason = "no GPU device";

// Outcome of the shadow-query and lighting passes; on false the CPU twin does the work.
struct GpuPassResult {
    bool completed = false;
    GpuRunInfo info;
};

}  // namespace zephrin
