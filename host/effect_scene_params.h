// A scene file's effect parameters resolved against the effect's registered list: names by position
// ("4"), unique label ("Thickness") or group and label ("Left Curl/Curl Angle"); values checked against
// the parameter's type and valid range. Only possible once the effect has registered its parameters,
// so it runs when the plug-ins are loaded, before anything renders.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/composition.h"
#include "host/effect_plugin.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

struct SceneParamValue {
    int32_t position = 0;
    AEGP_StreamVal value{};
    std::vector<Keyframe<AEGP_StreamVal>> keyframes;  // empty for a plain value
};

// Resolves the entry's "params" object. `paramsPath` is its JSON path ("layers[2].effects[0].params").
// Throws SceneFileError naming comp.sceneFile's name and the path of the offending key or value.
std::vector<SceneParamValue> resolveSceneParams(const std::vector<RegisteredParam>& params, const Composition& comp,
                                                const EffectEntry& entry, const std::string& paramsPath);

// Finds a parameter by position text, unique label or "Group/Label". Returns the position, or 0 with
// `problem` saying why not.
int32_t findParam(const std::vector<RegisteredParam>& params, const std::string& name, std::string& problem);

}  // namespace zephrin::host
