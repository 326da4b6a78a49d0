#include "host/scene_writer.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "host/effect_plugin.h"
#include "host/effect_scene_params.h"
#include "host/scene_file.h"
#include "host/scene_file_json.h"
#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using scenejson::Json;

// Indentation of saved scenes: readable in a review.
constexpr int kJsonIndent = 2;

bool sameValue(const AEGP_StreamVal& a, const AEGP_StreamVal& b, AEGP_StreamType type) {
    switch (type) {
        case AEGP_StreamType_OneD:
            return a.one_d == b.one_d;
        case AEGP_StreamType_TwoD:
        case AEGP_StreamType_TwoD_SPATIAL:
            return a.two_d.x == b.two_d.x && a.two_d.y == b.two_d.y;
        case AEGP_StreamType_ThreeD:
        case AEGP_StreamType_ThreeD_SPATIAL:
            return a.three_d.x == b.three_d.x && a.three_d.y == b.three_d.y && a.three_d.z == b.three_d.z;
        case AEGP_StreamType_COLOR:
            return a.color.redF == b.color.redF && a.color.greenF == b.color.greenF && a.color.blueF == b.color.blueF;
        case AEGP_StreamType_LAYER_ID:
            return a.layer_id == b.layer_id;
        default:
            return true;
    }
}

// The scene file's form of a value: see DESIGN.md, "Scene files". A layer the composition lacks (or
// none) has no form and leaves the parameter out.
bool valueJson(const PF_ParamDef& def, const AEGP_StreamVal& v, const Composition& comp, Json& out) {
    switch (def.param_type) {
        case PF_Param_CHECKBOX:
            out = v.one_d != 0.0;
            return true;
        case PF_Param_POINT_3D:
            out = Json::array({v.three_d.x, v.three_d.y, v.three_d.z});
            return true;
        case PF_Param_COLOR:
            out = Json::array({v.color.redF, v.color.greenF, v.color.blueF});
            return true;
        case PF_Param_LAYER:
            for (const Layer& layer : comp.layers) {
                if (layer.id == v.layer_id && v.layer_id != 0) {
                    out = layer.name;
                    return true;
                }
            }
            return false;
        case PF_Param_FLOAT_SLIDER:
        case PF_Param_ANGLE:
        case PF_Param_POPUP:
            out = v.one_d;
            return true;
        default:
            return false;
    }
}

// The parameter's label when it names it alone, else its group and label, else its position.
std::string readableName(const std::vector<RegisteredParam>& params, size_t position) {
    const auto found = std::find_if(params.begin(), params.end(), [position](const RegisteredParam& p) {
        return p.position == static_cast<int32_t>(position);
    });
    if (found == params.end()) return std::to_string(position);
    std::string problem;
    const std::string label = found->def.name;
    if (!label.empty() && findParam(params, label, problem) == found->position) return label;
    const std::string qualified = found->groupPath + "/" + label;
    if (!found->groupPath.empty() && findParam(params, qualified, problem) == found->position) return qualified;
    return std::to_string(position);
}

Json effectParams(const EffectPlugin& effect, const EffectInstance& instance, const Composition& comp,
                  const Json& original, bool savedBeforeParams) {
    const std::vector<RegisteredParam> params = registeredParams(effect);
    // The file's own name for each parameter it set.
    std::map<int32_t, std::string> fileNames;
    if (original.is_object()) {
        for (const auto& [key, value] : original.items()) {
            std::string problem;
            if (int32_t position = findParam(params, key, problem); position != 0) fileNames[position] = key;
        }
    }
    Json out = Json::object();
    for (size_t position = 1; position < effect.params.size(); ++position) {
        const PF_ParamDef& def = effect.params[position];
        const EffectStream& stream = instance.streams[position];
        if (stream.type == AEGP_StreamType_NO_DATA) continue;
        const auto named = fileNames.find(static_cast<int32_t>(position));
        const bool useValue = savedBeforeParams && (def.flags & PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS) != 0;
        AEGP_StreamVal registered = streamForParam(def, useValue).value;
        // A layer parameter that defaults to "myself" names the effect's own layer from the start.
        if (def.param_type == PF_Param_LAYER && def.u.ld.dephault == PF_LayerDefault_MYSELF) {
            registered.layer_id = comp.layers[instance.layerPosition].id;
        }
        const bool changed = !sameValue(stream.value, registered, stream.type);
        if (named == fileNames.end() && stream.keyframes.empty() && !changed) continue;
        Json value;
        if (stream.keyframes.empty()) {
            if (!valueJson(def, stream.value, comp, value)) continue;
        } else {
            Json keys = Json::array();
            for (const auto& key : stream.keyframes) {
                Json keyValue;
                if (!valueJson(def, key.value, comp, keyValue)) continue;
                const bool spatial = stream.type == AEGP_StreamType_TwoD_SPATIAL || stream.type == AEGP_StreamType_ThreeD_SPATIAL;
                keys.push_back(scenejson::keyframeJson(key.time, std::move(keyValue), key.shape, spatial));
            }
            value = Json{{"keyframes", keys}};
        }
        const std::string key = named != fileNames.end() ? named->second : readableName(params, position);
        out[key] = value;
    }
    return out;
}

