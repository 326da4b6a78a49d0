// Layer images the host renders for a surface, read in place through their pixel access, and given
// back to the host once the frame is done.
#pragma once

#include <cstdint>

#include "common/host_suites.h"
#include "renderer/scene/bend_controls.h"
#include "renderer/scene/frame_scene.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

// Has the host render `layer` (through its render-layer context) into a world and records the world
// and its pixel access. A render the host refuses gives an empty texture; a world whose pixels cannot
// be read safely is kept (it still has to be given back) but has no pixel access.
SurfaceTexture renderLayerTexture(HostSuites& suites, PR_RenderContextH renderContext, AEGP_LayerH layer,
                                  AEGP_RenderLayerContextH layerContext, bool renderOwnEffects);

// Fills the texture's pixel access from the World suite; false leaves it without pixel access.
bool readTexturePixelAccess(HostSuites& suites, SurfaceTexture& texture);

// Gives the world back (World suite for plug-in worlds, the Canvas suite for host-rendered ones) and
// resets the record. A texture without a world is left as it is.
void disposeTexture(HostSuites& suites, PR_RenderContextH renderContext, SurfaceTexture& texture);

// Disposes both textures of a surface, front first; a missing suite does not stop the second.
void disposeSurfaceTextures(HostSuites& suites, PR_RenderContextH renderContext, SceneSurface& surface);

// The layer of the render context whose host id is `layerId`, with its render-layer context; false
// when none is listed.
bool findRenderLayerById(HostSuites& suites, PR_RenderContextH renderContext, int32_t layerId, AEGP_LayerH& layer,
                         AEGP_RenderLayerContextH& layerContext);

// The front texture of a surface: the layer itself (without its own effects when they are the bend
// effect whose controls were read), or the layer "Front Layer" names, rendered with its effects.
SurfaceTexture renderFrontTexture(HostSuites& suites, PR_RenderContextH renderContext, AEGP_LayerH layer,
                                  AEGP_RenderLayerContextH layerContext, int32_t layerId, const BendControls& controls,
                                  bool effectControlsRead);

// The back texture: the layer "Back Layer" names, rendered with its effects and fitted to its visible
// content. No back layer, or one the render context does not list, gives an empty texture.
SurfaceTexture renderBackTexture(HostSuites& suites, PR_RenderContextH renderContext, const BendControls& controls);

}  // namespace zephrin
