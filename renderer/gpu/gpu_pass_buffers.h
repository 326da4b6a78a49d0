// The buffers the raster and lighting passes keep in the GPU context from frame to frame, grown as
// frames need them and released with the context.
#pragma once

#include <cstdint>

#include "renderer/gpu/gpu_device.h"

namespace zephrin {

// capacity: pixels the result buffer holds.
struct GpuRasterBuffers {
    uint32_t capacity = 0;
    GpuBuffer triangles, tiles, indices, results;
};

// capacity: queries one batch's query and result buffers hold.
struct GpuLightingBuffers {
    uint32_t capacity = 0;
    GpuBuffer lights, surfaces, shadowDepth, queries, results;
};

inline void releaseRasterBuffers(GpuDevice& device, GpuRasterBuffers& buffers) {
    for (GpuBuffer* b : {&buffers.triangles, &buffers.tiles, &buffers.indices, &buffers.results})
        destroyBuffer(device, *b);
    buffers = GpuRasterBuffers{};
}

inline void releaseLightingBuffers(GpuDevice& device, GpuLightingBuffers& buffers) {
    for (GpuBuffer* b :
         {&buffers.lights, &buffers.surfaces, &buffers.shadowDepth, &buffers.queries, &buffers.results}) {
        destroyBuffer(device, *b);
    }
    buffers = GpuLightingBuffers{};
}

}  // namespace zephrin