void rebaseFootagePaths(Json& scene, const fs::path& from, const fs::path& to) {
    Json* footage = scene.contains("footage") ? &scene["footage"] : nullptr;
    if (footage == nullptr || !footage->is_object() || fs::weakly_canonical(from) == fs::weakly_canonical(to)) return;
    for (auto& [name, item] : footage->items()) {
        if (!item.is_object() || !item.contains("file") || !item["file"].is_string()) continue;
        const fs::path file = item["file"].get<std::string>();
        const fs::path absolute = file.is_absolute() ? file : fs::weakly_canonical(from / file);
        std::error_code ec;
        fs::path relative = fs::relative(absolute, fs::weakly_canonical(to), ec);
        item["file"] = (ec || relative.empty() ? absolute : relative).generic_string();
    }
}

}  // namespace

std::string savedSceneText(PluginHost& host, const Composition& comp, const fs::path& destination) {
    EffectPlugin* effect = loadedEffect(host);
    const std::string fileName = comp.sceneFile.filename().string();
    std::ifstream in(comp.sceneFile, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Json scene;
    try {
        if (!in) throw std::runtime_error("unreadable");
        scene = Json::parse(text.str());
    } catch (const std::exception&) {
        throw SceneFileError(fileName + ": cannot be read again to save the edits");
    }
    rebaseFootagePaths(scene, comp.sceneFile.parent_path(),
                       destination.has_parent_path() ? destination.parent_path() : fs::path("."));
    if (effect == nullptr || !scene.contains("layers") || !scene["layers"].is_array()) return scene.dump(kJsonIndent) + "\n";
    prepareSceneEffects(host, comp);
    HostState& state = hostStateOf(host);
    for (size_t i = 0; i < comp.layers.size() && i < scene["layers"].size(); ++i) {
        Json& layer = scene["layers"][i];
        if (!layer.contains("effects") || !layer["effects"].is_array()) continue;
        const std::vector<EffectInstance*> instances = effectInstances(host, comp, i);
        std::lock_guard<std::mutex> lock(state.mutex);
        for (size_t j = 0; j < instances.size() && j < layer["effects"].size(); ++j) {
            Json& entry = layer["effects"][j];
            const Json original = entry.contains("params") ? entry["params"] : Json::object();
            entry["params"] = effectParams(*effect, *instances[j], comp, original,
                                           comp.layers[i].effects[j].savedBeforeParams);
        }
    }
    return scene.dump(kJsonIndent) + "\n";
}

void saveScene(PluginHost& host, const Composition& comp, const fs::path& destination) {
    const std::string text = savedSceneText(host, comp, destination);
    fs::path temporary = destination;
    temporary += ".saving";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::error_code ec;
            fs::remove(temporary, ec);
            throw HostError(destination.string() + ": cannot be written");
        }
    }
    std::error_code ec;
    fs::rename(temporary, destination, ec);
    if (ec) {
        fs::remove(temporary, ec);
        throw HostError(destination.string() + ": cannot be written");
    }
}

}  // namespace zephrin::host
