#include "host/effect_scene_params.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "host/effect_instance.h"
#include "host/scene_file.h"
#include "host/scene_file_json.h"

namespace zephrin::host {
namespace {

using scenejson::Json;
using scenejson::Reader;

bool isPositionText(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool holdsValue(PF_ParamType type) { return streamTypeForParam(type) != AEGP_StreamType_NO_DATA; }

// The group path ends with `group` at a label boundary: "Scroll Mode/Left Curl" ends with "Left Curl".
bool groupPathEndsWith(const std::string& groupPath, const std::string& group) {
    if (groupPath == group) return true;
    return groupPath.size() > group.size() && groupPath.compare(groupPath.size() - group.size(), group.size(), group) == 0 &&
           groupPath[groupPath.size() - group.size() - 1] == '/';
}

std::vector<std::string> splitChoices(const std::string& choices) {
    std::vector<std::string> list;
    size_t start = 0;
    while (true) {
        size_t bar = choices.find('|', start);
        list.push_back(choices.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) return list;
        start = bar + 1;
    }
}

std::string quotedList(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "\"" : ", \"") + name + "\"";
    return text;
}

std::string rangeText(double lo, double hi) {
    return scenejson::formatNumber(lo) + " to " + scenejson::formatNumber(hi);
}

struct ValueReader {
    const Reader& reader;
    const Composition& comp;
    const RegisteredParam& param;

    void checkRange(double v, double lo, double hi, const std::string& path) const {
        if (lo < hi && (v < lo || v > hi)) {
            reader.fail(path, scenejson::formatNumber(v) + " is outside the valid range " + rangeText(lo, hi) + " of \"" +
                                  std::string(param.def.name) + "\"");
        }
    }

    AEGP_StreamVal read(const Json& json, const std::string& path) const {
        AEGP_StreamVal v{};
        const PF_ParamDef& def = param.def;
        switch (def.param_type) {
            case PF_Param_FLOAT_SLIDER:
                v.one_d = reader.number(json, path);
                checkRange(v.one_d, def.u.fs_d.valid_min, def.u.fs_d.valid_max, path);
                return v;
            case PF_Param_ANGLE:
                v.one_d = reader.number(json, path);
                checkRange(v.one_d, def.u.ad.valid_min / 65536.0, def.u.ad.valid_max / 65536.0, path);
                return v;
            case PF_Param_CHECKBOX: v.one_d = reader.boolean(json, path) ? 1.0 : 0.0; return v;
            case PF_Param_POPUP: v.one_d = popupChoice(json, path); return v;
            case PF_Param_POINT_3D: {
                Vec3d p = reader.vec3(json, path);
                v.three_d = AEGP_ThreeDVal{p[0], p[1], p[2]};
                return v;
            }
            case PF_Param_COLOR: {
                Color3 c = reader.color3(json, path);
                v.color = AEGP_ColorVal{1.0, c[0], c[1], c[2]};
                return v;
            }
            case PF_Param_LAYER: v.layer_id = layerId(json, path); return v;
            default: break;
        }
        reader.fail(path, "\"" + std::string(def.name) + "\" holds no value");
    }

    double popupChoice(const Json& json, const std::string& path) const {
        std::vector<std::string> choices = splitChoices(param.choices);
        const int32_t count = static_cast<int32_t>(choices.size());
        if (json.is_string()) {
            std::string text = json.get<std::string>();
            for (int32_t i = 0; i < count; ++i) {
                if (choices[static_cast<size_t>(i)] == text) return i + 1;
            }
            reader.fail(path, "\"" + text + "\" is not a choice of \"" + std::string(param.def.name) + "\" (" +
                                  quotedList(choices) + ")");
        }
        if (json.is_number()) {
            double n = json.get<double>();
            if (n == std::floor(n) && n >= 1 && n <= count) return n;
            reader.fail(path, scenejson::formatNumber(n) + " is outside the valid range 1 to " + std::to_string(count) +
                                  " of \"" + std::string(param.def.name) + "\"");
        }
        reader.fail(path, "expected a choice number 1 to " + std::to_string(count) + " or one of " + quotedList(choices));
    }

