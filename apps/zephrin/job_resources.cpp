#include "apps/zephrin/job_resources.h"

#include <algorithm>

namespace zephrin::app {
namespace {

// The renderer's worker pool never runs more threads than this.
constexpr int32_t kRendererMaxWorkers = 8;
// Below about this many pixels per worker, extra threads wait on each other more than they render.
constexpr int64_t kPixelsPerCpu = 1 << 18;

// Measured peaks (RSS) of `zephrin render`, rounded up: a tiny composition takes ~130 MiB (the
// plug-ins, OpenImageIO, the host); a 16-megapixel one adds ~80 bytes per pixel at 8 bits, more at 32
// bits; footage adds ~20 bytes per pixel for a solid and more for images lent at float depth.
constexpr int64_t kBaseMiB = 256;
constexpr int64_t kBytesPerCompositionPixel = 128;
constexpr int64_t kBytesPerFootagePixel = 48;
// Requests in whole blocks read better in a queue and leave a little room.
constexpr int64_t kMemoryStepMiB = 64;
constexpr int64_t kMiB = 1 << 20;

}  // namespace

JobResources estimateJobResources(const host::Composition& comp) {
    const int64_t compPixels = int64_t{comp.width} * comp.height;
    int64_t footagePixels = 0;
    for (const auto& [key, footage] : comp.footage) {
        if (footage == nullptr) continue;
        // A sequence holds its first frame and the frame last decoded.
        const int64_t copies = footage->sequence != nullptr ? 2 : 1;
        footagePixels += copies * int64_t{footage->width} * footage->height;
    }
    JobResources resources;
    resources.cpus = static_cast<int32_t>(
        std::clamp<int64_t>((compPixels + kPixelsPerCpu - 1) / kPixelsPerCpu, 1, kRendererMaxWorkers));
    const int64_t bytes = compPixels * kBytesPerCompositionPixel + footagePixels * kBytesPerFootagePixel;
    const int64_t mib = kBaseMiB + (bytes + kMiB - 1) / kMiB;
    resources.memoryMiB = (mib + kMemoryStepMiB - 1) / kMemoryStepMiB * kMemoryStepMiB;
    return resources;
}

}  // namespace zephrin::app
