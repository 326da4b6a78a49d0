// paint: one collected FrameScene into the host's destination world. Owns the frame's working
// buffers, decides the path of every stage once per frame, runs the stages in order, times them and
// logs one summary line.
#pragma once

#include <cstdint>

#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"
#include "sdk/AE_GeneralPlug.h"
#include "sdk/PR_Public.h"

namespace zephrin {

// Quick preview renders a quarter-size raster and replicates each pixel into its destination block.
constexpr int32_t kQuickPreviewRasterScale = 4;
// The host downsample factors (square) the tile path handles; anything else takes the per-row path.
constexpr int32_t kTilePathMaxDownsample = 4;
struct FrameDecisions {
    int32_t rasterScale = 1;
    int32_t rasterWidth = 1, rasterHeight = 1;
    bool tilePath = false;
    bool hasLights = false;
    bool gpuRasterEligible = false;
    bool needShadowMaps = false;
    int32_t frameShadowQuality = 1;
    int32_t workers = 1;
    int32_t rasterBands = 1;  // workers times rasterBandsPerWorker
    // The CPU band raster shades each row as soon as it has drawn it. Shading a pixel reads only its
    // own records, the shadow hierarchy and the shadow maps, all ready before the raster; only the GPU
    // passes, which need the whole raster first, keep the shading after it.
    bool shadeRowsWithRaster = false;
    // shadowPost stays false here: it also depends on the shadow BVH, which paint builds.
    FrameBufferSet buffers;
};

// Every decision paint takes from the scene and the destination size alone.
FrameDecisions decideFrame(const FrameScene& scene, int32_t destWidth, int32_t destHeight);

// The camera that projects into raster pixels: the scene camera with the raster size as its
// destination size.
SceneCamera rasterCamera(const SceneCamera& camera, int32_t rasterWidth, int32_t rasterHeight);

// False when the destination cannot be read through the World suite (a call fails, the world has no
// base address for its type, or its row stride cannot hold a row); true otherwise, also when stages
// fell back. A missing World suite raises HostSuiteError.
bool paint(const PR_InData* inData, AEGP_WorldH destination, const FrameScene& scene);

}  // namespace zephrin
