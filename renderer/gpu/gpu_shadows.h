// GPU shadow queries: every shadow ray the CPU shading would trace, traced at once on the GPU and
// cached per pixel and light for the shading pass to read.
#pragma once

#include "renderer/gpu/gpu_run_info.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_sample_cache.h"

namespace zephrin {

GpuPassResult runGpuShadows(const FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh,
                            ShadowSampleCache& cache);

}  // namespace zephrin
