// What one render task asks a farm for, judged from the scene before anything is rendered.
#pragma once

#include <cstdint>

#include "host/composition.h"

namespace zephrin::app {

struct JobResources {
    int32_t cpus = 1;
    int64_t memoryMiB = 0;
};

// CPUs: one per quarter megapixel of the composition, up to the renderer's eight workers, since a
// small frame keeps no more busy. Memory: the process itself, the renderer's per-pixel buffers of a
// full-size frame, and every footage image held as floats with the worlds lent from it, with headroom.
JobResources estimateJobResources(const host::Composition& comp);

}  // namespace zephrin::app
