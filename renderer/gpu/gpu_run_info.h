// What a GPU pass reports about its run, for its log line and for the CPU fallback.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zephrin {

struct GpuRunInfo {
    std::string adapterName;    // UTF-8
    std::string failureReason;  // empty when the pass gave no reason
    uint64_t dedicatedVideoMemory = 0;  // bytes
    uint32_t batchLimit = 0;            // largest number of queries or pixels per dispatch
    double dispatchMs = 0.0;            // GPU work alone, summed over the batches
    double uploadMs = 0.0;              // copies into GPU buffers
    double readbackMs = 0.0;            // copies out of them
    bool sceneReused = false;
    std::vector<uint32_t> batchSizes;  // queries or pixels of each dispatch, in order
};

// What a pass reports when the process has no usable GPU context at all (before one is asked for).
inline constexpr const char* kNoGpuDeviceReason = "no GPU device";

// Outcome of the shadow-query and lighting passes; on false the CPU twin does the work.
struct GpuPassResult {
    bool completed = false;
    GpuRunInfo info;
};

}  // namespace zephrin