    AEGP_LayerIDVal layerId(const Json& json, const std::string& path) const {
        std::string name = reader.string(json, path);
        for (const Layer& layer : comp.layers) {
            if (layer.name == name) return layer.id;
        }
        reader.fail(path, "no layer named \"" + name + "\" in the composition");
    }
};

}  // namespace

int32_t findParam(const std::vector<RegisteredParam>& params, const std::string& name, std::string& problem) {
    problem.clear();
    if (isPositionText(name)) {
        int32_t position = 0;
        auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), position);
        const int32_t last = params.empty() ? 0 : params.back().position;
        if (ec != std::errc() || end != name.data() + name.size() || position < 1 || position > last) {
            problem = "parameter position " + name + " is out of range 1 to " + std::to_string(last);
            return 0;
        }
        return position;
    }
    // A label may itself hold a "/" ("Sync Left/Right"), so the whole name is tried as a label first.
    std::vector<const RegisteredParam*> matches;
    for (const RegisteredParam& p : params) {
        if (p.def.param_type != PF_Param_GROUP_END && name == p.def.name) matches.push_back(&p);
    }
    if (matches.empty()) {
        for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
            std::string group = name.substr(0, slash), label = name.substr(slash + 1);
            for (const RegisteredParam& p : params) {
                if (p.def.param_type != PF_Param_GROUP_END && label == p.def.name && groupPathEndsWith(p.groupPath, group)) {
                    matches.push_back(&p);
                }
            }
            if (!matches.empty()) break;
        }
    }
    if (matches.size() == 1) return matches.front()->position;
    if (matches.empty()) {
        problem = "the effect has no parameter \"" + name + "\" (see zephrin params)";
        return 0;
    }
    // A group and label that still names several parameters (two "Flip" in one group) leaves the position.
    std::vector<std::string> qualified;
    for (const RegisteredParam* p : matches) {
        qualified.push_back(p->groupPath.empty() ? std::to_string(p->position) : p->groupPath + "/" + p->def.name);
    }
    std::vector<std::string> named = qualified;
    for (size_t i = 0; i < matches.size(); ++i) {
        if (std::count(named.begin(), named.end(), named[i]) > 1) qualified[i] = std::to_string(matches[i]->position);
    }
    problem = "\"" + name + "\" names " + std::to_string(matches.size()) + " parameters; use one of " +
              quotedList(qualified);
    return 0;
}

std::vector<SceneParamValue> resolveSceneParams(const std::vector<RegisteredParam>& params, const Composition& comp,
                                                const EffectEntry& entry, const std::string& paramsPath) {
    Reader reader{comp.sceneFile.filename().string()};
    std::vector<SceneParamValue> values;
    if (entry.paramsJson.empty()) return values;
    Json json;
    try {
        json = Json::parse(entry.paramsJson);
    } catch (const Json::exception& error) {
        reader.fail(paramsPath, std::string("unreadable parameters: ") + error.what());
    }
    if (!json.is_object()) reader.fail(paramsPath, "expected an object of parameter values");
    std::vector<std::string> namedBy(params.empty() ? 0 : static_cast<size_t>(params.back().position) + 1);
    for (const auto& [key, value] : json.items()) {
        const std::string path = scenejson::memberPath(paramsPath, key);
        std::string problem;
        int32_t position = findParam(params, key, problem);
        if (position == 0) reader.fail(path, problem);
        std::string& earlier = namedBy[static_cast<size_t>(position)];
        if (!earlier.empty()) reader.fail(path, "sets the same parameter as \"" + earlier + "\"");
        earlier = key;
        const RegisteredParam& param = *std::find_if(params.begin(), params.end(),
                                                     [&](const RegisteredParam& p) { return p.position == position; });
        if (!holdsValue(param.def.param_type)) reader.fail(path, "\"" + std::string(param.def.name) + "\" holds no value");
        ValueReader read{reader, comp, param};
        SceneParamValue resolved;
        resolved.position = position;
        const bool spatial = streamTypeForParam(param.def.param_type) == AEGP_StreamType_ThreeD_SPATIAL;
        for (const Reader::KeyedValue& keyed : reader.keyedValues(value, path, spatial)) {
            AEGP_StreamVal v = read.read(*keyed.value, keyed.path);
            if (!keyed.isKeyframe) {
                resolved.value = v;
                break;
            }
            if ((param.def.flags & PF_ParamFlag_CANNOT_TIME_VARY) != 0) {
                reader.fail(path, "\"" + std::string(param.def.name) + "\" cannot be animated");
            }
            resolved.keyframes.push_back(Keyframe<AEGP_StreamVal>{keyed.time, v, keyed.shape});
        }
        if (!resolved.keyframes.empty()) resolved.value = resolved.keyframes.front().value;
        values.push_back(std::move(resolved));
    }
    return values;
}

}  // namespace zephrin::host
