// The frame renderer's diagnostic lines: the per-frame summary with stage times, the shadow-map
// line per light and the held-back GPU raster line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "renderer/shadows/shadow_map.h"
#include "renderer/gpu/gpu_run_info.h"

namespace zephrin {

// Nanosecond stamps of one paint call; each is taken at the end of the named stage except
// start (entry) and rasterPrepStart (just before raster preparation).
struct FrameStamps {
    int64_t start = 0;
    int64_t buffers = 0;
    int64_t shadowMaps = 0;
    int64_t rasterPrepStart = 0;
    int64_t rasterPrep = 0;
    int64_t geometry = 0;
    int64_t gpuShadow = 0;
    int64_t shade = 0;
    int64_t shadowPost = 0;
    int64_t dof = 0;
    int64_t blend = 0;
};

struct FrameSummary {
    size_t surfaces = 0;
    size_t triangles = 0;
    size_t lights = 0;
    int32_t destWidth = 0, destHeight = 0;
    int32_t rasterWidth = 0, rasterHeight = 0;
    int32_t workers = 0;
    bool quickPreview = false;
    int32_t rasterScale = 1;
    bool gpuRasterUsed = false;
    bool gpuLightingUsed = false;
    int32_t worldType = 0;
    FrameStamps stamps;
};

std::string formatFrameLine(const FrameSummary& summary);

std::string formatShadowMapLine(size_t lightIndex, int32_t lightType, const ShadowMap& map);

std::string formatGpuRasterLine(const GpuRunInfo& info, size_t pixels, size_t preparedTriangles);

// reason: the GPU's own text; "dispatch failed" stands in when it gave none.
std::string formatGpuRasterFallbackLine(const std::string& reason);

}  // namespace zephrin
