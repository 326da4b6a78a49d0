// The per-frame state behind PR_RenderContextH: which composition, at what time and downsample, into
// which destination, and the layer contexts the renderer walks.
#pragma once

#include <cstdint>
#include <vector>

#include "host/composition.h"
#include "host/host_session.h"
#include "host/suites/host_state.h"

namespace zephrin::host {

struct RenderContext {
    uintptr_t handle = 0;
    CompositionHandles* comp = nullptr;
    A_Time time{0, 1};
    A_Time timeStep{0, 1};
    double seconds = 0.0;
    AEGP_DownsampleFactor downsample{1, 1};
    A_long binCount = 1;
    uintptr_t destination = 0;
    uintptr_t interactiveBuffer = 0;       // 0 when the host does not offer one
    std::vector<uintptr_t> layerContexts;  // one per composition layer, top first
};

// Host time of a frame: scale round(frameRate * 1000), value frame * 1000. Integer and NTSC rates
// (29.97 -> 29970) are both exact, and a frame step is always 1000 units.
A_Time frameTime(double frameRate, int32_t frame);
A_Time frameStep(double frameRate);

// ceil(side / factor), at least 1.
int32_t downsampledSide(int32_t side, int32_t factor);

// Registers the composition's handles and allocates the destination (composition size / downsample, in
// the requested depth, prefilled with the background) and, when offered, the interactive buffer. The
// request must already be valid (renderCompositionFrame checks it).
RenderContext& beginRenderContext(HostState& state, const Composition& comp, const FrameRequest& request);

// Forgets the context, its layer contexts, its composition handles and the interactive buffer; hands the
// destination world back to the caller.
HostWorld endRenderContext(HostState& state, uintptr_t contextHandle);

}  // namespace zephrin::host
