// Which OBJ file, if any, a layer is drawn as: a developer's override from the environment, the
// footage of the layer the effect names, or the layer's own footage.
#pragma once

#include <string>
#include <string_view>

#include "common/host_suites.h"
#include "renderer/scene/bend_controls.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

struct ObjSource {
    std::wstring path;            // empty when no step found a path
    const char* source = "none";  // "debug", "effectSourceLayer", "currentLayer" or "none"
    bool isObj = false;           // the path ends in ".obj", any ASCII case
};

// The override path for a layer of this name, or empty: on only when SSR_RENDER_DEBUG is set, not
// empty and not "0" and SSR_RENDER_DEBUG_OBJ_PATH names a ".obj" file; SSR_RENDER_DEBUG_OBJ_LAYER,
// when set, limits it to layers whose name contains that text.
std::wstring debugObjOverridePath(std::wstring_view layerName);

// True when the override could apply to some layer; the layer's name is needed only then.
bool debugObjOverrideConfigured();

ObjSource findObjSource(HostSuites& suites, AEGP_PluginID pluginId, PR_RenderContextH renderContext, AEGP_LayerH layer,
                        const BendControls& controls);

// The source lines of the layer loop, written whenever a candidate path was found.
void logObjSource(const ObjSource& source);

}  // namespace zephrin
