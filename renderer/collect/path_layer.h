// Path Select's host side: which layer carries the path, and its origin sampled over the
// composition's duration.
#pragma once

#include <cstdint>

#include "common/host_suites.h"
#include "renderer/geometry/mesh_building.h"
#include "renderer/geometry/path_samples.h"
#include "renderer/scene/frame_scene.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

enum class PathFailure { kNone, kSelectedMissing, kSelectedInvalid, kSampleFailed, kSampledDegenerate };

// The log line of a failure; empty for kNone.
const char* pathFailureLine(PathFailure failure);

// Only layers that move through the scene with a position can carry a path: video and light layers.
bool isPathLayerType(AEGP_ObjectType objectType);

// ref < 0: the layer with id -ref; ref > 0: the ref-th layer (1-based) when there is one, else the
// layer with id ref; 0: none.
AEGP_LayerH resolvePathLayer(HostSuites& suites, AEGP_CompH comp, int32_t ref);

struct PathSampling {
    PathSamples samples;
    PathFailure failure = PathFailure::kNone;
};

PathSampling samplePathLayer(HostSuites& suites, PR_RenderContextH renderContext, const A_Time& time,
                             AEGP_LayerH pathLayer, int32_t sampleCount);

enum class PathOutcome { kBuilt, kFallback, kHidden };

// Resolves surface.controls' path layer, samples it and builds the mesh along it, logging each
// failure reason and the path line of a built mesh.
PathOutcome buildPathSurface(HostSuites& suites, PR_RenderContextH renderContext, const A_Time& time,
                             SceneSurface& surface, const MeshPlacement& placement);

}  // namespace zephrin
